#pragma once
// Shell links and special folders.
//
// An Internet shortcut is a small INI file, read and written through the
// profile layer:
//
//   [InternetShortcut]
//   URL=<address>
//
// A desktop entry of the link kind ("[Desktop Entry]", "Type=Link",
// "URL=<address>") is accepted in its place. A program shortcut is a
// desktop entry of the application kind.
//
// Special folders, by their shell names (case-insensitive): "Desktop", the
// user's desktop; "Favorites", the bookmarks' shortcuts; "Start Menu" and
// "Programs", where the desktop finds application entries (the user's
// "applications" data folder). "Favorites" lies under the platform root;
// the others are the desktop's own folders unless the root is moved
// (QLON_PLATFORM_ROOT set, as in the tests), when they lie under it too.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qlon {

// Shortcut files larger than this are not shortcuts.
inline constexpr std::uintmax_t kShortcutFileMax = 64 * 1024;

// The address of an Internet shortcut (or link desktop entry); empty when
// the file is missing, not a regular file, too large, or has no usable URL.
std::string ReadInternetShortcut(const std::filesystem::path& path);
// Writes (or updates) the URL key, keeping the file's other lines; false
// for an address a shortcut cannot hold or when the file cannot be written.
bool WriteInternetShortcut(const std::filesystem::path& path, const std::string& url);

// The special folder, created when missing; empty for an unknown name or
// when it cannot be created.
std::filesystem::path GetShellFolderPath(const std::string& name);

// Writes the desktop entry linkPath (a ".desktop" file) that starts the
// program with the arguments (each passed as one word) under the name
// shown; false when a text cannot be held or the file cannot be written.
bool CreateShellLink(const std::filesystem::path& linkPath, const std::filesystem::path& program,
                     const std::vector<std::string>& arguments, const std::string& name);

}  // namespace qlon
