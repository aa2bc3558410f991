#include "Options.h"

#include <algorithm>

#include <QIODevice>

#include "Profile.h"
#include "Types.h"
#include "Utils.h"

namespace qlon {

namespace {

constexpr std::string_view kProfileListSection = "ProfileList";
constexpr std::string_view kDefaultKey = "Default";

// A limit as the stream's int16 holds it: 0..32767.
int16_t StoredLimit(int32_t value) { return int16_t(std::clamp<int32_t>(value, 0, 32767)); }
int16_t ToInt16(int value) { return int16_t(std::clamp(value, -32768, 32767)); }

bool ReadFlag(QIODevice& stream) { return ReadByteChecked(stream) != 0; }
void WriteFlag(bool flag, QIODevice& stream) { WriteByte(flag ? 1 : 0, stream); }

}  // namespace

bool IsPresetProfileName(std::string_view name) {
  // Case folding of ASCII letters; the accented letters of the presets are
  // compared as written.
  for (std::string_view preset : kPresetNames)
    if (SameTextAscii(name, preset)) return true;
  return false;
}

// ---------------------------------------------------------------- TOptions

TOptions::TOptions() { filters_.SetDefault(); }

void TOptions::SetDefault(int kind) {
  InternalLinkDepth = 100;
  ExternalWebDepth = 0;
  ExternalLinkDepth = 0;
  RealLinkFlag = SuppressLinkFlag = DownloadFTPFlag = DownloadVrmlFlag = DownLoadAppletJavaFlag =
      NewMimeValidStateFlag = true;
  filters_.SetDefault();
  // The folder presets (3, 4, 5) and the site map stay below the start
  // folder; "first page only" needs no limit, its depths are 0.
  InternalPathLimit = ExternalPathLimit = (kind >= 3 && kind <= 5) || kind == 7;
  switch (kind) {
    case 1:
    case 4:
      mime_.EnableAll(false);
      mime_.EnableCategory(mcImage, true);
      break;
    case 2:
    case 5:
      mime_.EnableAll(false);
      mime_.EnableCategory(mcImage, true);
      mime_.EnableCategory(mcHtml, true);
      break;
    case 7:
      for (int i = 0; i < mime_.Count(); ++i)
        if (TMimeItem* item = mime_.GetItem(i)) item->SetEnabled(item->Category == mcHtml);
      break;
    default:
      mime_.EnableAll(true);
      break;
  }
  if (kind == 6) InternalLinkDepth = 0;
  if (kind >= 0 && kind < kPresetCount) ProfileName = kPresetNames[kind];
}

void TOptions::Assign(const TOptions& s) {
  if (&s == this) return;
  InternalPathLimit = s.InternalPathLimit;
  ExternalPathLimit = s.ExternalPathLimit;
  InternalLinkDepth = s.InternalLinkDepth;
  ExternalWebDepth = s.ExternalWebDepth;
  ExternalLinkDepth = s.ExternalLinkDepth;
  RefLimit = s.RefLimit;
  StreamOnlyFlag = s.StreamOnlyFlag;
  ResolvedUrlFlag = s.ResolvedUrlFlag;
  ErrorUrlFlag = s.ErrorUrlFlag;
  ToRetrieveUrlFlag = s.ToRetrieveUrlFlag;
  FilteredUrlFlag = s.FilteredUrlFlag;
  VignetteFlag = s.VignetteFlag;
  NotExploreFrameFlag = s.NotExploreFrameFlag;
  RealLinkFlag = s.RealLinkFlag;
  SuppressLinkFlag = s.SuppressLinkFlag;
  BackgroundOnlyFlag = s.BackgroundOnlyFlag;
  CheckDomainMachineFlag = s.CheckDomainMachineFlag;
  ExtensionFilterFlag = s.ExtensionFilterFlag;
  UseWebStructureFlag = s.UseWebStructureFlag;
  ShortFileNameFlag = s.ShortFileNameFlag;
  DownloadFTPFlag = s.DownloadFTPFlag;
  DownloadVrmlFlag = s.DownloadVrmlFlag;
  DownLoadAppletJavaFlag = s.DownLoadAppletJavaFlag;
  NewMimeValidStateFlag = s.NewMimeValidStateFlag;
  MaxFileCount = s.MaxFileCount;
  MaxFileSize = s.MaxFileSize;
  MinFileSize = s.MinFileSize;
  MaxDiskSize = s.MaxDiskSize;
  MaxTime = s.MaxTime;
  ProfileName = s.ProfileName;
  ProfileBaseName = s.ProfileBaseName;
  filters_.Assign(s.filters_);
  mime_.Assign(s.mime_);
}

bool TOptions::SaveToIni(profile::TIniFile& ini, std::string_view section) const {
  bool ok = true;
  auto flag = [&](std::string_view key, bool value) { ok = ini.WriteBool(section, key, value) && ok; };
  auto number = [&](std::string_view key, int value) { ok = ini.WriteInteger(section, key, value) && ok; };
  flag("InternalPathLimit", InternalPathLimit);
  flag("ExternalPathLimit", ExternalPathLimit);
  number("InternalLinkDepth", InternalLinkDepth);
  number("ExternalWebDepth", ExternalWebDepth);
  number("ExternalLinkDepth", ExternalLinkDepth);
  flag("RefLimit", RefLimit);
  flag("ResolvedUrlFlag", ResolvedUrlFlag);
  flag("ErrorUrlFlag", ErrorUrlFlag);
  flag("ToRetrieveUrlFlag", ToRetrieveUrlFlag);
  flag("FilteredUrlFlag", FilteredUrlFlag);
  flag("RealLinkFlag", RealLinkFlag);
  flag("SuppressLinkFlag", SuppressLinkFlag);
  flag("BackgroundOnlyFlag", BackgroundOnlyFlag);
  number("MaxFileCount", MaxFileCount);
  number("MaxFileSize", MaxFileSize);
  number("MinFileSize", MinFileSize);
  number("MaxDiskSize", MaxDiskSize);
  number("MaxTime", MaxTime);
  flag("CheckDomainMachineFlag", CheckDomainMachineFlag);
  flag("ExtensionFilterFlag", ExtensionFilterFlag);
  flag("UseWebStructureFlag", UseWebStructureFlag);
  flag("DownloadFTPFlag", DownloadFTPFlag);
  flag("DownloadVrmlFlag", DownloadVrmlFlag);
  flag("DownLoadAppletJavaFlag", DownLoadAppletJavaFlag);
  ok = ini.WriteString(section, "ProfileBaseName", ProfileBaseName) && ok;
  flag("VignetteFlag", VignetteFlag);
  flag("NotExploreFrameFlag", NotExploreFrameFlag);
  flag("NewMimeValidStateFlag", NewMimeValidStateFlag);
  // Written too, so that a profile keeps its short-name choice.
  flag("ShortFileNameFlag", ShortFileNameFlag);
  ok = filters_.SaveToIni(ini, section) && ok;
  ok = mime_.SaveToIni(ini, section) && ok;
  return ok;
}

void TOptions::LoadFromIni(const profile::TIniFile& ini, std::string_view section) {
  auto flag = [&](std::string_view key, bool def) { return ini.ReadBool(section, key, def); };
  auto depth = [&](std::string_view key, int def) { return ToInt16(ini.ReadInteger(section, key, def)); };
  auto number = [&](std::string_view key) { return int32_t(ini.ReadInteger(section, key, 0)); };
  InternalPathLimit = flag("InternalPathLimit", true);
  ExternalPathLimit = flag("ExternalPathLimit", true);
  InternalLinkDepth = depth("InternalLinkDepth", 100);
  ExternalWebDepth = depth("ExternalWebDepth", 0);
  ExternalLinkDepth = depth("ExternalLinkDepth", 0);
  RefLimit = flag("RefLimit", false);
  ResolvedUrlFlag = flag("ResolvedUrlFlag", true);
  ErrorUrlFlag = flag("ErrorUrlFlag", false);
  ToRetrieveUrlFlag = flag("ToRetrieveUrlFlag", false);
  FilteredUrlFlag = flag("FilteredUrlFlag", false);
  VignetteFlag = flag("VignetteFlag", false);
  NotExploreFrameFlag = flag("NotExploreFrameFlag", false);
  RealLinkFlag = flag("RealLinkFlag", true);
  SuppressLinkFlag = flag("SuppressLinkFlag", true);
  BackgroundOnlyFlag = flag("BackgroundOnlyFlag", false);
  CheckDomainMachineFlag = flag("CheckDomainMachineFlag", false);
  ExtensionFilterFlag = flag("ExtensionFilterFlag", false);
  UseWebStructureFlag = flag("UseWebStructureFlag", false);
  ShortFileNameFlag = flag("ShortFileNameFlag", false);
  DownloadFTPFlag = flag("DownloadFTPFlag", false);
  DownloadVrmlFlag = flag("DownloadVrmlFlag", false);
  DownLoadAppletJavaFlag = flag("DownLoadAppletJavaFlag", true);
  // Read back as well, so that a profile round trip keeps it.
  NewMimeValidStateFlag = flag("NewMimeValidStateFlag", NewMimeValidStateFlag);
  MaxFileCount = number("MaxFileCount");
  MaxFileSize = number("MaxFileSize");
  MinFileSize = number("MinFileSize");
  MaxDiskSize = number("MaxDiskSize");
  MaxTime = number("MaxTime");
  ProfileBaseName = ini.ReadString(section, "ProfileBaseName", "");
  filters_.LoadFromIni(ini, section);
  mime_.LoadFromIni(ini, section);
}

void TOptions::SaveToStream(QIODevice& stream, int version) const {
  WriteFlag(ExternalPathLimit, stream);
  WriteFlag(InternalPathLimit, stream);
  WriteFlag(RefLimit, stream);
  WriteInt16(InternalLinkDepth, stream);
  WriteInt16(ExternalWebDepth, stream);
  WriteInt16(ExternalLinkDepth, stream);
  for (int32_t limit : {MaxFileCount, MaxFileSize, MinFileSize, MaxDiskSize, MaxTime})
    WriteInt16(StoredLimit(limit), stream);
  for (bool f : {RealLinkFlag, StreamOnlyFlag, SuppressLinkFlag, ResolvedUrlFlag, ErrorUrlFlag, ToRetrieveUrlFlag,
                 FilteredUrlFlag})
    WriteFlag(f, stream);
  if (version > 21) {
    for (bool f : {CheckDomainMachineFlag, ExtensionFilterFlag, UseWebStructureFlag, DownloadFTPFlag,
                   ShortFileNameFlag, DownloadVrmlFlag, DownLoadAppletJavaFlag})
      WriteFlag(f, stream);
    WriteShortString(ProfileName, stream);
    WriteShortString(ProfileBaseName, stream);
    WriteFlag(VignetteFlag, stream);
    WriteFlag(NewMimeValidStateFlag, stream);
  }
  filters_.SaveToStream(stream);
  mime_.SaveToStream(stream);
}

void TOptions::LoadFromStream(QIODevice& stream, int version) {
  ExternalPathLimit = ReadFlag(stream);
  InternalPathLimit = ReadFlag(stream);
  RefLimit = ReadFlag(stream);
  InternalLinkDepth = ReadInt16Checked(stream);
  ExternalWebDepth = ReadInt16Checked(stream);
  ExternalLinkDepth = ReadInt16Checked(stream);
  for (int32_t* limit : {&MaxFileCount, &MaxFileSize, &MinFileSize, &MaxDiskSize, &MaxTime})
    *limit = ReadInt16Checked(stream);
  for (bool* f : {&RealLinkFlag, &StreamOnlyFlag, &SuppressLinkFlag, &ResolvedUrlFlag, &ErrorUrlFlag,
                  &ToRetrieveUrlFlag, &FilteredUrlFlag})
    *f = ReadFlag(stream);
  if (version < 20) {
    ReadShortStringChecked(stream);
    ReadShortStringChecked(stream);
    MaxDiskSize >>= 10;  // was kilobytes
  }
  if (version > 21) {
    for (bool* f : {&CheckDomainMachineFlag, &ExtensionFilterFlag, &UseWebStructureFlag, &DownloadFTPFlag,
                    &ShortFileNameFlag, &DownloadVrmlFlag, &DownLoadAppletJavaFlag})
      *f = ReadFlag(stream);
    ProfileName = ReadShortStringChecked(stream);
    ProfileBaseName = ReadShortStringChecked(stream);
    VignetteFlag = ReadFlag(stream);
    NewMimeValidStateFlag = ReadFlag(stream);
  }
  filters_.LoadFromStream(stream);
  if (!mime_.LoadFromStream(stream))
    throw EReadError("La table des types MIME des options vient d'une version plus récente");
}

// ---------------------------------------------------------------- TProfileList

bool TProfileList::Exists() const {
  std::error_code ec;
  return !path_.empty() && std::filesystem::is_regular_file(path_, ec);
}

void TProfileList::SetFileName(const std::filesystem::path& path) {
  if (path == path_) return;
  path_ = path;
  CreateDefaultFile();
}

void TProfileList::CreateDefaultFile() {
  if (path_.empty() || Exists()) return;
  // Hundreds of keys: written in one rewrite of the file, not one each.
  profile::BatchPrivateProfile(path_, [this] {
    profile::TIniFile ini(path_);
    TOptions options;
    options.ProfileBaseName.clear();
    for (int kind = 0; kind < kPresetCount; ++kind) {
      options.SetDefault(kind);
      options.SaveToIni(ini, kPresetNames[kind]);
    }
  });
}

const std::vector<std::string>& TProfileList::GetProfileNames() {
  names_.clear();
  if (!Exists()) return names_;
  for (std::string& name : profile::TIniFile(path_).ReadSections())
    if (!SameTextAscii(name, kProfileListSection)) names_.push_back(std::move(name));
  return names_;
}

bool TProfileList::LoadProfile(TOptions* options, std::string_view name) {
  if (!options || !Exists()) return false;
  profile::TIniFile ini(path_);
  if (!ini.SectionExists(name)) return false;
  options->ProfileName = name;
  options->LoadFromIni(ini, name);
  return true;
}

bool TProfileList::SaveProfile(TOptions& options, std::string_view name) {
  if (!Exists()) return false;
  options.ProfileName = name;
  bool saved = false;
  const bool written = profile::BatchPrivateProfile(path_, [&] {
    profile::TIniFile ini(path_);
    saved = options.SaveToIni(ini, name);
  });
  return saved && written;
}

std::string TProfileList::GetDefaultProfile() const {
  if (!Exists()) return {};
  return profile::TIniFile(path_).ReadString(kProfileListSection, kDefaultKey, kPresetNames[0]);
}

void TProfileList::SetDefaultProfile(std::string_view name) {
  if (Exists()) profile::TIniFile(path_).WriteString(kProfileListSection, kDefaultKey, name);
}

bool TProfileList::DeleteProfile(std::string_view name) {
  if (!Exists()) return false;
  profile::TIniFile(path_).EraseSection(name);
  return true;
}

}  // namespace qlon
