#pragma once
// What a program registers with the Linux desktop, in the files the desktop
// reads (freedesktop.org specifications):
//
//   applications/<id>.desktop          desktop entry: "[Desktop Entry]",
//                                       Type, Name, Exec, Icon, MimeType...
//   mime/packages/<name>.xml           shared-mime-info package: a MIME
//                                       type, its comment, icon and globs
//   icons/hicolor/<n>x<n>/<context>/<icon>.png
//                                       the icon theme's pictures
//
// all under platform::DesktopDataFolder (the user's XDG data folder, or the
// moved platform root in tests). A file is rewritten only when its bytes
// change, so that a start that registers nothing new touches nothing and
// runs no cache tool.
#include <filesystem>
#include <string>
#include <vector>

namespace qlon::platform {

// A desktop entry string value: backslashes doubled.
std::string DesktopEscape(const std::string& text);
// One word of an Exec line: always quoted, so blanks and shell characters
// stay part of it; "%" doubled so that no word becomes a field code.
std::string DesktopExecWord(const std::string& word);
// Text for an XML element or attribute value (& < > " escaped).
std::string XmlEscape(const std::string& text);

// Writes the bytes atomically unless the file already holds them; changed
// (when given) tells whether it was written. False when it cannot be.
bool WriteDesktopFile(const std::filesystem::path& path, const std::string& bytes, bool* changed = nullptr);

// Copies each "<n>x<n>/<context>/<icon>.png" of the icon folder (a program's
// "icons/hicolor") into the desktop's hicolor theme. False when no picture
// was found or one could not be copied.
bool InstallDesktopIcons(const std::filesystem::path& iconFolder, const std::string& context,
                         const std::string& icon, bool* changed = nullptr);

// The commands that rebuild the desktop's caches of entries and MIME types
// over the desktop data folder, each only when its tool is installed.
std::vector<std::vector<std::string>> DesktopCacheCommands();
// Starts them (StartProgram), except under a moved root: tests never run
// the user's tools.
void RefreshDesktopCaches();

}  // namespace qlon::platform
