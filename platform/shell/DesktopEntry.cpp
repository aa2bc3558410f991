#include "DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include "PlatformRoot.h"
#include "Shell.h"

namespace qlon::platform {

namespace fs = std::filesystem;

namespace {

QByteArray ReadAll(const fs::path& path) {
  QFile file(QString::fromStdString(path.string()));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

std::string DesktopEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += '\\';
    out += c;
  }
  return out;
}

std::string DesktopExecWord(const std::string& word) {
  std::string quoted = "\"";
  for (char c : word) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string out;
  for (char c : DesktopEscape(quoted)) {
    if (c == '%') out += '%';
    out += c;
  }
  return out;
}

std::string XmlEscape(const std::string& text) {
  return QString::fromStdString(text).toHtmlEscaped().toStdString();
}

bool WriteDesktopFile(const fs::path& path, const std::string& bytes, bool* changed) {
  if (changed) *changed = false;
  std::error_code ec;
  if (fs::is_regular_file(path, ec) && ReadAll(path) == QByteArray::fromStdString(bytes)) return true;
  fs::create_directories(path.parent_path(), ec);
  QSaveFile file(QString::fromStdString(path.string()));
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()) ||
      !file.commit())
    return false;
  if (changed) *changed = true;
  return true;
}

bool InstallDesktopIcons(const fs::path& iconFolder, const std::string& context, const std::string& icon,
                         bool* changed) {
  if (changed) *changed = false;
  const QStringList sizes =
      QDir(QString::fromStdString(iconFolder.string())).entryList({"*x*"}, QDir::Dirs | QDir::NoDotAndDotDot);
  int found = 0;
  bool ok = true;
  for (const QString& size : sizes) {
    const fs::path folder = fs::path(size.toStdString()) / context, file = icon + ".png";
    const QByteArray picture = ReadAll(iconFolder / folder / file);
    if (picture.isEmpty()) continue;
    ++found;
    bool written = false;
    ok = WriteDesktopFile(DesktopDataFolder(fs::path("icons") / "hicolor" / folder) / file, picture.toStdString(),
                          &written) && ok;
    if (written && changed) *changed = true;
  }
  return found > 0 && ok;
}

std::vector<std::vector<std::string>> DesktopCacheCommands() {
  std::vector<std::vector<std::string>> commands;
  const struct {
    const char* tool;
    const char* folder;
  } kTools[] = {{"update-desktop-database", "applications"}, {"update-mime-database", "mime"}};
  for (const auto& t : kTools) {
    const QString program = QStandardPaths::findExecutable(QString::fromLatin1(t.tool));
    if (!program.isEmpty()) commands.push_back({program.toStdString(), DesktopDataFolder(t.folder).string()});
  }
  return commands;
}

void RefreshDesktopCaches() {
  if (RootMoved()) return;
  for (const auto& command : DesktopCacheCommands())
    StartProgram(command.front(), std::vector<std::string>(command.begin() + 1, command.end()));
}

}  // namespace qlon::platform
