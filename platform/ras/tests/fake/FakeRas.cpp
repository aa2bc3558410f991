// A simulated dial-up library for the tests, built as rasapi32.so in a
// folder of its own so that no program finds it by accident.
//
// Its phone book is a text file (the phone book argument, else
// "$QLON_PLATFORM_ROOT/rasphone.pbk"), one entry a line, "name=behaviour":
//
//   connect                 goes through the states and connects
//   fail                    the other end never answers (kRasErrorNoAnswer)
//   wait                    keeps dialling until hung up
//   active                  already connected when the library is asked
//   login <user> <password> stores these credentials and connects only with
//                           them (kRasErrorAuthFailure otherwise)
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <list>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "RasApi.h"

namespace {

struct Entry {
  std::string name, behaviour, user, password;
};

struct Call {
  RasHandle handle = 0;
  std::string book;  // the phone book's path: each test has its own
  std::string entry;
  int state = kRasOpenPort;
  bool cancelled = false;
  std::thread worker;
};

std::mutex gMutex;
std::condition_variable gWake;
std::list<Call> gCalls;  // live connections, dialling or connected
std::set<std::string> gHungUpActive;
RasHandle gNextHandle = 100;

std::string BookPath(const char* phoneBook) {
  if (phoneBook && *phoneBook) return phoneBook;
  const char* root = std::getenv("QLON_PLATFORM_ROOT");
  return root ? std::string(root) + "/rasphone.pbk" : std::string();
}

std::vector<Entry> ReadBook(const std::string& path) {
  std::vector<Entry> book;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    Entry e;
    e.name = line.substr(0, eq);
    std::istringstream words(line.substr(eq + 1));
    words >> e.behaviour >> e.user >> e.password;
    book.push_back(e);
  }
  return book;
}

const Entry* Find(const std::vector<Entry>& book, const char* name) {
  for (const Entry& e : book)
    if (e.name == name) return &e;
  return nullptr;
}

bool Copy(char* field, const std::string& text) {
  if (text.size() >= kRasNameSize) return false;
  std::memcpy(field, text.c_str(), text.size() + 1);
  return true;
}

// Connections the phone book says are up, unless hung up since.
void AddActive(const std::string& path) {
  for (const Entry& e : ReadBook(path)) {
    if (e.behaviour != "active" || gHungUpActive.count(path + '\n' + e.name)) continue;
    bool listed = false;
    for (const Call& c : gCalls) listed = listed || (c.book == path && c.entry == e.name);
    if (listed) continue;
    Call& c = gCalls.emplace_back();
    c.handle = gNextHandle++;
    c.book = path;
    c.entry = e.name;
    c.state = kRasConnected;
  }
}

Call* FindCall(RasHandle h) {
  for (Call& c : gCalls)
    if (c.handle == h) return &c;
  return nullptr;
}

void Run(Call* call, Entry entry, std::string user, std::string password, RasNotifier notifier, void* context) {
  const RasHandle h = call->handle;
  // One state after a short pause; false once the call is hung up.
  auto step = [&](int state, std::uint32_t error) {
    std::unique_lock lock(gMutex);
    if (gWake.wait_for(lock, std::chrono::milliseconds(2), [&] { return call->cancelled; })) return false;
    call->state = error ? kRasDisconnected : state;
    lock.unlock();
    notifier(context, h, state, error);
    return true;
  };
  if (!step(kRasOpenPort, 0) || !step(kRasPortOpened, 0)) return;
  if (entry.behaviour == "fail") {
    if (step(kRasConnectDevice, 0)) step(kRasConnectDevice, kRasErrorNoAnswer);
    return;
  }
  if (!step(kRasConnectDevice, 0)) return;
  if (entry.behaviour == "wait") {
    std::unique_lock lock(gMutex);
    gWake.wait(lock, [&] { return call->cancelled; });
    return;
  }
  if (!step(kRasDeviceConnected, 0) || !step(kRasAuthenticate, 0)) return;
  if (entry.behaviour == "login" && (user != entry.user || password != entry.password)) {
    step(kRasAuthNotify, kRasErrorAuthFailure);
    return;
  }
  if (step(kRasAuthNotify, 0) && step(kRasAuthProject, 0)) step(kRasConnected, 0);
}

struct Shutdown {
  ~Shutdown() {
    std::list<Call> calls;
    {
      std::lock_guard lock(gMutex);
      for (Call& c : gCalls) c.cancelled = true;
      gWake.notify_all();
      calls.swap(gCalls);
    }
    for (Call& c : calls)
      if (c.worker.joinable()) c.worker.join();
  }
} gShutdown;

}  // namespace

extern "C" {

__attribute__((visibility("default"))) std::uint32_t RasEnumConnections(RasConnection* connections, int capacity,
                                                                        int* count) {
  if (!count || capacity < 0 || (capacity > 0 && !connections)) return kRasErrorInvalidSize;
  const std::string path = BookPath(nullptr);
  std::lock_guard lock(gMutex);
  AddActive(path);
  int n = 0;
  for (const Call& c : gCalls) {
    if (c.state == kRasDisconnected || c.book != path) continue;
    if (n < capacity) {
      connections[n].handle = c.handle;
      Copy(connections[n].entryName, c.entry);
      connections[n].state = c.state;
    }
    ++n;
  }
  *count = n;
  return n > capacity ? kRasErrorBufferTooSmall : 0;
}

__attribute__((visibility("default"))) std::uint32_t RasEnumEntries(const char* phoneBook, RasEntryName* names,
                                                                    int capacity, int* count) {
  if (!count || capacity < 0 || (capacity > 0 && !names)) return kRasErrorInvalidSize;
  const std::vector<Entry> book = ReadBook(BookPath(phoneBook));
  int n = 0;
  for (const Entry& e : book) {
    if (n < capacity) Copy(names[n].name, e.name);
    ++n;
  }
  *count = n;
  return n > capacity ? kRasErrorBufferTooSmall : 0;
}

__attribute__((visibility("default"))) std::uint32_t RasGetEntryDialParams(const char* phoneBook,
                                                                           RasDialParams* params) {
  if (!params || !std::memchr(params->entryName, 0, kRasNameSize)) return kRasErrorInvalidSize;
  const std::vector<Entry> book = ReadBook(BookPath(phoneBook));
  const Entry* e = Find(book, params->entryName);
  if (!e) return kRasErrorCannotFindEntry;
  Copy(params->userName, e->user);
  Copy(params->password, e->password);
  return 0;
}

__attribute__((visibility("default"))) std::uint32_t RasDial(const char* phoneBook, const RasDialParams* params,
                                                             RasNotifier notifier, void* context,
                                                             RasHandle* connection) {
  if (!params || !notifier || !connection) return kRasErrorInvalidSize;
  for (const char* field : {params->entryName, params->userName, params->password})
    if (!std::memchr(field, 0, kRasNameSize)) return kRasErrorInvalidSize;
  const std::string path = BookPath(phoneBook);
  const std::vector<Entry> book = ReadBook(path);
  const Entry* e = Find(book, params->entryName);
  if (!e) return kRasErrorCannotFindEntry;
  std::lock_guard lock(gMutex);
  Call& c = gCalls.emplace_back();
  c.handle = gNextHandle++;
  c.book = path;
  c.entry = e->name;
  c.worker = std::thread(Run, &c, *e, std::string(params->userName), std::string(params->password), notifier,
                         context);
  *connection = c.handle;
  return 0;
}

__attribute__((visibility("default"))) std::uint32_t RasHangUp(RasHandle connection) {
  std::thread worker;
  {
    std::lock_guard lock(gMutex);
    Call* c = FindCall(connection);
    if (!c) return kRasErrorInvalidHandle;
    c->cancelled = true;
    gWake.notify_all();
    worker = std::move(c->worker);
    if (!worker.joinable()) gHungUpActive.insert(c->book + '\n' + c->entry);
  }
  if (worker.joinable()) worker.join();
  std::lock_guard lock(gMutex);
  gCalls.remove_if([&](const Call& c) { return c.handle == connection; });
  return 0;
}

__attribute__((visibility("default"))) std::uint32_t RasGetErrorString(std::uint32_t error, char* text, int size) {
  if (!text || size <= 0) return kRasErrorInvalidSize;
  std::string message;
  switch (error) {
    case kRasErrorInvalidHandle: message = "Connexion inconnue."; break;
    case kRasErrorCannotFindEntry: message = "Entrée introuvable dans l'annuaire téléphonique."; break;
    case kRasErrorNoAnswer: message = "Le modem distant ne répond pas."; break;
    case kRasErrorAuthFailure: message = "Accès refusé : nom d'utilisateur ou mot de passe incorrect."; break;
    default: message = "Erreur d'accès réseau à distance " + std::to_string(error) + ".";
  }
  if (message.size() >= std::size_t(size)) return kRasErrorBufferTooSmall;
  std::memcpy(text, message.c_str(), message.size() + 1);
  return 0;
}
}
