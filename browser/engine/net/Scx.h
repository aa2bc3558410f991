#pragma once
// TSCX: the program's only network access, an event-driven TCP socket over
// the SCX32 library (platform/scx/Scx32.h).
//
// The library is loaded by name from the program's folder when the first
// component is made; when it is missing the first component shows
// "Scx32.dll not loaded!" (once per process) and every operation does
// nothing and returns 0 or an empty text, so requests never start.
//
// Events arrive from the Qt event loop only (a socket notifier on the
// library's descriptor dispatches them), never from inside an operation of
// this class. Each library callback finds the component that owns its
// handle; a handle closed meanwhile owns nothing and its events are dropped.
// A handler may close, reconnect or delete its own component.
//
// State follows the events: scxIdle (made or closed) -> scxNoHost, or
// scxOkHost -> scxConnect -> scxCut, or scxFail. scxWaitDns is never
// entered. GUI thread only.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qlon {

enum TSCX_State : std::uint8_t { scxIdle, scxWaitDns, scxNoHost, scxOkHost, scxFail, scxConnect, scxCut };

class TSCX;

using TSCX_OnNoHost = std::function<void(TSCX* Sender)>;
using TSCX_OnOkHost = std::function<void(TSCX* Sender)>;
using TSCX_OnFail = std::function<void(TSCX* Sender)>;
using TSCX_OnConnect = std::function<void(TSCX* Sender, const std::string& DistantIP)>;
using TSCX_OnCut = std::function<void(TSCX* Sender)>;
using TSCX_OnCanWrite = std::function<void(TSCX* Sender)>;
// Buf is valid only during the call.
using TSCX_OnData = std::function<void(TSCX* Sender, const char* Buf, int nBufLen)>;
using TSCX_OnServerConnect = std::function<void(TSCX* Sender, int Channel, const std::string& DistantIP)>;
using TSCX_OnServerCut = std::function<void(TSCX* Sender, int Channel)>;
using TSCX_OnServerCanWrite = std::function<void(TSCX* Sender, int Channel)>;
using TSCX_OnServerData = std::function<void(TSCX* Sender, const char* Buf, int nBufLen, int Channel)>;
using TSCX_OnDllNotLoaded = std::function<void(TSCX* Sender, const std::string& WinsockPath)>;

class TSCX {
 public:
  TSCX();
  // Closes an open socket.
  ~TSCX();
  TSCX(const TSCX&) = delete;
  TSCX& operator=(const TSCX&) = delete;

  // Starts resolving and connecting; returns the handle, 0 when not started.
  // A socket still open is closed first.
  std::uint32_t Connect(const std::string& host, const std::string& port, std::int32_t timeoutSecs);
  // Bytes accepted (all of them: what the socket cannot take now is queued),
  // 0 with no socket or no library.
  int Send(const void* buffer, int length);
  int SendText(std::string_view text);
  // Closes the socket at once: handle 0, State scxIdle; no event follows.
  void Close();
  // Listens on every address at port (decimal text); returns the handle, 0
  // when the port cannot be bound. A socket still open is closed first.
  std::uint32_t Listen(const std::string& port);

  // The socket's own dotted address, empty when there is none.
  std::string LocalAddr() const;
  std::uint32_t Handle() const { return Handle_; }
  TSCX_State State() const { return State_; }
  const std::string& Host() const { return Host_; }
  void SetHost(std::string host) { Host_ = std::move(host); }
  const std::string& Port() const { return Port_; }
  void SetPort(std::string port) { Port_ = std::move(port); }
  std::int32_t TimeoutSecs() const { return TimeoutSecs_; }
  void SetTimeoutSecs(std::int32_t secs) { TimeoutSecs_ = secs; }
  // The Text property: writing sends it.
  void SetText(std::string_view text) { SendText(text); }

  TSCX_OnNoHost OnNoHost;
  TSCX_OnOkHost OnOkHost;
  TSCX_OnFail OnFail;
  TSCX_OnConnect OnConnect;
  TSCX_OnCut OnCut;
  TSCX_OnCanWrite OnCanWrite;
  TSCX_OnData OnData;
  TSCX_OnServerConnect OnServerConnect;
  TSCX_OnServerCut OnServerCut;
  TSCX_OnServerCanWrite OnServerCanWrite;
  TSCX_OnServerData OnServerData;
  TSCX_OnDllNotLoaded OnDllNotLoaded;  // kept for handlers that set it; never fired

 private:
  friend struct ScxEvents;

  std::uint32_t Handle_ = 0;
  TSCX_State State_ = scxIdle;
  std::string Host_;
  std::string Port_;
  std::int32_t TimeoutSecs_ = 0;
};

// True when the socket library is loaded (loading it on first call).
bool ScxLoaded();
// Closes every component's socket, shuts the library down and unloads it.
// Runs by itself when the Qt application ends.
void ScxUnload();
// Unloads, then loads from folder at the next use (empty: the program's
// folder) and arms the missing-library message again. For tests.
void SetScxLibraryFolder(const std::string& folder);
// An entry point of the loaded library by name (the test hooks), or null.
void* ScxEntryPoint(const char* name);

}  // namespace qlon
