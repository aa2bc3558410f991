// A participant of a TDataSynchronizer in its own process, for the
// cross-process tests:
//   qlon_sync_helper hold-write NAME INDEX          write lock, "held", sleep
//   qlon_sync_helper hold-read NAME INDEX           wait for data, "reading", sleep
//   qlon_sync_helper writer NAME INDEX COUNT LOG    COUNT logged writes
//   qlon_sync_helper reader NAME INDEX MS LOG       logged reads for MS ms
// Logged sections append "W+ pid", "W- pid" (or R) lines to LOG.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "DataSynchronizer.h"

namespace {

using namespace std::chrono_literals;

void Log(const std::string& path, const char* mark) {
  const std::string line = std::string(mark) + " " + std::to_string(::getpid()) + "\n";
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  if (::write(fd, line.data(), line.size()) < 0) std::perror("log");
  ::close(fd);
}

void Say(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

[[noreturn]] void SleepForever() {
  for (;;) std::this_thread::sleep_for(1s);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::string mode = argv[1];
  qlon::TDataSynchronizer sync(argv[2], std::atoi(argv[3]));
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  if (mode == "hold-write") {
    while (!sync.BeginWrite(qlon::TDataSynchronizer::kPollTimeoutMs))
      if (std::chrono::steady_clock::now() > deadline) return 1;
    Say("held");
    SleepForever();
  }
  if (mode == "hold-read") {
    Say("waiting");
    while (!sync.WaitData(qlon::TDataSynchronizer::kPollTimeoutMs))
      if (std::chrono::steady_clock::now() > deadline) return 1;
    Say("reading");
    SleepForever();
  }
  if (argc < 6) return 2;
  const int amount = std::atoi(argv[4]);
  const std::string log = argv[5];
  if (mode == "writer") {
    for (int done = 0; done < amount;) {
      if (std::chrono::steady_clock::now() > deadline) return 1;
      if (!sync.BeginWrite(qlon::TDataSynchronizer::kPollTimeoutMs)) continue;
      Log(log, "W+");
      std::this_thread::sleep_for(2ms);
      Log(log, "W-");
      sync.EndWrite();
      ++done;
      std::this_thread::sleep_for(3ms);
    }
    return 0;
  }
  if (mode == "reader") {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(amount);
    while (std::chrono::steady_clock::now() < end) {
      if (!sync.WaitData(50)) continue;
      Log(log, "R+");
      std::this_thread::sleep_for(2ms);
      Log(log, "R-");
      sync.EndRead();
    }
    return 0;
  }
  return 2;
}
