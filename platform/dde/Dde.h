#pragma once
// DDE conversations as a client holds them (the framework's TDdeClientConv):
// a link names a service and a topic; once open, the client requests items
// (text answers) and pokes data into items, then closes the link.
//
// Servers live in this process only: a server registers under a service
// name (compared without case, as DDE does) and accepts or refuses each
// topic. No program on Linux serves DDE, so with nothing registered
// OpenLink fails and callers take their fallback; tests register a
// ScriptedDdeServer and check every topic and item exchanged.
//
// Data is CF_TEXT: bytes, with no terminating NUL. An empty answer is an
// answer with no bytes; a refused request has none at all.
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qlon::platform {

class DdeServer {
 public:
  virtual ~DdeServer() = default;
  // True when the server holds conversations on that topic.
  virtual bool AcceptTopic(const std::string& topic) = 0;
  virtual std::optional<std::string> Request(const std::string& topic, const std::string& item) = 0;
  virtual bool Poke(const std::string& topic, const std::string& item, const std::string& data) = 0;
};

// Registers a server (not owned) under a service name; false when the name
// is taken. Unregistering removes the name only when that server holds it.
bool RegisterDdeServer(const std::string& service, DdeServer* server);
void UnregisterDdeServer(const std::string& service, DdeServer* server);

class DdeClientConv {
 public:
  DdeClientConv() = default;
  ~DdeClientConv() { CloseLink(); }
  DdeClientConv(const DdeClientConv&) = delete;
  DdeClientConv& operator=(const DdeClientConv&) = delete;

  // Names the link (closing an open one); manual connect: nothing opens yet.
  void SetLink(const std::string& service, const std::string& topic);
  // True when a server of the service accepted the topic.
  bool OpenLink();
  void CloseLink();
  bool IsOpen() const { return open_; }
  // Nothing when the link is closed or the server refused.
  std::optional<std::string> RequestData(const std::string& item);
  bool PokeData(const std::string& item, const std::string& data);

 private:
  std::string service_, topic_;
  bool open_ = false;
};

// A server for tests: records every exchange and answers from a table.
class ScriptedDdeServer : public DdeServer {
 public:
  struct Exchange {
    std::string kind;  // "connect", "request" or "poke"
    std::string topic, item, data;
    bool operator==(const Exchange&) const = default;
  };
  // Registers itself under the service for its lifetime.
  explicit ScriptedDdeServer(std::string service);
  ~ScriptedDdeServer() override;
  ScriptedDdeServer(const ScriptedDdeServer&) = delete;
  ScriptedDdeServer& operator=(const ScriptedDdeServer&) = delete;

  bool AcceptTopic(const std::string& topic) override;
  std::optional<std::string> Request(const std::string& topic, const std::string& item) override;
  bool Poke(const std::string& topic, const std::string& item, const std::string& data) override;

  // Topics the server refuses to connect on.
  std::vector<std::string> refusedTopics;
  // The answer to every request on a topic (none: the request is refused).
  std::map<std::string, std::string> answers;
  bool pokeResult = true;
  std::vector<Exchange> exchanges;

 private:
  std::string service_;
  std::mutex m_;
};

}  // namespace qlon::platform
