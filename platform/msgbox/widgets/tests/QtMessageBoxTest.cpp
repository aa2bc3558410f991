#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
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

// A text laid out by its caller keeps its lines; one long line is still
// wrapped to fit the screen.
TEST(QtMessageBox, KeepsTheLinesOfATextThatBreaksItsOwn) {
  App();
  const QString laidOut = QString::fromUtf8(
      "Erreur irrécupérable sur le scanner. Mettez le scanner hors\n"
      "tension et suivez les instructions du manuel. Le pilote du\n"
      "scanner va être fermé.(Code:-24)");
  std::unique_ptr<QMessageBox> box(QtMessageBoxHandler::Build({laidOut.toStdString(), "Vellumor", MB_OK | MB_ICONHAND}));
  box->show();
  QApplication::processEvents();
  auto* label = box->findChild<QLabel*>("qt_msgbox_label");
  ASSERT_NE(label, nullptr);
  const QFontMetrics metrics(label->font());
  for (const QString& line : laidOut.split('\n'))
    EXPECT_LE(metrics.horizontalAdvance(line), label->contentsRect().width()) << line.toStdString();
  EXPECT_LE(label->height(), 4 * metrics.lineSpacing());  // three lines, not five

  const QString oneLine = QString("mot ").repeated(120);
  std::unique_ptr<QMessageBox> wide(QtMessageBoxHandler::Build({oneLine.toStdString(), "Quillon", MB_OK}));
  wide->show();
  QApplication::processEvents();
  EXPECT_LE(wide->width(), QGuiApplication::primaryScreen()->availableGeometry().width());
}

// A short question under a long caption: the box is wide enough for a title
// bar to show the caption whole.
TEST(QtMessageBox, IsWideEnoughForItsCaption) {
  App();
  std::unique_ptr<QMessageBox> box(
      QtMessageBoxHandler::Build({"Voulez vous le créer?", "Répertoire inexistant", MB_YESNO | MB_ICONQUESTION}));
  box->show();
  QApplication::processEvents();
  EXPECT_GE(box->width(), QFontMetrics(box->font()).horizontalAdvance(box->windowTitle()) + 140);
  // A sign that French spaces off never starts a line of its own.
  std::unique_ptr<QMessageBox> question(QtMessageBoxHandler::Build(
      {"Il y a une capture en cours, voulez vous l'interrompre ?", "Sortie de Quillon", MB_OKCANCEL}));
  EXPECT_TRUE(question->text().endsWith(QString(QChar(0x00A0)) + "?")) << question->text().toStdString();
  // A caption shorter than the text changes nothing.
  std::unique_ptr<QMessageBox> plain(QtMessageBoxHandler::Build({QString("mot ").repeated(30).toStdString(), "Q", MB_OK}));
  plain->show();
  QApplication::processEvents();
  EXPECT_LE(plain->width(), QFontMetrics(plain->font()).horizontalAdvance(QString("mot ").repeated(30)) + 200);
}

}  // namespace
}  // namespace qlon::platform
