#include "Mime.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <system_error>

#include <QBuffer>
#include <QFile>
#include <QSaveFile>

#include "Profile.h"
#include "Texts.h"
#include "Types.h"
#include "Utils.h"

namespace qlon {

namespace {

// A decimal integer of a settings text; blanks around it allowed.
bool ParseInt(std::string_view text, long long& value) {
  const std::string t = TrimBlanks(text);
  if (t.empty()) return false;
  const char* begin = t.data();
  if (*begin == '+') ++begin;
  auto [end, ec] = std::from_chars(begin, t.data() + t.size(), value);
  return ec == std::errc() && end == t.data() + t.size();
}

}  // namespace

// ---------------------------------------------------------------- TMimeParams

void TMimeParams::Write(QIODevice& stream) const {
  WriteWord(Flags, stream);
  WriteByte(Disabled, stream);
  WriteByte(Padding, stream);
  WriteInt32(Reserved1, stream);
  WriteInt32(Reserved2, stream);
  for (uint16_t v : Reserved3) WriteWord(v, stream);
}

void TMimeParams::ReadChecked(QIODevice& stream) {
  Flags = ReadWordChecked(stream);
  Disabled = ReadByteChecked(stream);
  Padding = ReadByteChecked(stream);
  Reserved1 = ReadInt32Checked(stream);
  Reserved2 = ReadInt32Checked(stream);
  for (uint16_t& v : Reserved3) v = ReadWordChecked(stream);
}

std::string TMimeParams::ToText() const {
  char text[128];
  std::snprintf(text, sizeof text, "%d,%d,%d,%d,%d,%d,%d,%d", int(Flags), int(Disabled | Padding << 8), int(Reserved1),
                int(Reserved2), int(Reserved3[0]), int(Reserved3[1]), int(Reserved3[2]), int(Reserved3[3]));
  return text;
}

void TMimeParams::FromText(std::string_view text) {
  const StringList fields = SplitFields(text, 10);
  for (size_t i = 0; i < fields.size() && i < 8; ++i) {
    long long v = 0;
    if (!ParseInt(fields[i], v)) break;
    switch (i) {
      case 0: Flags = uint16_t(v); break;
      case 1:
        Disabled = uint8_t(v);
        Padding = uint8_t(v >> 8);
        break;
      case 2: Reserved1 = int32_t(v); break;
      case 3: Reserved2 = int32_t(v); break;
      default: Reserved3[i - 4] = uint16_t(v); break;
    }
  }
}

// ---------------------------------------------------------------- categories

int MimeTypeCategory(std::string_view contentType) {
  const size_t slash = contentType.find('/');
  if (slash == std::string_view::npos) return mcAutre;
  const std::string_view major = contentType.substr(0, slash);
  static constexpr std::pair<std::string_view, int> kMajors[] = {
      {"text", mcTexte}, {"image", mcImage}, {"audio", mcSon}, {"video", mcVideo}, {"application", mcAutre}};
  for (auto [name, category] : kMajors)
    if (SameTextAscii(major, name)) return category;
  return mcAutre;
}

int MimeCategoryFromName(std::string_view name) {
  for (int c = 0; c < kMimeCategoryCount; ++c)
    if (SameTextAscii(name, kMimeCategoryNames[c])) return c;
  return -1;
}

// ---------------------------------------------------------------- TMimeItem

void TMimeItem::Assign(const TMimeItem& source) {
  ContentType = source.ContentType;
  Extensions = source.Extensions;
  Category = source.Category;
  Params = source.Params;
}

bool TMimeItem::IsEnabled() const {
  if (!Owner) return true;
  return !Params.Disabled && Owner->GetCategoryEnabled(Category);
}

void TMimeItem::SetEnabled(bool enabled) {
  if (Params.Flags & kMimeFixed) return;
  Params.Disabled = enabled ? 0 : 1;
}

void TMimeItem::SetUsed(bool used) {
  Params.Flags = used ? uint16_t(Params.Flags | kMimeUsed) : uint16_t(Params.Flags & ~kMimeUsed);
}

std::string TMimeItem::GetFirstExtension() const { return Extensions.substr(0, Extensions.find(',')); }

bool TMimeItem::HasExtension(std::string_view ext) const {
  for (const std::string& e : SplitString(Extensions, ','))
    if (SameTextAscii(e, ext)) return true;
  return false;
}

void TMimeItem::AddExtensions(std::string_view list) {
  StringList parts = SplitString(list, ',');
  if (parts.size() > 30) parts.resize(30);
  for (const std::string& part : parts) {
    if (part.empty() || HasExtension(part)) continue;
    if (!Extensions.empty()) Extensions += ',';
    Extensions += part;
  }
}

// ---------------------------------------------------------------- TMimeList

TMimeList::TMimeList() { SetDefault(); }

TMimeList::~TMimeList() {
  if (FileName.empty()) return;
  try {
    SaveToFile(FileName);
  } catch (const Exception&) {
    // A destructor cannot report; the table stays as it was on disk.
  }
}

void TMimeList::SetDefault() {
  struct Default {
    const char* type;
    const char* extensions;
    int category;
    uint16_t flags;
  };
  static constexpr Default kDefaults[] = {
      {"text/html", "htm,html,shtml", mcHtml, kMimeBuiltIn},
      {"text/plain", "txt", mcTexte, kMimeBuiltIn},
      {"image/gif", "gif", mcImage, kMimeBuiltIn},
      {"image/jpeg", "jpg,jff,jtf", mcImage, kMimeBuiltIn},
      {"video/x-msvideo", "avi", mcVideo, kMimeBuiltIn},
      {"video/quicktime", "mov,qt", mcVideo, kMimeBuiltIn},
      {"video/mpeg", "mpg,mpeg,mpe,mpa,m1v,mp2,enc", mcVideo, kMimeBuiltIn},
      {"audio/x-wav", "wav", mcSon, kMimeBuiltIn},
      {"audio/x-aiff", "aif,aiff", mcSon, kMimeBuiltIn},
      {"application/octet-stream", "exe", mcAutre, 0},
      {"application/x-zip-compressed", "zip", mcAutre, 0},
      {"x-world/x-vrml", "wrl", mcAutre, kMimeBuiltIn},
      {"application/x-java-vm", "class", mcAutre, kMimeBuiltIn},
  };
  for (const Default& d : kDefaults) AddType(d.type, d.extensions, d.flags, d.category, true);
}

void TMimeList::Clear() {
  slots_.clear();
  categories_.fill(TMimeParams{});
}

int TMimeList::AddType(std::string_view type, std::string_view extensions, uint16_t flags, int category,
                       bool enabled) {
  TMimeItem* item = FindType(type);
  int index = item ? IndexOf(item) : -1;
  if (item) {
    item->AddExtensions(extensions);
  } else {
    for (size_t i = 0; i < slots_.size() && index < 0; ++i)
      if (!slots_[i]) index = int(i);
    if (index < 0) {
      if (int(slots_.size()) >= kMimeMaxSlots) return -1;
      index = int(slots_.size());
      slots_.emplace_back();
    }
    slots_[index] = std::make_unique<TMimeItem>(this);
    item = slots_[index].get();
    item->ContentType = type;
    item->Extensions = extensions;
  }
  item->SetEnabled(enabled);
  item->Category = uint8_t(category >= 0 && category < kMimeCategoryCount ? category : mcAutre);
  item->Params.Flags = flags;
  return index;
}

void TMimeList::Remove(TMimeItem* item) {
  const int index = IndexOf(item);
  if (index >= 0) slots_[index].reset();
}

TMimeItem* TMimeList::FindType(std::string_view type) const {
  for (const auto& slot : slots_)
    if (slot && SameTextAscii(slot->ContentType, type)) return slot.get();
  return nullptr;
}

TMimeItem* TMimeList::FindExtension(std::string_view ext) const {
  if (!ext.empty() && ext.front() == '.') ext.remove_prefix(1);
  if (ext.empty()) return nullptr;
  for (const auto& slot : slots_)
    if (slot && slot->HasExtension(ext)) return slot.get();
  return nullptr;
}

TMimeItem* TMimeList::GetItem(int index) const {
  return index >= 0 && index < int(slots_.size()) ? slots_[index].get() : nullptr;
}

int TMimeList::IndexOf(const TMimeItem* item) const {
  if (!item) return -1;
  for (size_t i = 0; i < slots_.size(); ++i)
    if (slots_[i].get() == item) return int(i);
  return -1;
}

bool TMimeList::GetCategoryEnabled(int category) const {
  return category < 0 || category >= kMimeCategoryCount || !categories_[category].Disabled;
}

void TMimeList::SetCategoryEnabled(int category, bool enabled) {
  if (category >= 0 && category < kMimeCategoryCount) categories_[category].Disabled = enabled ? 0 : 1;
}

void TMimeList::EnableCategory(int category, bool enabled) {
  for (const auto& slot : slots_)
    if (slot && slot->Category == category) slot->SetEnabled(enabled);
  SetCategoryEnabled(category, enabled);
}

void TMimeList::EnableAll(bool enabled) {
  for (const auto& slot : slots_)
    if (slot) slot->SetEnabled(enabled);
  for (int c = 0; c < kMimeCategoryCount; ++c) SetCategoryEnabled(c, enabled);
}

void TMimeList::SetCategorySet(uint8_t set) {
  for (int c = 0; c < kMimeCategoryCount; ++c) SetCategoryEnabled(c, set & (1u << c));
}

bool TMimeList::GetCategoryExpanded(int category) const {
  return category >= 0 && category < kMimeCategoryCount && (categories_[category].Flags & kMimeExpanded);
}

void TMimeList::SetCategoryExpanded(int category, bool expanded) {
  if (category < 0 || category >= kMimeCategoryCount) return;
  uint16_t& flags = categories_[category].Flags;
  flags = expanded ? uint16_t(flags | kMimeExpanded) : uint16_t(flags & ~kMimeExpanded);
}

void TMimeList::ClearUsed() {
  for (const auto& slot : slots_)
    if (slot) slot->SetUsed(false);
}

void TMimeList::Assign(const TMimeList& source) {
  if (&source == this) return;
  Clear();
  for (const auto& slot : source.slots_) {
    slots_.emplace_back();
    if (!slot) continue;
    slots_.back() = std::make_unique<TMimeItem>(this);
    slots_.back()->Assign(*slot);
  }
  categories_ = source.categories_;
}

int TMimeList::Merge(const TMimeList& other) {
  int added = 0;
  for (const auto& slot : other.slots_) {
    if (!slot || FindType(slot->ContentType)) continue;
    if (AddType(slot->ContentType, slot->Extensions, slot->Params.Flags, slot->Category, slot->IsEnabled()) >= 0)
      ++added;
  }
  return added;
}

// ---------------------------------------------------------------- binary form

void TMimeList::SaveToStream(QIODevice& stream) const {
  WriteInt16(kMimeFileVersion, stream);
  int16_t count = 0;
  for (const auto& slot : slots_) count = int16_t(count + (slot ? 1 : 0));
  WriteInt16(count, stream);
  for (size_t i = 0; i < slots_.size(); ++i) {
    const TMimeItem* item = slots_[i].get();
    if (!item) continue;
    WriteInt16(int16_t(i), stream);
    WriteShortString(item->ContentType, stream);
    WriteShortString(item->Extensions, stream);
    WriteByte(item->Category, stream);
    item->Params.Write(stream);
  }
  for (const TMimeParams& c : categories_) c.Write(stream);
}

bool TMimeList::LoadFromStream(QIODevice& stream) {
  const int16_t version = ReadInt16Checked(stream);
  if (version > kMimeFileVersion) return false;
  if (version < 0) throw EReadError("Table des types MIME d'une version inconnue");
  const int16_t count = ReadInt16Checked(stream);
  if (count < 0 || count > kMimeMaxSlots) throw EReadError("Table des types MIME au nombre d'éléments incorrect");

  // Read into a table of its own, so that a bad stream leaves this one as it was.
  std::vector<std::unique_ptr<TMimeItem>> loaded;
  for (int n = 0; n < count; ++n) {
    int index = int(loaded.size());
    if (version >= 6) {
      index = ReadInt16Checked(stream);
      if (index < 0 || index >= kMimeMaxSlots) throw EReadError("Table des types MIME à l'indice hors limites");
      if (index < int(loaded.size()) && loaded[index])
        throw EReadError("Table des types MIME à l'indice donné deux fois");
    }
    auto item = std::make_unique<TMimeItem>(this);
    item->ContentType = ReadShortStringChecked(stream);
    item->Extensions = ReadShortStringChecked(stream);
    item->Category = ReadByteChecked(stream);
    if (item->Category >= kMimeCategoryCount) throw EReadError("Table des types MIME à la catégorie inconnue");
    if (version <= 1) {
      item->Params.Disabled = ReadByteChecked(stream) ? 0 : 1;
      if (item->Extensions == "htm") item->Extensions = "htm,html,shtml,map";
    } else {
      item->Params.ReadChecked(stream);
    }
    if (index >= int(loaded.size())) loaded.resize(index + 1);
    loaded[index] = std::move(item);
  }
  std::array<TMimeParams, kMimeCategoryCount> categories{};
  if (version >= 5)
    for (TMimeParams& c : categories) c.ReadChecked(stream);
  slots_ = std::move(loaded);
  categories_ = categories;
  return true;
}

void TMimeList::SaveToFile(const std::filesystem::path& path) const {
  QSaveFile file(QString::fromStdString(path.string()));
  if (!file.open(QIODevice::WriteOnly)) throw EWriteError("Impossible d'écrire " + path.string());
  SaveToStream(file);
  if (!file.commit()) throw EWriteError("Impossible d'écrire " + path.string());
}

std::string TMimeList::LoadFromFile(const std::filesystem::path& path) {
  QFile file(QString::fromStdString(path.string()));
  // Why the user's table is not the one in use, when it is not.
  std::string refused;
  if (!file.exists()) {
    Clear();
  } else if (file.open(QIODevice::ReadOnly)) {
    const int16_t version = ReadInt16(file);
    file.seek(0);
    bool ok = false;
    try {
      ok = LoadFromStream(file);
    } catch (const EReadError& e) {
      std::string why = e.what();
      if (!why.empty()) why[0] = char(std::tolower(static_cast<unsigned char>(why[0])));
      refused = "est endommagée (" + why + ")";
    }
    file.close();
    if (ok && version >= kMimeFileVersion) return {};
    if (version > kMimeFileVersion) refused = "vient d'une version plus récente du programme";
  } else {
    refused = "ne peut pas être lue (" + file.errorString().toStdString() + ")";
  }
  SetDefault();
  const std::string named = "La table des types MIME " + PrintableText(path.string()) + " ";
  if (!refused.empty()) {
    // The user's file is kept as it was: the defaults never replace it.
    const std::filesystem::path aside = SetFileAside(path, ".bak");
    if (aside.empty())
      return named + refused + " : la table par défaut sert jusqu'à la fin du programme, le fichier est laissé tel quel.";
    refused = named + refused + " : elle a été mise de côté sous " + PrintableText(aside.string()) +
              " et remplacée par la table par défaut.";
  }
  try {
    SaveToFile(path);
  } catch (const EWriteError&) {
    // The table in memory is sound; the next save tries again.
  }
  return refused;
}

// ---------------------------------------------------------------- ini form

bool TMimeList::SaveToIni(profile::TIniFile& ini, std::string_view section) const {
  bool ok = ini.WriteInteger(section, "MimeFileVersion", kMimeFileVersion);
  ok = ini.WriteInteger(section, "MimeCount", int(slots_.size())) && ok;
  for (size_t i = 0; i < slots_.size(); ++i) {
    const TMimeItem* item = slots_[i].get();
    if (!item) continue;
    const std::string value = item->ContentType + "," + std::string(kMimeCategoryNames[item->Category]) + ",(" +
                              item->Extensions + "),(" + item->Params.ToText() + ")";
    ok = ini.WriteString(section, "Mime" + std::to_string(i), value) && ok;
  }
  for (int c = 0; c < kMimeCategoryCount; ++c)
    ok = ini.WriteString(section, kMimeCategoryNames[c], categories_[c].ToText()) && ok;
  return ok;
}

void TMimeList::LoadFromIni(const profile::TIniFile& ini, std::string_view section) {
  Clear();
  int count = ini.ReadInteger(section, "MimeCount", 0);
  if (count < 0) count = 0;
  if (count > kMimeMaxSlots) count = kMimeMaxSlots;
  for (int i = 0; i < count; ++i) {
    slots_.emplace_back();
    const std::string value = ini.ReadString(section, "Mime" + std::to_string(i), "");
    if (value.empty()) continue;
    auto item = std::make_unique<TMimeItem>(this);
    const StringList fields = SplitFields(value, 5);
    if (fields.size() > 0) item->ContentType = fields[0];
    if (fields.size() > 1) item->Category = uint8_t(std::max(0, MimeCategoryFromName(fields[1])));
    if (fields.size() > 2) item->Extensions = fields[2];
    if (fields.size() > 3) item->Params.FromText(fields[3]);
    slots_.back() = std::move(item);
  }
  for (int c = 0; c < kMimeCategoryCount; ++c)
    categories_[c].FromText(ini.ReadString(section, kMimeCategoryNames[c], ""));
}

// ---------------------------------------------------------------- globals

TMimeList& GlobalMimeList() {
  static TMimeList list;
  return list;
}

TMimeItem& DefaultMimeItem() {
  static TMimeItem item = [] {
    TMimeItem i(&GlobalMimeList());
    i.Category = mcDefaut;
    return i;
  }();
  return item;
}

}  // namespace qlon
