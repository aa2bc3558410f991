#pragma once
// TLocalNaming: how the records of one capture get their local files.
//
// A record's local name comes from its URL, its MIME item and the capture's
// options (Reserve); the name is made unique in the capture folder and its
// file created empty at once, so that two records never share a file. What
// the rule remembers between records lives here, for one capture folder:
// where the search for each taken name ended, the folders already found to
// be real folders, the names the records hold (a file none of them names is
// free to take back) and, while a capture runs, the pool its empty files
// come from. The capture's URL tree owns one (TUrlBTree::Naming).
#include <sys/stat.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "LocalPath.h"
#include "WebFile.h"

namespace qlon {

class TFilePool;

// The summary index page of a capture folder, a name the local-name rule
// never gives a record.
inline constexpr const char* kSummaryPage = "_Accueil.htm";

// The capture options the local-name rule reads.
struct TLocalNameOptions {
  bool ShortFileNames = false;   // ShortFileNameFlag: 8.3 names
  bool UseWebStructure = false;  // UseWebStructureFlag: host and folders under the capture folder
};

// What the rule needs to know of the record it names.
struct TNameRequest {
  std::string_view Url;  // the whole URL; a fragment is left out
  TMimeNaming Mime;
  bool JavaClass = false;  // a Java class keeps its long name
  std::string_view Own;    // the record's current name, which counts as free
  std::size_t Room = 0;    // the longest name the record can hold
};

// Where the last part of a local name has the dot of its extension; npos none.
std::size_t ExtensionDot(std::string_view name);

// The unique-name rule: `name` when its file is free, else the first free
// numbered candidate (the end of the base name replaced by 1..9, 11..19, ...,
// 81..89, then the three-digit round, then 1000 and on, so that a candidate
// is always found). The chosen file is created empty at once, so two records
// never get one file even when their bodies arrive later. `own` counts as
// free. Empty when the folder refuses. This one is for a folder of no
// capture: nothing is remembered between calls.
std::string ReserveUniqueName(const std::filesystem::path& folder, const std::string& name, const std::string& own);

class TLocalNaming {
 public:
  // The capture folder (a "/" is added); the checked folders and the
  // claimed names are forgotten.
  void SetFolder(const std::string& path);
  const std::string& Folder() const { return folder_; }

  TLocalNameOptions Options;
  // Emptied with each new folder; TWeb::PrepareCapture fills it.
  TClaimedNames Claimed;
  // While a capture runs: where its records' empty files come from.
  TFilePool* FilePool = nullptr;
  // The MIME item of a record (from the capture's MIME table); by default none.
  std::function<TMimeNaming(const TWebFile&)> MimeOf;

  // Names a record from its URL and reserves the name's file; empty when no
  // name could be made or reserved (no folder, refused, no room).
  std::string Reserve(const TNameRequest& request);
  // The unique-name rule in the capture folder, with what it remembers.
  std::string ReserveUnique(const std::string& name, const std::string& own);
  // Where earlier searches for a free name ended is forgotten.
  void ForgetSearches() { hints_.clear(); }

  // LocalNameToPathText and CreateLocalFolder in the capture folder.
  std::optional<std::string> PathOf(std::string_view name, struct stat* found = nullptr, bool lastPart = true);
  bool CreateFolder(std::string_view name);

 private:
  std::string folder_;
  // Where the search for each taken name ended (the next number to try).
  std::unordered_map<std::string, uint64_t> hints_;
  TCheckedFolders checked_;
};

}  // namespace qlon
