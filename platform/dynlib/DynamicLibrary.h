#pragma once
// A shared library loaded at run time: opened with every symbol bound at once
// and kept to itself (RTLD_NOW | RTLD_LOCAL), closed when the object goes.
// The outside libraries of the program live beside it and are opened by
// path, never through the dynamic linker's search, so that a missing library
// stays missing.
#include <filesystem>
#include <string>
#include <string_view>

namespace qlon::platform {

// The executable's folder ("." when it cannot be read).
std::filesystem::path ExecutableFolder();

class TDynamicLibrary {
 public:
  // Unloadable: closing lets the linker unload it. Resident: it stays mapped
  // after the last close (a library that starts threads or registers itself
  // with a framework that outlives it).
  enum class Residence { Unloadable, Resident };

  TDynamicLibrary() = default;
  explicit TDynamicLibrary(const std::filesystem::path& file, Residence residence = Residence::Unloadable);
  // fileName in folder, in the executable's folder when folder is empty.
  static TDynamicLibrary InFolder(const std::filesystem::path& folder, std::string_view fileName,
                                  Residence residence = Residence::Unloadable);
  ~TDynamicLibrary();
  TDynamicLibrary(TDynamicLibrary&& other) noexcept;
  TDynamicLibrary& operator=(TDynamicLibrary&& other) noexcept;
  TDynamicLibrary(const TDynamicLibrary&) = delete;
  TDynamicLibrary& operator=(const TDynamicLibrary&) = delete;

  bool IsOpen() const { return handle_ != nullptr; }
  explicit operator bool() const { return IsOpen(); }
  // The loader's handle, for libraries that are handed their own instance.
  void* Handle() const { return handle_; }
  // The dynamic linker's reason when opening failed, else empty.
  const std::string& Error() const { return error_; }
  // The reason, or fallback when the linker gave none.
  std::string ErrorOr(std::string_view fallback) const;

  // An export by name, null when absent or when the library is not open.
  void* Symbol(const char* name) const;
  template <typename Function>
  Function Entry(const char* name) const {
    return reinterpret_cast<Function>(Symbol(name));
  }
  // Sets function to the export; true when it exists.
  template <typename Function>
  bool Bind(Function& function, const char* name) const {
    function = Entry<Function>(name);
    return function != nullptr;
  }

  void Close();

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace qlon::platform
