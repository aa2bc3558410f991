// Widget tests need one application object for the whole run.
#include <QApplication>
#include <gtest/gtest.h>

#include "FrenchUi.h"
#include "TestFonts.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  qlon::test::UseTestFonts();
  QApplication app(argc, argv);
  // As the program does: the framework's texts in French.
  qlon::shell::InstallFrenchUi(app);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
