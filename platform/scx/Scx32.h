#pragma once
// SCX32: the asynchronous TCP socket library of the program (IPv4 only),
// loaded at run time by file name (kScxFileName) from the program's folder.
//
// Delivery. No callback ever runs inside an SCX_ call other than
// SCX_Dispatch. The library watches its sockets, its resolver and its
// connect deadlines through one epoll descriptor (SCX_EventFd); the program
// watches that descriptor from its event loop and calls SCX_Dispatch when it
// is readable. Dispatch reads what is ready and then delivers the queued
// events one at a time, so a callback may abort or open sockets and may
// dispatch again (a nested event loop): each event is checked against the
// live handles just before its callback runs, and nothing is ever delivered
// for a handle after SCX_Abort, not even events already queued.
//
// Handles are unique for the life of the process (a counter, never 0 and
// never a descriptor number).
//
// Per client socket (SCX_Go) the callbacks come in this order:
//   okHost | noHost                 (okHost also for a numeric address)
//   connect(ip) canWrite | fail     (fail: refused, error or deadline passed)
//   data* canWrite*                 (canWrite whenever the send queue drains)
//   cut | fail                      (peer's orderly close / error) - terminal
// Data received before the peer's close is delivered before cut. The
// deadline given to SCX_Go bounds resolution and connection together; a
// connected socket has none (the caller watches for silence).
//
// A listening socket (SCX_ServerWait) numbers each accepted peer with a
// channel unique within its handle: serverConnect(channel, ip),
// serverCanWrite, serverData*, serverCut (the peer's close or an error).
// Aborting the listener closes its channels without further callbacks.
//
// Sending never loses bytes: what the socket cannot take at once is queued
// without bound and written as the peer reads; the result is the length
// accepted (all of it) or 0 when the handle cannot send.
//
// Data buffers are valid only during their callback. Every entry point is
// called from one thread (the program's event loop); only name resolution
// runs on worker threads inside the library.
#include <cstdint>

extern "C" {

typedef std::uint32_t ScxHandle;  // 0 = none

typedef void (*ScxNoHostProc)(ScxHandle);                                    // 1
typedef void (*ScxOkHostProc)(ScxHandle);                                    // 2
typedef void (*ScxFailProc)(ScxHandle);                                      // 3
typedef void (*ScxConnectProc)(ScxHandle, const char* distantIp);            // 4
typedef void (*ScxCutProc)(ScxHandle);                                       // 5
typedef void (*ScxCanWriteProc)(ScxHandle);                                  // 6
typedef void (*ScxDataProc)(ScxHandle, const char* buf, int len);            // 7
typedef void (*ScxServerConnectProc)(ScxHandle, int channel, const char* ip);  // 8
typedef void (*ScxServerCutProc)(ScxHandle, int channel);                    // 9
typedef void (*ScxServerCanWriteProc)(ScxHandle, int channel);               // 10
typedef void (*ScxServerDataProc)(ScxHandle, const char* buf, int len, int channel);  // 11

// Test hook: resolves host into a zero-terminated dotted address; non-zero
// on success. Runs on a resolver thread.
typedef int (*ScxResolverProc)(const char* host, char* dotted, int size);

// Sets up the library and keeps the callbacks (any may be null); non-zero on
// success. Calling it again replaces the callbacks.
int SCX_Init(void* instance, ScxNoHostProc, ScxOkHostProc, ScxFailProc, ScxConnectProc, ScxCutProc,
             ScxCanWriteProc, ScxDataProc, ScxServerConnectProc, ScxServerCutProc, ScxServerCanWriteProc,
             ScxServerDataProc);
// Closes every socket, waits for the resolver threads and releases the
// descriptors. Nothing is delivered afterwards.
void SCX_Shut();
// Starts resolving host and connecting to port (decimal text) within
// timeoutSecs (0 or less: no deadline). 0 when it cannot start (not
// initialised, empty host, bad port).
ScxHandle SCX_Go(const char* host, const char* port, int timeoutSecs);
// Closes the socket (client or listener with its channels) at once.
void SCX_Abort(ScxHandle handle);
int SCX_Send(ScxHandle handle, const char* buf, int len);
// Listens on every address at port ("0": any free port, see
// SCX_GetLocalPort). 0 when the port cannot be bound.
ScxHandle SCX_ServerWait(const char* port);
int SCX_ServerSend(ScxHandle handle, int channel, const char* buf, int len);
// The socket's own dotted address into buf (zero-terminated); non-zero on
// success, 0 for an unknown handle, a socket not yet bound or a short buffer.
int SCX_GetLocalAddr(ScxHandle handle, char* buf, int size);

// The descriptor to watch for reading, -1 before SCX_Init.
int SCX_EventFd();
// Reads what is ready and delivers the queued callbacks. Never blocks.
void SCX_Dispatch();

// Test hooks.
void SCX_SetResolver(ScxResolverProc resolver);  // null: the system's resolver
void SCX_SetReceiveBlock(int bytes);             // 1 .. 65536; default 16384
int SCX_GetLocalPort(ScxHandle handle);          // 0 when unknown
}

inline constexpr const char* kScxFileName = "scx32.so";
