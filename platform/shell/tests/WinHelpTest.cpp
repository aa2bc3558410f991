#include <gtest/gtest.h>

#include "Shell.h"
#include "TempRoot.h"
#include "WinHelp.h"

namespace qlon::platform {
namespace {

TEST(WinHelp, OpensAnExistingFileAtTheTopicOfTheControl) {
  test::TempDir dir;
  const std::string file = (dir.path() / "aide été.hlp").string();
  RecordingShell shell;
  EXPECT_FALSE(WinHelp(file, HELP_CONTEXT, 200));  // not there yet
  test::WriteFileBytes(file, "<html></html>");
  ASSERT_TRUE(WinHelp(file, HELP_CONTEXT, 200));
  const uint32_t table[] = {4020, 401, 3004, 402, 0, 0};
  EXPECT_TRUE(WinHelpForControl(file, HELP_WM_HELP, table, 3004));
  EXPECT_FALSE(WinHelpForControl(file, HELP_CONTEXTMENU, table, 9999));
  EXPECT_FALSE(WinHelpForControl(file, HELP_CONTEXT, table, 3004));
  ASSERT_EQ(shell.opened.size(), 2u);
  EXPECT_EQ(shell.opened[0].rfind("file:///", 0), 0u);
  EXPECT_NE(shell.opened[0].find("aide%20%C3%A9t%C3%A9.hlp#topic200"), std::string::npos) << shell.opened[0];
  EXPECT_NE(shell.opened[1].find("#topic402"), std::string::npos);
  shell.result = false;  // no viewer could be started
  EXPECT_FALSE(WinHelp(file, HELP_CONTEXT, 0));
  EXPECT_EQ(shell.opened.back().find('#'), std::string::npos);
}

}  // namespace
}  // namespace qlon::platform
