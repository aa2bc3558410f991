#include "Profile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "PlatformRoot.h"

namespace qlon::profile {

namespace {

struct Line {
  std::string text;  // without its line ending
  std::string eol;   // "\r\n", "\n" or "" for a last line without one
};

struct IniText {
  std::string bom;
  std::vector<Line> lines;
  std::string newline = "\r\n";  // for lines we add
};

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Case folding for names: ASCII letters, and the Latin-1 capitals
// U+00C0..U+00DE (but U+00D7) in their UTF-8 form, so that accented
// section names such as "Tout le RÉPERTOIRE" match "Tout le répertoire".
std::string Fold(std::string_view s) {
  std::string out(s);
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char c = out[i];
    if (c >= 'A' && c <= 'Z') {
      out[i] = char(c + 32);
    } else if (c == 0xC3 && i + 1 < out.size()) {
      unsigned char d = out[i + 1];
      if (d >= 0x80 && d <= 0x9E && d != 0x97) out[i + 1] = char(d + 0x20);
      ++i;
    }
  }
  return out;
}

bool SameName(std::string_view a, std::string_view b) { return Fold(a) == Fold(b); }

// A section header gives its name.
std::optional<std::string_view> SectionOf(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  line.remove_prefix(1);
  size_t close = line.find(']');
  return Trim(close == std::string_view::npos ? line : line.substr(0, close));
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

std::optional<KeyLine> KeyOf(std::string_view line) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  std::string_view key = Trim(t.substr(0, eq));
  if (key.empty()) return std::nullopt;
  return KeyLine{key, Trim(t.substr(eq + 1))};
}

std::string Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return std::string(v);
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool ValidSection(std::string_view s) {
  return !s.empty() && !HasLineBreak(s) && s.find(']') == std::string_view::npos;
}

bool ValidKey(std::string_view k) {
  return !k.empty() && !HasLineBreak(k) && k.find('=') == std::string_view::npos && k.front() != '[' &&
         k.front() != ';';
}

// The file this thread is changing in one piece, and its text so far.
struct Batch {
  const fs::path& file;
  IniText ini;
  bool changed = false;
};
thread_local Batch* tBatch = nullptr;

IniText Load(const fs::path& file) {
  if (tBatch && tBatch->file == file) return tBatch->ini;
  IniText ini;
  std::ifstream in(file, std::ios::binary);
  if (!in) return ini;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    ini.bom = bytes.substr(0, 3);
    bytes.erase(0, 3);
  }
  bool first = true;
  size_t at = 0;
  while (at < bytes.size()) {
    size_t lf = bytes.find('\n', at);
    Line line;
    if (lf == std::string::npos) {
      line.text = bytes.substr(at);
      at = bytes.size();
    } else {
      size_t end = (lf > at && bytes[lf - 1] == '\r') ? lf - 1 : lf;
      line.text = bytes.substr(at, end - at);
      line.eol = bytes.substr(end, lf + 1 - end);
      at = lf + 1;
      if (first) ini.newline = line.eol;
      first = false;
    }
    ini.lines.push_back(std::move(line));
  }
  return ini;
}

// The line indexes [header, end) of the first section of that name.
std::optional<std::pair<size_t, size_t>> FindSection(const IniText& ini, std::string_view section) {
  for (size_t i = 0; i < ini.lines.size(); ++i) {
    auto name = SectionOf(ini.lines[i].text);
    if (!name || !SameName(*name, section)) continue;
    size_t end = i + 1;
    while (end < ini.lines.size() && !SectionOf(ini.lines[end].text)) ++end;
    return std::make_pair(i, end);
  }
  return std::nullopt;
}

std::optional<size_t> FindKey(const IniText& ini, std::pair<size_t, size_t> range, std::string_view key) {
  for (size_t i = range.first + 1; i < range.second; ++i)
    if (auto k = KeyOf(ini.lines[i].text); k && SameName(k->key, key)) return i;
  return std::nullopt;
}

// Serialises writers of one file across threads and processes.
class WriteLock {
 public:
  explicit WriteLock(const fs::path& file) {
    std::error_code ec;
    fs::path abs = fs::absolute(file, ec);
    char name[40];
    std::snprintf(name, sizeof name, "profile-%016zx.lock", std::hash<std::string>{}(abs.string()));
    fd_ = ::open((platform::RootFolder("run") / name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~WriteLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

bool WriteAllFd(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Replaces the file by a rename, so that readers see the old or the new text.
bool Save(const IniText& ini, const fs::path& file) {
  std::string bytes = ini.bom;
  for (const Line& l : ini.lines) bytes.append(l.text).append(l.eol);
  fs::path tmp = file;
  tmp += ".tmp" + std::to_string(::getpid());
  mode_t mode = 0600;
  struct stat st {};
  if (::stat(file.c_str(), &st) == 0) mode = st.st_mode & 07777;
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return false;
  bool ok = WriteAllFd(fd, bytes) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(tmp.c_str(), file.c_str()) == 0) return true;
  ::unlink(tmp.c_str());
  return false;
}

// Runs a change on the file's lines under the write lock; the change answers
// whether anything is to be written.
bool Change(const fs::path& file, const std::function<bool(IniText&)>& change) {
  if (tBatch && tBatch->file == file) {
    const bool changed = change(tBatch->ini);
    tBatch->changed = tBatch->changed || changed;
    return changed;
  }
  WriteLock lock(file);
  if (!lock.ok()) return false;
  IniText ini = Load(file);
  if (!change(ini)) return false;
  return Save(ini, file);
}

void InsertLine(IniText& ini, size_t at, std::string text) {
  if (at > 0 && ini.lines[at - 1].eol.empty()) ini.lines[at - 1].eol = ini.newline;
  ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), ini.newline});
}

}  // namespace

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, const fs::path& file) {
  IniText ini = Load(file);
  if (auto range = FindSection(ini, Trim(section)))
    if (auto at = FindKey(ini, *range, Trim(key))) return Unquote(KeyOf(ini.lines[*at].text)->value);
  return std::string(defaultValue);
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         const fs::path& file) {
  IniText ini = Load(file);
  auto range = FindSection(ini, Trim(section));
  if (!range) return defaultValue;
  auto at = FindKey(ini, *range, Trim(key));
  if (!at) return defaultValue;
  std::string v = Unquote(KeyOf(ini.lines[*at].text)->value);
  size_t i = 0;
  bool negative = false;
  if (i < v.size() && (v[i] == '-' || v[i] == '+')) negative = v[i++] == '-';
  long long n = 0;
  for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) n = std::min<long long>(n * 10 + (v[i] - '0'), 1LL << 32);
  if (negative) n = -n;
  return static_cast<int>(std::clamp<long long>(n, INT_MIN, INT_MAX));
}

bool WritePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               const fs::path& file) {
  section = Trim(section);
  key = Trim(key);
  if (!ValidSection(section) || !ValidKey(key) || HasLineBreak(value)) return false;
  std::string line = std::string(key) + "=" + std::string(value);
  return Change(file, [&](IniText& ini) {
    auto range = FindSection(ini, section);
    if (!range) {
      InsertLine(ini, ini.lines.size(), "[" + std::string(section) + "]");
      InsertLine(ini, ini.lines.size(), line);
      return true;
    }
    if (auto at = FindKey(ini, *range, key)) {
      std::string written(KeyOf(ini.lines[*at].text)->key);  // keep the key as the file spells it
      ini.lines[*at].text = written + "=" + std::string(value);
      return true;
    }
    size_t after = range->first + 1;
    for (size_t i = range->first + 1; i < range->second; ++i)
      if (KeyOf(ini.lines[i].text)) after = i + 1;
    InsertLine(ini, after, line);
    return true;
  });
}

bool DeletePrivateProfileKey(std::string_view section, std::string_view key, const fs::path& file) {
  return Change(file, [&](IniText& ini) {
    auto range = FindSection(ini, Trim(section));
    if (!range) return false;
    auto at = FindKey(ini, *range, Trim(key));
    if (!at) return false;
    ini.lines.erase(ini.lines.begin() + static_cast<std::ptrdiff_t>(*at));
    return true;
  });
}

bool DeletePrivateProfileSection(std::string_view section, const fs::path& file) {
  return Change(file, [&](IniText& ini) {
    auto range = FindSection(ini, Trim(section));
    if (!range) return false;
    ini.lines.erase(ini.lines.begin() + static_cast<std::ptrdiff_t>(range->first),
                    ini.lines.begin() + static_cast<std::ptrdiff_t>(range->second));
    return true;
  });
}

std::vector<std::string> GetPrivateProfileSectionNames(const fs::path& file) {
  IniText ini = Load(file);
  std::vector<std::string> names;
  for (const Line& l : ini.lines) {
    auto name = SectionOf(l.text);
    if (!name) continue;
    bool seen = false;
    for (const std::string& n : names) seen = seen || SameName(n, *name);
    if (!seen) names.emplace_back(*name);
  }
  return names;
}

std::vector<std::string> GetPrivateProfileSectionKeys(std::string_view section, const fs::path& file) {
  IniText ini = Load(file);
  std::vector<std::string> keys;
  auto range = FindSection(ini, Trim(section));
  if (!range) return keys;
  for (size_t i = range->first + 1; i < range->second; ++i) {
    auto k = KeyOf(ini.lines[i].text);
    if (!k) continue;
    bool seen = false;
    for (const std::string& n : keys) seen = seen || SameName(n, k->key);
    if (!seen) keys.emplace_back(k->key);
  }
  return keys;
}

bool BatchPrivateProfile(const fs::path& file, const std::function<void()>& changes) {
  if (tBatch) {  // already inside a batch: its changes join it
    changes();
    return true;
  }
  WriteLock lock(file);
  if (!lock.ok()) return false;
  Batch batch{file, Load(file)};
  tBatch = &batch;
  struct Restore {
    ~Restore() { tBatch = nullptr; }
  } restore;
  changes();
  tBatch = nullptr;
  return !batch.changed || Save(batch.ini, file);
}

fs::path WinIniPath() { return platform::Root() / "win.ini"; }

std::string GetProfileString(std::string_view section, std::string_view key, std::string_view defaultValue) {
  return GetPrivateProfileString(section, key, defaultValue, WinIniPath());
}

bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value) {
  return WritePrivateProfileString(section, key, value, WinIniPath());
}

// ---------------------------------------------------------------- TIniFile

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
  return GetPrivateProfileString(section, key, defaultValue, file_);
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const {
  std::string text = ReadString(section, key, "");
  std::string_view v = Trim(text);
  bool negative = false;
  if (!v.empty() && (v.front() == '-' || v.front() == '+')) {
    negative = v.front() == '-';
    v.remove_prefix(1);
  }
  int base = 10;
  if (!v.empty() && v.front() == '$') {
    base = 16;
    v.remove_prefix(1);
  } else if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) {
    base = 16;
    v.remove_prefix(2);
  }
  if (v.empty()) return defaultValue;
  unsigned long long n = 0;
  for (char c : v) {
    int d = (c >= '0' && c <= '9') ? c - '0'
            : (base == 16 && c >= 'a' && c <= 'f') ? c - 'a' + 10
            : (base == 16 && c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                   : -1;
    if (d < 0) return defaultValue;
    n = n * base + d;
    if (n > 0xFFFFFFFFull) return defaultValue;
  }
  // "$FFFFFFFF" is -1, as a 32-bit integer written in hexadecimal.
  if (base == 16) return static_cast<int>(static_cast<uint32_t>(negative ? -n : n));
  if (negative ? n > 2147483648ull : n > 2147483647ull) return defaultValue;
  return static_cast<int>(negative ? -static_cast<long long>(n) : static_cast<long long>(n));
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  return WritePrivateProfileString(section, key, value, file_);
}

bool TIniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  return WriteString(section, key, std::to_string(value));
}

bool TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  return WriteString(section, key, value ? "1" : "0");
}

std::vector<std::string> TIniFile::ReadSections() const { return GetPrivateProfileSectionNames(file_); }

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const {
  return GetPrivateProfileSectionKeys(section, file_);
}

bool TIniFile::SectionExists(std::string_view section) const {
  for (const std::string& s : ReadSections())
    if (SameName(s, Trim(section))) return true;
  return false;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
  for (const std::string& k : ReadSection(section))
    if (SameName(k, Trim(key))) return true;
  return false;
}

bool TIniFile::EraseSection(std::string_view section) { return DeletePrivateProfileSection(section, file_); }

bool TIniFile::DeleteKey(std::string_view section, std::string_view key) {
  return DeletePrivateProfileKey(section, key, file_);
}

}  // namespace qlon::profile
