#pragma once
// The user's browser bookmark file, and the two web commands on it.
//
// File form ("NETSCAPE-Bookmark-file-1"), one element a line:
//
//   <!DOCTYPE NETSCAPE-Bookmark-file-1>        first line: what makes it one
//   ...                                        title, heading: kept as read
//   <DL><p>                                    the top list
//       <DT><H3 ADD_DATE="...">Folder</H3>     a folder, its list follows
//       <DL><p>
//           <DT><A HREF="url" ADD_DATE="seconds since 1970">Title</A>
//       </DL><p>
//       <HR>                                   any other line: kept in place
//   </DL><p>
//
// The file belongs to the user's browser, so a save changes only what the
// program changed: every line read is written back byte for byte, a new
// title is spliced into its line, new elements are written in the file's own
// line ending. Titles and addresses are escaped when written, so a title
// never adds markup. The first save over a file keeps the file as it was in
// "<name>.bak"; each save replaces the file whole (a crash leaves either).
//
// A file that is not one (another first line, a list the reader cannot
// follow) is refused at loading and never written.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace qlon {

class TSetup;
class TWeb;

// Bookmark files larger than this are refused.
inline constexpr std::uintmax_t kBookmarkFileMax = 64u * 1024 * 1024;

class TBookmarkNode {
 public:
  enum TKind { bkItem, bkFolder, bkLine };
  explicit TBookmarkNode(TKind kind) : Kind_(kind) {}

  TKind Kind() const { return Kind_; }
  const std::string& Title() const { return Title_; }   // items and folders, decoded
  const std::string& Url() const { return Url_; }       // items, decoded
  std::int64_t AddDate() const { return AddDate_; }    // 0 when unknown
  const std::vector<std::unique_ptr<TBookmarkNode>>& Children() const { return Children_; }
  // Items and folders among the children (kept lines do not count).
  int EntryCount() const;

 private:
  friend class TBookmarkList;
  TKind Kind_;
  std::string Title_, Url_;
  std::int64_t AddDate_ = 0;
  std::vector<std::unique_ptr<TBookmarkNode>> Children_;
  // As read, each with its line end; empty for a new element, written anew.
  std::string Line_;
  std::string Open_, Close_;  // folders: the lines opening and closing the list
  // Where the title lies in Line_, to change it in place.
  std::size_t TitleAt_ = 0, TitleSize_ = 0;
};

class TBookmarkList {
 public:
  TBookmarkList();
  ~TBookmarkList();
  TBookmarkList(const TBookmarkList&) = delete;
  TBookmarkList& operator=(const TBookmarkList&) = delete;

  // Replaces the list by the file's; false (and an empty list of no file)
  // when the file is missing, unreadable, too large or not a bookmark file.
  bool LoadFromFile(const std::filesystem::path& path);
  // Writes the list back to its file; false when nothing was loaded or the
  // file cannot be written.
  bool Save();
  void Clear();
  // An empty bookmark file of that name, written at the first save.
  void NewFile(const std::filesystem::path& path);

  const std::filesystem::path& FileName() const { return FileName_; }
  bool Loaded() const { return !FileName_.empty(); }
  bool Modified() const { return Modified_; }
  // Whether the list holds the file as it is now on disk (another program
  // may have saved it since).
  bool IsCurrent(const std::filesystem::path& path) const;

  const TBookmarkNode& Root() const { return *Root_; }
  TBookmarkNode& TopList() { return *Root_; }
  // The first folder of that title, depth first; null when none.
  TBookmarkNode* FindFolder(const std::string& title);
  // Found, or appended to the top list.
  TBookmarkNode& FindOrCreateFolder(const std::string& title);
  TBookmarkNode* FindItem(TBookmarkNode& folder, const std::string& url);
  TBookmarkNode& AddItem(TBookmarkNode& folder, const std::string& url, const std::string& title,
                         std::int64_t addDate);
  void SetTitle(TBookmarkNode& node, const std::string& title);
  // Removes a child of the folder (with its own children); false when it is
  // not one.
  bool Remove(TBookmarkNode& folder, const TBookmarkNode& child);
  // The folder holding the node; null for the top list or a stranger.
  TBookmarkNode* ParentOf(const TBookmarkNode& node);

 private:
  void Write(const TBookmarkNode& folder, int depth, std::string& out) const;
  // The file's first line must be the bookmark doctype; notes its line
  // ends. False when the lines are not a bookmark file.
  bool readHeader(std::vector<std::string>& lines);
  // The lines into the prolog, the tree and the epilog; false when the top
  // list is missing or nested too deep.
  bool readTree(std::vector<std::string>& lines);
  // A line inside a list: a folder's heading, a bookmark or another line.
  static std::unique_ptr<TBookmarkNode> ReadEntry(const std::string& line);

  std::unique_ptr<TBookmarkNode> Root_;
  std::string Prolog_, Epilog_;  // lines before and after the top list
  std::string Eol_ = "\n";
  std::filesystem::path FileName_;
  std::filesystem::file_time_type Stamp_{};
  std::uintmax_t Size_ = 0;
  bool Modified_ = false;
  bool BackedUp_ = false;
  bool NoFinalEol_ = false;  // the file's last line has no end
};

// How the web commands reach the user.
class IBookmarkHost {
 public:
  virtual ~IBookmarkHost() = default;
  // A Yes/No question; true for Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
  // Shows the options page where the bookmark file is chosen ("Navigateur Web").
  virtual void ShowBookmarkOptions() = 0;
};

// What a web's bookmark holds.
struct TWebBookmark {
  std::string Url;     // the web's "_Accueil.htm" as a file: URL
  std::string Title;   // the web's title, else its folder's name
  std::int64_t AddDate = 0;
};
TWebBookmark WebBookmarkOf(const TWeb& web);

// The add-bookmark command: an Internet shortcut in the favourites'
// bookmark folder, then the entry in the bookmark file named by the settings
// (loaded into the list unless it holds that file already as it is on
// disk). When the file cannot be read and the bookmark option is on, the
// user is asked whether to create or choose another; any answer but Yes
// turns the option off (and stores that choice), Yes shows the options page
// and tries once more. False when the bookmark file was not updated.
bool AddWebBookmark(TBookmarkList& list, TSetup& setup, IBookmarkHost& host, const TWebBookmark& web);
// The remove-bookmark part of deleting a web: its Internet shortcuts in the
// favourites' bookmark folder, then its entry in the bookmark file, with the
// folder when that leaves it empty. No question is asked.
bool RemoveWebBookmark(TBookmarkList& list, const TSetup& setup, const TWebBookmark& web);

}  // namespace qlon
