#include "FolderSite.h"

#include <fstream>
#include <iterator>
#include <system_error>

namespace qlon::bench {

namespace fs = std::filesystem;

namespace {

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The path of a target with its %-escapes decoded; false for what could
// leave the folder or end a name early.
bool DecodePath(const std::string& target, std::string& path) {
  path.clear();
  const std::string raw = target.substr(0, target.find_first_of("?#"));
  if (raw.empty() || raw[0] != '/') return false;
  for (size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '%' && i + 2 < raw.size() && Hex(raw[i + 1]) >= 0 && Hex(raw[i + 2]) >= 0) {
      c = char(Hex(raw[i + 1]) * 16 + Hex(raw[i + 2]));
      i += 2;
    }
    if (c == '\0' || c == '\\') return false;
    path += c;
  }
  for (size_t start = 0; start <= path.size();) {
    const size_t slash = std::min(path.find('/', start), path.size());
    if (path.compare(start, slash - start, "..") == 0) return false;
    start = slash + 1;
  }
  return true;
}

}  // namespace

fs::path FolderSite::FileOf(const std::string& target) const {
  std::string path;
  if (!DecodePath(target, path)) return {};
  fs::path file = root_ / fs::path(path).relative_path();
  std::error_code ec;
  if (fs::is_directory(file, ec)) file /= "index.html";
  if (!fs::is_regular_file(file, ec)) return {};
  return file;
}

std::string FolderSite::TypeOf(const fs::path& file) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {".html", "text/html"},  {".htm", "text/html"},       {".css", "text/css"},
      {".js", "application/javascript"},                     {".png", "image/png"},
      {".gif", "image/gif"},   {".jpg", "image/jpeg"},      {".jpeg", "image/jpeg"},
      {".svg", "image/svg+xml"}, {".txt", "text/plain"},    {".ico", "image/x-icon"},
      {".json", "application/json"}, {".xml", "text/xml"},  {".pdf", "application/pdf"},
  };
  const std::string extension = file.extension().string();
  for (const auto& [ext, type] : kTypes)
    if (extension == ext) return type;
  return "application/octet-stream";
}

SiteReply FolderSite::Reply(const std::string& target) const {
  SiteReply reply;
  const fs::path file = FileOf(target);
  std::ifstream in;
  if (!file.empty()) in.open(file, std::ios::binary);
  if (!in.is_open()) {
    reply.status = 404;
    reply.type = "text/html";
    reply.body = "<html><body><h1>Erreur 404</h1></body></html>\n";
    return reply;
  }
  reply.type = TypeOf(file);
  reply.body.assign(std::istreambuf_iterator<char>(in), {});
  return reply;
}

}  // namespace qlon::bench
