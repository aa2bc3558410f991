// Request client throughput and memory: a large local file copied through a
// "file:" request, and a large HTTP body from the loopback server, each
// streamed to a file. Prints MB/s and the peak resident size.
//
//   bench_request [megabytes]
#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "HttpRqst.h"
#include "HttpTestServer.h"
#include "Mime.h"
#include "TempRoot.h"

using namespace qlon;
namespace fs = std::filesystem;

namespace {

long PeakKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmHWM:") return status >> value, value;
    status.ignore(1 << 12, '\n');
  }
  return 0;
}

void Run(const char* what, THttpRequest& r, const std::string& url, const fs::path& out, std::size_t bytes) {
  r.OnHeaderReceived = [&](THttpRequest& q) {
    q.Filename = out.string();
    return true;
  };
  r.Url.Parse(url);
  const auto start = std::chrono::steady_clock::now();
  if (!r.Start()) {
    std::printf("%s: not started\n", what);
    return;
  }
  QTimer tick;
  tick.start(100);
  while (r.State != sIdle) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-12s %8.1f MB/s  %6.2f s  %s  peak %ld KiB\n", what, bytes / s / 1e6, s,
              fs::exists(out) && fs::file_size(out) == bytes ? "whole" : "INCOMPLETE", PeakKiB());
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const std::size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
  const std::size_t bytes = mb << 20;
  test::TempDir dir;
  TMimeList mime;
  THttpRequest request(1, &mime);
  request.Cookies = nullptr;

  const fs::path source = dir.path() / "source.bin";
  {
    std::ofstream f(source, std::ios::binary);
    std::string block(1 << 20, 'x');
    for (std::size_t i = 0; i < mb; ++i) f.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  Run("local file", request, PathToFileUrl(source.string()), dir.path() / "copy1.bin", bytes);

  test::HttpTestServer http;
  if (!http.Start()) return 1;
  test::HttpReply big;
  big.generatedBody = bytes;
  http.Route("/big", big);
  Run("http", request, http.Url("/big"), dir.path() / "copy2.bin", bytes);
  return 0;
}
