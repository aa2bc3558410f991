#include "CaptureChild.h"

#include <sys/resource.h>

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>

#include "Capture.h"
#include "DlgResolve.h"
#include "Mime.h"
#include "Setup.h"
#include "Web.h"

namespace qlon::bench {

namespace fs = std::filesystem;

namespace {

class QuietHost : public ICaptureHost {
 public:
  void UpdateCountLabels() override {}
  void AddWebFileToLists(const TWebFile&) override {}
  bool ConfirmMovedStartUrl(const TWebFile&, const std::string&) override { return false; }
  void RefreshWebTree() override {}
  void ShowElapsed(const std::string&) override {}
  void SetConnectionWeb(int, const std::string&) override {}
  void SetConnectionUrl(int, const std::string&) override {}
  void SetConnectionState(int, THTTP_STATE) override {}
  void SetConnectionSize(int, int64_t) override {}
  void SetConnectionProgress(int, int) override {}
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

int RunCaptureChild(const std::string& startUrl, int sockets, const fs::path& folder) {
  // The settings, win.ini and the registry of this run stay in its folder.
  const fs::path root = folder / "platform";
  fs::create_directories(root / "program");
  fs::create_directories(folder / "capture");
  ::setenv("QLON_PLATFORM_ROOT", root.c_str(), 1);
  int argc = 1;
  char name[] = "bench_capture";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);

  FixedWorkPath prompt((root / "work").string());
  TSetup setup(&prompt, root / "program");
  setup.MaxSockets = sockets;
  setup.Timeout = 30;
  TWeb web;
  web.Options.SetDefault(0);
  web.Options.UseWebStructureFlag = true;
  // Links to what was not captured stay online, as Wget's -k leaves them, so
  // that both copies are judged alike.
  web.Options.SuppressLinkFlag = false;
  web.Options.RealLinkFlag = true;
  web.StartEntries = {{startUrl, "", "", ""}};
  web.CreateNew(folder / "capture" / "local.web");
  web.PrepareCapture();

  QuietHost host;
  TMimeList programMime;
  const double cpu = CpuSeconds();
  auto start = std::chrono::steady_clock::now();
  {
    TCapture capture(web, setup, host, HttpRequestFactory(&setup), programMime);
    capture.SetFlags(kCaptureMissing);
    while (capture.Step()) TCapture::WaitForEvents(100);
  }
  const double run = Since(start);
  start = std::chrono::steady_clock::now();
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
  web.Close();
  std::printf("RESULT %llu %llu %llu %.3f %.3f %.3f %ld\n", static_cast<unsigned long long>(web.RetrievedCount),
              static_cast<unsigned long long>(web.NotFoundCount), static_cast<unsigned long long>(web.ErrorCount), run,
              resolving, used, PeakKb());
  return resolved == rrFinished ? 0 : 3;
}

}  // namespace qlon::bench
