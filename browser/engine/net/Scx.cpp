#include "Scx.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "DynamicLibrary.h"
#include "MessageBox.h"
#include "Scx32.h"

namespace qlon {

namespace {

using ScxInitProc = int (*)(void*, ScxNoHostProc, ScxOkHostProc, ScxFailProc, ScxConnectProc, ScxCutProc,
                            ScxCanWriteProc, ScxDataProc, ScxServerConnectProc, ScxServerCutProc,
                            ScxServerCanWriteProc, ScxServerDataProc);
using ScxShutProc = void (*)();
using ScxGoProc = ScxHandle (*)(const char*, const char*, int);
using ScxAbortProc = void (*)(ScxHandle);
using ScxSendProc = int (*)(ScxHandle, const char*, int);
using ScxServerWaitProc = ScxHandle (*)(const char*);
using ScxServerSendProc = int (*)(ScxHandle, int, const char*, int);
using ScxGetLocalAddrProc = int (*)(ScxHandle, char*, int);
using ScxEventFdProc = int (*)();
using ScxDispatchProc = void (*)();

// One per process. Never destroyed: the Qt application's end (or an
// explicit ScxUnload) releases what it holds, whatever the order of static
// destruction.
struct Module {
  std::string folder;  // empty: the program's folder
  platform::TDynamicLibrary library;
  bool loaded = false;
  bool tried = false;
  bool warned = false;
  ScxInitProc init = nullptr;
  ScxShutProc shut = nullptr;
  ScxGoProc go = nullptr;
  ScxAbortProc abort = nullptr;
  ScxSendProc send = nullptr;
  ScxServerWaitProc serverWait = nullptr;
  ScxServerSendProc serverSend = nullptr;  // bound, never called
  ScxGetLocalAddrProc getLocalAddr = nullptr;
  ScxEventFdProc eventFd = nullptr;
  ScxDispatchProc dispatch = nullptr;
  std::vector<TSCX*> components;
  std::unique_ptr<QSocketNotifier> notifier;
  bool postRoutine = false;
};

Module& M() {
  static Module* module = new Module;
  return *module;
}

std::string ProgramFolder() {
  if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath().toStdString();
  std::error_code ec;
  return std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string();
}

// The notifier needs the application's event loop; it is made as soon as
// there is one.
void WatchLibrary() {
  Module& m = M();
  if (!m.loaded || m.notifier || !QCoreApplication::instance() || !m.eventFd || !m.dispatch) return;
  const int fd = m.eventFd();
  if (fd < 0) return;
  m.notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  QObject::connect(m.notifier.get(), &QSocketNotifier::activated, [] {
    if (M().dispatch) M().dispatch();
  });
  if (!m.postRoutine) {
    m.postRoutine = true;
    qAddPostRoutine(ScxUnload);
  }
}

void Load();

}  // namespace

// The library's callbacks: each finds the component owning the handle. The
// handler is copied first, since it may delete its component.
struct ScxEvents {
  static TSCX* Owner(ScxHandle handle) {
    if (handle == 0) return nullptr;
    for (TSCX* c : M().components)
      if (c->Handle_ == handle) return c;
    return nullptr;
  }

  template <typename Handler, typename... Args>
  static void Fire(TSCX* c, const Handler& handler, Args&&... args) {
    if (Handler copy = handler) copy(c, std::forward<Args>(args)...);
  }

  static std::string Ip(const char* ip) { return std::string(ip ? ip : "").substr(0, 80); }

  static void NoHost(ScxHandle h) {
    if (TSCX* c = Owner(h)) c->State_ = scxNoHost, Fire(c, c->OnNoHost);
  }
  static void OkHost(ScxHandle h) {
    if (TSCX* c = Owner(h)) c->State_ = scxOkHost, Fire(c, c->OnOkHost);
  }
  static void Fail(ScxHandle h) {
    if (TSCX* c = Owner(h)) c->State_ = scxFail, Fire(c, c->OnFail);
  }
  static void Connect(ScxHandle h, const char* ip) {
    if (TSCX* c = Owner(h)) c->State_ = scxConnect, Fire(c, c->OnConnect, Ip(ip));
  }
  static void Cut(ScxHandle h) {
    if (TSCX* c = Owner(h)) c->State_ = scxCut, Fire(c, c->OnCut);
  }
  static void CanWrite(ScxHandle h) {
    if (TSCX* c = Owner(h)) Fire(c, c->OnCanWrite);
  }
  static void Data(ScxHandle h, const char* buf, int len) {
    if (TSCX* c = Owner(h)) Fire(c, c->OnData, buf, len);
  }
  static void ServerConnect(ScxHandle h, int channel, const char* ip) {
    if (TSCX* c = Owner(h)) Fire(c, c->OnServerConnect, channel, Ip(ip));
  }
  static void ServerCut(ScxHandle h, int channel) {
    if (TSCX* c = Owner(h)) Fire(c, c->OnServerCut, channel);
  }
  static void ServerCanWrite(ScxHandle h, int channel) {
    if (TSCX* c = Owner(h)) Fire(c, c->OnServerCanWrite, channel);
  }
  static void ServerData(ScxHandle h, const char* buf, int len, int channel) {
    if (TSCX* c = Owner(h)) Fire(c, c->OnServerData, buf, len, channel);
  }
};

namespace {

void Load() {
  Module& m = M();
  if (m.tried) return;
  m.tried = true;
  const std::string folder = m.folder.empty() ? ProgramFolder() : m.folder;
  m.library = platform::TDynamicLibrary::InFolder(folder, kScxFileName);
  if (!m.library) return;
  m.library.Bind(m.init, "SCX_Init");
  m.library.Bind(m.shut, "SCX_Shut");
  m.library.Bind(m.go, "SCX_Go");
  m.library.Bind(m.abort, "SCX_Abort");
  m.library.Bind(m.send, "SCX_Send");
  m.library.Bind(m.serverWait, "SCX_ServerWait");
  m.library.Bind(m.serverSend, "SCX_ServerSend");
  m.library.Bind(m.getLocalAddr, "SCX_GetLocalAddr");
  m.library.Bind(m.eventFd, "SCX_EventFd");
  m.library.Bind(m.dispatch, "SCX_Dispatch");
  // Without these the library can neither start nor report anything.
  m.loaded = m.init && m.go && m.eventFd && m.dispatch &&
             m.init(m.library.Handle(), ScxEvents::NoHost, ScxEvents::OkHost, ScxEvents::Fail, ScxEvents::Connect,
                    ScxEvents::Cut, ScxEvents::CanWrite, ScxEvents::Data, ScxEvents::ServerConnect,
                    ScxEvents::ServerCut, ScxEvents::ServerCanWrite, ScxEvents::ServerData);
  if (!m.loaded) m.library.Close();
}

}  // namespace

TSCX::TSCX() {
  Module& m = M();
  Load();
  if (m.components.empty() && !m.loaded && !m.warned) {
    m.warned = true;
    platform::MessageBox("Scx32.dll not loaded!", "Quillon", platform::MB_OK | platform::MB_ICONERROR);
  }
  m.components.push_back(this);
  WatchLibrary();
}

TSCX::~TSCX() {
  Close();
  auto& list = M().components;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

std::uint32_t TSCX::Connect(const std::string& host, const std::string& port, std::int32_t timeoutSecs) {
  Module& m = M();
  if (!m.loaded) return 0;
  Close();
  Host_ = host;
  Port_ = port;
  TimeoutSecs_ = timeoutSecs;
  WatchLibrary();
  Handle_ = m.go(host.c_str(), port.c_str(), timeoutSecs);
  return Handle_;
}

int TSCX::Send(const void* buffer, int length) {
  Module& m = M();
  if (Handle_ == 0 || !m.loaded || !m.send) return 0;
  return m.send(Handle_, static_cast<const char*>(buffer), length);
}

int TSCX::SendText(std::string_view text) { return Send(text.data(), int(text.size())); }

void TSCX::Close() {
  Module& m = M();
  if (Handle_ != 0 && m.loaded && m.abort) m.abort(Handle_);
  Handle_ = 0;
  State_ = scxIdle;
}

std::uint32_t TSCX::Listen(const std::string& port) {
  Module& m = M();
  if (!m.loaded || !m.serverWait) return 0;
  Close();
  Port_ = port;
  TimeoutSecs_ = 0;
  WatchLibrary();
  Handle_ = m.serverWait(port.c_str());
  return Handle_;
}

std::string TSCX::LocalAddr() const {
  Module& m = M();
  if (Handle_ == 0 || !m.loaded || !m.getLocalAddr) return {};
  char buf[256] = {};
  if (!m.getLocalAddr(Handle_, buf, int(sizeof buf))) return {};
  buf[sizeof buf - 1] = 0;
  return buf;
}

bool ScxLoaded() {
  Load();
  return M().loaded;
}

void ScxUnload() {
  Module& m = M();
  // Components live on (their owners free them) but no longer hold a socket.
  for (TSCX* c : m.components) c->Close();
  m.notifier.reset();
  if (m.loaded && m.shut) m.shut();
  m.library.Close();
  const std::string folder = m.folder;
  const bool warned = m.warned, postRoutine = m.postRoutine;
  std::vector<TSCX*> components = std::move(m.components);
  m = Module{};
  m.folder = folder;
  m.warned = warned;
  m.postRoutine = postRoutine;
  m.components = std::move(components);
  m.tried = true;  // stays unloaded until SetScxLibraryFolder
}

void SetScxLibraryFolder(const std::string& folder) {
  ScxUnload();
  Module& m = M();
  m.folder = folder;
  m.tried = false;
  m.warned = false;
}

void* ScxEntryPoint(const char* name) {
  Load();
  return M().library.Symbol(name);
}

}  // namespace qlon
