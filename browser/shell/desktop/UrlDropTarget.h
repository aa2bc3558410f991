#pragma once
// The drop target of the main window: takes an address dropped on a widget
// and hands it over through UrlDropped.
//
// A drop carries an address when, in this order:
//   - its "text/uri-list" holds one: a local Internet shortcut (".url",
//     ".desktop") gives the address inside it, another local file its
//     "file:" URL, a web address itself; the first usable entry wins;
//   - else its plain text, first non-blank line, is an address.
// Only absolute http, ftp and file addresses count (what a capture can
// start from); anything else is refused at the drag's entry, so the user
// sees that it will not be taken.
#include <QObject>
#include <QString>

class QMimeData;
class QWidget;

namespace qlon {

class TUrlDropTarget : public QObject {
  Q_OBJECT
 public:
  // Watches the widget (its child from now on); inactive until SetActive.
  explicit TUrlDropTarget(QWidget* widget);

  void SetActive(bool active);
  bool Active() const { return Active_; }

  // The address the data carries; empty when none.
  static QString UrlFromMimeData(const QMimeData& data);

 signals:
  void UrlDropped(const QString& url);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* Widget_;
  bool Active_ = false;
};

}  // namespace qlon
