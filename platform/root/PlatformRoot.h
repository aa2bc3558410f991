#pragma once
// The one folder under which every stand-in keeps its state: win.ini, the
// registry files, run-time sockets and locks, desktop entries.
//
//   $QLON_PLATFORM_ROOT                      when set (tests always set it)
//   $XDG_DATA_HOME/quillon98-platform        otherwise
//   ~/.local/share/quillon98-platform        when XDG_DATA_HOME is unset
//
// Sub-folders are made on first use, readable by the user only.
#include <filesystem>

namespace qlon::platform {

inline constexpr const char* kRootVariable = "QLON_PLATFORM_ROOT";

// The root folder, created (mode 0700) when missing.
std::filesystem::path Root();

// A sub-folder of the root ("run", "registry", ...), created (mode 0700) when missing.
std::filesystem::path RootFolder(const std::filesystem::path& name);

}  // namespace qlon::platform
