#pragma once
// Local names: where a capture keeps the file of a record, relative to the
// capture folder. A local name is a "/"-separated path of clean parts:
//   - no part is empty, "." or "..";
//   - no part holds "/", "\", NUL, a control byte, ":" or "|";
//   - no part ends with "." or a blank; each part is at most 255 bytes
//     (never cut inside a UTF-8 sequence); the whole is at most 1023 bytes.
// Such a name cannot leave the folder it is joined to. Names come from URLs
// (hostile input) and from capture files (possibly damaged), so every use of
// one by the file system goes through LocalNameToPath, which refuses names
// that are not clean and symbolic links met below the capture folder.
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace qlon {

inline constexpr std::size_t kLocalPartMax = 255;
inline constexpr std::size_t kLocalNameMax = 1023;

// One part, made clean: forbidden bytes and bytes that are not UTF-8 become
// "_", trailing dots and blanks go, the length is cut to 255 bytes on a
// character boundary. Empty, "." and ".." give "".
std::string CleanNamePart(std::string_view part);
// A whole name, split at "/" and "\", each part cleaned, empty parts dropped.
std::string CleanLocalName(std::string_view raw);
bool IsCleanLocalName(std::string_view name);

// Local folder names below one capture folder already found to be real
// folders, not links. A capture looks up the path of each record several
// times, in a few folders: with this, a lookup costs the check of its last
// part instead of one per folder. The capture's own code never makes links;
// the set is for one capture folder and forgets everything when given
// another.
class TCheckedFolders {
 public:
  void Clear() { base_.clear(), folders_.clear(); }
  bool Contains(std::string_view base, std::string_view folder) const {
    return base == base_ && folders_.find(folder) != folders_.end();
  }
  void Add(std::string_view base, std::string_view folder);

 private:
  std::string base_;
  std::set<std::string, std::less<>> folders_;
};

// The path of a local name inside the folder; none when the name is empty,
// not clean, too long, or passes through a symbolic link below the folder.
// `found` (optional) receives what is at the path (st_mode 0 for nothing).
// Without `lastPart` only the folders above the last part are looked at:
// for a caller that creates it with O_CREAT | O_EXCL, which never follows
// a link (`found` is then left at 0).
std::optional<std::filesystem::path> LocalNameToPath(const std::filesystem::path& folder, std::string_view name,
                                                     TCheckedFolders* checked = nullptr, struct stat* found = nullptr,
                                                     bool lastPart = true);
// The same as a text, for the callers that need no path object (taking one
// apart costs more than the lookup when it is not used).
std::optional<std::string> LocalNameToPathText(std::string_view folder, std::string_view name,
                                               TCheckedFolders* checked = nullptr, struct stat* found = nullptr,
                                               bool lastPart = true);
// Creates the folders of a local folder name (all missing parents) through
// LocalNameToPath; false when refused or when creating failed.
bool CreateLocalFolder(const std::filesystem::path& folder, std::string_view name,
                       TCheckedFolders* checked = nullptr);

}  // namespace qlon
