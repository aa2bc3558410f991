#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TempRoot.h"
#include "UtilsInstance.h"

extern char** environ;

namespace qlon {
namespace {

namespace fs = std::filesystem;

// The helper program beside this test executable, run with a mode and a
// title; its stdout is read line by line.
class Helper {
 public:
  Helper(const std::string& mode, const std::string& title, const std::vector<std::string>& args = {}) {
    ::setenv("QLON_HELPER_MODE", mode.c_str(), 1);
    ::setenv("QLON_HELPER_TITLE", title.c_str(), 1);
    const std::string program = (fs::read_symlink("/proc/self/exe").parent_path() / "qlon_instance_helper").string();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    fd_ = out[0];
  }
  ~Helper() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) ::close(fd_);
  }
  // The next line of output; empty after the time-out or at the end.
  std::string ReadLine(int timeoutMs = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (const std::size_t nl = buffer_.find('\n'); nl != std::string::npos) {
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{fd_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return {};
      char chunk[4096];
      const ssize_t n = ::read(fd_, chunk, sizeof chunk);
      if (n <= 0) return {};
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }
  // The exit status; -1 when it did not end in time.
  int Wait(int timeoutMs = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      ::usleep(10000);
    }
    return -1;
  }
  void Kill() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  std::string buffer_;
};

TEST(InstanceNames, ApplicationPrefixUpperCaseNoBackslash) {
  EXPECT_EQ(InstanceMutexName("Quillon 98"), "APPLICATION-QUILLON 98");
  EXPECT_EQ(InstanceMutexName("C:\\Quillon\\QlonSchd.exe"), "APPLICATION-C:_QUILLON_QLONSCHD.EXE");
  EXPECT_EQ(InstanceMutexName("/opt/quillon/qlonschd"), "APPLICATION-/OPT/QUILLON/QLONSCHD");
  EXPECT_EQ(InstanceMutexName("été"), "APPLICATION-ÉTÉ");
}

TEST(CommandLinePayload, EachArgumentThenCrLfThenNul) {
  EXPECT_EQ(CommandLinePayload({"a", "b"}), QByteArray("a\r\nb\r\n\0", 7));
  EXPECT_EQ(CommandLinePayload({}), QByteArray("\0", 1));
  EXPECT_EQ(CommandLinePayload({"/home/u/Mes webs/été.web"}).size(), 26 + 2 + 1);
}

TEST(InstanceMutex, OnlyTheFirstCreatorOwnsIt) {
  test::TempRoot root;
  EXPECT_TRUE(IsInstanceFree("Quillon 98"));
  EXPECT_TRUE(CreateInstanceMutex("Quillon 98"));
  EXPECT_FALSE(CreateInstanceMutex("Quillon 98"));  // exists already
  EXPECT_FALSE(IsInstanceFree("Quillon 98"));
  EXPECT_FALSE(IsInstanceFree("quillon 98"));  // the name is upper-cased
  {
    Helper other("hold", "Quillon 98");
    EXPECT_EQ(other.ReadLine(), "busy");
  }
  // Our own window is never the one a title search finds.
  EXPECT_FALSE(FindWindowByTitle("Quillon 98"));
  CloseInstanceMutex();
  EXPECT_TRUE(IsInstanceFree("Quillon 98"));
  EXPECT_TRUE(CreateInstanceMutex(""));  // the program's file stands in
  EXPECT_FALSE(IsInstanceFree(fs::read_symlink("/proc/self/exe").string()));
  CloseInstanceMutex();
}

TEST(InstanceMutex, HolderThatDiesReleasesIt) {
  test::TempRoot root;
  Helper holder("hold", "Quillon 98");
  ASSERT_EQ(holder.ReadLine(), "held");
  EXPECT_FALSE(IsInstanceFree("Quillon 98"));
  EXPECT_FALSE(CreateInstanceMutex("Quillon 98"));
  holder.Kill();
  EXPECT_TRUE(IsInstanceFree("Quillon 98"));
  EXPECT_TRUE(CreateInstanceMutex("Quillon 98"));
  CloseInstanceMutex();
}

TEST(HandOver, SecondInstanceHandsItsArgumentsToTheFirstAndEnds) {
  test::TempRoot root;
  Helper primary("primary", "Quillon 98");
  ASSERT_EQ(primary.ReadLine(), "ready");
  Helper secondary("secondary", "Quillon 98", {"a", "b"});
  EXPECT_EQ(secondary.Wait(), 0);
  // "a" CR LF "b" CR LF NUL: 7 bytes, with dwData 0.
  EXPECT_EQ(primary.ReadLine(), "got 610d0a620d0a00 dwData=0");
  EXPECT_EQ(primary.Wait(), 0);
}

TEST(HandOver, SecondInstanceWaitsForAFirstThatIsStillStarting) {
  test::TempRoot root;
  Helper primary("slow", "Quillon 98");
  ASSERT_EQ(primary.ReadLine(), "locked");
  Helper secondary("secondary", "Quillon 98", {"/tmp/x.web"});
  EXPECT_EQ(secondary.Wait(), 0);
  EXPECT_EQ(primary.ReadLine(), "ready");
  EXPECT_EQ(primary.ReadLine(), "got " + CommandLinePayload({"/tmp/x.web"}).toHex().toStdString() + " dwData=0");
}

TEST(HandOver, WithoutARunningInstanceNothingIsFound) {
  test::TempRoot root;
  Helper holder("hold", "Quillon 98");  // holds the mutex but never listens
  ASSERT_EQ(holder.ReadLine(), "held");
  Helper secondary("secondary", "Other title", {"a"});
  EXPECT_EQ(secondary.Wait(), 2);  // it was free: it became the instance
  Helper lost("secondary", "Quillon 98", {"a"});
  EXPECT_EQ(lost.Wait(15000), 5);  // gives up after waiting for a listener
  EXPECT_FALSE(ListenForCommandLine(nullptr, "Quillon 98"));
}

}  // namespace
}  // namespace qlon
