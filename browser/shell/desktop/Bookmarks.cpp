#include "Bookmarks.h"

#include <cstring>
#include <fstream>
#include <functional>

#include <QDateTime>
#include <QSaveFile>

#include "HtmlParser.h"
#include "LocalNaming.h"
#include "LocalPath.h"
#include "Setup.h"
#include "ShellLinks.h"
#include "Urlutil.h"
#include "Utils.h"
#include "Web.h"

namespace qlon {

namespace fs = std::filesystem;

namespace {

// Deeper lists are refused: nothing a browser writes, and the tree is
// walked recursively.
constexpr int kMaxDepth = 200;

constexpr const char* kDoctype = "<!DOCTYPE NETSCAPE-Bookmark-file-1>";

bool StartsNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (LowerChar(text[i]) != LowerChar(prefix[i])) return false;
  return true;
}

std::size_t FindNoCase(std::string_view text, std::string_view what, std::size_t from) {
  for (std::size_t i = from; i + what.size() <= text.size(); ++i)
    if (StartsNoCase(text.substr(i), what)) return i;
  return std::string_view::npos;
}

// The line without its end and without the blanks before it.
std::string_view Body(const std::string& line) {
  std::string_view s(line);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.remove_suffix(1);
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

// A tag of that name at the start: "<NAME" then a blank or ">".
bool IsTag(std::string_view s, std::string_view name) {
  return StartsNoCase(s, name) && s.size() > name.size() &&
         (s[name.size()] == '>' || s[name.size()] == ' ' || s[name.size()] == '\t');
}

// Where the tag starting at `from` ends ("> included"), quoted values
// skipped; npos when it does not end on the line.
std::size_t TagEnd(std::string_view s, std::size_t from) {
  char quote = 0;
  for (std::size_t i = from; i < s.size(); ++i) {
    if (quote) {
      if (s[i] == quote) quote = 0;
    } else if (s[i] == '"' || s[i] == '\'') {
      quote = s[i];
    } else if (s[i] == '>') {
      return i + 1;
    }
  }
  return std::string_view::npos;
}

std::string Decode(std::string_view text) {
  std::string out;
  DecodeHtmlEntities(text, false, out);
  return out;
}

// "<DT><H3 ...>title</H3>" or "<DT><A ...>title</A>": the element's tag and
// where its title lies in the line; false for any other line.
bool ReadElement(const std::string& line, std::string_view name, TTag& tag, std::size_t& titleAt,
                 std::size_t& titleSize) {
  std::string_view s = Body(line);
  const std::size_t lineStart = std::size_t(s.data() - line.data());
  if (!StartsNoCase(s, "<DT>")) return false;
  std::size_t at = 4;
  while (at < s.size() && (s[at] == ' ' || s[at] == '\t')) ++at;
  if (!IsTag(s.substr(at), std::string("<") + std::string(name))) return false;
  const std::size_t end = TagEnd(s, at);
  if (end == std::string_view::npos) return false;
  const std::size_t close = FindNoCase(s, std::string("</") + std::string(name), end);
  if (close == std::string_view::npos) return false;
  tag.LoadFromText(s.substr(at, end - at));
  titleAt = lineStart + end;
  titleSize = close - end;
  return true;
}

std::int64_t ReadDate(const TTag& tag) {
  const std::string text = tag.GetParamValue("ADD_DATE");
  try {
    std::size_t used = 0;
    const long long v = std::stoll(text, &used);
    return used == text.size() && v > 0 ? v : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

std::string Indent(int depth) { return std::string(std::size_t(depth) * 4, ' '); }

}  // namespace

int TBookmarkNode::EntryCount() const {
  int n = 0;
  for (const auto& c : Children_) n += c->Kind_ != bkLine;
  return n;
}

TBookmarkList::TBookmarkList() { Clear(); }
TBookmarkList::~TBookmarkList() = default;

void TBookmarkList::Clear() {
  Root_ = std::make_unique<TBookmarkNode>(TBookmarkNode::bkFolder);
  Prolog_.clear();
  Epilog_.clear();
  Eol_ = "\n";
  FileName_.clear();
  Stamp_ = {};
  Size_ = 0;
  Modified_ = false;
  BackedUp_ = false;
  NoFinalEol_ = false;
}

namespace {

// The file's lines, each with its end; none when the file cannot be read
// whole or is too large to be a bookmark file.
bool ReadLines(const fs::path& path, std::uintmax_t& size, std::vector<std::string>& lines) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  size = fs::file_size(path, ec);
  if (ec || size > kBookmarkFileMax) return false;
  std::string text;
  {
    std::ifstream in(path, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), {});
    if (in.bad() || text.size() != size) return false;
  }
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t nl = text.find('\n', at);
    const std::size_t end = nl == std::string::npos ? text.size() : nl + 1;
    lines.emplace_back(text, at, end - at);
    at = end;
  }
  return true;
}

}  // namespace

bool TBookmarkList::LoadFromFile(const fs::path& path) {
  Clear();
  std::uintmax_t size = 0;
  std::vector<std::string> lines;
  if (!ReadLines(path, size, lines) || !readHeader(lines)) return false;
  if (!readTree(lines)) {
    Clear();
    return false;
  }
  std::error_code ec;
  FileName_ = path;
  Stamp_ = fs::last_write_time(path, ec);
  Size_ = size;
  return true;
}

bool TBookmarkList::readHeader(std::vector<std::string>& lines) {
  std::size_t first = 0;
  while (first < lines.size() && Body(lines[first]).empty()) ++first;
  if (first == lines.size()) return false;
  std::string_view head = Body(lines[first]);
  if (StartsNoCase(head, "\xEF\xBB\xBF")) head.remove_prefix(3);
  if (!StartsNoCase(head, std::string_view(kDoctype, std::strlen(kDoctype) - 1))) return false;
  if (lines.front().size() >= 2 && lines.front()[lines.front().size() - 2] == '\r') Eol_ = "\r\n";
  if (lines.back().back() != '\n') {
    NoFinalEol_ = true;
    lines.back() += Eol_;
  }
  return true;
}

bool TBookmarkList::readTree(std::vector<std::string>& lines) {
  std::vector<TBookmarkNode*> open{Root_.get()};
  TBookmarkNode* header = nullptr;  // a folder waiting for its list
  bool inTop = false, afterTop = false;
  for (std::string& line : lines) {
    const std::string_view s = Body(line);
    if (afterTop) {
      Epilog_ += line;
    } else if (!inTop) {
      if (IsTag(s, "<DL")) {
        Root_->Open_ = line;
        inTop = true;
      } else {
        Prolog_ += line;
      }
    } else if (IsTag(s, "<DL")) {
      TBookmarkNode* folder = header;
      if (!folder) {
        // A list without a heading: kept, never taken as a folder.
        auto anonymous = std::make_unique<TBookmarkNode>(TBookmarkNode::bkFolder);
        folder = anonymous.get();
        open.back()->Children_.push_back(std::move(anonymous));
      }
      if (int(open.size()) > kMaxDepth) return false;
      folder->Open_ = line;
      open.push_back(folder);
      header = nullptr;
    } else if (StartsNoCase(s, "</DL")) {
      open.back()->Close_ = line;
      open.pop_back();
      header = nullptr;
      afterTop = open.empty();
    } else {
      std::unique_ptr<TBookmarkNode> node = ReadEntry(line);
      if (node->Kind_ == TBookmarkNode::bkLine && header) {
        // A description between a heading and its list stays with the heading.
        header->Line_ += line;
        continue;
      }
      // A folder's list follows its heading, descriptions may come between.
      if (node->Kind_ != TBookmarkNode::bkLine) header = node->Kind_ == TBookmarkNode::bkFolder ? node.get() : nullptr;
      node->Line_ = std::move(line);
      open.back()->Children_.push_back(std::move(node));
    }
  }
  return inTop;
}

std::unique_ptr<TBookmarkNode> TBookmarkList::ReadEntry(const std::string& line) {
  TTag tag;
  std::size_t titleAt = 0, titleSize = 0;
  std::unique_ptr<TBookmarkNode> node;
  if (ReadElement(line, "H3", tag, titleAt, titleSize)) {
    node = std::make_unique<TBookmarkNode>(TBookmarkNode::bkFolder);
  } else if (ReadElement(line, "A", tag, titleAt, titleSize)) {
    node = std::make_unique<TBookmarkNode>(TBookmarkNode::bkItem);
    node->Url_ = tag.GetParamValue("HREF");
  } else {
    return std::make_unique<TBookmarkNode>(TBookmarkNode::bkLine);
  }
  node->Title_ = Decode(std::string_view(line).substr(titleAt, titleSize));
  node->AddDate_ = ReadDate(tag);
  node->TitleAt_ = titleAt;
  node->TitleSize_ = titleSize;
  return node;
}

void TBookmarkList::NewFile(const fs::path& path) {
  Clear();
  Prolog_ = std::string(kDoctype) +
            "\n<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
            "<TITLE>Signets</TITLE>\n<H1>Signets</H1>\n\n";
  FileName_ = path;
  Modified_ = true;
}

bool TBookmarkList::IsCurrent(const fs::path& path) const {
  if (FileName_.empty() || FileName_ != path) return false;
  std::error_code ec;
  if (!fs::exists(path, ec)) return Size_ == 0 && Modified_;  // new, not saved yet
  return fs::file_size(path, ec) == Size_ && fs::last_write_time(path, ec) == Stamp_ && !ec;
}

void TBookmarkList::Write(const TBookmarkNode& folder, int depth, std::string& out) const {
  const bool top = &folder == Root_.get();
  const bool isNew = folder.Line_.empty() && folder.Open_.empty() && !top;
  if (!top) {
    if (isNew) {
      out += Indent(depth) + "<DT><H3 ADD_DATE=\"" + std::to_string(folder.AddDate_) + "\">" +
             EscapeHtmlText(folder.Title_) + "</H3>" + Eol_;
    } else {
      out += folder.Line_;
    }
  }
  // A heading read without a list stays without one until it gets entries.
  if (folder.Open_.empty() && folder.Close_.empty() && folder.Children_.empty() && !isNew) return;
  out += folder.Open_.empty() ? Indent(depth) + "<DL><p>" + Eol_ : folder.Open_;
  for (const auto& c : folder.Children_) {
    if (c->Kind_ == TBookmarkNode::bkFolder) {
      Write(*c, depth + 1, out);
    } else if (!c->Line_.empty()) {
      out += c->Line_;
    } else {
      out += Indent(depth + 1) + "<DT><A HREF=\"" + EscapeHtmlText(c->Url_) + "\" ADD_DATE=\"" +
             std::to_string(c->AddDate_) + "\">" + EscapeHtmlText(c->Title_) + "</A>" + Eol_;
    }
  }
  out += folder.Close_.empty() ? Indent(depth) + "</DL><p>" + Eol_ : folder.Close_;
}

bool TBookmarkList::Save() {
  if (FileName_.empty()) return false;
  std::string text = Prolog_;
  Write(*Root_, 0, text);
  text += Epilog_;
  if (NoFinalEol_ && text.size() >= Eol_.size() && text.compare(text.size() - Eol_.size(), Eol_.size(), Eol_) == 0)
    text.resize(text.size() - Eol_.size());
  std::error_code ec;
  if (!BackedUp_ && fs::exists(FileName_, ec)) {
    fs::path backup = FileName_;
    backup += ".bak";
    if (!fs::copy_file(FileName_, backup, fs::copy_options::overwrite_existing, ec)) return false;
    BackedUp_ = true;
  }
  QSaveFile file(QString::fromStdString(FileName_.string()));
  if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), qint64(text.size())) != qint64(text.size()) ||
      !file.commit())
    return false;
  Stamp_ = fs::last_write_time(FileName_, ec);
  Size_ = text.size();
  BackedUp_ = true;
  Modified_ = false;
  return true;
}

TBookmarkNode* TBookmarkList::FindFolder(const std::string& title) {
  std::function<TBookmarkNode*(TBookmarkNode&)> find = [&](TBookmarkNode& folder) -> TBookmarkNode* {
    for (auto& c : folder.Children_) {
      if (c->Kind_ != TBookmarkNode::bkFolder) continue;
      // A list without a heading is no folder of its own.
      const bool headed = !c->Line_.empty() || c->Open_.empty();
      if (headed && c->Title_ == title) return c.get();
      if (TBookmarkNode* found = find(*c)) return found;
    }
    return nullptr;
  };
  return find(*Root_);
}

TBookmarkNode& TBookmarkList::FindOrCreateFolder(const std::string& title) {
  if (TBookmarkNode* found = FindFolder(title)) return *found;
  auto folder = std::make_unique<TBookmarkNode>(TBookmarkNode::bkFolder);
  folder->Title_ = title;
  folder->AddDate_ = QDateTime::currentSecsSinceEpoch();
  Root_->Children_.push_back(std::move(folder));
  Modified_ = true;
  return *Root_->Children_.back();
}

TBookmarkNode* TBookmarkList::FindItem(TBookmarkNode& folder, const std::string& url) {
  for (auto& c : folder.Children_)
    if (c->Kind_ == TBookmarkNode::bkItem && c->Url_ == url) return c.get();
  return nullptr;
}

TBookmarkNode& TBookmarkList::AddItem(TBookmarkNode& folder, const std::string& url, const std::string& title,
                                      std::int64_t addDate) {
  auto item = std::make_unique<TBookmarkNode>(TBookmarkNode::bkItem);
  item->Url_ = url;
  item->Title_ = title;
  item->AddDate_ = addDate;
  folder.Children_.push_back(std::move(item));
  Modified_ = true;
  return *folder.Children_.back();
}

void TBookmarkList::SetTitle(TBookmarkNode& node, const std::string& title) {
  if (node.Title_ == title) return;
  node.Title_ = title;
  if (!node.Line_.empty()) {
    const std::string escaped = EscapeHtmlText(title);
    node.Line_.replace(node.TitleAt_, node.TitleSize_, escaped);
    node.TitleSize_ = escaped.size();
  }
  Modified_ = true;
}

bool TBookmarkList::Remove(TBookmarkNode& folder, const TBookmarkNode& child) {
  auto& children = folder.Children_;
  for (auto it = children.begin(); it != children.end(); ++it) {
    if (it->get() != &child) continue;
    children.erase(it);
    Modified_ = true;
    return true;
  }
  return false;
}

TBookmarkNode* TBookmarkList::ParentOf(const TBookmarkNode& node) {
  std::function<TBookmarkNode*(TBookmarkNode&)> find = [&](TBookmarkNode& folder) -> TBookmarkNode* {
    for (auto& c : folder.Children_) {
      if (c.get() == &node) return &folder;
      if (TBookmarkNode* found = find(*c)) return found;
    }
    return nullptr;
  };
  return find(*Root_);
}

// ---------------------------------------------------------------- web commands

namespace {

fs::path FavoritesFolder(const TSetup& setup) {
  fs::path folder = GetShellFolderPath("Favorites");
  const std::string sub = CleanNamePart(setup.BookmarkFolder);
  if (!folder.empty() && !sub.empty()) folder /= sub;
  return folder;
}

// The shortcut's file name: the title made a clean name, room left for ".url".
std::string ShortcutName(const std::string& title) {
  std::string name = CleanNamePart(title);
  std::size_t cut = std::min<std::size_t>(name.size(), kLocalPartMax - 4);
  while (cut > 0 && cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  name.resize(cut);
  name = CleanNamePart(name);
  return (name.empty() ? std::string("Web") : name) + ".url";
}

// The bookmark file in the list: kept when the list holds it as it is on
// disk, else read; a file not there yet in an existing folder starts new.
bool LoadBookmarkFile(TBookmarkList& list, const std::string& file) {
  if (file.empty()) return false;
  const fs::path path(file);
  if (list.IsCurrent(path) || list.LoadFromFile(path)) return true;
  std::error_code ec;
  if (!fs::exists(path, ec) && path.is_absolute() && fs::is_directory(path.parent_path(), ec)) {
    list.NewFile(path);
    return true;
  }
  return false;
}

TBookmarkNode* WebFolder(TBookmarkList& list, const TSetup& setup, bool create) {
  if (setup.BookmarkFolder.empty()) return &list.TopList();
  return create ? &list.FindOrCreateFolder(setup.BookmarkFolder) : list.FindFolder(setup.BookmarkFolder);
}

}  // namespace

TWebBookmark WebBookmarkOf(const TWeb& web) {
  TWebBookmark b;
  const fs::path folder = web.Path().parent_path();
  b.Url = PathToFileUrl((folder / kSummaryPage).string());
  b.Title = web.GetTitle().empty() ? folder.filename().string() : web.GetTitle();
  b.AddDate = web.CaptureDate > 0 ? DateTimeToQDateTime(web.CaptureDate).toSecsSinceEpoch()
                                  : QDateTime::currentSecsSinceEpoch();
  return b;
}

bool AddWebBookmark(TBookmarkList& list, TSetup& setup, IBookmarkHost& host, const TWebBookmark& web) {
  const fs::path favorites = FavoritesFolder(setup);
  std::error_code ec;
  if (!favorites.empty()) {
    fs::create_directories(favorites, ec);
    WriteInternetShortcut(favorites / ShortcutName(web.Title), web.Url);
  }

  if (!LoadBookmarkFile(list, setup.BookmarkFile)) {
    if (!setup.UseBookmark) return false;
    const std::string text =
        (setup.BookmarkFile.empty() ? std::string("Aucun fichier de signets n'est indiqué.")
                                    : "Le fichier de signets " + setup.BookmarkFile + " ne peut pas être lu.") +
        "\r\nVoulez-vous créer ou choisir un nouveau fichier de signet?";
    if (!host.AskYesNo(text, "Ajout d'un signet")) {
      // Stored at once: the user does not want the question again.
      setup.SetUseBookmark(false);
      return false;
    }
    host.ShowBookmarkOptions();
    if (!LoadBookmarkFile(list, setup.BookmarkFile)) return false;
  }

  TBookmarkNode& folder = *WebFolder(list, setup, true);
  if (TBookmarkNode* item = list.FindItem(folder, web.Url)) {
    list.SetTitle(*item, web.Title);
  } else {
    list.AddItem(folder, web.Url, web.Title, web.AddDate);
  }
  return !list.Modified() || list.Save();
}

bool RemoveWebBookmark(TBookmarkList& list, const TSetup& setup, const TWebBookmark& web) {
  // Every shortcut to the web, whatever title it was made under.
  const fs::path favorites = FavoritesFolder(setup);
  std::error_code ec;
  if (!favorites.empty() && fs::is_directory(favorites, ec)) {
    std::vector<fs::path> doomed;
    for (const fs::directory_entry& e : fs::directory_iterator(favorites, ec))
      if (e.path().extension() == ".url" && ReadInternetShortcut(e.path()) == web.Url) doomed.push_back(e.path());
    for (const fs::path& p : doomed) fs::remove(p, ec);
  }

  const fs::path path(setup.BookmarkFile);
  if (path.empty() || !(list.IsCurrent(path) || list.LoadFromFile(path))) return false;
  TBookmarkNode* folder = WebFolder(list, setup, false);
  if (!folder) return true;
  const TBookmarkNode* item = list.FindItem(*folder, web.Url);
  if (!item) return true;
  list.Remove(*folder, *item);
  if (folder != &list.TopList() && folder->EntryCount() == 0)
    if (TBookmarkNode* parent = list.ParentOf(*folder)) list.Remove(*parent, *folder);
  return !list.Modified() || list.Save();
}

}  // namespace qlon
