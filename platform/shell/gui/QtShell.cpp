#include "QtShell.h"

#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QUrl>

namespace qlon::platform {

QtShellHandler::QtShellHandler() : previous_(SetShellHandler(this)) {}

QtShellHandler::~QtShellHandler() { SetShellHandler(previous_); }

bool QtShellHandler::OpenItem(const std::string& item) {
  if (item.empty()) return false;
  const QString text = QString::fromStdString(item);
  const QUrl url = text.startsWith('/') ? QUrl::fromLocalFile(text)
                                        : QUrl::fromUserInput(text, QDir::currentPath(), QUrl::AssumeLocalFile);
  if (!url.isValid()) return false;
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  const bool ok = QDesktopServices::openUrl(url);
  QGuiApplication::restoreOverrideCursor();
  return ok;
}

bool QtShellHandler::StartCommand(const std::string& commandLine) { return StartDetached(commandLine); }

}  // namespace qlon::platform
