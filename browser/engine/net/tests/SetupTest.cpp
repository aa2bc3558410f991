#include "Setup.h"

#include <gtest/gtest.h>

#include "Options.h"
#include "PlatformRoot.h"
#include "Profile.h"
#include "Registry.h"
#include "Shell.h"
#include "TempRoot.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;

// Answers the work-folder question from a script and counts the questions.
class ScriptedPrompt : public IWorkPathPrompt {
 public:
  std::vector<std::string> Answers;  // "" = cancel
  int Asked = 0;
  bool AskWorkPath(std::string& path) override {
    const std::size_t i = static_cast<std::size_t>(Asked++);
    if (i >= Answers.size() || Answers[i].empty()) return false;
    path = Answers[i];
    return true;
  }
};

class SetupTest : public ::testing::Test {
 protected:
  SetupTest() {
    work = (root.path() / "work").string();
    program = root.path() / "program";
    fs::create_directories(program);
    prompt.Answers = {work};
  }
  test::TempRoot root;
  std::string work;
  fs::path program;
  ScriptedPrompt prompt;
};

TEST_F(SetupTest, FirstStartAsksForTheWorkFolderOnce) {
  {
    TSetup setup(&prompt, program);
    EXPECT_EQ(prompt.Asked, 1);
    EXPECT_EQ(setup.WorkPath, work + "/");
    EXPECT_TRUE(fs::is_directory(work));
  }
  EXPECT_EQ(profile::GetProfileString("QUILLON", "WORKPATH", ""), work + "/");
  TSetup again(&prompt, program);
  EXPECT_EQ(prompt.Asked, 1) << "a stored work folder is not asked again";
}

TEST_F(SetupTest, TheProgramFolderIsNeverTheWorkFolder) {
  prompt.Answers = {(program / "sub").string(), work};
  TSetup setup(&prompt, program);
  EXPECT_EQ(setup.WorkPath, "");
  EXPECT_EQ(prompt.Asked, 1);
  EXPECT_EQ(setup.Profiles->FileName(), fs::path()) << "never a profile file in the current folder";
  EXPECT_FALSE(fs::exists("profiles.ini"));
  // Cancelled or refused: asked again at the next start.
  TSetup next(&prompt, program);
  EXPECT_EQ(next.WorkPath, work + "/");
}

TEST_F(SetupTest, AnUnusableWorkFolderIsNeitherUsedNorStoredNorWrittenInto) {
  // A relative name would follow the folder each start happens in.
  profile::WriteProfileString("QUILLON", "WORKPATH", "relative/work");
  prompt.Answers = {"also/relative", ""};
  for (int start = 0; start < 2; ++start) {
    TSetup setup(&prompt, program);
    EXPECT_EQ(setup.WorkPath, "");
    EXPECT_FALSE(setup.SaveSettings());
    EXPECT_FALSE(fs::exists("quillon.ini"));
  }
  EXPECT_EQ(prompt.Asked, 2);
  EXPECT_EQ(profile::GetProfileString("QUILLON", "WORKPATH", ""), "relative/work");
  EXPECT_FALSE(fs::exists("relative") || fs::exists("also") || fs::exists("profiles.ini"));
  EXPECT_FALSE(fs::exists(platform::RootFolder("applications") / "Quillon.desktop")) << "nothing registered";
}

TEST_F(SetupTest, DefaultsWithoutQuillonIni) {
  TSetup setup(&prompt, program);
  EXPECT_EQ(setup.MaxSockets, 5);
  EXPECT_EQ(setup.SocketsFrameHeight, 102);
  EXPECT_EQ(setup.WebPath, work + "/");
  EXPECT_EQ(setup.AgentCount(), 5);
  EXPECT_EQ(setup.AgentText(), "");
  ASSERT_TRUE(setup.Profiles);
  EXPECT_EQ(setup.Profiles->FileName(), fs::path(work) / "profiles.ini");
  setup.SetAgentIdentity(1);
  EXPECT_EQ(setup.AgentText(), "Mozilla/3.0 (compatible; Quillon 98 ; Windows 95) ");
  setup.SetAgentIdentity(99);
  EXPECT_EQ(setup.AgentIdentity, 0);
}

TEST_F(SetupTest, WrittenThenReadGivesTheSameSettings) {
  TSetup setup(&prompt, program);
  setup.MaxSockets = 9;
  setup.HTTPProxyAdress = "proxy.example:3128";
  setup.HTTPUseProxy = true;
  setup.UseWebStructure = false;
  setup.EMail = "moi@example.fr";
  setup.BrowserList = {"/usr/bin/firefox", "/usr/bin/lynx -x"};
  setup.BrowserAuto = false;
  setup.BrowserExeName = "/usr/bin/firefox";
  setup.HttpIdentification = {"site1", "site2"};
  setup.Sommaire.ImgSize = 96;
  setup.Sommaire.ImgRatio = true;
  setup.SetAgentIdentity(3);
  setup.TraceOn = true;
  ASSERT_TRUE(setup.SaveSettings());

  TSetup read(&prompt, program);
  EXPECT_EQ(read.MaxSockets, 9);
  EXPECT_EQ(read.SocketsFrameHeight, 102) << "kept as written, not recomputed";
  EXPECT_EQ(read.HTTPProxyAdress, "proxy.example:3128");
  EXPECT_TRUE(read.HTTPUseProxy);
  EXPECT_FALSE(read.UseWebStructure);
  EXPECT_EQ(read.EMail, "moi@example.fr");
  EXPECT_EQ(read.BrowserList, setup.BrowserList);
  EXPECT_FALSE(read.BrowserAuto);
  EXPECT_EQ(read.BrowserExeName, "/usr/bin/firefox");
  EXPECT_EQ(read.Sommaire.ImgSize, 96);
  EXPECT_TRUE(read.Sommaire.ImgRatio);
  EXPECT_EQ(read.AgentCount(), 5);
  EXPECT_EQ(read.AgentText(), "Mozilla/2.0 (compatible; MSIE 3.0; Windows 95)");
  EXPECT_FALSE(read.TraceOn) << "TraceOn is never written";
}

TEST_F(SetupTest, WhatOthersAskOfTheSettingsFilesGoesThroughTheSettings) {
  TSetup setup(&prompt, program);
  // The work folder in win.ini, as the web shortcuts read it.
  EXPECT_EQ(StoredWorkPath(), work + "/");
  StoreWorkPath("/elsewhere/");
  EXPECT_EQ(profile::GetProfileString("QUILLON", "WORKPATH", ""), "/elsewhere/");
  StoreWorkPath(setup.WorkPath);
  // A first start has no window place; a save stores one.
  EXPECT_FALSE(setup.WindowPlaceStored());
  ASSERT_TRUE(setup.SaveSettings());
  EXPECT_TRUE(setup.WindowPlaceStored());
  // The bookmark option refused at once, before any save of the rest.
  setup.MaxSockets = 7;
  setup.SetUseBookmark(false);
  TSetup read(&prompt, program);
  EXPECT_FALSE(read.UseBookmark);
  EXPECT_NE(read.MaxSockets, 7);
  EXPECT_EQ(read.MimeFile(), fs::path(work + "/") / "mime.def");
  EXPECT_EQ(read.CookiesFile(), fs::path(work + "/") / "cookies.txt");
}

TEST_F(SetupTest, HandEditedFileKeepsWhatItDoesNotKnow) {
  TSetup setup(&prompt, program);
  const fs::path ini = setup.IniFile();
  test::WriteFileBytes(ini,
                       "; my notes\r\n[Mine]\r\nkeep=this\r\n[Options]\r\n; socket count\r\nMaxSockets=200\r\n"
                       "[User Agent]\r\nA=agent a\r\nB=agent b\r\nC=\r\n"
                       "[BrowserList]\r\n0=one\r\n1=two\r\n2=\r\n3=lost\r\n[Brix]\r\nResolveThreads=1\r\n");
  setup.LoadSettings();
  EXPECT_EQ(setup.MaxSockets, 16) << "bounded by the connection list";
  EXPECT_EQ(setup.ResolveThreads, 1);
  EXPECT_EQ(setup.AgentCount(), 3);
  EXPECT_EQ(setup.Agent(1).Agent, "agent b");
  EXPECT_EQ(setup.BrowserList, (std::vector<std::string>{"one", "two"}));
  ASSERT_TRUE(setup.SaveSettings());
  const std::string bytes = test::ReadFileBytes(ini);
  EXPECT_EQ(bytes.rfind("; my notes\r\n[Mine]\r\nkeep=this\r\n[Options]\r\n; socket count\r\nMaxSockets=16\r\n", 0), 0u)
      << bytes;
  EXPECT_EQ(bytes.find("lost"), std::string::npos);
  EXPECT_NE(bytes.find("[Brix]\r\nResolveThreads=1\r\n"), std::string::npos) << "kept, never written";
}

TEST_F(SetupTest, StartRegistersTheWebTypeAndTheStartMenuEntry) {
  TSetup setup(&prompt, program);
  using namespace registry;
  const auto defaultValue = [](const char* subKey) {
    Key key;
    std::string text = "(missing)";
    if (OpenKey(HKEY_CLASSES_ROOT, subKey, Access::Read, &key) == kOk) QueryString(key, "", &text);
    return text;
  };
  const std::string exe = (program / "qlon98").string();
  EXPECT_EQ(defaultValue(".web"), "Quillon");
  EXPECT_EQ(defaultValue("Quillon"), "Fichier de capture d'un Web de Quillon");
  EXPECT_EQ(defaultValue("Quillon\\Shell\\Open\\Command"), exe + " %1");
  EXPECT_EQ(defaultValue("Quillon\\DefaultIcon"), exe + ",0");
  const std::string entry = test::ReadFileBytes(platform::RootFolder("applications") / "Aspirer le Web.desktop");
  EXPECT_NE(entry.find("Exec=\"" + exe + "\" \"/b\"\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nIcon=quillon98\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nCategories=Network;"), std::string::npos) << entry;
  const std::string type = test::ReadFileBytes(platform::RootFolder("applications") / "Quillon.desktop");
  EXPECT_NE(type.find("Exec=\"" + exe + "\" %f\n"), std::string::npos) << type;
  EXPECT_NE(type.find("\nMimeType=application/x-quillon;\n"), std::string::npos) << type;
  const std::string mime = test::ReadFileBytes(platform::RootFolder("mime") / "packages" / "Quillon.xml");
  EXPECT_NE(mime.find("<glob pattern=\"*.web\"/>"), std::string::npos) << mime;
  EXPECT_NE(mime.find(std::string("<icon name=\"") + kWebFileIcon + "\"/>"), std::string::npos) << mime;
}

TEST_F(SetupTest, StartGivesTheDesktopTheProgramsIconsOnceOnly) {
  const fs::path apps = program / "icons" / "hicolor" / "48x48" / "apps";
  const fs::path types = program / "icons" / "hicolor" / "48x48" / "mimetypes";
  test::WriteFileBytes(apps / (std::string(kProgramIcon) + ".png"), "program icon");
  test::WriteFileBytes(types / (std::string(kWebFileIcon) + ".png"), "web file icon");
  const fs::path theme = root.path() / "icons" / "hicolor" / "48x48";
  const fs::path entry = root.path() / "applications" / "Quillon.desktop";
  {
    TSetup setup(&prompt, program);
  }
  EXPECT_EQ(test::ReadFileBytes(theme / "apps" / (std::string(kProgramIcon) + ".png")), "program icon");
  EXPECT_EQ(test::ReadFileBytes(theme / "mimetypes" / (std::string(kWebFileIcon) + ".png")), "web file icon");
  // A later start with nothing new rewrites nothing.
  const auto written = fs::last_write_time(entry);
  fs::last_write_time(entry, written - std::chrono::hours(1));
  {
    TSetup setup(&prompt, program);
  }
  EXPECT_EQ(fs::last_write_time(entry), written - std::chrono::hours(1));
}

// With the default state root the desktop's own folders receive the entries.
TEST_F(SetupTest, WithTheDefaultRootTheDesktopFindsTheEntries) {
  test::TempDir xdg, bin;
  const char* oldXdg = std::getenv("XDG_DATA_HOME");
  const char* oldPath = std::getenv("PATH");
  const std::string savedXdg = oldXdg ? oldXdg : "", savedPath = oldPath ? oldPath : "";
  ::setenv("XDG_DATA_HOME", xdg.path().c_str(), 1);
  // A cache tool of the desktop, as installed.
  test::WriteFileBytes(bin.path() / "update-desktop-database", "#!/bin/sh\n");
  fs::permissions(bin.path() / "update-desktop-database", fs::perms::owner_all);
  ::setenv("PATH", bin.path().c_str(), 1);
  ::unsetenv(platform::kRootVariable);
  platform::RecordingShell shell;
  {
    TSetup setup(&prompt, program);
  }
  ::setenv(platform::kRootVariable, root.path().c_str(), 1);
  ::setenv("PATH", savedPath.c_str(), 1);
  oldXdg ? ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
  EXPECT_TRUE(fs::is_regular_file(xdg.path() / "applications" / "Aspirer le Web.desktop"));
  EXPECT_TRUE(fs::is_regular_file(xdg.path() / "applications" / "Quillon.desktop"));
  EXPECT_TRUE(fs::is_regular_file(xdg.path() / "mime" / "packages" / "Quillon.xml"));
  EXPECT_FALSE(fs::exists(root.path() / "applications"));
  ASSERT_FALSE(shell.programs.empty());
  EXPECT_EQ(shell.programs[0],
            (std::vector<std::string>{(bin.path() / "update-desktop-database").string(),
                                      (xdg.path() / "applications").string()}));
}

TEST_F(SetupTest, LoginCachePerHost) {
  TSetup setup(&prompt, program);
  int asked = 0;
  setup.OnCredentials = [&](std::string& user, std::string& password) {
    ++asked;
    user = "Aladdin";
    password = "open sesame";
    return true;
  };
  EXPECT_EQ(setup.GetCredentials("www.example.com"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
  EXPECT_EQ(setup.GetCredentials("WWW.example.COM"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
  EXPECT_EQ(asked, 1);
  setup.StoreCredentials("other.org", "u", "p");
  EXPECT_EQ(setup.GetCredentials("other.org"), "dTpw");
  setup.OnCredentials = nullptr;
  EXPECT_EQ(setup.GetCredentials("third.net"), "");
}

}  // namespace
}  // namespace qlon
