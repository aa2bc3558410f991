#include "UrlDropTarget.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include "ShellLinks.h"
#include "Urlutil.h"

namespace qlon {

namespace {

// Longer texts are not an address someone dragged.
constexpr qsizetype kDroppedTextMax = 8192;

QString Address(const QString& text) {
  const QString url = text.trimmed();
  if (url.isEmpty() || url.size() > kDroppedTextMax) return {};
  for (QChar c : url)
    if (c.category() == QChar::Other_Control) return {};
  const bool known = url.startsWith("http:", Qt::CaseInsensitive) || url.startsWith("ftp:", Qt::CaseInsensitive) ||
                     url.startsWith("file:", Qt::CaseInsensitive);
  return known && IsAbsoluteUrl(url.toStdString()) ? url : QString();
}

QString FromLocalFile(const QString& path) {
  const QString suffix = QFileInfo(path).suffix();
  if (suffix.compare("url", Qt::CaseInsensitive) == 0 || suffix.compare("desktop", Qt::CaseInsensitive) == 0)
    return Address(QString::fromStdString(ReadInternetShortcut(path.toStdString())));
  return Address(QString::fromStdString(PathToFileUrl(path.toStdString())));
}

}  // namespace

TUrlDropTarget::TUrlDropTarget(QWidget* widget) : QObject(widget), Widget_(widget) {
  widget->installEventFilter(this);
}

void TUrlDropTarget::SetActive(bool active) {
  Active_ = active;
  Widget_->setAcceptDrops(active);
}

QString TUrlDropTarget::UrlFromMimeData(const QMimeData& data) {
  if (data.hasUrls()) {
    for (const QUrl& u : data.urls()) {
      const QString url = u.isLocalFile() ? FromLocalFile(u.toLocalFile()) : Address(u.toString());
      if (!url.isEmpty()) return url;
    }
    // The plain text of such a drop is the same list again.
    return {};
  }
  if (data.hasText()) {
    for (const QString& line : data.text().split('\n')) {
      if (line.trimmed().isEmpty()) continue;
      return Address(line);
    }
  }
  return {};
}

bool TUrlDropTarget::eventFilter(QObject* watched, QEvent* event) {
  if (watched != Widget_ || !Active_) return false;
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (drag->mimeData() && !UrlFromMimeData(*drag->mimeData()).isEmpty()) {
        drag->acceptProposedAction();
      } else {
        drag->ignore();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const QString url = drop->mimeData() ? UrlFromMimeData(*drop->mimeData()) : QString();
      if (url.isEmpty()) {
        drop->ignore();
        return true;
      }
      drop->acceptProposedAction();
      emit UrlDropped(url);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace qlon
