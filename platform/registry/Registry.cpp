#include "Registry.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "PlatformRoot.h"

namespace qlon::registry {
namespace fs = std::filesystem;

// Gives the operations below access to Key's fields.
class KeyAccess {
 public:
  static Key Make(Hive hive, std::vector<std::string> path, Access access) {
    Key k;
    k.hive_ = hive;
    k.path_ = std::move(path);
    k.access_ = access;
    k.valid_ = true;
    return k;
  }
};

namespace {

constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;
constexpr const char* kHeader = "QLONREG 1";

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Fold(x) == Fold(y); });
}

struct Node {
  std::string name;
  std::string className;
  std::vector<Value> values;
  std::vector<std::unique_ptr<Node>> children;

  Node* Child(std::string_view n) const {
    for (auto& c : children)
      if (SameName(c->name, n)) return c.get();
    return nullptr;
  }
  Value* FindValue(std::string_view n) {
    for (auto& v : values)
      if (SameName(v.name, n)) return &v;
    return nullptr;
  }
};

// ---- names and paths ------------------------------------------------------

Status SplitPath(std::string_view text, std::vector<std::string>* out) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\\', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view part = text.substr(start, end - start);
    if (!part.empty()) {
      if (part.size() > kMaxKeyName) return kInvalidParameter;
      out->emplace_back(part);
    }
    start = end + 1;
  }
  return kOk;
}

std::string Escape(std::string_view s) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (c < 0x20 || c == 0x7F || c == '%' || c == '\\') {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Unescape(std::string_view s, std::string* out) {
  out->clear();
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      *out += s[i];
      continue;
    }
    if (i + 2 >= s.size()) return false;
    int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
    if (hi < 0 || lo < 0) return false;
    *out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

// ---- the hive file --------------------------------------------------------

void Serialise(const Node& node, const std::string& path, std::string* out) {
  static const char* hex = "0123456789abcdef";
  *out += "K\t" + path + "\t" + Escape(node.className) + "\n";
  for (const Value& v : node.values) {
    *out += "V\t" + std::to_string(v.type) + "\t" + Escape(v.name) + "\t";
    for (uint8_t b : v.data) {
      *out += hex[b >> 4];
      *out += hex[b & 15];
    }
    *out += "\n";
  }
  for (const auto& c : node.children)
    Serialise(*c, path.empty() ? Escape(c->name) : path + "\\" + Escape(c->name), out);
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> f;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    if (tab == std::string_view::npos) {
      f.push_back(line.substr(start));
      return f;
    }
    f.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
}

// Parses a whole hive; false when anything is malformed.
bool Parse(std::string_view text, Node* root) {
  size_t pos = text.find('\n');
  if (pos == std::string_view::npos || text.substr(0, pos) != kHeader) return false;
  ++pos;
  Node* current = nullptr;
  bool sawRoot = false;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) return false;  // every line ends with LF
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    std::vector<std::string_view> f = Fields(line);
    if (f[0] == "K" && f.size() == 3) {
      std::string cls;
      if (!Unescape(f[2], &cls)) return false;
      if (f[1].empty()) {
        if (sawRoot) return false;
        sawRoot = true;
        root->className = cls;
        current = root;
        continue;
      }
      if (!sawRoot) return false;
      Node* parent = root;
      std::vector<std::string_view> parts;
      size_t s = 0;
      for (;;) {
        size_t b = f[1].find('\\', s);
        parts.push_back(f[1].substr(s, b == std::string_view::npos ? std::string_view::npos : b - s));
        if (b == std::string_view::npos) break;
        s = b + 1;
      }
      for (size_t i = 0; i + 1 < parts.size(); ++i) {
        std::string n;
        if (!Unescape(parts[i], &n) || !(parent = parent->Child(n))) return false;
      }
      std::string n;
      if (!Unescape(parts.back(), &n) || n.empty() || n.size() > kMaxKeyName ||
          n.find('\\') != std::string::npos || parent->Child(n))
        return false;
      auto node = std::make_unique<Node>();
      node->name = std::move(n);
      node->className = std::move(cls);
      current = node.get();
      parent->children.push_back(std::move(node));
    } else if (f[0] == "V" && f.size() == 4 && current) {
      Value v;
      if (f[1].empty() || f[1].size() > 10 ||
          !std::all_of(f[1].begin(), f[1].end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
      unsigned long long type = std::stoull(std::string(f[1]));
      if (type > UINT32_MAX) return false;
      v.type = static_cast<uint32_t>(type);
      if (!Unescape(f[2], &v.name) || current->FindValue(v.name)) return false;
      if (f[3].size() % 2) return false;
      v.data.reserve(f[3].size() / 2);
      for (size_t i = 0; i < f[3].size(); i += 2) {
        int hi = HexDigit(f[3][i]), lo = HexDigit(f[3][i + 1]);
        if (hi < 0 || lo < 0) return false;
        v.data.push_back(static_cast<uint8_t>(hi * 16 + lo));
      }
      current->values.push_back(std::move(v));
    } else {
      return false;
    }
  }
  return sawRoot;
}

const char* HiveName(Hive hive) {
  switch (hive) {
    case Hive::ClassesRoot: return "HKEY_CLASSES_ROOT";
    case Hive::CurrentUser: return "HKEY_CURRENT_USER";
    case Hive::LocalMachine: return "HKEY_LOCAL_MACHINE";
  }
  return "HKEY_LOCAL_MACHINE";
}

// Holds the hive's lock file locked for the life of the object.
class HiveLock {
 public:
  HiveLock(const fs::path& file, bool exclusive) {
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return;
    while (::flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
      if (errno != EINTR) {
        ::close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~HiveLock() {
    if (fd_ >= 0) ::close(fd_);  // closing drops the flock
  }
  HiveLock(const HiveLock&) = delete;
  HiveLock& operator=(const HiveLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

Status ReadHive(const fs::path& file, Node* root) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? kOk : kIoFailed;  // no file yet: an empty hive
  std::string text;
  char buf[65536];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) != 0) {
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return kIoFailed;
    }
    text.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return Parse(text, root) ? kOk : kBadDatabase;
}

Status WriteHive(const fs::path& file, const Node& root) {
  std::string text = std::string(kHeader) + "\n";
  Serialise(root, "", &text);
  fs::path tmp = file;
  tmp += ".tmp." + std::to_string(::getpid());
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return kIoFailed;
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      ::unlink(tmp.c_str());
      return kIoFailed;
    }
    done += static_cast<size_t>(n);
  }
  // Flushed before the rename makes it the hive: a crash leaves the old or the new one.
  if (::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(tmp.c_str(), file.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return kIoFailed;
  }
  return kOk;
}

// Serialises the threads of this process; the flock serialises processes.
std::mutex& ProcessLock() {
  static std::mutex m;
  return m;
}

// Runs op on the hive's tree, under the lock; a change (op sets *changed)
// is written back before the lock is released.
Status WithHive(Hive hive, bool write, const std::function<Status(Node&, bool*)>& op) {
  std::lock_guard guard(ProcessLock());
  fs::path folder = platform::RootFolder("registry");
  fs::path file = folder / (std::string(HiveName(hive)) + ".reg");
  HiveLock lock(folder / (std::string(HiveName(hive)) + ".lock"), write);
  if (!lock.held()) return kIoFailed;
  Node root;
  if (Status s = ReadHive(file, &root); s != kOk) return s;
  bool changed = false;
  Status s = op(root, &changed);
  if (s == kOk && changed) s = WriteHive(file, root);
  return s;
}

Node* Walk(Node& root, const std::vector<std::string>& path) {
  Node* n = &root;
  for (const auto& part : path)
    if (!(n = n->Child(part))) return nullptr;
  return n;
}

// Runs op on the key of a handle; kKeyDeleted when it no longer exists.
Status WithKey(const Key& key, bool write, const std::function<Status(Node&, bool*)>& op) {
  if (!key.valid()) return kInvalidHandle;
  if (write && !key.writable()) return kAccessDenied;
  return WithHive(key.hive(), write, [&](Node& root, bool* changed) {
    Node* n = Walk(root, key.path());
    return n ? op(*n, changed) : kKeyDeleted;
  });
}

Status Resolve(const Key& parent, std::string_view subKey, std::vector<std::string>* path) {
  if (!parent.valid()) return kInvalidHandle;
  *path = parent.path();
  return SplitPath(subKey, path);
}

}  // namespace

Status OpenKey(const Key& parent, std::string_view subKey, Access access, Key* out) {
  std::vector<std::string> path;
  if (Status s = Resolve(parent, subKey, &path); s != kOk) return s;
  Status s = WithHive(parent.hive(), false, [&](Node& root, bool*) {
    if (!Walk(root, parent.path())) return kKeyDeleted;
    return Walk(root, path) ? kOk : kFileNotFound;
  });
  if (s == kOk && out) *out = KeyAccess::Make(parent.hive(), std::move(path), access);
  return s;
}

Status CreateKey(const Key& parent, std::string_view subKey, std::string_view className, Key* out,
                 bool* created) {
  std::vector<std::string> path;
  if (Status s = Resolve(parent, subKey, &path); s != kOk) return s;
  bool made = false;
  Status s = WithKey(parent, true, [&](Node& start, bool* changed) {
    Node* n = &start;
    for (size_t i = parent.path().size(); i < path.size(); ++i) {
      Node* child = n->Child(path[i]);
      if (!child) {
        auto node = std::make_unique<Node>();
        node->name = path[i];
        if (i + 1 == path.size()) node->className = className;
        child = node.get();
        n->children.push_back(std::move(node));
        made = *changed = true;
      } else {
        made = false;
      }
      n = child;
    }
    return kOk;
  });
  if (s != kOk) return s;
  if (created) *created = made;
  if (out) *out = KeyAccess::Make(parent.hive(), std::move(path), Access::ReadWrite);
  return kOk;
}

Status DeleteKey(const Key& parent, std::string_view subKey) {
  std::vector<std::string> path;
  if (Status s = Resolve(parent, subKey, &path); s != kOk) return s;
  if (path.size() == parent.path().size()) return kInvalidParameter;  // not the key itself
  if (!parent.writable()) return kAccessDenied;
  return WithHive(parent.hive(), true, [&](Node& root, bool* changed) {
    if (!Walk(root, parent.path())) return kKeyDeleted;
    Node* up = Walk(root, std::vector<std::string>(path.begin(), path.end() - 1));
    if (!up) return kFileNotFound;
    auto it = std::find_if(up->children.begin(), up->children.end(),
                           [&](const auto& c) { return SameName(c->name, path.back()); });
    if (it == up->children.end()) return kFileNotFound;
    if (!(*it)->children.empty()) return kAccessDenied;
    up->children.erase(it);
    *changed = true;
    return kOk;
  });
}

Status QueryValue(const Key& key, std::string_view name, Value* out) {
  return WithKey(key, false, [&](Node& n, bool*) {
    Value* v = n.FindValue(name);
    if (!v) return kFileNotFound;
    if (out) *out = *v;
    return kOk;
  });
}

Status SetValue(const Key& key, std::string_view name, uint32_t type, const void* data, size_t size) {
  if (name.size() > kMaxValueName || (size && !data)) return kInvalidParameter;
  return WithKey(key, true, [&](Node& n, bool* changed) {
    Value* v = n.FindValue(name);
    if (!v) {
      n.values.push_back(Value{std::string(name), type, {}});
      v = &n.values.back();
    }
    v->type = type;
    const auto* bytes = static_cast<const uint8_t*>(data);
    v->data.assign(bytes, bytes + size);
    *changed = true;
    return kOk;
  });
}

Status DeleteValue(const Key& key, std::string_view name) {
  return WithKey(key, true, [&](Node& n, bool* changed) {
    auto it = std::find_if(n.values.begin(), n.values.end(), [&](const Value& v) { return SameName(v.name, name); });
    if (it == n.values.end()) return kFileNotFound;
    n.values.erase(it);
    *changed = true;
    return kOk;
  });
}

Status EnumValue(const Key& key, uint32_t index, Value* out) {
  return WithKey(key, false, [&](Node& n, bool*) {
    if (index >= n.values.size()) return kNoMoreItems;
    if (out) *out = n.values[index];
    return kOk;
  });
}

Status EnumKey(const Key& key, uint32_t index, std::string* name) {
  return WithKey(key, false, [&](Node& n, bool*) {
    if (index >= n.children.size()) return kNoMoreItems;
    if (name) *name = n.children[index]->name;
    return kOk;
  });
}

Status ReplaceValues(const Key& key, const std::vector<Value>& values) {
  for (size_t i = 0; i < values.size(); ++i) {
    if (values[i].name.size() > kMaxValueName) return kInvalidParameter;
    for (size_t j = 0; j < i; ++j)
      if (SameName(values[i].name, values[j].name)) return kInvalidParameter;
  }
  return WithKey(key, true, [&](Node& n, bool* changed) {
    n.values = values;
    *changed = true;
    return kOk;
  });
}

Status SetString(const Key& key, std::string_view name, std::string_view text) {
  std::string withNul(text);
  return SetValue(key, name, kString, withNul.c_str(), withNul.size() + 1);
}

Status SetDword(const Key& key, std::string_view name, uint32_t value) {
  return SetValue(key, name, kDword, &value, sizeof value);
}

Status QueryString(const Key& key, std::string_view name, std::string* out) {
  Value v;
  if (Status s = QueryValue(key, name, &v); s != kOk) return s;
  if (v.type != kString && v.type != kExpandString) return kInvalidParameter;
  std::string text(v.data.begin(), v.data.end());
  while (!text.empty() && text.back() == '\0') text.pop_back();
  if (out) *out = std::move(text);
  return kOk;
}

Status QueryDword(const Key& key, std::string_view name, uint32_t* out) {
  Value v;
  if (Status s = QueryValue(key, name, &v); s != kOk) return s;
  if (v.type != kDword || v.data.size() != 4) return kInvalidParameter;
  if (out) std::memcpy(out, v.data.data(), 4);
  return kOk;
}

std::string HiveFileName(Hive hive) {
  return (platform::RootFolder("registry") / (std::string(HiveName(hive)) + ".reg")).string();
}

}  // namespace qlon::registry
