#include "UrlHistory.h"

#include <gtest/gtest.h>

#include <fstream>

#include "TempRoot.h"

namespace qlon::shell {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(UrlHistory, KeepsEachAddressOnceTheLastFirstAndAtMostForty) {
  TUrlHistory history;
  for (int n = 0; n < 45; ++n) history.Add(QStringLiteral("http://h%1.example/").arg(n));
  history.Add("http://h40.example/");
  ASSERT_EQ(history.Items().size(), TUrlHistory::kMax);
  EXPECT_EQ(history.Items().front(), "http://h40.example/");
  EXPECT_EQ(history.Items().count("http://h40.example/"), 1);
  EXPECT_EQ(history.Items()[1], "http://h44.example/");
  EXPECT_EQ(history.Items().back(), "http://h5.example/");
}

TEST(UrlHistory, FileLinesAreReadTrimmedWithoutBlanksOrRepeats) {
  test::TempDir dir;
  std::ofstream(dir.path() / TUrlHistory::kFile, std::ios::binary)
      << "http://a.example/\r\n\r\n  http://b.example/  \r\nhttp://a.example/\r\nhttp://c.example/";
  TUrlHistory history;
  history.Load(dir.path());
  EXPECT_EQ(history.Items(), QStringList({"http://a.example/", "http://b.example/", "http://c.example/"}));
  ASSERT_TRUE(history.Save(dir.path()));
  EXPECT_EQ(ReadFile(dir.path() / TUrlHistory::kFile),
            "http://a.example/\r\nhttp://b.example/\r\nhttp://c.example/\r\n");
}

TEST(UrlHistory, WithoutAWorkFolderNothingIsReadOrWritten) {
  test::TempDir dir;
  const fs::path before = fs::current_path();
  fs::current_path(dir.path());
  std::ofstream(TUrlHistory::kFile) << "http://stray.example/\n";
  TUrlHistory history;
  history.Load({});
  history.Add("http://new.example/");
  EXPECT_FALSE(history.Save({}));
  fs::current_path(before);
  EXPECT_EQ(history.Items(), QStringList{"http://new.example/"});
  EXPECT_EQ(ReadFile(dir.path() / TUrlHistory::kFile), "http://stray.example/\n");
}

TEST(UrlHistory, AFolderThatCannotBeWrittenIsReported) {
  test::TempDir dir;
  TUrlHistory history;
  history.Add("http://a.example/");
  EXPECT_FALSE(history.Save(dir.path() / "missing" / "folder"));
}

}  // namespace
}  // namespace qlon::shell
