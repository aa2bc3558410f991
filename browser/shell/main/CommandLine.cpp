#include "CommandLine.h"

#include <QString>

#include "WebShortcut.h"

namespace qlon::shell {

namespace fs = std::filesystem;

std::string FirstArgument(const StringList& arguments) {
  if (arguments.empty()) return {};
  std::string arg = arguments.front();
  if (!arg.empty() && arg.front() == '"') arg.erase(0, 1);
  if (const size_t quote = arg.find('"'); quote != std::string::npos) arg.resize(quote);
  return arg;
}

std::string UrlArgument(const std::string& argument) {
  const size_t open = UpperCase(argument).find("URL(");
  const size_t close = argument.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open + 4) return {};
  return argument.substr(open + 4, close - open - 4);
}

bool HasExtension(const std::string& argument, const char* extension) {
  return QString::fromStdString(argument).endsWith(QLatin1String(extension), Qt::CaseInsensitive);
}

bool IsFileArgument(const std::string& argument) {
  return HasExtension(argument, ".web") || HasExtension(argument, ".wbs") || HasExtension(argument, ".url");
}

bool RunsClosingShortcut(const StringList& arguments) {
  const std::string file = FirstArgument(arguments);
  std::error_code ec;
  if (!HasExtension(file, ".wbs") || !fs::is_regular_file(file, ec)) return false;
  TWebShortcutFile shortcut;
  shortcut.LoadFromFile(file);
  return shortcut.CloseQuillonFlag;
}

StringList HandOverArguments(StringList arguments, const fs::path& folder) {
  for (std::string& argument : arguments)
    if (const std::string file = FirstArgument({argument}); IsFileArgument(file) && fs::path(file).is_relative())
      argument = (folder / file).lexically_normal().string();
  return arguments;
}

}  // namespace qlon::shell
