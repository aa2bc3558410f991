#include "DiagnosticsDialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "PageMessages.h"
#include "UiStrings.h"

namespace qlon::scanner::ui {

namespace {
// Swallows the keyboard and mouse input queued for the dialog while the
// test ran: the user's impatient clicks must not press buttons afterwards.
class InputSink : public QObject {
 public:
  explicit InputSink(QWidget* dialog) : dialog_(dialog) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress: case QEvent::KeyRelease: case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease: case QEvent::MouseButtonDblClick: case QEvent::Wheel:
      case QEvent::ShortcutOverride: {
        auto* w = qobject_cast<QWidget*>(watched);
        return w && (w == dialog_ || dialog_->isAncestorOf(w));
      }
      default: return false;
    }
  }

 private:
  QWidget* dialog_;
};
}  // namespace

DiagnosticsDialog::DiagnosticsDialog(QWidget* owner, const std::string& driverName, Run run,
                                     std::function<void()> help, QWidget* hostWindow)
    : QDialog(owner), run_(std::move(run)), host_(hostWindow) {
  setWindowTitle("Scanner Diagnostics");
  setModal(true);
  char title[160];
  std::snprintf(title, sizeof title, UiString(95), driverName.c_str());
  title_ = new QLabel(QString::fromUtf8(title));
  edit_ = new QPlainTextEdit;
  edit_->setReadOnly(true);
  // The edit hands the focus on to "&Start" rather than taking it.
  edit_->setFocusPolicy(Qt::NoFocus);
  edit_->setMinimumSize(360, 110);
  start_ = new QPushButton("&Start");
  close_ = new QPushButton("Close");
  help_ = new QPushButton("&Help");
  start_->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  for (QPushButton* b : {start_, close_, help_}) buttons->addWidget(b);
  auto* box = new QVBoxLayout(this);
  box->addWidget(title_);
  box->addWidget(edit_);
  box->addLayout(buttons);
  connect(start_, &QPushButton::clicked, this, &DiagnosticsDialog::Start);
  connect(close_, &QPushButton::clicked, this, [this] { done(static_cast<int>(result_)); });
  connect(help_, &QPushButton::clicked, this, [help = std::move(help)] { if (help) help(); });
  start_->setFocus();
}

DiagnosticsDialog::~DiagnosticsDialog() { PostPageMessage(host_, kMsgDiagnosticsGone); }

QWidget* DiagnosticsDialog::Control(int id) const {
  switch (id) {
    case 1: return start_;
    case 2: return close_;
    case 1043: return edit_;
    case 1049: return title_;
    case 1051: return help_;
    default: return nullptr;
  }
}

QRect DiagnosticsDialog::Place(const QRect& rect, const QRect& host, const QRect& desktop) {
  QRect r = rect;
  r.moveCenter(host.center());
  if (r.right() > desktop.right()) r.moveRight(desktop.right());
  if (r.bottom() > desktop.bottom()) r.moveBottom(desktop.bottom());
  if (r.left() < desktop.left()) r.moveLeft(desktop.left());
  if (r.top() < desktop.top()) r.moveTop(desktop.top());
  return r;
}

void DiagnosticsDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!host_) return;
  const QRect hostRect(host_->mapToGlobal(QPoint(0, 0)), host_->size());
  QScreen* screen = host_->screen();
  const QRect desktop = screen ? screen->availableGeometry() : hostRect;
  move(Place(frameGeometry(), hostRect, desktop).topLeft());
}

void DiagnosticsDialog::Start() {
  edit_->setPlainText(UiString(73));
  for (QPushButton* b : {start_, close_, help_}) b->setEnabled(false);
  edit_->repaint();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  std::string text;
  const uint32_t status = run_ ? run_(&text) : 0;
  edit_->setPlainText(QString::fromUtf8(text));
  if (status == 0) DiscardQueuedInput();
  for (QPushButton* b : {start_, close_, help_}) b->setEnabled(true);
  QApplication::restoreOverrideCursor();
  if (status != 0) {
    result_ = status;
    close_->setFocus();
    // A failed device stays failed until the dialog is opened again.
    start_->setEnabled(false);
  } else {
    start_->setFocus();
  }
}

void DiagnosticsDialog::DiscardQueuedInput() {
  InputSink sink(this);
  qApp->installEventFilter(&sink);
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  qApp->removeEventFilter(&sink);
}

}  // namespace qlon::scanner::ui
