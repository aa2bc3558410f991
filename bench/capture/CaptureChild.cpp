#include "CaptureChild.h"

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>

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

class QuietResolve : public TResolveHost {
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
    else
      return false;
  }
  return o.sockets > 0 && !o.folder.empty();
}

int RunCaptureChild(const CaptureChildOptions& options) {
  // The settings, win.ini and the registry of this run stay in its folder.
  const fs::path root = options.folder / "platform";
  const fs::path file = options.folder / "capture" / "local.web";
  fs::create_directories(root / "program");
  fs::create_directories(file.parent_path());
  ::setenv("QLON_PLATFORM_ROOT", root.c_str(), 1);
  int argc = 1;
  char name[] = "bench_capture";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);

  // As the program starts: its settings (the cookie store loaded with them
  // when cookies are accepted) and its MIME table.
  FixedWorkPath prompt((root / "work").string());
  TSetup setup(&prompt, root / "program");
  setup.MaxSockets = options.sockets;
  setup.Timeout = 30;
  if (options.autoSaveCount > 0) setup.AutoSaveCount = options.autoSaveCount;
  GlobalMimeList().LoadFromFile(fs::path(setup.WorkPath) / "mime.def");
  ChildHost host(options.events);

  TWeb web;
  if (options.resume) {
    try {
      if (web.Open(file) != wlOk) {
        std::fprintf(stderr, "%s: not a capture that opens\n", file.c_str());
        return 4;
      }
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      return 4;
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

  const double cpu = CpuSeconds();
  auto start = std::chrono::steady_clock::now();
  host.Event("RUN");
  {
    TCapture capture(web, setup, host, HttpRequestFactory(&setup), GlobalMimeList(), &CookiesBase());
    if (options.saveIntervalMs > 0) capture.SaveInterval = options.saveIntervalMs;
    capture.OnSaved = [&host] { host.Event("SAVED"); };
    capture.SetFlags(kCaptureMissing);
    while (capture.Step()) TCapture::WaitForEvents(100);
  }  // the run's end saves the capture
  const double run = Since(start);
  start = std::chrono::steady_clock::now();
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
  std::printf("RESULT %llu %llu %llu %.3f %.3f %.3f %ld\n", static_cast<unsigned long long>(web.RetrievedCount),
              static_cast<unsigned long long>(web.NotFoundCount), static_cast<unsigned long long>(web.ErrorCount), run,
              resolving, used, PeakKb());
  return resolved == rrFinished ? 0 : 3;
}

}  // namespace qlon::bench
