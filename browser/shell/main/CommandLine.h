#pragma once
// The command line as the program reads it, and as a second instance hands
// it to the running one. Only the first argument counts; its extension
// decides what it is (".web" a capture file, ".wbs" a web shortcut, ".url"
// an Internet shortcut, compared ignoring case), else "/B" (the browser's
// current page) or "URL(address)".
#include <filesystem>
#include <string>

#include "Utils.h"

namespace qlon::shell {

// The first argument as the program reads it: a leading double quote
// removed, cut at the next one.
std::string FirstArgument(const StringList& arguments);
// The address of a "URL(...)" argument: the text between "URL(" and the
// last ")"; empty when there is none.
std::string UrlArgument(const std::string& argument);
// The argument ends with the extension, whatever the case.
bool HasExtension(const std::string& argument, const char* extension);
// An argument that names a file the program reads: a capture file, a web
// shortcut or an Internet shortcut.
bool IsFileArgument(const std::string& argument);
// The command line runs a web shortcut that closes the program when its
// capture ends: a run nobody watches, from the program's first question on.
bool RunsClosingShortcut(const StringList& arguments);
// A command line as it is handed to the running instance, whose current
// folder is another: file arguments made absolute against `folder`.
StringList HandOverArguments(StringList arguments, const std::filesystem::path& folder);

}  // namespace qlon::shell
