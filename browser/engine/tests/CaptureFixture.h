#pragma once
// A capture built directly in a test: records in the states a test needs,
// their saved files in the capture folder, and a checker that walks every
// saved page and follows its links.
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <QBuffer>

#include "HtmlParser.h"
#include "TempRoot.h"
#include "Urlutil.h"
#include "Web.h"

namespace qlon::test {

class TestCapture {
 public:
  TestCapture() {
    std::filesystem::create_directories(dir.path() / "cap");
    web.CreateNew(dir.path() / "cap" / "local.web");
    web.CaptureDate = 45000.5;
  }
  std::filesystem::path Folder() const { return dir.path() / "cap"; }

  // A record with its saved file (none when bytes is empty and the state is
  // not a retrieved one). Returns the stored record's local name.
  std::string Add(const std::string& url, TWebFileState state, const std::string& type, const std::string& local,
                  const std::string& bytes, int linkType = 0, int width = 0, int height = 0) {
    TWebFile r(&web);
    r.SetState(state);
    r.SetLinkType(linkType);
    const size_t dot = local.rfind('.');
    if (!type.empty()) SetContentType(r, type, dot == std::string::npos ? "" : local.substr(dot + 1));
    if (!local.empty()) r.SetLocalName(local);
    r.SetWidth(uint16_t(width));
    r.SetHeight(uint16_t(height));
    if (!web.AddUrl(url, r)) throw std::runtime_error("record not added: " + url);
    if (!local.empty() && (!bytes.empty() || state == fsRetrieved)) WriteFileBytes(Folder() / local, bytes);
    return local;
  }
  std::string Page(const std::string& url, const std::string& local, const std::string& html) {
    return Add(url, fsRetrieved, "text/html", local, html, 0);
  }
  void Failed(const std::string& url, TWebFileState state, int code) {
    TWebFile r(&web);
    r.SetState(state);
    r.SetLinkType(0);
    r.SetWidth(uint16_t(code));
    if (!web.AddUrl(url, r)) throw std::runtime_error("record not added: " + url);
  }
  std::unique_ptr<TWebFile> Find(const std::string& url) {
    auto r = std::make_unique<TWebFile>(&web);
    if (!web.FindUrl(TUrl(url).GetFullUrl(), *r)) throw std::runtime_error("no record " + url);
    return r;
  }
  std::string Read(const std::string& local) const { return ReadFileBytes(Folder() / local); }

  TempDir dir;
  TWeb web;
};

// How often `what` occurs in the text.
inline size_t Count(const std::string& s, const std::string& what) {
  size_t n = 0;
  for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
  return n;
}

struct LinkReport {
  int Local = 0;      // links to files of the capture folder, each of which exists
  int External = 0;   // links to the web (http, https, ftp) or other schemes
  std::vector<std::string> Problems;  // links that leave the folder or name no file
  std::vector<std::string> Targets;   // the local files reached, capture-relative
};

inline bool Inside(const std::filesystem::path& folder, const std::filesystem::path& p) {
  const std::string f = std::filesystem::weakly_canonical(folder).string() + "/";
  const std::string s = std::filesystem::weakly_canonical(p).string();
  return s.compare(0, f.size(), f) == 0;
}

// Follows every link of one saved page as a browser would from the file.
inline void CheckPageLinks(const std::filesystem::path& folder, const std::filesystem::path& page, LinkReport& report) {
  QByteArray bytes = QByteArray::fromStdString(ReadFileBytes(page));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  THtmlParser parser(buffer);
  parser.Parse();
  TTagLink link;
  const std::string name = std::filesystem::relative(page, folder).string();
  for (int i = 0; i < parser.GetCount(); ++i) {
    if (!parser.GetTagLink(i, link) || !(link.Flags & kTokenStart) || !link.Url.Found()) continue;
    if (link.Kind == tkForm || link.Kind == tkApplet || link.Kind == tkParam) continue;
    std::string href = link.GetUrl();
    if (href.empty()) continue;
    const size_t colon = href.find(':'), slash = href.find('/');
    if (colon != std::string::npos && (slash == std::string::npos || colon < slash)) {
      if (href.compare(0, 5, "file:") == 0)
        report.Problems.push_back(name + ": file link " + href);
      else
        ++report.External;
      continue;
    }
    if (href[0] == '/') {
      report.Problems.push_back(name + ": absolute path " + href);
      continue;
    }
    const std::string decoded = UnescapeUrl(href);
    const std::filesystem::path target = page.parent_path() / decoded;
    if (!Inside(folder, target)) {
      report.Problems.push_back(name + ": leaves the capture folder: " + href);
    } else if (!std::filesystem::is_regular_file(target)) {
      report.Problems.push_back(name + ": no file for " + href);
    } else {
      ++report.Local;
      report.Targets.push_back(std::filesystem::relative(std::filesystem::weakly_canonical(target),
                                                         std::filesystem::weakly_canonical(folder))
                                   .string());
    }
  }
}

// Every .htm and .html file below the folder.
inline LinkReport CheckAllLinks(const std::filesystem::path& folder) {
  LinkReport report;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    const std::string ext = entry.path().extension().string();
    if (entry.is_regular_file() && (ext == ".htm" || ext == ".html")) CheckPageLinks(folder, entry.path(), report);
  }
  return report;
}

}  // namespace qlon::test
