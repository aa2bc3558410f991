#include "Registry.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TempRoot.h"

using namespace qlon::registry;

namespace {

class RegistryTest : public ::testing::Test {
 protected:
  qlon::test::TempRoot root_;

  Key Make(const Key& parent, const char* path) {
    Key k;
    EXPECT_EQ(CreateKey(parent, path, "option", &k), kOk);
    return k;
  }
  static std::vector<std::string> ValueNames(const Key& k) {
    std::vector<std::string> names;
    Value v;
    for (uint32_t i = 0; EnumValue(k, i, &v) == kOk; ++i) names.push_back(v.name);
    return names;
  }
};

TEST_F(RegistryTest, KeysOpenCaseInsensitivelyWithSubPathsAndStraySeparators) {
  bool created = false;
  Key k;
  ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, "Software\\Norva\\Vellumor\\5.3\\Devices\\QMDEV", "option", &k, &created), kOk);
  EXPECT_TRUE(created);
  ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, "software\\NORVA", "", nullptr, &created), kOk);
  EXPECT_FALSE(created);

  Key opened;
  EXPECT_EQ(OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\\\norva\\Vellumor\\5.3\\devices\\", Access::Read, &opened), kOk);
  Key leaf;
  EXPECT_EQ(OpenKey(opened, "qmdev", Access::Read, &leaf), kOk);
  EXPECT_EQ(OpenKey(opened, "Other", Access::Read, &leaf), kFileNotFound);
  // The roots are separate trees.
  EXPECT_EQ(OpenKey(HKEY_CURRENT_USER, "Software\\Norva", Access::Read, &leaf), kFileNotFound);
  EXPECT_EQ(OpenKey(HKEY_CLASSES_ROOT, "Software", Access::Read, &leaf), kFileNotFound);
  // Names keep the spelling they were created with.
  std::string name;
  Key devices;
  ASSERT_EQ(OpenKey(HKEY_LOCAL_MACHINE, "software\\norva\\vellumor\\5.3\\devices", Access::Read, &devices), kOk);
  ASSERT_EQ(EnumKey(devices, 0, &name), kOk);
  EXPECT_EQ(name, "QMDEV");
  EXPECT_EQ(EnumKey(devices, 1, &name), kNoMoreItems);
  EXPECT_EQ(CreateKey(HKEY_LOCAL_MACHINE, std::string(256, 'x'), "", nullptr), kInvalidParameter);
}

TEST_F(RegistryTest, DeletingFollowsNtRules) {
  Key parent = Make(HKEY_CURRENT_USER, "A\\B\\C");
  EXPECT_EQ(DeleteKey(HKEY_CURRENT_USER, "A\\B"), kAccessDenied);  // has a subkey
  Key c;
  ASSERT_EQ(OpenKey(HKEY_CURRENT_USER, "A\\B\\C", Access::ReadWrite, &c), kOk);
  EXPECT_EQ(DeleteKey(HKEY_CURRENT_USER, "a\\b\\c"), kOk);
  EXPECT_EQ(DeleteKey(HKEY_CURRENT_USER, "A\\B\\C"), kFileNotFound);
  // A handle to a deleted key fails from then on.
  EXPECT_EQ(SetDword(c, "x", 1), kKeyDeleted);
  EXPECT_EQ(EnumValue(c, 0, nullptr), kKeyDeleted);
  EXPECT_EQ(DeleteKey(HKEY_CURRENT_USER, "A\\B"), kOk);
}

TEST_F(RegistryTest, ReadOnlyHandlesRefuseWrites) {
  Make(HKEY_LOCAL_MACHINE, "K");
  Key ro;
  ASSERT_EQ(OpenKey(HKEY_LOCAL_MACHINE, "K", Access::Read, &ro), kOk);
  EXPECT_EQ(SetDword(ro, "v", 1), kAccessDenied);
  EXPECT_EQ(CreateKey(ro, "Sub", "", nullptr), kAccessDenied);
  EXPECT_EQ(DeleteValue(ro, "v"), kAccessDenied);
  EXPECT_EQ(ReplaceValues(ro, {}), kAccessDenied);
  EXPECT_EQ(SetDword(Key(), "v", 1), kInvalidHandle);
}

TEST_F(RegistryTest, ValuesKeepTypeBytesAndOrder) {
  Key k = Make(HKEY_CURRENT_USER, "Software\\Values");
  const uint8_t bin[] = {0, 1, 0xFF, '\n', '%', 0};
  const uint16_t word = 0xBEEF;
  ASSERT_EQ(SetValue(k, "Binary", kBinary, bin, sizeof bin), kOk);
  ASSERT_EQ(SetValue(k, "Word", kNone, &word, sizeof word), kOk);
  ASSERT_EQ(SetValue(k, "NoNul", kString, "abc", 3), kOk);  // written without its NUL
  ASSERT_EQ(SetDword(k, "Dword", 0x80000001u), kOk);
  ASSERT_EQ(SetValue(k, "Empty", kQword, nullptr, 0), kOk);
  // Writing an existing value (in another case) keeps its place and first spelling.
  ASSERT_EQ(SetValue(k, "BINARY", kExpandString, "z", 1), kOk);
  EXPECT_EQ(ValueNames(k), (std::vector<std::string>{"Binary", "Word", "NoNul", "Dword", "Empty"}));

  Value v;
  ASSERT_EQ(QueryValue(k, "binary", &v), kOk);
  EXPECT_EQ(v.type, kExpandString);
  EXPECT_EQ(v.data, std::vector<uint8_t>{'z'});
  ASSERT_EQ(QueryValue(k, "word", &v), kOk);
  EXPECT_EQ(v.type, kNone);
  ASSERT_EQ(v.data.size(), 2u);
  EXPECT_EQ(v.data[0] | v.data[1] << 8, 0xBEEF);
  ASSERT_EQ(QueryValue(k, "NoNul", &v), kOk);
  EXPECT_EQ(v.data.size(), 3u);
  uint32_t d = 0;
  EXPECT_EQ(QueryDword(k, "dword", &d), kOk);
  EXPECT_EQ(d, 0x80000001u);
  EXPECT_EQ(QueryDword(k, "NoNul", &d), kInvalidParameter);
  std::string s;
  ASSERT_EQ(SetString(k, "Text", "Numérisation"), kOk);
  ASSERT_EQ(QueryValue(k, "Text", &v), kOk);
  EXPECT_EQ(v.data.size(), std::strlen("Numérisation") + 1);  // stored with its NUL
  EXPECT_EQ(QueryString(k, "Text", &s), kOk);
  EXPECT_EQ(s, "Numérisation");
  EXPECT_EQ(QueryString(k, "NoNul", &s), kOk);
  EXPECT_EQ(s, "abc");

  EXPECT_EQ(DeleteValue(k, "WORD"), kOk);
  EXPECT_EQ(DeleteValue(k, "Word"), kFileNotFound);
  EXPECT_EQ(QueryValue(k, "Word", &v), kFileNotFound);
  EXPECT_EQ(ValueNames(k), (std::vector<std::string>{"Binary", "NoNul", "Dword", "Empty", "Text"}));
}

TEST_F(RegistryTest, ReplaceValuesRewritesTheKeyAtOnce) {
  Key k = Make(HKEY_CURRENT_USER, "Software\\Batch");
  SetDword(k, "Old", 1);
  SetDword(k, "Kept", 2);
  std::vector<Value> batch = {{"Kept", kDword, {9, 0, 0, 0}}, {"New", kString, {'x'}}};
  ASSERT_EQ(ReplaceValues(k, batch), kOk);
  EXPECT_EQ(ValueNames(k), (std::vector<std::string>{"Kept", "New"}));
  uint32_t d = 0;
  EXPECT_EQ(QueryDword(k, "kept", &d), kOk);
  EXPECT_EQ(d, 9u);
  // Two names that differ only in case would be one value: refused, nothing written.
  std::vector<Value> clash = {{"A", kDword, {1, 0, 0, 0}}, {"a", kDword, {2, 0, 0, 0}}};
  EXPECT_EQ(ReplaceValues(k, clash), kInvalidParameter);
  EXPECT_EQ(ValueNames(k), (std::vector<std::string>{"Kept", "New"}));
}

TEST_F(RegistryTest, AwkwardNamesSurviveTheFile) {
  const std::string names[] = {"tab\there", "back\\slash", "per%cent", "line\nbreak", "", "é ü"};
  Key k = Make(HKEY_LOCAL_MACHINE, "Odd key %41 é");
  for (const auto& n : names) ASSERT_EQ(SetString(k, n, n), kOk);
  // A fresh handle reads the file again.
  Key again;
  ASSERT_EQ(OpenKey(HKEY_LOCAL_MACHINE, "odd KEY %41 é", Access::Read, &again), kOk);
  EXPECT_EQ(ValueNames(again), std::vector<std::string>(std::begin(names), std::end(names)));
  for (const auto& n : names) {
    std::string s;
    EXPECT_EQ(QueryString(again, n, &s), kOk);
    EXPECT_EQ(s, n);
  }
  std::string name;
  ASSERT_EQ(EnumKey(HKEY_LOCAL_MACHINE, 0, &name), kOk);
  EXPECT_EQ(name, "Odd key %41 é");
}

TEST_F(RegistryTest, DamagedHiveIsReportedAndNeverOverwritten) {
  const std::string bad[] = {
      "",                                   // no header
      "QLONREG 1\n",                        // no root key line
      "QLONREG 1\nK\t\t\nV\t4\tx\t0\n",     // odd hex
      "QLONREG 1\nK\t\t\nV\t4\tx\tzz\n",    // not hex
      "QLONREG 1\nK\t\t\nK\tA\\B\t\n",      // child before its parent
      "QLONREG 1\nK\t\t\nK\tA\t\nK\ta\t\n", // duplicate key
      "QLONREG 1\nK\t\t\nV\t99999999999\tx\t\n",
      "QLONREG 1\nK\t\t\nV\t4\tx\t00",      // last line without LF
      "QLONREG 1\nK\t\t\nV\t4\t%4\t\n",     // cut escape
      "QLONREG 1\nK\t\t\nW\n",
  };
  for (const auto& text : bad) {
    SCOPED_TRACE(text);
    qlon::test::WriteFileBytes(HiveFileName(Hive::CurrentUser), text);
    EXPECT_EQ(OpenKey(HKEY_CURRENT_USER, "", Access::Read, nullptr), kBadDatabase);
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "v", 1), kBadDatabase);
    EXPECT_EQ(qlon::test::ReadFileBytes(HiveFileName(Hive::CurrentUser)), text);
  }
  // The other hives are not affected.
  EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, "v", 1), kOk);
}

TEST_F(RegistryTest, TwoProcessesWritingLoseNothing) {
  Key k = Make(HKEY_LOCAL_MACHINE, "Shared");
  constexpr int kPerProcess = 40;
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = ::fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      int failures = 0;
      for (int i = 0; i < kPerProcess; ++i)
        failures += SetDword(k, "p" + std::to_string(c) + "_" + std::to_string(i), static_cast<uint32_t>(i)) != kOk;
      ::_exit(failures == 0 ? 0 : 1);
    }
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(ValueNames(k).size(), 2u * kPerProcess);
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < kPerProcess; ++i) {
      uint32_t d = 99;
      EXPECT_EQ(QueryDword(k, "P" + std::to_string(c) + "_" + std::to_string(i), &d), kOk);
      EXPECT_EQ(d, static_cast<uint32_t>(i));
    }
}

}  // namespace
