#pragma once
// The registry: a tree of keys per root (hive), each key holding named, typed
// values. Shaped after the advapi32 calls the scanner libraries make:
// results are Win32 error codes (0 = success), key and value names compare
// case-insensitively (ASCII), values keep their type and raw bytes, and
// values enumerate in the order they were first written (a later write keeps
// the value's place).
//
// Each hive is one file under RootFolder("registry"), read whole and
// rewritten whole on every change:
//
//   QLONREG 1
//   K <tab> <key path> <tab> <class>            one line per key, parents first;
//   V <tab> <type> <tab> <value name> <tab> <hex bytes>   values of the key above
//
// The root key has the empty path; path components are joined by "\"; names
// are UTF-8 with "%", tab, "\", CR, LF and other control bytes written as
// %XX. A change is written to a temporary file that is flushed and renamed
// over the hive, all under an exclusive flock on "<hive>.lock", so that
// readers (shared flock) and other processes never see a half-written hive.
// A hive file that does not parse is reported as ERROR_BADDB and never
// overwritten.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qlon::registry {

using Status = int32_t;
inline constexpr Status kOk = 0;
inline constexpr Status kFileNotFound = 2;        // ERROR_FILE_NOT_FOUND: no such key or value
inline constexpr Status kAccessDenied = 5;        // read-only handle, or a key with subkeys deleted
inline constexpr Status kInvalidHandle = 6;
inline constexpr Status kInvalidParameter = 87;
inline constexpr Status kMoreData = 234;
inline constexpr Status kNoMoreItems = 259;
inline constexpr Status kBadDatabase = 1009;      // the hive file is damaged
inline constexpr Status kIoFailed = 1016;         // ERROR_REGISTRY_IO_FAILED
inline constexpr Status kKeyDeleted = 1018;       // the handle's key was deleted meanwhile

// Value types, with the Win32 numbers.
enum ValueType : uint32_t {
  kNone = 0,
  kString = 1,
  kExpandString = 2,
  kBinary = 3,
  kDword = 4,
  kDwordBigEndian = 5,
  kLink = 6,
  kMultiString = 7,
  kResourceList = 8,
  kFullResourceDescriptor = 9,
  kResourceRequirementsList = 10,
  kQword = 11,
};

enum class Hive { ClassesRoot, CurrentUser, LocalMachine };
enum class Access { Read, ReadWrite };

struct Value {
  std::string name;
  uint32_t type = kNone;
  std::vector<uint8_t> data;
};

// An open key: the hive, the path as given (resolved again on every call)
// and the access it was opened with. Copyable; there is nothing to close.
class Key {
 public:
  Key() = default;
  // The predefined root key, read-write (constant-initialised, so usable
  // from other libraries' static constructors).
  constexpr explicit Key(Hive root) : hive_(root), access_(Access::ReadWrite), valid_(true) {}
  bool valid() const { return valid_; }
  Hive hive() const { return hive_; }
  const std::vector<std::string>& path() const { return path_; }
  bool writable() const { return access_ == Access::ReadWrite; }

 private:
  friend class KeyAccess;
  Hive hive_ = Hive::LocalMachine;
  std::vector<std::string> path_;
  Access access_ = Access::Read;
  bool valid_ = false;
};

// The predefined roots.
inline const Key HKEY_CLASSES_ROOT{Hive::ClassesRoot};
inline const Key HKEY_CURRENT_USER{Hive::CurrentUser};
inline const Key HKEY_LOCAL_MACHINE{Hive::LocalMachine};

// Sub-key paths use "\" between names; empty names (doubled or trailing "\")
// are ignored, so "A\\B\" is "A\B". An empty path names the parent itself.
Status OpenKey(const Key& parent, std::string_view subKey, Access access, Key* out);
// Opens the key, creating it and any missing levels; *created tells whether
// the last level was new. The class string is stored with new keys only.
Status CreateKey(const Key& parent, std::string_view subKey, std::string_view className, Key* out,
                 bool* created = nullptr);
// Deletes a key that has no subkeys (a key with subkeys gives kAccessDenied).
Status DeleteKey(const Key& parent, std::string_view subKey);

Status QueryValue(const Key& key, std::string_view name, Value* out);
Status SetValue(const Key& key, std::string_view name, uint32_t type, const void* data, size_t size);
Status DeleteValue(const Key& key, std::string_view name);
// The index-th value / subkey name; kNoMoreItems past the end.
Status EnumValue(const Key& key, uint32_t index, Value* out);
Status EnumKey(const Key& key, uint32_t index, std::string* name);
// Deletes every value of the key and writes the given ones in order, as one
// atomic change: no reader ever sees the key emptied.
Status ReplaceValues(const Key& key, const std::vector<Value>& values);

// Conveniences over QueryValue/SetValue. A string is written with its NUL
// and read back without trailing NULs; QueryDword accepts REG_DWORD only.
Status SetString(const Key& key, std::string_view name, std::string_view text);
Status SetDword(const Key& key, std::string_view name, uint32_t value);
Status QueryString(const Key& key, std::string_view name, std::string* out);
Status QueryDword(const Key& key, std::string_view name, uint32_t* out);

// The file that backs a hive (for tests and diagnostics).
std::string HiveFileName(Hive hive);

}  // namespace qlon::registry
