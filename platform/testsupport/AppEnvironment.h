#pragma once
// One Qt application object for a whole GoogleTest program, made before the
// first test and destroyed after the last, before the exit handlers run (a
// static application would outlive the platform plugin and crash at exit).
// A test file registers it once:
//   const auto* const g_env = qlon::test::AddAppEnvironment<QApplication>();
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "TestFonts.h"

namespace qlon::test {

template <typename Application>
class AppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (QCoreApplication::instance()) return;
    UseTestFonts();
    app_ = new Application(argc_, argv_);
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  Application* app_ = nullptr;
  int argc_ = 1;
  char name_[10] = "qlon-test";
  char* argv_[2] = {name_, nullptr};
};

template <typename Application>
::testing::Environment* AddAppEnvironment() {
  return ::testing::AddGlobalTestEnvironment(new AppEnvironment<Application>);
}

}  // namespace qlon::test
