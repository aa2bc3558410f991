// Captured files are opened as documents, never run.
#include "CapturedFile.h"

#include <gtest/gtest.h>

#include "MessageBox.h"
#include "PictureBytes.h"
#include "Shell.h"
#include "TempRoot.h"

namespace qlon::shell {
namespace {

namespace fs = std::filesystem;

class CapturedFileTest : public ::testing::Test {
 protected:
  fs::path Write(const std::string& name, const std::string& bytes, bool executable = false) {
    const fs::path file = root_.path() / "cap" / name;
    test::WriteFileBytes(file, bytes);
    if (executable) fs::permissions(file, fs::perms::owner_exec, fs::perm_options::add);
    return file;
  }
  test::TempRoot root_;
};

TEST_F(CapturedFileTest, OnlyDocumentsByNameAndContentAreData) {
  const std::string elf = std::string("\x7f" "ELF\x02\x01\x01", 7) + std::string(60, '\0');
  const struct {
    const char* name;
    std::string bytes;
    bool executable;
    bool data;
  } rows[] = {
      {"photo.bmp", test::BmpPicture(4, 4, Qt::red), false, true},
      {"notes.txt", "des notes\n", false, true},
      {"page.htm", "<html><body>x</body></html>", false, true},
      {"archive.zip", std::string("PK\x03\x04", 4) + std::string(26, '\0'), false, true},
      {"unknown.mp3", std::string(40, '\x13'), false, true},  // content unknown, name a sound
      {"run.sh", "#!/bin/sh\necho\n", false, false},
      {"install.py", "print('x')\n", false, false},
      {"launcher.desktop", "[Desktop Entry]\nType=Application\nExec=/bin/true\n", false, false},
      {"setup.exe", "MZ" + std::string(60, '\0'), false, false},
      {"program", elf, false, false},               // no known name
      {"picture.jpg", elf, false, false},           // a program under a picture's name
      {"story.txt", "#!/bin/sh\nrm x\n", false, false},  // a script under a text's name
      {"marked.txt", "du texte\n", true, false},    // marked executable
      {"applet.jar", std::string("PK\x03\x04", 4) + std::string(26, '\0'), false, false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(IsDataFile(Write(row.name, row.bytes, row.executable)), row.data) << row.name;
  EXPECT_FALSE(IsDataFile(root_.path() / "cap" / "missing.txt"));
  EXPECT_FALSE(IsDataFile(root_.path() / "cap"));  // a folder
}

TEST_F(CapturedFileTest, AProgramIsNotRunButItsFolderShown) {
  platform::RecordingShell shell;
  platform::ScriptedMessageBoxes boxes;
  const fs::path text = Write("notes.txt", "des notes\n");
  EXPECT_TRUE(OpenCapturedFile(text));
  EXPECT_EQ(shell.opened, std::vector<std::string>{text.string()});
  EXPECT_TRUE(boxes.shown.empty());
  shell.result = false;  // no program for it
  EXPECT_FALSE(OpenCapturedFile(text));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_NE(boxes.shown[0].text.find(text.string()), std::string::npos);
  shell.result = true;
  boxes.shown.clear();

  const fs::path script = Write("run.sh", "#!/bin/sh\necho\n");
  EXPECT_FALSE(OpenCapturedFile(script));
  EXPECT_EQ(shell.opened.back(), script.parent_path().string());
  EXPECT_TRUE(shell.programs.empty() && shell.started.empty());
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_NE(boxes.shown[0].text.find("run.sh"), std::string::npos);
}

}  // namespace
}  // namespace qlon::shell
