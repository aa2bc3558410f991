#pragma once
// Profile strings: the INI calls of Win32 (GetPrivateProfileString and its
// kin) over plain text files, and the Delphi-style TIniFile on top of them.
//
// File form, as Windows reads it:
//
//   [Section]          a header; blanks around the name are not part of it
//   key=value          blanks around key and value are not part of them;
//                      a value wrapped in matching quotes ("..." or '...')
//                      reads without them
//   ; comment          kept, never a key
//   anything else      kept, never a key (so are lines before any section)
//
// Sections and keys compare case-insensitively (ASCII and Latin-1 letters);
// the first matching section and, inside it, the first matching key win.
// Nothing is escaped: a value is written byte for byte. Texts that would
// change the file's structure (a line break anywhere, "=" in a key, "]" in
// a section, a key that starts with "[" or ";") are refused.
//
// Writes keep every other line as it was, in its order and with its own line
// ending: a changed key is rewritten in place, a new key goes after the last
// key of its section, a new section at the end of the file. New lines end
// like the file's first line (CR LF for a new file). Each write reads the
// file, changes it and replaces it by a rename, under an exclusive lock
// (RootFolder("run")/profile-<hash>.lock) shared by every process, so a
// reader never sees half a file and two writers never lose each other's keys.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qlon::profile {

namespace fs = std::filesystem;

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, const fs::path& file);
// The leading decimal number of the value (an optional sign, then digits),
// 0 when it has none; the default when the key is missing.
int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         const fs::path& file);
// Creates the file, the section and the key as needed. False for texts that
// the file form cannot hold or when the file cannot be written.
bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const fs::path& file);
bool DeletePrivateProfileKey(std::string_view section, std::string_view key, const fs::path& file);
// Removes the header, its keys and every other line up to the next section.
bool DeletePrivateProfileSection(std::string_view section, const fs::path& file);
// Section names in file order, each once (as first written).
std::vector<std::string> GetPrivateProfileSectionNames(const fs::path& file);
// Keys of the first matching section, in file order, each once.
std::vector<std::string> GetPrivateProfileSectionKeys(std::string_view section, const fs::path& file);

// Runs `changes` with every change this thread makes to `file` kept in
// memory (and seen by this thread's reads), then writes the file once under
// its lock: many keys cost one rewrite. Other threads and processes see the
// old text until then. False when the file could not be written.
bool BatchPrivateProfile(const fs::path& file, const std::function<void()>& changes);

// win.ini, at the platform root.
fs::path WinIniPath();
std::string GetProfileString(std::string_view section, std::string_view key,
                             std::string_view defaultValue);
bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value);

// The INI object of the Delphi runtime, over the calls above.
class TIniFile {
 public:
  explicit TIniFile(fs::path file) : file_(std::move(file)) {}
  const fs::path& FileName() const { return file_; }

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  // Decimal or "$" hexadecimal; the default when missing or not a number.
  int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
  // An integer other than 0.
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  bool WriteInteger(std::string_view section, std::string_view key, int value);
  bool WriteBool(std::string_view section, std::string_view key, bool value);

  std::vector<std::string> ReadSections() const;
  std::vector<std::string> ReadSection(std::string_view section) const;  // its keys
  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;
  bool EraseSection(std::string_view section);
  bool DeleteKey(std::string_view section, std::string_view key);

 private:
  fs::path file_;
};

}  // namespace qlon::profile
