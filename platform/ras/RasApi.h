#pragma once
// RASAPI32: the dial-up networking library. The program loads it at run time
// by file name (kRasFileName) from its own folder and looks its entry points
// up by name. No such library ships with the program, so dial-up is off
// unless one is installed there; the tests build a simulated one.
//
// Texts are zero-terminated UTF-8 in fixed fields; a text that does not fit
// is refused (kRasErrorInvalidSize), never cut. Every entry point returns 0
// on success or an error code that RasGetErrorString explains.
//
// Dialling is asynchronous: RasDial returns at once with the connection's
// handle, and the notifier is then called, from a thread of the library, once
// per state the call goes through. The last call carries either
// kRasConnected, kRasDisconnected or a non-zero error; the notifier is never
// called again for that connection after it, nor once RasHangUp on it has
// returned.
#include <cstdint>

extern "C" {

typedef std::uintptr_t RasHandle;  // 0 is no connection

enum {
  kRasNameSize = 257,   // entry, user and password fields, with the NUL
  kRasErrorSize = 256,  // enough for every error text
};

// States of a call, in the order a call goes through them.
enum {
  kRasOpenPort = 0,
  kRasPortOpened = 1,
  kRasConnectDevice = 2,     // dialling
  kRasDeviceConnected = 3,   // the other end answers
  kRasAuthenticate = 4,
  kRasAuthNotify = 5,        // the authentication's outcome is known
  kRasAuthProject = 6,       // the network session opens
  kRasWaitForModemReset = 7,
  kRasRetryAuthentication = 8,
  kRasConnected = 8192,
  kRasDisconnected = 8193,
};

enum {
  kRasErrorInvalidHandle = 6,
  kRasErrorBufferTooSmall = 603,
  kRasErrorInvalidSize = 632,
  kRasErrorCannotFindEntry = 623,
  kRasErrorNoAnswer = 678,
  kRasErrorAuthFailure = 691,
};

struct RasConnection {
  RasHandle handle;
  char entryName[kRasNameSize];
  int state;  // kRasConnected once the link is up
};

struct RasEntryName {
  char name[kRasNameSize];
};

struct RasDialParams {
  char entryName[kRasNameSize];
  char userName[kRasNameSize];
  char password[kRasNameSize];
};

typedef void (*RasNotifier)(void* context, RasHandle connection, int state, std::uint32_t error);

// A null or empty phone book is the user's default one. The list calls fill
// at most `capacity` records and set `count` to the number there are; when
// that is more than the capacity they return kRasErrorBufferTooSmall.
typedef std::uint32_t (*RasEnumConnectionsProc)(RasConnection* connections, int capacity, int* count);
typedef std::uint32_t (*RasEnumEntriesProc)(const char* phoneBook, RasEntryName* names, int capacity, int* count);
// Fills the user name and password stored for params->entryName.
typedef std::uint32_t (*RasGetEntryDialParamsProc)(const char* phoneBook, RasDialParams* params);
typedef std::uint32_t (*RasDialProc)(const char* phoneBook, const RasDialParams* params, RasNotifier notifier,
                                     void* context, RasHandle* connection);
typedef std::uint32_t (*RasHangUpProc)(RasHandle connection);
typedef std::uint32_t (*RasGetErrorStringProc)(std::uint32_t error, char* text, int size);
}

inline constexpr const char* kRasFileName = "rasapi32.so";
