#include "WBrowser.h"

#include <filesystem>

#include <gtest/gtest.h>

#include <QApplication>

#include "Dde.h"
#include "MessageBox.h"
#include "Palette.h"
#include "Shell.h"
#include "TempRoot.h"
#include "TestApp.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;
using Exchange = platform::ScriptedDdeServer::Exchange;

TEST(BrowserCommand, ProgramAndServiceName) {
  EXPECT_EQ(ParseBrowserCommand("\"C:/Program Files/Netscape/netscape.exe\" -h \"%1\""),
            "C:/Program Files/Netscape/netscape.exe");
  EXPECT_EQ(ParseBrowserCommand("/usr/bin/firefox %u"), "/usr/bin/firefox");
  EXPECT_EQ(ParseBrowserCommand("/usr/bin/firefox"), "/usr/bin/firefox");
  EXPECT_EQ(ParseBrowserCommand("\"/unterminated quote"), "/unterminated quote");
  EXPECT_EQ(ParseBrowserCommand(""), "");
  EXPECT_EQ(BrowserServiceName("C:/Program Files/Netscape/Netscape.Navigator.exe"), "NETSCAPE");
  EXPECT_EQ(BrowserServiceName("/usr/bin/web-browser"), "WEB-BROWSER");
  EXPECT_EQ(BrowserServiceName(""), "");
}

TEST(BrowserCommand, WindowInfoFields) {
  std::string address, title;
  ASSERT_TRUE(ParseWindowInfo("\"http://h/a,b\",\"Netscape - [Ma page]\",\"\"", address, title));
  EXPECT_EQ(address, "http://h/a,b");
  EXPECT_EQ(title, "Ma page");
  ASSERT_TRUE(ParseWindowInfo("\"http://h/\",\"NETSCAPE - Sans crochets\"", address, title));
  EXPECT_EQ(title, "Sans crochets");
  ASSERT_TRUE(ParseWindowInfo("\"http://h/\",\"[Autre] navigateur\"", address, title));
  EXPECT_EQ(title, "[Autre] navigateur");  // no prefix: brackets stay
  ASSERT_TRUE(ParseWindowInfo("http://h/only", address, title));
  EXPECT_EQ(title, "");
  EXPECT_FALSE(ParseWindowInfo("", address, title));
  EXPECT_FALSE(ParseWindowInfo(",\"title\"", address, title));
}

TEST(BrowserCommand, BrowsableAddresses) {
  for (const char* ok : {"http://h/", "HTTPS://h/", "ftp://h/f", "file:///tmp/a.htm", "mailto:a@b"})
    EXPECT_TRUE(IsBrowsableAddress(ok)) << ok;
  for (const char* no : {"", "http://", "javascript:alert(1)", "-e http://h/", "/tmp/a.htm", "x-http://h/"})
    EXPECT_FALSE(IsBrowsableAddress(no)) << no;
}

// A platform root whose desktop settings name a test browser as the
// default application of HTML files.
class BrowserTest : public ::testing::Test {
 protected:
  BrowserTest() {
    // main() made the application.
    program = root.path() / "bin" / "test.browser";
    test::WriteFileBytes(program, "#!/bin/sh\n");
    test::WriteFileBytes(root.path() / "applications" / "qlon-test-browser.desktop",
                         "[Desktop Entry]\nType=Application\nName=Test\nExec=\"" + program.string() + "\" %u\n");
    test::WriteFileBytes(root.path() / "mimeapps.list",
                         "[Default Applications]\ntext/html=qlon-test-browser.desktop\n");
  }
  test::TempRoot root;
  fs::path program;
  platform::RecordingShell shell;
};

TEST_F(BrowserTest, DefaultBrowserComesFromTheDesktopSettings) {
  TBrowser browser;
  EXPECT_EQ(browser.GetPath(), program.string());
  EXPECT_EQ(browser.ServiceName(), "TEST");
  // A missing program is no browser.
  fs::remove(program);
  EXPECT_EQ(FindDefaultBrowser(), "");

  int changes = 0;
  QObject::connect(&browser, &TBrowser::changed, [&] { ++changes; });
  browser.SetPath((root.path() / "none").string());
  EXPECT_EQ(changes, 0);
  test::WriteFileBytes(root.path() / "other", "");
  browser.SetPath((root.path() / "other").string());
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(browser.GetPath(), (root.path() / "other").string());
}

TEST_F(BrowserTest, PageGoesByDdeWithTheExactTopicsAndItems) {
  platform::ScriptedDdeServer server("TEST");
  server.answers["WWW_OpenURL"] = std::string("\x2a\0\0\0", 4);
  server.answers["WWW_Activate"] = std::string("\x78\x56\x34\x12", 4);
  TBrowser browser;
  ASSERT_TRUE(browser.OpenUrl("http://h/a \"b\".htm"));
  EXPECT_TRUE(shell.programs.empty());
  EXPECT_TRUE(shell.opened.empty());
  ASSERT_EQ(server.exchanges.size(), 6u);  // each exchange in its own conversation
  EXPECT_EQ(server.exchanges[0], (Exchange{"connect", "WWW_OpenURL", "", ""}));
  EXPECT_EQ(server.exchanges[1],
            (Exchange{"request", "WWW_OpenURL", "\"http://h/a %22b%22.htm\",,0xffffffff,0x00000000,,,", ""}));
  EXPECT_EQ(server.exchanges[2], (Exchange{"connect", "WWW_Activate", "", ""}));
  EXPECT_EQ(server.exchanges[3], (Exchange{"request", "WWW_Activate", "0xffffffff,0x00000000", ""}));
  EXPECT_EQ(server.exchanges[4], (Exchange{"connect", "WWW_WindowChange", "", ""}));
  EXPECT_EQ(server.exchanges[5].kind, "poke");
  EXPECT_EQ(server.exchanges[5].topic, "WWW_WindowChange");
  EXPECT_EQ(server.exchanges[5].item.rfind("0x12345678,0x00000001,0x", 0), 0u) << server.exchanges[5].item;

  server.exchanges.clear();
  EXPECT_TRUE(browser.Activate(1));
  EXPECT_TRUE(browser.Activate(2));
  EXPECT_TRUE(browser.Activate(0, QRect(10, 20, 800, 600)));
  std::vector<std::string> pokes;
  for (const Exchange& e : server.exchanges)
    if (e.kind == "poke") pokes.push_back(e.item);
  EXPECT_EQ(pokes, (std::vector<std::string>{
                       "0x12345678,0x00000004", "0x12345678,0x00000002",
                       "0x12345678,0x00000001,0x0000000a,0x00000014,0x00000320,0x00000258"}));

  // Without activation only the page is sent.
  server.exchanges.clear();
  browser.ActivateFlag = 0;
  ASSERT_TRUE(browser.OpenUrl("http://h/"));
  EXPECT_EQ(server.exchanges.size(), 2u);
}

TEST_F(BrowserTest, CurrentPageIsReadBackByDde) {
  TBrowser browser;
  std::string address = "unchanged", title;
  EXPECT_FALSE(browser.GetCurrentPage(address, title));  // nobody answers
  platform::ScriptedDdeServer server("test");
  EXPECT_FALSE(browser.GetCurrentPage(address, title));  // refused request
  server.answers["WWW_GetWindowInfo"] = "\"http://h/page\",\"Netscape - [Accueil]\"";
  ASSERT_TRUE(browser.GetCurrentPage(address, title));
  EXPECT_EQ(address, "http://h/page");
  EXPECT_EQ(title, "Accueil");
  EXPECT_EQ(server.exchanges.back(), (Exchange{"request", "WWW_GetWindowInfo", "0xffffffff", ""}));
}

TEST_F(BrowserTest, WithoutDdeTheBrowserStartsWithTheAddressAsOneArgument) {
  TBrowser browser;
  const std::string hostile = "http://h/a b\"c\";rm -rf ~;'$(id)'";
  ASSERT_TRUE(browser.OpenUrl(hostile));
  ASSERT_EQ(shell.programs.size(), 1u);
  EXPECT_EQ(shell.programs[0], (std::vector<std::string>{program.string(), hostile}));
  EXPECT_TRUE(shell.started.empty());  // never a command line

  // A server that gives an empty answer, or no window (it refused), also
  // leads to exactly one start.
  {
    platform::ScriptedDdeServer server("TEST");
    server.answers["WWW_OpenURL"] = "";
    ASSERT_TRUE(browser.OpenUrl("https://h/x"));
    EXPECT_EQ(shell.programs.size(), 2u);
    EXPECT_EQ(shell.programs[1].back(), "https://h/x");
    server.answers["WWW_OpenURL"] = std::string(4, '\0');
    ASSERT_TRUE(browser.OpenUrl("https://h/y"));
    ASSERT_EQ(shell.programs.size(), 3u);
    EXPECT_EQ(shell.programs[2].back(), "https://h/y");
    shell.programs.pop_back();
  }
  // Other addresses start nothing.
  EXPECT_FALSE(browser.OpenUrl("javascript:alert(1)"));
  EXPECT_FALSE(browser.OpenUrl("--new-window http://h/"));
  EXPECT_EQ(shell.programs.size(), 2u);
  shell.result = false;
  EXPECT_FALSE(browser.OpenUrl("http://h/"));

  // With no browser program the desktop opens it.
  shell.result = true;
  browser.SetPath("");
  EXPECT_TRUE(browser.OpenUrl("mailto:a@b"));
  EXPECT_EQ(shell.opened, std::vector<std::string>{"mailto:a@b"});
  EXPECT_EQ(shell.programs.size(), 3u);
}

TEST_F(BrowserTest, APageNoBrowserCanShowIsToldToTheUser) {
  platform::ScriptedMessageBoxes boxes;
  const std::string before = GetBrowser().GetPath();
  GetBrowser().SetPath(program.string());
  EXPECT_TRUE(ShowInBrowser("http://h/"));
  EXPECT_TRUE(boxes.shown.empty());
  shell.result = false;  // the program cannot be started
  EXPECT_FALSE(ShowInBrowser("http://h/"));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].caption, "Navigateur Web");
  EXPECT_NE(boxes.shown[0].text.find("http://h/"), std::string::npos);
  GetBrowser().SetPath(before);
}

TEST_F(BrowserTest, OneBrowserForTheProgram) {
  TBrowser& a = GetBrowser();
  EXPECT_EQ(&a, &GetBrowser());
  EXPECT_EQ(a.parent(), QCoreApplication::instance());
  a.SmallIcon();  // no crash offscreen; a theme may have no icon
  a.LargeIcon();
}

TEST(ProgramPalette, HoldsTheColourCubeAndGreys) {
  const std::vector<QRgb>& p = ProgramPalette();
  ASSERT_EQ(p.size(), 256u);
  EXPECT_EQ(&p, &ProgramPalette());
  EXPECT_EQ(p[10], qRgb(55, 55, 55));     // the cube's first entry
  EXPECT_EQ(p[225], qRgb(255, 255, 255));  // and its last
  EXPECT_EQ(p[226], qRgb(135, 135, 135));  // the greys
  EXPECT_EQ(p[249], qRgb(250, 250, 250));
}

}  // namespace
}  // namespace qlon
