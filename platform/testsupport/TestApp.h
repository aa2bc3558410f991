#pragma once
// The one Qt application object of a test executable, made on first use:
// TestApp<QCoreApplication>(), TestApp<QGuiApplication>() or
// TestApp<QApplication>(). An executable asks for one kind only: Qt allows
// a single application object per process.
#include "TestFonts.h"

namespace qlon::test {

template <typename Application>
Application& TestApp() {
  static int argc = 1;
  static char name[] = "qlon-test";
  static char* argv[] = {name, nullptr};
  [[maybe_unused]] static const bool fonts = (UseTestFonts(), true);
  static Application app(argc, argv);
  return app;
}

}  // namespace qlon::test
