// Any bytes as a registry hive file: no crash; a hive that loads is walked
// whole, and after one more write (which rewrites the file) it reads back the
// same keys and values plus the new one, so what the parser accepts the
// writer reproduces.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "Registry.h"

using namespace qlon::registry;

namespace {

void Check(bool ok, int line = __builtin_LINE()) {
  if (ok) return;
  std::fprintf(stderr, "check failed at line %d\n", line);
  std::abort();
}

// Every key path and value of the tree, in enumeration order.
void Walk(const Key& key, const std::string& path, std::vector<std::string>* out, int depth = 0) {
  Value v;
  for (uint32_t i = 0; EnumValue(key, i, &v) == kOk; ++i)
    out->push_back(path + "|" + v.name + "|" + std::to_string(v.type) + "|" +
                   std::string(v.data.begin(), v.data.end()));
  std::string name;
  for (uint32_t i = 0; depth < 64 && EnumKey(key, i, &name) == kOk; ++i) {
    Key child;
    Check(OpenKey(key, name, Access::Read, &child) == kOk);
    out->push_back(path + "\\" + name);
    Walk(child, path + "\\" + name, out, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char dir[] = "/tmp/qlon-fuzz-registry-XXXXXX";
  Check(::mkdtemp(dir) != nullptr);
  ::setenv("QLON_PLATFORM_ROOT", dir, 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::ofstream out(HiveFileName(Hive::CurrentUser), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::vector<std::string> before;
  Status s = OpenKey(HKEY_CURRENT_USER, "", Access::Read, nullptr);
  if (s != kOk) {
    Check(s == kBadDatabase);
    return 0;
  }
  Walk(HKEY_CURRENT_USER, "", &before);
  const std::string name = "\x01" "fuzz";
  const bool existed = QueryValue(HKEY_CURRENT_USER, name, nullptr) == kOk;
  const uint32_t seven = 7;
  Check(SetDword(HKEY_CURRENT_USER, name, seven) == kOk);
  std::vector<std::string> after;
  Walk(HKEY_CURRENT_USER, "", &after);
  if (existed) {
    Check(after.size() == before.size());
    return 0;
  }
  const std::string added = "|" + name + "|4|" + std::string(reinterpret_cast<const char*>(&seven), 4);
  auto it = std::find(after.begin(), after.end(), added);
  Check(it != after.end());
  after.erase(it);
  Check(after == before);
  return 0;
}
