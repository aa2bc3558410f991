#include "DistroHttpServer.h"

#include <unistd.h>

#include <sstream>

#include "ServerProcess.h"

namespace qlon::test {

namespace {

namespace fs = std::filesystem;

constexpr const char* kApacheModules = "/usr/lib/apache2/modules";

// The extensions the configurations type; anything else is the server's
// own default.
constexpr struct {
  const char* type;
  const char* extensions;
} kTypes[] = {
    {"text/html", "html htm"},    {"text/css", "css"},      {"application/javascript", "js"},
    {"image/gif", "gif"},         {"image/png", "png"},     {"image/jpeg", "jpg jpeg"},
    {"image/svg+xml", "svg"},     {"text/plain", "txt"},
};

std::string Quoted(const fs::path& path) { return "\"" + path.string() + "\""; }

// Apache's workers leave root for "nobody", who must be able to read the
// folder: its tree readable, its parents passable.
void OpenToOthers(const fs::path& folder) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const bool dir = it->is_directory(ec);
    fs::permissions(it->path(), dir ? fs::perms::others_read | fs::perms::others_exec : fs::perms::others_read,
                    fs::perm_options::add, ec);
  }
  fs::permissions(folder, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add, ec);
  for (fs::path p = folder.parent_path(); !p.empty() && p != p.root_path(); p = p.parent_path())
    fs::permissions(p, fs::perms::others_exec, fs::perm_options::add, ec);
}

}  // namespace

DistroHttpServer::DistroHttpServer(Kind kind) : kind_(kind) {
  const std::string program = kind_ == Kind::Nginx ? "/usr/sbin/nginx" : "/usr/sbin/apache2";
  if (::access(program.c_str(), X_OK) == 0 &&
      (kind_ == Kind::Nginx || fs::exists(fs::path(kApacheModules) / "mod_mpm_event.so")))
    program_ = program;
  else
    why_ = program + " is not installed (tools/setup.sh installs the package " + Name() + ")";
}

DistroHttpServer::~DistroHttpServer() { Stop(); }

const char* DistroHttpServer::Name() const { return kind_ == Kind::Nginx ? "nginx" : "apache2"; }

std::string DistroHttpServer::Configuration(std::uint16_t port) const {
  const fs::path& d = dir_.path();
  const std::string listen = "127.0.0.1:" + std::to_string(port);
  std::ostringstream c;
  if (kind_ == Kind::Nginx) {
    c << "daemon off;\nmaster_process off;\npid " << Quoted(d / "server.pid") << ";\nerror_log "
      << Quoted(d / "error.log") << ";\nevents { worker_connections 256; }\nhttp {\n"
      << "  log_format plain '$request $status';\n  access_log " << Quoted(d / "access.log") << " plain;\n";
    for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
      c << "  " << temp << "_temp_path " << Quoted(d / "tmp") << ";\n";
    c << "  types {\n";
    for (const auto& t : kTypes) c << "    " << t.type << " " << t.extensions << ";\n";
    c << "  }\n  default_type application/octet-stream;\n"
      << "  server {\n    listen " << listen << ";\n    root " << Quoted(folder_) << ";\n  }\n}\n";
  } else {
    c << "ServerRoot " << Quoted(d) << "\nDefaultRuntimeDir " << Quoted(d) << "\nPidFile "
      << Quoted(d / "server.pid") << "\nMutex file:" << d.string() << " default\n";
    for (const char* module : {"mpm_event", "authz_core", "mime", "dir"})
      c << "LoadModule " << module << "_module " << kApacheModules << "/mod_" << module << ".so\n";
    if (::geteuid() == 0) c << "User nobody\nGroup nogroup\n";
    c << "ServerName 127.0.0.1\nListen " << listen << "\nErrorLog " << Quoted(d / "error.log")
      << "\nLogFormat \"%r %>s\" plain\nCustomLog " << Quoted(d / "access.log") << " plain\nTypesConfig "
      << Quoted(d / "mime.types") << "\n";
    for (const auto& t : kTypes) {
      c << "AddType " << t.type;
      std::istringstream extensions(t.extensions);
      for (std::string e; extensions >> e;) c << " ." << e;
      c << "\n";
    }
    c << "DirectoryIndex index.html\nDocumentRoot " << Quoted(folder_) << "\n<Directory " << Quoted(folder_)
      << ">\n  Require all granted\n</Directory>\n";
  }
  return c.str();
}

std::vector<std::string> DistroHttpServer::Arguments() const {
  const std::string conf = (dir_.path() / "server.conf").string();
  if (kind_ == Kind::Nginx)
    return {program_, "-e", (dir_.path() / "error.log").string(), "-p", dir_.path().string() + "/", "-c", conf};
  return {program_, "-f", conf, "-DFOREGROUND"};
}

bool DistroHttpServer::Start(const fs::path& folder) {
  Stop();
  if (!Available()) return false;
  folder_ = fs::absolute(folder);
  std::error_code ec;
  fs::create_directories(dir_.path() / "tmp", ec);
  WriteFileBytes(dir_.path() / "mime.types", "");  // the types are the configuration's
  if (kind_ == Kind::Apache && ::geteuid() == 0) {
    OpenToOthers(folder_);
    // Its workers open the lock files there again.
    fs::permissions(dir_.path(), fs::perms::others_exec, fs::perm_options::add, ec);
  }
  // The free port may be taken between our look and the server's bind: then
  // the server ends at once and another port is tried.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::uint16_t port = FreeLoopbackPort();
    if (port == 0) continue;
    WriteFileBytes(dir_.path() / "server.conf", Configuration(port));
    pid_ = SpawnProcess(Arguments(), (dir_.path() / "output.log").string());
    if (pid_ > 0 && WaitListening(pid_, port, 15)) {
      port_ = port;
      logged_ = 0;
      return true;
    }
    StopProcess(pid_);
  }
  why_ = std::string(Name()) + " did not start: " + Errors();
  return false;
}

void DistroHttpServer::Stop() {
  StopProcess(pid_);
  port_ = 0;
}

std::string DistroHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> DistroHttpServer::Requests() const {
  std::istringstream log(ReadFileBytes(dir_.path() / "access.log"));
  std::vector<std::string> lines;
  size_t n = 0;
  for (std::string line; std::getline(log, line);)
    if (!line.empty() && n++ >= logged_) lines.push_back(line);
  return lines;
}

void DistroHttpServer::ClearRequests() { logged_ += Requests().size(); }

std::string DistroHttpServer::Errors() const {
  return ReadFileBytes(dir_.path() / "error.log") + ReadFileBytes(dir_.path() / "output.log");
}

}  // namespace qlon::test
