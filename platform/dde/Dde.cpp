#include "Dde.h"

#include <algorithm>
#include <cctype>

namespace qlon::platform {

namespace {

std::string Key(const std::string& service) {
  std::string k = service;
  std::transform(k.begin(), k.end(), k.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return k;
}

std::mutex gServersLock;

std::map<std::string, DdeServer*>& Servers() {
  static std::map<std::string, DdeServer*> servers;
  return servers;
}

// The server of a service, or nullptr. A server must stay registered while
// a conversation may reach it: owners unregister before they go.
DdeServer* Find(const std::string& service) {
  std::lock_guard lk(gServersLock);
  const auto it = Servers().find(Key(service));
  return it == Servers().end() ? nullptr : it->second;
}

}  // namespace

bool RegisterDdeServer(const std::string& service, DdeServer* server) {
  if (service.empty() || !server) return false;
  std::lock_guard lk(gServersLock);
  return Servers().emplace(Key(service), server).second;
}

void UnregisterDdeServer(const std::string& service, DdeServer* server) {
  std::lock_guard lk(gServersLock);
  const auto it = Servers().find(Key(service));
  if (it != Servers().end() && it->second == server) Servers().erase(it);
}

void DdeClientConv::SetLink(const std::string& service, const std::string& topic) {
  CloseLink();
  service_ = service;
  topic_ = topic;
}

bool DdeClientConv::OpenLink() {
  if (open_) return true;
  DdeServer* server = Find(service_);
  open_ = server && !topic_.empty() && server->AcceptTopic(topic_);
  return open_;
}

void DdeClientConv::CloseLink() { open_ = false; }

std::optional<std::string> DdeClientConv::RequestData(const std::string& item) {
  DdeServer* server = open_ ? Find(service_) : nullptr;
  if (!server) return std::nullopt;
  return server->Request(topic_, item);
}

bool DdeClientConv::PokeData(const std::string& item, const std::string& data) {
  DdeServer* server = open_ ? Find(service_) : nullptr;
  return server && server->Poke(topic_, item, data);
}

ScriptedDdeServer::ScriptedDdeServer(std::string service) : service_(std::move(service)) {
  RegisterDdeServer(service_, this);
}

ScriptedDdeServer::~ScriptedDdeServer() { UnregisterDdeServer(service_, this); }

bool ScriptedDdeServer::AcceptTopic(const std::string& topic) {
  std::lock_guard lk(m_);
  exchanges.push_back({"connect", topic, "", ""});
  return std::find(refusedTopics.begin(), refusedTopics.end(), topic) == refusedTopics.end();
}

std::optional<std::string> ScriptedDdeServer::Request(const std::string& topic, const std::string& item) {
  std::lock_guard lk(m_);
  exchanges.push_back({"request", topic, item, ""});
  const auto it = answers.find(topic);
  if (it == answers.end()) return std::nullopt;
  return it->second;
}

bool ScriptedDdeServer::Poke(const std::string& topic, const std::string& item, const std::string& data) {
  std::lock_guard lk(m_);
  exchanges.push_back({"poke", topic, item, data});
  return pokeResult;
}

}  // namespace qlon::platform
