#pragma once
// Capture options (one web's, or one named profile's) and the profiles file.
//
// Stream form (inside the capture file header; little-endian, unpadded).
// Every number, the 32-bit limits included, is an int16 read back
// sign-extended; limits are clamped to 0..32767 on writing so that a large
// one never comes back negative.
//   bytes  ExternalPathLimit, InternalPathLimit, RefLimit
//   int16  InternalLinkDepth, ExternalWebDepth, ExternalLinkDepth
//   int16  MaxFileCount, MaxFileSize, MinFileSize, MaxDiskSize, MaxTime
//   bytes  RealLinkFlag, StreamOnlyFlag, SuppressLinkFlag, ResolvedUrlFlag,
//          ErrorUrlFlag, ToRetrieveUrlFlag, FilteredUrlFlag
//   version < 20: two short strings (skipped); MaxDiskSize was kilobytes
//   version > 21: bytes CheckDomainMachineFlag, ExtensionFilterFlag,
//          UseWebStructureFlag, DownloadFTPFlag, ShortFileNameFlag,
//          DownloadVrmlFlag, DownLoadAppletJavaFlag; short strings profile
//          name, ProfileBaseName; bytes VignetteFlag, NewMimeValidStateFlag
//   the filter tree's stream form, then the MIME table's
//
// Ini form: one section per profile in "profiles.ini", the option keys (0/1
// for flags), then the filter keys and the MIME keys in the same section.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "Mime.h"
#include "StringTree.h"
#include "Texts.h"

class QIODevice;

namespace qlon {

namespace profile {
class TIniFile;
}

inline constexpr int kPresetCount = 8;
// Section names of the built-in presets, by kind.
inline constexpr const auto& kPresetNames = kCapturePresets;
bool IsPresetProfileName(std::string_view name);

class TOptions {
 public:
  TOptions();
  virtual ~TOptions() = default;
  TOptions(const TOptions&) = delete;
  TOptions& operator=(const TOptions&) = delete;

  void SetDefault(int kind);
  virtual bool SaveToIni(profile::TIniFile& ini, std::string_view section) const;
  virtual void LoadFromIni(const profile::TIniFile& ini, std::string_view section);
  virtual void Assign(const TOptions& source);
  // Raises EReadError for a truncated or malformed stream (the options are
  // then partly read: the caller drops them).
  virtual void LoadFromStream(QIODevice& stream, int version);
  virtual void SaveToStream(QIODevice& stream, int version) const;

  TFilterList& Filters() { return filters_; }
  const TFilterList& Filters() const { return filters_; }
  TMimeList& MimeList() { return mime_; }
  const TMimeList& MimeList() const { return mime_; }

  bool InternalPathLimit = false;
  bool ExternalPathLimit = false;
  int16_t InternalLinkDepth = 0;
  int16_t ExternalWebDepth = 0;
  int16_t ExternalLinkDepth = 0;
  bool RefLimit = false;
  bool StreamOnlyFlag = false;
  bool ResolvedUrlFlag = false;
  bool ErrorUrlFlag = false;
  bool ToRetrieveUrlFlag = false;
  bool FilteredUrlFlag = false;
  bool VignetteFlag = false;
  bool NotExploreFrameFlag = false;
  bool RealLinkFlag = false;
  bool SuppressLinkFlag = false;
  bool BackgroundOnlyFlag = false;
  bool CheckDomainMachineFlag = false;
  bool ExtensionFilterFlag = false;
  bool UseWebStructureFlag = false;
  bool ShortFileNameFlag = false;
  bool DownloadFTPFlag = false;
  bool DownloadVrmlFlag = false;
  bool DownLoadAppletJavaFlag = false;
  bool NewMimeValidStateFlag = false;
  int32_t MaxFileCount = 0;
  int32_t MaxFileSize = 0;  // kilobytes
  int32_t MinFileSize = 0;  // kilobytes
  int32_t MaxDiskSize = 0;  // megabytes
  int32_t MaxTime = 0;      // minutes
  std::string ProfileName;
  std::string ProfileBaseName;

 private:
  TFilterList filters_;
  TMimeList mime_;
};

// The profiles file: work folder + "profiles.ini". Every operation first
// checks that the file exists and does nothing when it does not; only
// CreateDefaultFile creates it.
class TProfileList {
 public:
  explicit TProfileList(const std::filesystem::path& path) { SetFileName(path); }

  void SetFileName(const std::filesystem::path& path);
  const std::filesystem::path& FileName() const { return path_; }
  void CreateDefaultFile();
  const std::vector<std::string>& GetProfileNames();
  bool LoadProfile(TOptions* options, std::string_view name);
  bool LoadDefaultProfile(TOptions* options) { return LoadProfile(options, GetDefaultProfile()); }
  bool SaveProfile(TOptions& options, std::string_view name);
  std::string GetDefaultProfile() const;
  void SetDefaultProfile(std::string_view name);
  bool DeleteProfile(std::string_view name);

 private:
  bool Exists() const;

  std::filesystem::path path_;
  std::vector<std::string> names_;
};

}  // namespace qlon
