// One QApplication (offscreen) for the whole test program: the form controls
// are real widgets and the Qt canvas needs fonts.
#include <QApplication>

#include "AppEnvironment.h"

namespace {
[[maybe_unused]] const auto* const g_env = qlon::test::AddAppEnvironment<QApplication>();
}  // namespace
