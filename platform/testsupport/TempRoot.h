#pragma once
// Test fixture helpers: a fresh temporary folder, and a fresh platform root
// for the life of a test, the previous value of QLON_PLATFORM_ROOT restored.
#include <filesystem>
#include <optional>
#include <string>

namespace qlon::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

class TempRoot {
 public:
  TempRoot();
  ~TempRoot();
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;
  const std::filesystem::path& path() const { return dir_.path(); }

 private:
  TempDir dir_;
  std::optional<std::string> previous_;
};

// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& p);
// Writes bytes to a file, making its folder.
void WriteFileBytes(const std::filesystem::path& p, const std::string& bytes);

}  // namespace qlon::test
