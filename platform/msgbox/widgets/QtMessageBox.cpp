#include "QtMessageBox.h"

#include <algorithm>
#include <memory>

#include <QAbstractButton>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QPushButton>
#include <QScreen>
#include <QVariant>

namespace qlon::platform {

namespace {

struct ButtonKind {
  int id;
  const char* text;
  QMessageBox::ButtonRole role;
};

ButtonKind KindOf(int id) {
  switch (id) {
    case IDCANCEL: return {id, "Annuler", QMessageBox::RejectRole};
    case IDABORT: return {id, "&Abandonner", QMessageBox::RejectRole};
    case IDRETRY: return {id, "&Réessayer", QMessageBox::AcceptRole};
    case IDIGNORE: return {id, "&Ignorer", QMessageBox::AcceptRole};
    case IDYES: return {id, "&Oui", QMessageBox::YesRole};
    case IDNO: return {id, "&Non", QMessageBox::NoRole};
    case IDTRYAGAIN: return {id, "&Recommencer", QMessageBox::AcceptRole};
    case IDCONTINUE: return {id, "&Continuer", QMessageBox::AcceptRole};
    default: return {IDOK, "OK", QMessageBox::AcceptRole};
  }
}

QMessageBox::Icon QtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

// A text that breaks its own lines keeps them, as a Windows box does: the
// box is made wide enough for the widest line (within the screen), so that
// no line is broken a second time. Set when the box is shown, with the
// label's final font, before the box sizes itself.
// The box is also wide enough for its caption, which a window manager
// would otherwise cut in the middle of its title bar.
class KeepLines : public QObject {
 public:
  KeepLines(QMessageBox* box, bool ownLines) : QObject(box), ownLines_(ownLines) { box->installEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show) return false;
    auto* box = static_cast<QMessageBox*>(watched);
    auto* label = watched->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!label) return false;
    const QFontMetrics metrics(label->font());
    int widest = 0;
    if (ownLines_)
      for (const QString& line : label->text().split('\n')) widest = std::max(widest, metrics.horizontalAdvance(line));
    // The title bar's buttons and margins, and the box's own around the
    // text (its icon) are what the caption does not get.
    constexpr int kTitleBarExtra = 140;
    const int aside = std::max(0, box->sizeHint().width() - label->sizeHint().width());
    widest = std::max(widest, QFontMetrics(box->font()).horizontalAdvance(box->windowTitle()) + kTitleBarExtra - aside);
    if (widest > label->sizeHint().width() || ownLines_)
      label->setMinimumWidth(std::min(widest + 2 * label->margin() + 1, Room(label)));
    return false;
  }

 private:
  // What a box may give its text: the screen's width (at most 1000 pixels
  // beyond a small screen) less the icon, the margins and the frame.
  static int Room(const QWidget* widget) {
    const QScreen* screen = widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
    const int width = screen ? screen->availableGeometry().width() : 800;
    return (width <= 1024 ? width : std::min(width - 480, 1000)) - 200;
  }
  bool ownLines_;
};

}  // namespace

QtMessageBoxHandler::QtMessageBoxHandler() : previous_(SetMessageBoxHandler(this)) {}

QtMessageBoxHandler::~QtMessageBoxHandler() { SetMessageBoxHandler(previous_); }

QMessageBox* QtMessageBoxHandler::Build(const MessageBoxRequest& request) {
  auto* box = new QMessageBox;
  box->setWindowTitle(QString::fromStdString(request.caption));
  // French puts a space before "?", "!", ":" and ";": a line broken there
  // would leave the sign alone on the next one. The space is kept, unbreakable.
  QString text = QString::fromStdString(request.text);
  static const QRegularExpression beforeSign(QStringLiteral(" (?=[?!:;])"));
  text.replace(beforeSign, QString(QChar(0x00A0)));
  box->setText(text);
  box->setTextFormat(Qt::PlainText);
  box->setIcon(QtIcon(request.Icon()));
  new KeepLines(box, request.text.find('\n') != std::string::npos);
  const int defaultId = request.DefaultButton();
  const int escapeId = request.EscapeButton();
  for (int id : request.Buttons()) {
    const ButtonKind kind = KindOf(id);
    QPushButton* button = box->addButton(QString::fromUtf8(kind.text), kind.role);
    button->setProperty("messageBoxResult", id);
    if (id == defaultId) box->setDefaultButton(button);
    if (id == escapeId) box->setEscapeButton(button);
  }
  return box;
}

int QtMessageBoxHandler::Show(const MessageBoxRequest& request) {
  std::unique_ptr<QMessageBox> box(Build(request));
  box->exec();
  if (QAbstractButton* clicked = box->clickedButton()) return clicked->property("messageBoxResult").toInt();
  // Closed without a button (a box with no escape button cannot be):
  return request.EscapeButton() ? request.EscapeButton() : request.DefaultButton();
}

}  // namespace qlon::platform
