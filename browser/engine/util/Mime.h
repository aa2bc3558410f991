#pragma once
// The MIME table: content types, their file extensions, one of seven
// document categories, and per type and per category whether files of that
// kind are captured. One program-wide table (GlobalMimeList, "mime.def" in
// the work folder) and one per capture's options (inside the capture file
// and the profiles).
//
// Settings record (TMimeParams), 20 bytes, little-endian, stored as is:
//    0  2  flag word (kMime... below)
//    2  1  disabled: 1 = not captured
//    3  1  padding, 0
//    4  4  reserved          8  4  reserved
//   12  8  four reserved 16-bit values
// Its text form is "%d,%d,%d,%d,%d,%d,%d,%d": the flag word, the 16-bit word
// at offset 2, the two 32-bit values, the four 16-bit values.
//
// Binary form ("mime.def" holds exactly this; version 6):
//   int16 version, int16 n (non-nil slots), then n times:
//     int16 slot index, short string type, short string extensions,
//     byte category, 20-byte settings
//   7 category records (140 bytes)
// Older versions: no slot index (items appended in order); version 1 has one
// enabled byte instead of the settings record; versions below 5 have no
// category records.
//
// Invariant: URL records hold 1-based one-byte indexes into the slots, so a
// removed type leaves a nil slot (the other indexes stay), and a table never
// holds more than kMimeMaxSlots slots.
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QIODevice;

namespace qlon {

namespace profile {
class TIniFile;
}

enum TMimeCategory : uint8_t {
  mcHtml = 0,
  mcTexte = 1,
  mcImage = 2,
  mcSon = 3,
  mcVideo = 4,
  mcAutre = 5,
  mcDefaut = 6,
};
inline constexpr int kMimeCategoryCount = 7;
inline constexpr int16_t kMimeFileVersion = 6;
// One byte of a URL record holds slot + 1.
inline constexpr int kMimeMaxSlots = 255;

inline constexpr uint16_t kMimeExpanded = 0x01;
inline constexpr uint16_t kMimeUsed = 0x40;
inline constexpr uint16_t kMimeFixed = 0x80;
inline constexpr uint16_t kMimeBuiltIn = 0x100;

struct TMimeParams {
  uint16_t Flags = 0;
  uint8_t Disabled = 0;
  uint8_t Padding = 0;
  int32_t Reserved1 = 0;
  int32_t Reserved2 = 0;
  std::array<uint16_t, 4> Reserved3{};

  bool operator==(const TMimeParams&) const = default;
  void Write(QIODevice& stream) const;
  void ReadChecked(QIODevice& stream);
  std::string ToText() const;
  // Sets the fields the text gives, in order; a text with no numbers leaves
  // the record unchanged.
  void FromText(std::string_view text);
};

// 1 text, 2 image, 3 audio, 4 video, 5 application, any other major type or
// no "/" 5.
int MimeTypeCategory(std::string_view contentType);
// The category of a name ("Html" ... "Defaut", any case); -1 when unknown.
int MimeCategoryFromName(std::string_view name);

class TMimeList;

class TMimeItem {
 public:
  explicit TMimeItem(TMimeList* owner = nullptr) : Owner(owner) {}
  void Assign(const TMimeItem& source);

  bool IsEnabled() const;
  void SetEnabled(bool enabled);
  bool CanDelete() const { return !(Params.Flags & (kMimeBuiltIn | kMimeUsed)); }
  bool IsUsed() const { return Params.Flags & kMimeUsed; }
  void SetUsed(bool used);
  std::string GetFirstExtension() const;
  bool HasExtension(std::string_view ext) const;
  void AddExtensions(std::string_view list);

  TMimeList* Owner;
  std::string ContentType;
  std::string Extensions;
  uint8_t Category = mcHtml;
  TMimeParams Params;
};

class TMimeList {
 public:
  TMimeList();
  // Writes the table to its file name, when set.
  ~TMimeList();
  TMimeList(const TMimeList&) = delete;
  TMimeList& operator=(const TMimeList&) = delete;

  void SetDefault();
  void Clear();
  // The slot (0-based) of the type, added or merged; -1 when the table is
  // full (kMimeMaxSlots) and the type is new.
  int AddType(std::string_view type, std::string_view extensions, uint16_t flags, int category, bool enabled);
  void Remove(TMimeItem* item);
  TMimeItem* FindType(std::string_view type) const;
  TMimeItem* FindExtension(std::string_view ext) const;
  TMimeItem* GetItem(int index) const;
  int IndexOf(const TMimeItem* item) const;
  int Count() const { return int(slots_.size()); }

  bool GetCategoryEnabled(int category) const;
  void SetCategoryEnabled(int category, bool enabled);
  void EnableCategory(int category, bool enabled);
  void EnableAll(bool enabled);
  void SetCategorySet(uint8_t set);
  bool GetCategoryExpanded(int category) const;
  void SetCategoryExpanded(int category, bool expanded);
  void ClearUsed();

  void Assign(const TMimeList& source);
  int Merge(const TMimeList& other);

  void SaveToStream(QIODevice& stream) const;
  // False (table untouched) for a version above 6. A truncated or malformed
  // table (slot index out of range or given twice) raises EReadError and
  // also leaves the table untouched.
  bool LoadFromStream(QIODevice& stream);
  // Writes atomically; raises EWriteError when the file cannot be written.
  void SaveToFile(const std::filesystem::path& path) const;
  // Reads the file; a missing or older one gets the default types merged in
  // and is written anew. One that cannot be read, is damaged or comes from
  // a later program gives the default table: it is first set aside under a
  // free name (path + ".bak", ".bak2", ...) and the defaults written in its
  // place; when it cannot be set aside it stays untouched. Returns what the
  // user is to be told (French), empty when nothing.
  std::string LoadFromFile(const std::filesystem::path& path);
  bool SaveToIni(profile::TIniFile& ini, std::string_view section) const;
  void LoadFromIni(const profile::TIniFile& ini, std::string_view section);

  std::filesystem::path FileName;

 private:
  std::vector<std::unique_ptr<TMimeItem>> slots_;
  std::array<TMimeParams, kMimeCategoryCount> categories_{};
};

// The program-wide table, and the "Defaut" item used for records with no
// MIME index (owned by the table but not in it).
TMimeList& GlobalMimeList();
TMimeItem& DefaultMimeItem();

}  // namespace qlon
