#pragma once
// The one folder under which every stand-in keeps its state: win.ini, the
// registry files, run-time sockets and locks. What the desktop must see
// (desktop entries, MIME types, icons) goes to DesktopDataFolder instead.
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

// True when QLON_PLATFORM_ROOT moves the root (tests always move it).
bool RootMoved();

// Where the desktop looks for what a program registers with it, by
// sub-folder ("applications", "mime/packages", "icons/hicolor/..."): the
// user's data folder ($XDG_DATA_HOME, by default ~/.local/share), or the
// moved root, so that nothing a test registers reaches the user's desktop.
// Created when missing, with the user's usual permissions.
std::filesystem::path DesktopDataFolder(const std::filesystem::path& name);

}  // namespace qlon::platform
