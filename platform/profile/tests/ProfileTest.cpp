#include "Profile.h"

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TempRoot.h"

using namespace qlon::profile;
using qlon::test::ReadFileBytes;
using qlon::test::WriteFileBytes;

namespace {

class ProfileTest : public ::testing::Test {
 protected:
  qlon::test::TempRoot root;
  qlon::test::TempDir dir;
  fs::path file = dir.path() / "test.ini";
};

const char kSample[] =
    "; header comment\n"
    "stray=before any section\n"
    "[Options]\n"
    "  Agent  =  Mozilla/4.0 (compatible)  \n"
    "Quoted=\"  padded  \"\n"
    "Single='x'\n"
    "Half=\"open\n"
    "; Hidden=1\n"
    "junk line\n"
    "agent=second wins never\n"
    "Empty=\n"
    "\n"
    "[Tout le r\xC3\xA9pertoire]\n"
    "MaxLevel=3\n"
    "[options]\n"
    "Late=1\n";

}  // namespace

TEST_F(ProfileTest, ReadsAsWindowsDoes) {
  WriteFileBytes(file, kSample);
  struct Case { const char* section; const char* key; const char* value; };
  const Case cases[] = {
      {"OPTIONS", "AGENT", "Mozilla/4.0 (compatible)"},  // names fold, blanks trimmed, first wins
      {"Options", "Quoted", "  padded  "},
      {"Options", "single", "x"},
      {"Options", "Half", "\"open"},
      {"Options", "Empty", ""},
      {"Options", "; Hidden", "<default>"},
      {"Options", "junk line", "<default>"},
      {"Options", "stray", "<default>"},
      {"Options", "Late", "<default>"},  // only the first [Options] counts
      {"TOUT LE R\xC3\x89PERTOIRE", "maxlevel", "3"},
      {"Missing", "Agent", "<default>"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(GetPrivateProfileString(c.section, c.key, "<default>", file), c.value)
        << c.section << "/" << c.key;
  EXPECT_EQ(GetPrivateProfileInt("tout le r\xC3\xA9pertoire", "MaxLevel", 9, file), 3);
  EXPECT_EQ(GetPrivateProfileInt("Options", "Agent", 9, file), 0);
  EXPECT_EQ(GetPrivateProfileInt("Options", "Nothing", 9, file), 9);
  EXPECT_EQ(GetPrivateProfileString("a", "b", "d", dir.path() / "none.ini"), "d");

  EXPECT_EQ(GetPrivateProfileSectionNames(file),
            (std::vector<std::string>{"Options", "Tout le r\xC3\xA9pertoire"}));
  EXPECT_EQ(GetPrivateProfileSectionKeys("options", file),
            (std::vector<std::string>{"Agent", "Quoted", "Single", "Half", "Empty"}));
}

TEST_F(ProfileTest, WritesChangeOnlyTheirLine) {
  WriteFileBytes(file, kSample);
  std::string expected = kSample;
  auto replace = [&](const std::string& from, const std::string& to) {
    expected.replace(expected.find(from), from.size(), to);
  };

  ASSERT_TRUE(WritePrivateProfileString("options", "AGENT", "Quillon 98 ", file));
  replace("  Agent  =  Mozilla/4.0 (compatible)  \n", "Agent=Quillon 98 \n");
  EXPECT_EQ(ReadFileBytes(file), expected);

  ASSERT_TRUE(WritePrivateProfileString("Options", "NewKey", "a=b;c", file));
  replace("Empty=\n", "Empty=\nNewKey=a=b;c\n");  // after the section's last key, LF as the file
  EXPECT_EQ(ReadFileBytes(file), expected);
  EXPECT_EQ(GetPrivateProfileString("Options", "newkey", "", file), "a=b;c");

  ASSERT_TRUE(WritePrivateProfileString("Filtres", "0", "a/[0](b/[2])", file));
  expected += "[Filtres]\n0=a/[0](b/[2])\n";
  EXPECT_EQ(ReadFileBytes(file), expected);

  ASSERT_TRUE(DeletePrivateProfileKey("OPTIONS", "single", file));
  replace("Single='x'\n", "");
  ASSERT_TRUE(DeletePrivateProfileSection("tout le r\xC3\x89pertoire", file));
  replace("[Tout le r\xC3\xA9pertoire]\nMaxLevel=3\n", "");
  EXPECT_EQ(ReadFileBytes(file), expected);
  EXPECT_FALSE(DeletePrivateProfileKey("Options", "Single", file));
  EXPECT_FALSE(DeletePrivateProfileSection("Nowhere", file));
}

TEST_F(ProfileTest, NewFilesUseCrLfAndAFileWithoutFinalNewlineStaysWhole) {
  ASSERT_TRUE(WritePrivateProfileString("QUILLON", "WORKPATH", "/home/u/Quillon", file));
  ASSERT_TRUE(WritePrivateProfileString("QUILLON", "Other", "x", file));
  EXPECT_EQ(ReadFileBytes(file), "[QUILLON]\r\nWORKPATH=/home/u/Quillon\r\nOther=x\r\n");

  WriteFileBytes(file, "[a]\r\nk=1");
  ASSERT_TRUE(WritePrivateProfileString("a", "j", "2", file));
  EXPECT_EQ(ReadFileBytes(file), "[a]\r\nk=1\r\nj=2\r\n");
}

TEST_F(ProfileTest, RefusesTextsThatWouldChangeTheFileStructure) {
  WriteFileBytes(file, "[a]\nk=1\n");
  const char* bad[][3] = {
      {"a", "k", "1\n[evil]"}, {"a", "k=x", "1"}, {"a]", "k", "1"}, {"a", "[k", "1"},
      {"a", ";k", "1"},        {"", "k", "1"},    {"a", "", "1"},   {"a\r", "k", "1"},
  };
  for (auto& b : bad) EXPECT_FALSE(WritePrivateProfileString(b[0], b[1], b[2], file)) << b[0] << b[1];
  EXPECT_EQ(ReadFileBytes(file), "[a]\nk=1\n");
  EXPECT_FALSE(WritePrivateProfileString("a", "k", "1", dir.path() / "no" / "such" / "dir.ini"));
}

TEST_F(ProfileTest, IniFileNumbersAndFlags) {
  TIniFile ini(file);
  WriteFileBytes(file, "[n]\nd=42\nneg=-7\nhex=$1F\nhex2=0x10\nall=$FFFFFFFF\nbad=12a\nbig=99999999999\n");
  EXPECT_EQ(ini.ReadInteger("n", "d", 0), 42);
  EXPECT_EQ(ini.ReadInteger("n", "neg", 0), -7);
  EXPECT_EQ(ini.ReadInteger("n", "hex", 0), 31);
  EXPECT_EQ(ini.ReadInteger("n", "hex2", 0), 16);
  EXPECT_EQ(ini.ReadInteger("n", "all", 0), -1);
  EXPECT_EQ(ini.ReadInteger("n", "bad", 5), 5);
  EXPECT_EQ(ini.ReadInteger("n", "big", 5), 5);
  EXPECT_EQ(ini.ReadInteger("n", "none", 5), 5);
  EXPECT_TRUE(ini.ReadBool("n", "d", false));
  EXPECT_TRUE(ini.ReadBool("n", "none", true));
  ASSERT_TRUE(ini.WriteBool("n", "flag", false));
  ASSERT_TRUE(ini.WriteInteger("n", "count", -25536));
  EXPECT_FALSE(ini.ReadBool("n", "flag", true));
  EXPECT_EQ(ini.ReadString("n", "count", ""), "-25536");
  EXPECT_TRUE(ini.SectionExists("N"));
  EXPECT_TRUE(ini.ValueExists("n", "FLAG"));
  EXPECT_FALSE(ini.ValueExists("n", "nothing"));
  ASSERT_TRUE(ini.EraseSection("n"));
  EXPECT_TRUE(ini.ReadSections().empty());
}

TEST_F(ProfileTest, WinIniLivesAtThePlatformRoot) {
  EXPECT_EQ(WinIniPath(), root.path() / "win.ini");
  EXPECT_EQ(GetProfileString("QUILLON", "WORKPATH", ""), "");
  ASSERT_TRUE(WriteProfileString("QUILLON", "WORKPATH", "/data/web"));
  EXPECT_EQ(GetProfileString("quillon", "workpath", ""), "/data/web");
  EXPECT_EQ(ReadFileBytes(root.path() / "win.ini"), "[QUILLON]\r\nWORKPATH=/data/web\r\n");
}

TEST_F(ProfileTest, ConcurrentWritersLoseNoKey) {
  constexpr int kPerThread = 40;
  auto writer = [&](int id) {
    for (int i = 0; i < kPerThread; ++i)
      WritePrivateProfileString("S", "k" + std::to_string(id) + "_" + std::to_string(i), "v", file);
  };
  std::thread a(writer, 1), b(writer, 2);
  a.join();
  b.join();
  EXPECT_EQ(GetPrivateProfileSectionKeys("S", file).size(), size_t(2 * kPerThread));
}

namespace {

TEST_F(ProfileTest, ABatchWritesItsKeysInOneRewriteSeenByOthersOnlyAtTheEnd) {
  WriteFileBytes(file, "; kept\r\n[A]\r\nx=1\r\n");
  std::string seenByOtherThread;
  ASSERT_TRUE(BatchPrivateProfile(file, [&] {
    TIniFile ini(file);
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(ini.WriteInteger("B", "k" + std::to_string(i), i));
    ASSERT_TRUE(ini.WriteString("A", "x", "2"));
    EXPECT_TRUE(ini.DeleteKey("B", "k0"));
    EXPECT_FALSE(ini.DeleteKey("B", "missing"));
    EXPECT_EQ(ini.ReadString("A", "x", ""), "2");  // this thread reads its own changes
    std::thread([&] { seenByOtherThread = GetPrivateProfileString("A", "x", "", file); }).join();
    EXPECT_EQ(ReadFileBytes(file), "; kept\r\n[A]\r\nx=1\r\n");
  }));
  EXPECT_EQ(seenByOtherThread, "1");
  TIniFile ini(file);
  EXPECT_EQ(ini.ReadString("A", "x", ""), "2");
  EXPECT_EQ(ini.ReadSection("B").size(), 199u);
  EXPECT_EQ(ini.ReadInteger("B", "k199", 0), 199);
  EXPECT_EQ(ReadFileBytes(file).rfind("; kept\r\n[A]\r\nx=2\r\n[B]\r\nk1=1\r\n", 0), 0u);
  // Outside the batch, writes reach the file at once again.
  ASSERT_TRUE(ini.WriteString("A", "y", "3"));
  EXPECT_NE(ReadFileBytes(file).find("y=3"), std::string::npos);
}

TEST_F(ProfileTest, ABatchThatCannotBeWrittenReportsIt) {
  const fs::path nowhere = dir.path() / "missing-folder" / "x.ini";
  EXPECT_FALSE(BatchPrivateProfile(nowhere, [&] { TIniFile(nowhere).WriteString("S", "k", "v"); }));
  EXPECT_TRUE(BatchPrivateProfile(nowhere, [] {})) << "nothing changed, nothing to write";
}

}  // namespace
