#include "QtMessageBox.h"

#include <memory>

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
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

}  // namespace

QtMessageBoxHandler::QtMessageBoxHandler() : previous_(SetMessageBoxHandler(this)) {}

QtMessageBoxHandler::~QtMessageBoxHandler() { SetMessageBoxHandler(previous_); }

QMessageBox* QtMessageBoxHandler::Build(const MessageBoxRequest& request) {
  auto* box = new QMessageBox;
  box->setWindowTitle(QString::fromStdString(request.caption));
  box->setText(QString::fromStdString(request.text));
  box->setTextFormat(Qt::PlainText);
  box->setIcon(QtIcon(request.Icon()));
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
