#include <chrono>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "Shell.h"
#include "TempRoot.h"

namespace qlon::platform {
namespace {

namespace fs = std::filesystem;

// A platform root plus private XDG folders, so that the user's own
// associations never reach the test.
class AssociationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Set("XDG_CONFIG_HOME", xdg_.path() / "config");
    Set("XDG_CONFIG_DIRS", xdg_.path() / "etc");
    Set("XDG_DATA_HOME", xdg_.path() / "data");
  }
  void TearDown() override {
    for (auto& [name, value] : saved_) value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
  }
  void Set(const char* name, const std::filesystem::path& value) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    ::setenv(name, value.c_str(), 1);
  }
  void Entry(const std::string& id, const std::string& body) {
    test::WriteFileBytes(root_.path() / "applications" / id, "[Desktop Entry]\nType=Application\n" + body);
  }
  test::TempRoot root_;
  test::TempDir xdg_;
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST_F(AssociationTest, DefaultApplicationGivesProgramAndIcon) {
  test::WriteFileBytes(root_.path() / "mimeapps.list",
                       "[Added Associations]\nimage/png=other.desktop\n"
                       "[Default Applications]\ntext/html=missing.desktop;viewer.desktop;\n"
                       "image/png=noexec.desktop;painter.desktop\n");
  Entry("viewer.desktop", "Name=Viewer\nExec=\"/opt/My Viewer/view\" --new %U\nIcon=viewer-icon\n");
  Entry("noexec.desktop", "Name=Broken\n");
  Entry("painter.desktop", "Exec=paint %f 100%%\n");
  Entry("other.desktop", "Exec=other %f\n");

  const auto html = AssociatedProgram("htm");
  ASSERT_TRUE(html);
  EXPECT_EQ(html->mimeType, "text/html");
  EXPECT_EQ(html->program, "/opt/My Viewer/view --new");
  EXPECT_EQ(html->icon, "viewer-icon");
  EXPECT_EQ(html->desktopEntry, (root_.path() / "applications" / "viewer.desktop").string());

  const auto png = AssociatedProgram(".PNG");
  ASSERT_TRUE(png);
  EXPECT_EQ(png->program, "paint  100%");  // defaults before added associations
  EXPECT_EQ(png->icon, "image-png");       // the type's icon when the entry has none
}

TEST_F(AssociationTest, UnknownTypesAndBadNamesHaveNone) {
  test::WriteFileBytes(root_.path() / "mimeapps.list", "[Default Applications]\ntext/html=../../evil.desktop\n");
  test::WriteFileBytes(xdg_.path() / "evil.desktop", "[Desktop Entry]\nExec=evil\n");
  // The system's own default may answer, never a path outside the folders.
  const auto html = AssociatedProgram("htm");
  EXPECT_TRUE(!html || html->program != "evil");
  EXPECT_FALSE(AssociatedProgram(""));
  EXPECT_FALSE(AssociatedProgram("."));
  EXPECT_FALSE(AssociatedProgram("qlonunknownext"));
  EXPECT_FALSE(AssociatedProgram("a/htm"));
}

TEST(Shell, HandlerReceivesOpensAndStarts) {
  {
    RecordingShell shell;
    shell.result = false;
    EXPECT_FALSE(OpenItem("/tmp/a b.htm"));
    EXPECT_FALSE(StartCommand("prog \"a b\""));
    EXPECT_EQ(shell.opened, std::vector<std::string>{"/tmp/a b.htm"});
    EXPECT_EQ(shell.started, std::vector<std::string>{"prog \"a b\""});
  }
  // The default handler really starts programs, and reports failures.
  EXPECT_TRUE(StartCommand("true --ignored \"quoted arg\""));
  EXPECT_FALSE(StartCommand("/nonexistent/qlon-program"));
  EXPECT_FALSE(StartCommand("   "));
  EXPECT_FALSE(OpenItem(""));
}

TEST(Shell, StartProgramPassesEachArgumentAsOneWord) {
  test::TempDir dir;
  const fs::path out = dir.path() / "arg";
  const std::string hostile = "http://h/a b\"c';rm -rf x;$(id)`id`";
  {
    RecordingShell shell;
    EXPECT_TRUE(StartProgram("/usr/bin/browser", {hostile}));
    ASSERT_EQ(shell.programs.size(), 1u);
    EXPECT_EQ(shell.programs[0], (std::vector<std::string>{"/usr/bin/browser", hostile}));
    EXPECT_TRUE(shell.started.empty());
  }
  // The default handler gives the program the text untouched, no shell between.
  ASSERT_TRUE(StartProgram("/bin/sh", {"-c", "printf %s \"$1\" > \"$2\"", "sh", hostile, out.string()}));
  for (int i = 0; i < 500 && test::ReadFileBytes(out) != hostile; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(test::ReadFileBytes(out), hostile);
  EXPECT_FALSE(StartProgram("", {"x"}));
  EXPECT_FALSE(StartProgram("/nonexistent/qlon-program", {}));
}

TEST(Shell, StartedProgramsKeepNoneOfOurStandardChannels) {
  test::TempDir dir;
  const fs::path out = dir.path() / "channels";
  ASSERT_TRUE(StartProgram("/bin/sh", {"-c", "l=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2); echo \"$l\" > \"$1\"", "sh",
                                        out.string()}));
  const std::string expected = "/dev/null\n/dev/null\n/dev/null\n";
  for (int i = 0; i < 500 && test::ReadFileBytes(out) != expected; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(test::ReadFileBytes(out), expected);
}

// A program that gives up as it starts is reported with its status; one
// that ends well, or still runs, is not; the words reach it untouched.
TEST(Shell, AProgramThatFailsAsItStartsIsReported) {
  int argc = 1;
  char name[] = "shell-test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  test::TempDir dir;
  struct Report {
    std::string program;
    std::vector<std::string> arguments;
    int status;
  };
  std::vector<Report> reports;
  SetStartFailureReporter([&](const std::string& program, const std::vector<std::string>& arguments, int status) {
    reports.push_back({program, arguments, status});
  });
  const fs::path failing = dir.path() / "failing", fine = dir.path() / "fine", out = dir.path() / "arg";
  test::WriteFileBytes(failing, "#!/bin/sh\nprintf %s \"$1\" > \"$2\"\nexit 3\n");
  test::WriteFileBytes(fine, "#!/bin/sh\nexit 0\n");
  for (const fs::path& p : {failing, fine}) fs::permissions(p, fs::perms::owner_all);
  const std::string hostile = "http://h/a b\"c';$(id) `id`";
  ASSERT_TRUE(StartProgram(failing.string(), {hostile, out.string()}));
  ASSERT_TRUE(StartProgram(fine.string(), {"x"}));
  EXPECT_FALSE(StartProgram((dir.path() / "absent").string(), {"x"}));
  for (int i = 0; i < 400 && reports.empty(); ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Time for the one that ended well to be heard too.
  for (int i = 0; i < 50; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].program, failing.string());
  EXPECT_EQ(reports[0].arguments, (std::vector<std::string>{hostile, out.string()}));
  EXPECT_EQ(reports[0].status, 3);
  EXPECT_EQ(test::ReadFileBytes(out), hostile);
  SetStartFailureReporter(nullptr);
}

}  // namespace
}  // namespace qlon::platform
