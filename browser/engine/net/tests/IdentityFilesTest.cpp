// Files that hold logins (user names and passwords) are the user's alone.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "Cookies.h"
#include "Setup.h"
#include "TempRoot.h"
#include "Web.h"
#include "WebStream.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;

unsigned Mode(const fs::path& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 ? unsigned(st.st_mode & 0777) : 0u;
}

class IdentityFilesTest : public ::testing::Test {
 protected:
  IdentityFilesTest() : previous_(::umask(022)) {}  // the usual umask: new files readable by all
  ~IdentityFilesTest() override { ::umask(previous_); }
  mode_t previous_;
  test::TempRoot root_;
};

class OneAnswer : public IWorkPathPrompt {
 public:
  explicit OneAnswer(std::string path) : path_(std::move(path)) {}
  bool AskWorkPath(std::string& path) override {
    path = path_;
    return true;
  }

 private:
  std::string path_;
};

TEST_F(IdentityFilesTest, CaptureFileAndItsJournal) {
  const fs::path file = root_.path() / "local.web";
  {
    TWeb web;
    web.Identities.SetIdentity("site", "bob", "secret");
    web.CreateNew(file);
    ASSERT_TRUE(web.Save());
  }
  EXPECT_EQ(Mode(file), 0600u);
  TWebStream stream(file, TWebStream::Mode::Open);
  const char byte = 1;
  stream.Write(100, &byte, 1);  // the journal keeps the bytes it overwrites
  ASSERT_TRUE(fs::exists(TWebStream::JournalPath(file)));
  EXPECT_EQ(Mode(TWebStream::JournalPath(file)), 0600u);
  stream.Rollback();
}

TEST_F(IdentityFilesTest, SettingsAndProfiles) {
  const fs::path work = root_.path() / "work";
  OneAnswer prompt(work.string());
  fs::create_directories(root_.path() / "program");
  TSetup setup(&prompt, root_.path() / "program");
  setup.HTTPProxyPassword = "secret";
  ASSERT_TRUE(setup.SaveSettings());
  EXPECT_EQ(Mode(setup.IniFile()), 0600u);
  ASSERT_TRUE(fs::exists(work / "profiles.ini"));
  EXPECT_EQ(Mode(work / "profiles.ini"), 0600u);
}

TEST_F(IdentityFilesTest, Cookies) {
  const fs::path file = root_.path() / "cookies.txt";
  TCookiesBase store;
  store.AddCookie("http://a.example/", "id=1", 80000.0);
  ASSERT_TRUE(store.SaveToFile(file.string()));
  EXPECT_EQ(Mode(file), 0600u);
  // A file left readable by an older version is closed up at the next save.
  fs::permissions(file, fs::perms(0644));
  ASSERT_TRUE(store.SaveToFile(file.string()));
  EXPECT_EQ(Mode(file), 0600u);
}

}  // namespace
}  // namespace qlon
