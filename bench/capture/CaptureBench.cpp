// Capture throughput: a generated site on a loopback server (pages linking
// to pages, images, links to another host, redirects and errors), captured
// with 1, 5 and 16 connections, with and without a latency per request, and
// GNU Wget (wget -m -k -p -np) on the same server side by side.
//
//   bench_capture [pages [images [runs]]]   defaults 2000 pages, 5000 images
//
// `runs` keeps only the runs whose label holds it ("wget", "50 ms", ...).
//
// The server runs in a process of its own and each capture in a child
// process, so that the peak memory printed is the capture's alone; the CPU
// time is the capture loop's (start-up of the settings left out), wget's
// is its whole process.
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Capture.h"
#include "HttpTestServer.h"
#include "Mime.h"
#include "Setup.h"
#include "TempRoot.h"
#include "Web.h"

using namespace qlon;
namespace fs = std::filesystem;

namespace {

int gPages = 2000, gImages = 5000;

// Page n links to its two children (a tree, so every page is a few links
// from the start), the next page, three images, one page of another host,
// and every tenth page a redirect and a missing page.
std::string PageBody(int n) {
  std::string b = "<html><head><title>Page " + std::to_string(n) + "</title></head><body>\n";
  for (int child : {2 * n + 1, 2 * n + 2, n + 1})
    if (child < gPages) b += "<a href=\"" + std::to_string(child) + ".htm\">page " + std::to_string(child) + "</a>\n";
  for (int k = 0; k < 3; ++k) b += "<img src=\"../img/" + std::to_string((n * 3 + k) % gImages) + ".gif\">\n";
  b += "<a href=\"http://elsewhere.invalid/" + std::to_string(n) + ".htm\">out</a>\n";
  if (n % 10 == 0) b += "<a href=\"../r/" + std::to_string(n) + ".htm\">moved</a> <a href=\"../e/" + std::to_string(n) + ".htm\">gone</a>\n";
  b += "<p>" + std::string(1500, 'x') + "</p></body></html>\n";
  return b;
}

// Images not named by the tree of pages hang off an index page.
std::string IndexBody() {
  std::string b = "<html><body><a href=\"p/0.htm\">start</a>\n";
  for (int i = 0; i < gImages; ++i) b += "<img src=\"img/" + std::to_string(i) + ".gif\">\n";
  return b + "</body></html>\n";
}

qlon::test::HttpReply Serve(const qlon::test::HttpRequestSeen& request) {
  using qlon::test::HttpReply;
  std::string target = request.target;
  std::chrono::milliseconds delay{0};
  if (target.rfind("/slow", 0) == 0) {
    target.erase(0, 5);
    delay = std::chrono::milliseconds(50);
  }
  HttpReply r;
  auto number = [&](const char* prefix) {
    return std::atoi(target.c_str() + std::string(prefix).size());
  };
  if (target == "/site/" || target == "/site/index.htm") {
    r = HttpReply::Ok(IndexBody());
  } else if (target.rfind("/site/p/", 0) == 0 && number("/site/p/") < gPages) {
    r = HttpReply::Ok(PageBody(number("/site/p/")));
  } else if (target.rfind("/site/img/", 0) == 0 && number("/site/img/") < gImages) {
    r = HttpReply::Ok(std::string("GIF89a\x10\x00\x10\x00", 10) + std::string(2000, '\0'), "image/gif");
  } else if (target.rfind("/site/r/", 0) == 0) {
    r.status = 301;
    r.reason = "Moved Permanently";
    r.headers.emplace_back("Location", "../p/" + std::to_string(number("/site/r/")) + ".htm");
  } else {
    r = HttpReply::Ok("<html>not found</html>");
    r.status = 404;
    r.reason = "Not Found";
  }
  r.delayBefore = delay;
  return r;
}

class NullHost : public ICaptureHost {
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

class Prompt : public IWorkPathPrompt {
 public:
  explicit Prompt(std::string p) : p_(std::move(p)) {}
  bool AskWorkPath(std::string& path) override {
    path = p_;
    return true;
  }

 private:
  std::string p_;
};

double CpuSeconds() {
  struct rusage use {};
  getrusage(RUSAGE_SELF, &use);
  return double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) + double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

size_t CountFiles(const fs::path& folder) {
  size_t n = 0;
  std::error_code ec;
  for (auto& e : fs::recursive_directory_iterator(folder, ec))
    if (e.is_regular_file()) ++n;
  return n;
}

// In the child: one capture; prints files kept and the wall time.
int CaptureChild(const std::string& url, int sockets) {
  int argc = 1;
  char name[] = "bench_capture";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  qlon::test::TempRoot root;
  Prompt prompt((root.path() / "work").string());
  fs::create_directories(root.path() / "program");
  TSetup setup(&prompt, root.path() / "program");
  setup.MaxSockets = sockets;
  setup.Timeout = 30;
  TWeb web;
  web.Options.SetDefault(0);
  web.Options.UseWebStructureFlag = true;
  web.StartEntries = {{url, "", "", ""}};
  fs::create_directories(root.path() / "capture");
  web.CreateNew(root.path() / "capture" / "local.web");
  web.PrepareCapture();
  NullHost host;
  TMimeList programMime;
  const auto start = std::chrono::steady_clock::now();
  const double cpu = CpuSeconds();
  {
    TCapture capture(web, setup, host, HttpRequestFactory(&setup), programMime);
    capture.SetFlags(kCaptureMissing);
    while (capture.Step()) TCapture::WaitForEvents(100);
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double used = CpuSeconds() - cpu;
  web.Close();
  std::printf("%llu %llu %.3f %.3f\n", static_cast<unsigned long long>(web.RetrievedCount),
              static_cast<unsigned long long>(web.ErrorCount + web.NotFoundCount), wall, used);
  return 0;
}

struct Result {
  double wall = 0, cpu = 0;
  long maxRssKb = 0;
  std::string output;
};

// Runs `body` in a child whose standard output is read back.
template <class F>
Result InChild(F body) {
  int out[2];
  if (pipe(out) != 0) std::exit(1);
  std::fflush(stdout);  // or the child would print the parent's buffered lines again
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    std::exit(body());
  }
  close(out[1]);
  Result r;
  char buf[512];
  ssize_t n;
  while ((n = read(out[0], buf, sizeof buf)) > 0) r.output.append(buf, size_t(n));
  close(out[0]);
  int status = 0;
  struct rusage use {};
  wait4(pid, &status, 0, &use);
  r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.cpu = double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) + double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
  r.maxRssKb = use.ru_maxrss;
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) gPages = std::max(1, std::atoi(argv[1]));
  if (argc > 2) gImages = std::max(1, std::atoi(argv[2]));
  const std::string only = argc > 3 ? argv[3] : "";
  auto wanted = [&](const std::string& label) { return only.empty() || label.find(only) != std::string::npos; };

  // The server, in its own process.
  int portPipe[2];
  if (pipe(portPipe) != 0) return 1;
  const pid_t server = fork();
  if (server == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive the benchmark
    qlon::test::HttpTestServer http;
    http.SetScript(Serve);
    if (!http.Start()) std::exit(1);
    const uint16_t port = http.Port();
    if (write(portPipe[1], &port, sizeof port) != sizeof port) std::exit(1);
    pause();
    std::exit(0);
  }
  uint16_t port = 0;
  if (read(portPipe[0], &port, sizeof port) != sizeof port) return 1;
  const std::string base = "http://127.0.0.1:" + std::to_string(port);

  std::printf("site: %d pages, %d images, links to another host, %d redirects, %d missing pages\n", gPages, gImages,
              (gPages + 9) / 10, (gPages + 9) / 10);
  std::printf("%-26s %8s %8s %9s %9s %9s %10s\n", "run", "files", "errors", "wall s", "files/s", "cpu s",
              "peak MB");
  for (const char* latency : {"", "/slow"}) {
    const std::string url = base + latency + "/site/";
    for (int sockets : {1, 5, 16}) {
      char label[64];
      std::snprintf(label, sizeof label, "qlon %2d conn%s", sockets, *latency ? ", 50 ms" : "");
      if (!wanted(label)) continue;
      const Result r = InChild([&] { return CaptureChild(url, sockets); });
      unsigned files = 0, errors = 0;
      double wall = 0, cpu = 0;
      if (std::sscanf(r.output.c_str(), "%u %u %lf %lf", &files, &errors, &wall, &cpu) != 4)
        std::fprintf(stderr, "capture child: %s\n", r.output.c_str());
      std::printf("%-26s %8u %8u %9.2f %9.1f %9.2f %10.1f\n", label, files, errors, wall, wall > 0 ? files / wall : 0,
                  cpu, double(r.maxRssKb) / 1024);
      std::fflush(stdout);
    }
    // GNU Wget on the same site, one connection.
    const char* wgetLabel = *latency ? "wget -m -k -p -np, 50 ms" : "wget -m -k -p -np";
    if (!wanted(wgetLabel)) continue;
    const fs::path dir = fs::temp_directory_path() / ("qlon-bench-wget-" + std::to_string(getpid()));
    fs::remove_all(dir);
    const Result w = InChild([&] {
      execlp("wget", "wget", "-m", "-k", "-p", "-np", "-q", "-e", "robots=off", "-P", dir.c_str(), url.c_str(),
             static_cast<char*>(nullptr));
      return 127;
    });
    const size_t files = CountFiles(dir);
    std::printf("%-26s %8zu %8s %9.2f %9.1f %9.2f %10.1f\n", wgetLabel,
                files, "-", w.wall, w.wall > 0 ? files / w.wall : 0, w.cpu, double(w.maxRssKb) / 1024);
    std::fflush(stdout);
    fs::remove_all(dir);
  }
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  return 0;
}
