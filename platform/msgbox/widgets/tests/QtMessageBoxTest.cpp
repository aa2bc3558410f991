#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include "TestApp.h"

#include "QtMessageBox.h"

namespace qlon::platform {
namespace {

QApplication& App() { return test::TestApp<QApplication>(); }

QAbstractButton* ButtonFor(QMessageBox* box, int id) {
  for (QAbstractButton* b : box->buttons())
    if (b->property("messageBoxResult").toInt() == id) return b;
  return nullptr;
}

TEST(QtMessageBox, BuildsTheBoxOfTheFlags) {
  App();
  std::unique_ptr<QMessageBox> box(QtMessageBoxHandler::Build(
      {"Le répertoire n'est pas vide", "Effacement", MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2}));
  EXPECT_EQ(box->windowTitle(), QStringLiteral("Effacement"));
  EXPECT_EQ(box->text(), QStringLiteral("Le répertoire n'est pas vide"));
  EXPECT_EQ(box->icon(), QMessageBox::Question);
  ASSERT_EQ(box->buttons().size(), 3);
  ASSERT_NE(ButtonFor(box.get(), IDNO), nullptr);
  EXPECT_EQ(ButtonFor(box.get(), IDNO)->text(), QStringLiteral("&Non"));
  EXPECT_EQ(box->defaultButton(), ButtonFor(box.get(), IDNO));
  EXPECT_EQ(box->escapeButton(), ButtonFor(box.get(), IDCANCEL));
}

TEST(QtMessageBox, ShowReturnsTheButtonClickedAndInstallsItself) {
  App();
  QtMessageBoxHandler handler;
  EXPECT_EQ(CurrentMessageBoxHandler(), &handler);
  for (int pressed : {IDABORT, IDRETRY, IDIGNORE}) {
    QTimer::singleShot(0, [pressed] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->icon(), QMessageBox::Critical);
      ButtonFor(box, pressed)->click();
    });
    EXPECT_EQ(MessageBox("Erreur disque", "Erreur", MB_ABORTRETRYIGNORE | MB_ICONHAND), pressed);
  }
  QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
  EXPECT_EQ(MessageBox("Fini", "Quillon", MB_OKCANCEL), IDCANCEL);  // closing answers Cancel
}

}  // namespace
}  // namespace qlon::platform
