#include "CapturedFile.h"

#include <QFileInfo>
#include <QMimeDatabase>
#include <QStringList>

#include "MessageBox.h"
#include "Shell.h"

namespace qlon::shell {

namespace fs = std::filesystem;

namespace {

// Types the desktop opens in a viewer or an editor, never by running them.
// Exact names: a type that merely derives from one of these (a Java archive
// is a zip, a shell script is text) is not a document.
bool IsDocumentType(const QString& name) {
  static const QStringList kTopLevels = {"image/", "audio/", "video/", "font/", "model/"};
  static const QStringList kPrefixes = {"application/vnd.oasis.opendocument.",
                                        "application/vnd.openxmlformats-officedocument."};
  static const QStringList kTypes = {
      "text/plain", "text/html", "text/css", "text/csv", "text/xml", "text/rtf", "text/markdown",
      "application/xml", "application/xhtml+xml", "application/json", "application/pdf", "application/postscript",
      "application/rtf", "application/msword", "application/vnd.ms-excel", "application/vnd.ms-powerpoint",
      "application/zip", "application/gzip", "application/x-tar", "application/x-compressed-tar",
      "application/x-bzip", "application/x-bzip2", "application/x-7z-compressed", "application/vnd.rar",
      "application/x-rar", "x-world/x-vrml"};
  for (const QString& top : kTopLevels)
    if (name.startsWith(top)) return true;
  for (const QString& prefix : kPrefixes)
    if (name.startsWith(prefix)) return true;
  return kTypes.contains(name);
}

}  // namespace

bool IsDataFile(const fs::path& file) {
  const QFileInfo info(QString::fromStdString(file.string()));
  if (!info.isFile() || info.isSymLink() || info.isExecutable()) return false;
  const QMimeDatabase types;
  // By name, as a desktop chooses the program; by content, as some do too.
  if (!IsDocumentType(types.mimeTypeForFile(info, QMimeDatabase::MatchExtension).name())) return false;
  const QString content = types.mimeTypeForFile(info, QMimeDatabase::MatchContent).name();
  return content == "application/octet-stream" || IsDocumentType(content);
}

bool OpenCapturedFile(const fs::path& file) {
  if (IsDataFile(file)) {
    if (platform::OpenItem(file.string())) return true;
    platform::MessageBox("Aucun programme n'a pu ouvrir " + file.string() + ".", "Ouvrir un fichier",
                         platform::MB_OK | platform::MB_ICONINFORMATION);
    return false;
  }
  platform::MessageBox("Quillon n'ouvre pas " + file.filename().string() +
                           " : ce fichier venu du Web n'est pas un document et pourrait être un programme.\r\n"
                           "Son répertoire va être affiché.",
                       "Ouvrir un fichier", platform::MB_OK | platform::MB_ICONINFORMATION);
  platform::OpenItem(file.parent_path().string());
  return false;
}

}  // namespace qlon::shell
