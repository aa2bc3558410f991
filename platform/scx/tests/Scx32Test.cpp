// The library alone, driven through its entry points with a plain poll loop
// (no Qt): what the component relies on about handles and delivery.
#include "Scx32.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::vector<std::string> gLog;

void OnOkHost(ScxHandle h) { gLog.push_back("okhost " + std::to_string(h)); }
void OnFail(ScxHandle h) { gLog.push_back("fail " + std::to_string(h)); }
void OnConnect(ScxHandle h, const char*) { gLog.push_back("connect " + std::to_string(h)); }
void OnCanWrite(ScxHandle h) { gLog.push_back("canwrite " + std::to_string(h)); }
void OnData(ScxHandle h, const char* buf, int len) {
  gLog.push_back("data " + std::to_string(h) + " " + std::string(buf, std::size_t(len)));
}
void OnCut(ScxHandle h) { gLog.push_back("cut " + std::to_string(h)); }
void OnServerConnect(ScxHandle, int channel, const char* ip) {
  gLog.push_back("server connect " + std::to_string(channel) + " " + ip);
}
void OnServerData(ScxHandle, const char* buf, int len, int channel) {
  gLog.push_back("server data " + std::to_string(channel) + " " + std::string(buf, std::size_t(len)));
}

class Scx32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto folder = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    lib_ = dlopen((folder / kScxFileName).c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib_, nullptr) << dlerror();
    Bind(init_, "SCX_Init");
    Bind(shut_, "SCX_Shut");
    Bind(go_, "SCX_Go");
    Bind(abort_, "SCX_Abort");
    Bind(serverWait_, "SCX_ServerWait");
    Bind(serverSend_, "SCX_ServerSend");
    Bind(eventFd_, "SCX_EventFd");
    Bind(dispatch_, "SCX_Dispatch");
    Bind(localPort_, "SCX_GetLocalPort");
    gLog.clear();
    ASSERT_EQ(init_(nullptr, nullptr, OnOkHost, OnFail, OnConnect, OnCut, OnCanWrite, OnData, OnServerConnect,
                    nullptr, nullptr, OnServerData),
              1);
  }
  void TearDown() override {
    if (shut_) shut_();
    if (lib_) dlclose(lib_);
  }

  template <typename Proc>
  void Bind(Proc& proc, const char* name) {
    proc = reinterpret_cast<Proc>(dlsym(lib_, name));
    ASSERT_NE(proc, nullptr) << name;
  }

  // The program's side of the contract: wait on the descriptor, dispatch.
  bool RunUntil(std::size_t events) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (gLog.size() < events) {
      if (std::chrono::steady_clock::now() > end) return false;
      pollfd fd{eventFd_(), POLLIN, 0};
      ::poll(&fd, 1, 100);
      dispatch_();
    }
    return true;
  }

  void* lib_ = nullptr;
  int (*init_)(void*, ScxNoHostProc, ScxOkHostProc, ScxFailProc, ScxConnectProc, ScxCutProc, ScxCanWriteProc,
               ScxDataProc, ScxServerConnectProc, ScxServerCutProc, ScxServerCanWriteProc, ScxServerDataProc) =
      nullptr;
  void (*shut_)() = nullptr;
  ScxHandle (*go_)(const char*, const char*, int) = nullptr;
  void (*abort_)(ScxHandle) = nullptr;
  ScxHandle (*serverWait_)(const char*) = nullptr;
  int (*serverSend_)(ScxHandle, int, const char*, int) = nullptr;
  int (*eventFd_)() = nullptr;
  void (*dispatch_)() = nullptr;
  int (*localPort_)(ScxHandle) = nullptr;
};

TEST_F(Scx32Test, ServerAndClientTalkThroughOneDispatcher) {
  const ScxHandle server = serverWait_("0");
  ASSERT_NE(server, 0u);
  const std::string port = std::to_string(localPort_(server));
  const ScxHandle client = go_("127.0.0.1", port.c_str(), 5);
  ASSERT_NE(client, 0u);
  EXPECT_NE(client, server);
  EXPECT_TRUE(gLog.empty());
  ASSERT_TRUE(RunUntil(4));  // okhost, connect, canwrite, server connect
  EXPECT_EQ(gLog[0], "okhost " + std::to_string(client));
  EXPECT_NE(std::find(gLog.begin(), gLog.end(), "server connect 1 127.0.0.1"), gLog.end());
  gLog.clear();
  ASSERT_EQ(serverSend_(server, 1, "ping", 4), 4);
  EXPECT_EQ(serverSend_(server, 2, "x", 1), 0) << "no such channel";
  ASSERT_TRUE(RunUntil(1));
  EXPECT_EQ(gLog[0], "data " + std::to_string(client) + " ping");
}

TEST_F(Scx32Test, AbortedHandlesAreNeverReused) {
  const ScxHandle server = serverWait_("0");
  const std::string port = std::to_string(localPort_(server));
  const ScxHandle first = go_("127.0.0.1", port.c_str(), 5);
  abort_(first);
  const ScxHandle second = go_("127.0.0.1", port.c_str(), 5);
  EXPECT_NE(second, first);
  ASSERT_TRUE(RunUntil(3));
  const std::string h = std::to_string(first);
  for (const char* kind : {"okhost ", "connect ", "canwrite "})
    EXPECT_EQ(std::find(gLog.begin(), gLog.end(), std::string(kind) + h), gLog.end()) << kind << "for the aborted handle";
  EXPECT_NE(std::find(gLog.begin(), gLog.end(), "canwrite " + std::to_string(second)), gLog.end());
}

TEST_F(Scx32Test, NothingAfterShut) {
  const ScxHandle server = serverWait_("0");
  const std::string port = std::to_string(localPort_(server));
  go_("127.0.0.1", port.c_str(), 5);
  shut_();
  EXPECT_EQ(eventFd_(), -1);
  dispatch_();
  EXPECT_TRUE(gLog.empty());
  EXPECT_EQ(go_("127.0.0.1", port.c_str(), 5), 0u);
}

}  // namespace
