#include "CaptureChild.h"

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "Capture.h"
#include "Cookies.h"
#include "DlgResolve.h"
#include "Mime.h"
#include "Setup.h"
#include "Web.h"

namespace qlon::bench {

namespace fs = std::filesystem;

namespace {

// Tells nothing to a window; with events, tells the kept records.
class ChildHost : public ICaptureHost {
 public:
  explicit ChildHost(bool events) : events_(events) {}
  void UpdateCountLabels() override {}
  void AddWebFileToLists(const TWebFile& record) override {
    if (events_ && record.GetState() == fsRetrieved && !record.IsRedirect()) Event("KEPT", record.FullUrl);
  }
  bool ConfirmMovedStartUrl(const TWebFile&, const std::string&) override { return false; }
  void RefreshWebTree() override {}
  void ShowElapsed(const std::string&) override {}
  void SetConnectionWeb(int, const std::string&) override {}
  void SetConnectionUrl(int, const std::string&) override {}
  void SetConnectionState(int, THTTP_STATE) override {}
  void SetConnectionSize(int, int64_t) override {}
  void SetConnectionProgress(int, int) override {}

  // One line at once with write(2): a kill never leaves it in a buffer.
  void Event(const char* what, const std::string& text = {}) const {
    if (!events_) return;
    std::string line = std::string(what) + " " + std::to_string(MonotonicMs());
    line += (text.empty() ? "" : " " + text) + "\n";
    for (size_t done = 0; done < line.size();) {
      const ssize_t n = ::write(1, line.data() + done, line.size() - done);
      if (n <= 0) return;
      done += size_t(n);
    }
  }

 private:
  bool events_;
};

class QuietResolve : public IResolveHost {
 public:
  void ShowState(const std::string&) override {}
  void ShowFile(const std::string&) override {}
  void SetGauge(int) override {}
  void StepGauge() override {}
  void ProcessMessages() override { QCoreApplication::processEvents(); }
};

class FixedWorkPath : public IWorkPathPrompt {
 public:
  explicit FixedWorkPath(std::string path) : path_(std::move(path)) {}
  bool AskWorkPath(std::string& path) override {
    path = path_;
    return true;
  }

 private:
  std::string path_;
};

double CpuSeconds() {
  rusage use{};
  ::getrusage(RUSAGE_SELF, &use);
  return double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) + double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

// The peak resident size of this process (VmHWM), in KB.
long PeakKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  rusage use{};
  ::getrusage(RUSAGE_SELF, &use);
  return use.ru_maxrss;
}

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// What a child starts with: the settings, win.ini and the registry of the
// run in its folder (set before the application starts), the application
// and the settings.
class ChildRun {
 public:
  explicit ChildRun(const fs::path& folder)
      : root_(PlatformRoot(folder)), app_(argc_, argv_), prompt_((root_ / "work").string()),
        setup(&prompt_, root_ / "program") {}

 private:
  static fs::path PlatformRoot(const fs::path& folder) {
    const fs::path root = folder / "platform";
    fs::create_directories(root / "program");
    fs::create_directories(folder / "capture");
    ::setenv("QLON_PLATFORM_ROOT", root.c_str(), 1);
    return root;
  }
  fs::path root_;
  int argc_ = 1;
  char name_[14] = "bench_capture";
  char* argv_[2] = {name_, nullptr};
  QCoreApplication app_;
  FixedWorkPath prompt_;

 public:
  TSetup setup;
};

// The capture run as the program makes it, into folder/capture: a new
// capture file, or with `resume` the folder's own. Its seconds; negative
// when the capture file does not open.
double CaptureSite(TWeb& web, TSetup& setup, const CaptureChildOptions& options, ChildHost& host,
                   std::vector<TCapture::TFtpServer>& refusing) {
  const fs::path file = options.folder / "capture" / "local.web";
  setup.MaxSockets = options.sockets;
  setup.Timeout = 30;
  if (options.resume) {
    try {
      if (web.Open(file) != wlOk) {
        std::fprintf(stderr, "%s: not a capture that opens\n", file.c_str());
        return -1;
      }
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      return -1;
    }
    if (!web.OpenNote().empty()) std::fprintf(stderr, "%s\n", web.OpenNote().c_str());
  } else {
    web.Options.SetDefault(0);
    web.Options.UseWebStructureFlag = true;
    // Links to what was not captured stay online, as Wget's -k leaves them, so
    // that both copies are judged alike.
    web.Options.SuppressLinkFlag = false;
    web.Options.RealLinkFlag = true;
    web.StartEntries = {{options.startUrl, "", "", ""}};
    web.CreateNew(file);
  }
  web.PrepareCapture();
  const auto start = std::chrono::steady_clock::now();
  host.Event("RUN");
  {
    TCapture capture(web, setup, host, HttpRequestFactory(&setup), GlobalMimeList(), &CookiesBase());
    if (options.saveIntervalMs > 0) capture.SaveInterval = options.saveIntervalMs;
    if (options.poolStart) capture.SetFilePoolStart(*options.poolStart);
    capture.OnSaved = [&host] { host.Event("SAVED"); };
    capture.SetFlags(kCaptureMissing);
    while (capture.Step()) TCapture::WaitForEvents(100);
    refusing = capture.FtpServers();
  }  // the run's end saves the capture
  return Since(start);
}

// Every file below the folder, by relative name.
std::map<std::string, std::string> Files(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (!e.is_regular_file()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    files[fs::relative(e.path(), folder).string()] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

}  // namespace

long long MonotonicMs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

bool ParseCaptureChildArgs(int argc, char** argv, CaptureChildOptions& o) {
  if (argc < 3) return false;
  o.startUrl = argv[0];
  o.sockets = std::atoi(argv[1]);
  o.folder = argv[2];
  for (int i = 3; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--resume")
      o.resume = true;
    else if (a == "--events")
      o.events = true;
    else if (a == "--save-interval" && more)
      o.saveIntervalMs = std::atoi(argv[++i]);
    else if (a == "--auto-save" && more)
      o.autoSaveCount = std::atoi(argv[++i]);
    else if (a == "--file-pool" && more && (argv[i + 1] == std::string("off") || argv[i + 1] == std::string("on")))
      o.poolStart = argv[++i] == std::string("off") ? -1 : 0;
    else
      return false;
  }
  return o.sockets > 0 && !o.folder.empty();
}

int RunCaptureChild(const CaptureChildOptions& options) {
  ChildRun child(options.folder);
  TSetup& setup = child.setup;
  // As the program starts: its settings (the cookie store loaded with them
  // when cookies are accepted) and its MIME table.
  if (options.autoSaveCount > 0) setup.AutoSaveCount = options.autoSaveCount;
  GlobalMimeList().LoadFromFile(fs::path(setup.WorkPath) / "mime.def");
  ChildHost host(options.events);
  TWeb web;
  const double cpu = CpuSeconds();
  std::vector<TCapture::TFtpServer> refusing;
  const double run = CaptureSite(web, setup, options, host, refusing);
  if (run < 0) return 4;
  const auto start = std::chrono::steady_clock::now();
  host.Event("RESOLVING");
  QuietResolve resolveHost;
  TDlgResolve resolve(web, resolveHost, setup.Sommaire);
  int resolved = rrNone;
  try {
    resolved = resolve.Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "link resolution: %s\n", e.what());
  }
  const double resolving = Since(start);
  const double used = CpuSeconds() - cpu;
  web.Save();
  host.Event("SAVED");
  web.Close();
  // As the program leaves: the persistent cookies go to the work folder.
  setup.SaveSettings();
  for (const TCapture::TFtpServer& server : refusing)
    if (!server.Reply.empty())
      std::printf("REFUSED %s %d %lld %s\n", server.Site.c_str(), server.Connections, static_cast<long long>(server.Lost),
                server.Reply.c_str());
  std::printf("RESULT %llu %llu %llu %.3f %.3f %.3f %ld\n", static_cast<unsigned long long>(web.RetrievedCount),
              static_cast<unsigned long long>(web.NotFoundCount), static_cast<unsigned long long>(web.ErrorCount), run,
              resolving, used, PeakKb());
  return resolved == rrFinished ? 0 : 3;
}

int RunRecordsChild(const fs::path& folder) {
  ChildRun child(folder);
  TWeb web;
  try {
    if (web.Open(folder / "capture" / "local.web") != wlOk) return 4;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 4;
  }
  std::vector<std::string> lines;
  web.ForEach([&lines](TWebFile& r) {
    static const char kHex[] = "0123456789abcdef";
    std::string line = r.FullUrl + '\t';
    for (size_t i = 10; i < TWebFile::kHead; ++i) {
      line += kHex[r.Record()[i] >> 4];
      line += kHex[r.Record()[i] & 15];
    }
    lines.push_back(line + '\t' + r.GetLocalName());
    return true;
  });
  std::sort(lines.begin(), lines.end());
  for (const std::string& line : lines) std::printf("%s\n", line.c_str());
  return 0;
}

int RunResolveChild(const std::string& startUrl, int sockets, const fs::path& folder, int threads, int rounds) {
  ChildRun child(folder);
  {
    CaptureChildOptions options;
    options.startUrl = startUrl;
    options.sockets = sockets;
    options.folder = folder;
    ChildHost host(false);
    TWeb web;
    std::vector<TCapture::TFtpServer> refusing;
    if (CaptureSite(web, child.setup, options, host, refusing) < 0) return 4;
    web.Close();
  }
  // A fresh copy of the captured folder for each resolution, all made and
  // on disk before the first starts: the resolution's sync would write out
  // a copy made just before, and ext4 without a journal makes every file
  // created look past the inodes freed in the last seconds, so nothing is
  // removed until the end.
  std::vector<int> counts{1};
  if (threads != 1) counts.push_back(threads);
  std::vector<fs::path> copies;
  for (int round = 0; round < rounds; ++round)
    for (int count : counts) {
      copies.push_back(folder / ("resolved-" + std::to_string(round) + "-" + std::to_string(count)));
      fs::copy(folder / "capture", copies.back(), fs::copy_options::recursive);
    }
  ::sync();
  std::map<std::string, std::string> first;
  bool same = true;
  size_t files = 0, next = 0;
  for (int round = 0; round < rounds; ++round)
    for (int count : counts) {
      const fs::path& copy = copies[next++];
      TWeb web;
      if (web.Open(copy / "local.web") != wlOk) return 4;
      QuietResolve host;
      TDlgResolve resolve(web, host, child.setup.Sommaire);
      resolve.Threads = count;
      const auto start = std::chrono::steady_clock::now();
      const int result = resolve.Run();
      const double seconds = Since(start);
      web.Close();
      if (result != rrFinished) return 3;
      std::printf("RESOLVE %d %.3f\n", count, seconds);
      std::fflush(stdout);
      const auto now = Files(copy);
      if (first.empty()) {
        first = now;
        files = now.size();
      } else if (now != first) {
        same = false;
      }
    }
  for (const fs::path& copy : copies) fs::remove_all(copy);
  std::printf("SAME %s %zu\n", same ? "yes" : "no", files);
  return same ? 0 : 5;
}

}  // namespace qlon::bench
