#include "MainWebOps.h"

#include <algorithm>
#include <vector>

#include <QString>

#include "Urlutil.h"
#include "Web.h"

namespace fs = std::filesystem;

namespace qlon {

namespace {

// Removes the empty folders under root (not root itself), deepest first.
void RemoveEmptyFolders(const fs::path& root) {
  std::error_code ec;
  std::vector<fs::path> folders;
  for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    if (it->is_directory(ec) && !it->is_symlink(ec)) folders.push_back(it->path());
  std::sort(folders.begin(), folders.end(), [](const fs::path& a, const fs::path& b) {
    return a.string().size() > b.string().size();
  });
  for (const fs::path& f : folders)
    if (fs::is_empty(f, ec)) fs::remove(f, ec);
}

}  // namespace

std::optional<fs::path> WebPage(const TWeb* web, const std::string& relative) {
  if (!web) return std::nullopt;
  fs::path page = web->Path().parent_path() / relative;
  std::error_code ec;
  if (!fs::is_regular_file(page, ec)) return std::nullopt;
  return page;
}

std::string CannotOpenWebText(const std::string& path, const TWeb& web) {
  return "Le web " + PrintableText(path) + " ne peut pas être ouvert" +
         (web.LoadError().empty() ? std::string() : " : " + web.LoadError()) + ".";
}

bool SamePath(const fs::path& a, const fs::path& b) {
  std::error_code ec1, ec2;
  return fs::weakly_canonical(a, ec1) == fs::weakly_canonical(b, ec2);
}

bool IsWithin(const fs::path& inner, const fs::path& outer) {
  std::error_code ec;
  const fs::path a = fs::weakly_canonical(inner, ec), b = fs::weakly_canonical(outer, ec);
  if (a.empty() || b.empty()) return false;
  auto ai = a.begin(), bi = b.begin();
  for (; bi != b.end(); ++ai, ++bi) {
    if (bi->empty()) continue;  // a trailing separator
    if (ai == a.end() || *ai != *bi) return false;
  }
  return true;
}

void AddStartUrl(TWeb& web, const std::string& url, const std::string& user, const std::string& password) {
  for (const TStartEntry& e : web.StartEntries)
    if (e.Url == url) return;
  web.StartEntries.push_back({url, user, password, ""});
}

void ResetWebDocument(TWeb& web) {
  if (!web.IsFileOpen()) return;
  const fs::path file = web.Path();
  const fs::path folder = file.parent_path();
  std::error_code ec;
  web.ForEach([&](TWebFile& r) {
    // GetLocalPath is empty for a name that would leave the folder.
    if (const std::string path = r.GetLocalPath(); !path.empty() && fs::path(path) != file) fs::remove(path, ec);
    return true;
  });
  fs::remove_all(folder / "Index", ec);
  fs::remove_all(folder / "thumb", ec);
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file(ec) && name.size() > 4 && name.front() == '_' &&
        QString::fromStdString(name).endsWith(".htm", Qt::CaseInsensitive))
      fs::remove(entry.path(), ec);
  }
  RemoveEmptyFolders(folder);
  const std::vector<TStartEntry> entries = web.StartEntries;
  web.Close();
  web.StartEntries = entries;
  web.RetrievedCount = web.FilteredCount = web.NotFoundCount = web.ErrorCount = 0;
  web.MimeCategorySet = 0;
  web.TotalSize = 0;
  web.Maps = TMapList();
  web.Info = TCaptureInfo();
  web.ToCapture.Clear();
  web.ToUpdate.Clear();
  web.CreateNew(file);
}

int RemoveIsolatedRecords(TWeb& web) {
  std::vector<std::string> isolated;
  web.ForEach([&](TWebFile& r) {
    if (r.GetState() == fsRetrieved && !r.IsUpdated() && !r.IsStartUrl() && !r.IsRedirect())
      isolated.push_back(r.FullUrl.empty() ? r.GetUrl() : r.FullUrl);
    return true;
  });
  int removed = 0;
  std::error_code ec;
  for (const std::string& url : isolated) {
    TWebFile r(&web);
    if (!web.FindUrl(url, r)) continue;
    const std::string path = r.GetLocalPath();
    if (!web.DeleteRecord(r)) continue;
    if (!path.empty()) fs::remove(path, ec);
    if (web.RetrievedCount) --web.RetrievedCount;
    if (r.IsGone() && web.ErrorCount) --web.ErrorCount;
    ++removed;
  }
  return removed;
}

int CountToUpdate(TWeb& web) {
  int count = 0;
  web.ForEach([&](TWebFile& r) {
    if (r.GetState() == fsToUpdate) ++count;
    return true;
  });
  return count;
}

void SetDefaultTitle(TWeb& web) {
  if (!web.GetTitle().empty() || web.StartEntries.empty()) return;
  const std::string url = web.StartEntries.front().FullUrl();
  TWebFile first(&web);
  std::string title;
  if (web.FindUrl(url, first) && first.IsRetrieved()) title = first.GetTitle();
  web.SetTitle(title.empty() ? url : title);
}

bool MayDeleteWebFolder(const fs::path& folder, const fs::path& workFolder, const fs::path& programFolder) {
  if (!IsSafeToDeleteTree(folder)) return false;
  for (const fs::path& kept : {workFolder, programFolder})
    if (!kept.empty() && IsWithin(kept, folder)) return false;
  return true;
}

}  // namespace qlon
