#include "TempRoot.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "PlatformRoot.h"

namespace qlon::test {
namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "qlon-test-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

TempRoot::TempRoot() {
  if (const char* v = std::getenv(platform::kRootVariable)) previous_ = v;
  ::setenv(platform::kRootVariable, dir_.path().c_str(), 1);
}

TempRoot::~TempRoot() {
  if (previous_)
    ::setenv(platform::kRootVariable, previous_->c_str(), 1);
  else
    ::unsetenv(platform::kRootVariable);
}

std::string ReadFileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const fs::path& p, const std::string& bytes) {
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace qlon::test
