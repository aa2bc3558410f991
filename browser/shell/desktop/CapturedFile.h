#pragma once
// Opening a captured file with the desktop's program for its type. A file
// that came from the web may be a program: an executable, a script, a
// ".desktop" launcher, an archive the desktop runs. Opening it would run
// code from the web, so only data files are opened: pictures, sound, video,
// plain text and documents, recognised both by name and by content, and
// never a file marked executable. For any other file the user is told, and
// its folder is shown instead.
#include <filesystem>

namespace qlon::shell {

// Whether the desktop may open the file as a document.
bool IsDataFile(const std::filesystem::path& file);

// Opens a data file (the user is told when no program could); for any
// other file, says why and shows its folder. False when the file itself was
// not opened.
bool OpenCapturedFile(const std::filesystem::path& file);

}  // namespace qlon::shell
