#include "WinHelp.h"

#include <filesystem>
#include <system_error>

#include <QUrl>

#include "Shell.h"

namespace qlon::platform {

std::string HelpTopicUrl(const std::string& helpFile, uint32_t topic) {
  std::error_code ec;
  const std::filesystem::path path = std::filesystem::absolute(helpFile, ec);
  QUrl url = QUrl::fromLocalFile(QString::fromStdString(path.lexically_normal().string()));
  if (topic != 0) url.setFragment(QStringLiteral("topic%1").arg(topic));
  return url.toString(QUrl::FullyEncoded).toStdString();
}

bool WinHelp(const std::string& helpFile, unsigned command, uintptr_t data) {
  if (command == HELP_QUIT) return true;
  if (command != HELP_CONTEXT || helpFile.empty()) return false;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(helpFile, ec)) return false;
  return OpenItem(HelpTopicUrl(helpFile, static_cast<uint32_t>(data)));
}

bool WinHelpForControl(const std::string& helpFile, unsigned command, const uint32_t* idTable, int controlId) {
  if ((command != HELP_WM_HELP && command != HELP_CONTEXTMENU) || !idTable) return false;
  for (const uint32_t* p = idTable; p[0] != 0; p += 2)
    if (p[0] == static_cast<uint32_t>(controlId)) return WinHelp(helpFile, HELP_CONTEXT, p[1]);
  return false;
}

}  // namespace qlon::platform
