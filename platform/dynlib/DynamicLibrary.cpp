#include "DynamicLibrary.h"

#include <dlfcn.h>

#include <utility>

namespace qlon::platform {

std::filesystem::path ExecutableFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path(".") : exe.parent_path();
}

TDynamicLibrary::TDynamicLibrary(const std::filesystem::path& file, Residence residence) {
  const int flags = RTLD_NOW | RTLD_LOCAL | (residence == Residence::Resident ? RTLD_NODELETE : 0);
  handle_ = dlopen(file.c_str(), flags);
  if (!handle_) {
    const char* why = dlerror();
    error_ = why ? why : "";
  }
}

TDynamicLibrary TDynamicLibrary::InFolder(const std::filesystem::path& folder, std::string_view fileName,
                                          Residence residence) {
  return TDynamicLibrary((folder.empty() ? ExecutableFolder() : folder) / fileName, residence);
}

TDynamicLibrary::~TDynamicLibrary() { Close(); }

TDynamicLibrary::TDynamicLibrary(TDynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

TDynamicLibrary& TDynamicLibrary::operator=(TDynamicLibrary&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
    error_ = std::move(other.error_);
  }
  return *this;
}

std::string TDynamicLibrary::ErrorOr(std::string_view fallback) const {
  return error_.empty() ? std::string(fallback) : error_;
}

void* TDynamicLibrary::Symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

void TDynamicLibrary::Close() {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
}

}  // namespace qlon::platform
