#include "LinkCheck.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QUrl>

#include <algorithm>
#include <map>
#include <system_error>

#include "HtmlParser.h"

namespace qlon::bench {

namespace fs = std::filesystem;

namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char a, char b) { return std::tolower(uint8_t(a)) == std::tolower(uint8_t(b)); });
}

bool LooksLikePage(const fs::path& file) {
  std::string ext = file.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](char c) { return char(std::tolower(uint8_t(c))); });
  if (ext == ".htm" || ext == ".html") return true;
  if (!ext.empty()) return false;
  QFile f(QString::fromStdString(file.string()));
  if (!f.open(QIODevice::ReadOnly)) return false;
  const QByteArray head = f.read(512).trimmed().toLower();
  return head.startsWith("<!doctype html") || head.startsWith("<html");
}

// Whether `path` lies inside `folder` (both canonical as far as they exist,
// so a symbolic link that leads out counts as out).
// Each folder is made canonical once (`folders` keeps them): the links
// share a few, and a canonical path costs a readlink a component.
bool Inside(const fs::path& canonicalFolder, const fs::path& path, std::map<std::string, fs::path>& folders) {
  std::error_code ec;
  const fs::path normal = path.lexically_normal();
  fs::path p;
  std::error_code missing;  // a missing file is no failure here
  if (!normal.has_filename() || fs::is_symlink(fs::symlink_status(normal, missing))) {
    p = fs::weakly_canonical(normal, ec);
  } else {
    auto at = folders.find(normal.parent_path().string());
    if (at == folders.end()) {
      fs::path folder = fs::weakly_canonical(normal.parent_path(), ec);
      if (ec) return false;
      at = folders.emplace(normal.parent_path().string(), std::move(folder)).first;
    }
    p = at->second / normal.filename();
  }
  if (ec) return false;
  auto f = canonicalFolder.begin();
  auto q = p.begin();
  for (; f != canonicalFolder.end(); ++f, ++q)
    if (q == p.end() || *f != *q) return false;
  return true;
}

void Problem(LinkCheckReport& report, const LinkCheckOptions& options, const std::string& page,
             const std::string& href, const char* why) {
  if (report.problems.size() < options.maxProblems) report.problems.push_back(page + ": " + href + " (" + why + ")");
}

// The check's canonical folders, kept from page to page.
struct CanonicalFolders {
  bool rootKnown = false;
  fs::path root;
  std::map<std::string, fs::path> below;
};

void CheckPageIn(const fs::path& folder, const fs::path& page, const LinkCheckOptions& options,
                 LinkCheckReport& report, CanonicalFolders& canonical) {
  QFile file(QString::fromStdString(page.string()));
  if (!file.open(QIODevice::ReadOnly)) return;
  QByteArray bytes = file.readAll();
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  THtmlParser parser(buffer);
  parser.Parse();
  ++report.pages;

  std::error_code ec;
  if (!canonical.rootKnown) {
    canonical.root = fs::weakly_canonical(folder, ec);
    canonical.rootKnown = true;
  }
  const fs::path& root = canonical.root;
  const std::string name = page.lexically_relative(folder).string();  // for the problems listed
  QUrl base = QUrl::fromLocalFile(QString::fromStdString(fs::absolute(page).string()));
  TTagLink link;
  for (int i = 0; i < parser.GetCount(); ++i) {
    if (const int end = parser.InsertedBlockEnd(i); end >= 0) {
      i = end;
      continue;
    }
    if (!parser.GetTagLink(i, link) || !(link.Flags & kTokenStart) || !(link.Flags & kTokenLinkTag)) continue;
    if (link.Kind == tkForm || link.Kind == tkApplet || link.Kind == tkParam) continue;
    const std::string href = link.GetUrl();
    if (href.empty()) continue;
    const QUrl target = base.resolved(QUrl(QString::fromStdString(href)));
    if (link.Kind == tkBase) {
      if (target.isValid()) base = target;
      continue;
    }
    const QString scheme = target.scheme().toLower();
    if (!target.isValid() || (scheme != "file" && scheme != "http" && scheme != "https" && scheme != "ftp")) {
      ++report.ignored;
      continue;
    }
    // "//host/x" from a file: page names another machine, not a local file.
    const bool remoteFile = scheme == "file" && !target.host().isEmpty() && target.host() != "localhost";
    if (scheme != "file" || remoteFile) {
      const std::string url = target.toString().toStdString();
      const bool site = !remoteFile && std::any_of(options.siteOrigins.begin(), options.siteOrigins.end(),
                                    [&](const std::string& origin) { return StartsWithNoCase(url, origin); });
      ++(site ? report.onSite : report.online);
      continue;
    }
    const fs::path path = target.toLocalFile().toStdString();
    if (!Inside(root, path, canonical.below)) {
      ++report.outside;
      Problem(report, options, name, href, "outside the folder");
    } else if (!fs::is_regular_file(path, ec)) {
      ++report.missing;
      Problem(report, options, name, href, "no such file");
    } else {
      ++report.local;
    }
  }
}

}  // namespace

void CheckPage(const fs::path& folder, const fs::path& page, const LinkCheckOptions& options,
               LinkCheckReport& report) {
  CanonicalFolders canonical;
  CheckPageIn(folder, page, options, report, canonical);
}

LinkCheckReport CheckLinks(const fs::path& folder, const LinkCheckOptions& options) {
  LinkCheckReport report;
  std::error_code ec;
  std::vector<fs::path> pages;
  for (auto it = fs::recursive_directory_iterator(folder / options.pagesBelow, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (it->is_regular_file(ec) && LooksLikePage(it->path())) pages.push_back(it->path());
  std::sort(pages.begin(), pages.end());  // problems listed in a stable order
  CanonicalFolders canonical;
  for (const fs::path& page : pages) CheckPageIn(folder, page, options, report, canonical);
  return report;
}

}  // namespace qlon::bench
