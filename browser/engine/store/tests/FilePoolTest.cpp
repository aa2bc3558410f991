#include "FilePool.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "LocalNaming.h"
#include "TempRoot.h"
#include "UrlBTree.h"
#include "WebFile.h"

using namespace qlon;
using qlon::test::ReadFileBytes;
using qlon::test::WriteFileBytes;

namespace {

namespace fs = std::filesystem;

// A pool whose threads start after the first claims, however fast the disk.
constexpr double kAlwaysSlow = -1;

class FilePoolTest : public ::testing::Test {
 protected:
  fs::path Folder() const { return dir_.path(); }
  std::string At(const std::string& name) const { return (Folder() / name).string(); }
  // The claims that make the pool start, and then as many again.
  void ClaimPast(TFilePool& pool, const std::string& prefix, int count = 40) {
    fs::create_directories(Folder() / prefix);
    for (int i = 0; i < count; ++i) ASSERT_EQ(pool.Claim(At(prefix + "/" + std::to_string(i)).c_str()), 0) << i;
  }
  // Until the threads have files ready (a claim before that makes its own).
  static void WaitForReady(const TFilePool& pool, std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pool.Ready() < count && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GE(pool.Ready(), count);
  }
  // What a claim must do wherever its file comes from.
  void ExpectClaimsLikeAnExclusiveCreate(TFilePool& pool) {
    fs::create_directories(Folder() / "site");
    ASSERT_EQ(pool.Claim(At("site/new.htm").c_str()), 0);
    struct stat st {};
    ASSERT_EQ(::lstat(At("site/new.htm").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(st.st_mode & 0777, 0644 & ~CurrentUmask());

    WriteFileBytes(Folder() / "site/kept.htm", "kept");
    EXPECT_EQ(pool.Claim(At("site/kept.htm").c_str()), EEXIST);
    EXPECT_EQ(ReadFileBytes(Folder() / "site/kept.htm"), "kept");

    // A link, even to nothing, is never replaced nor written through.
    qlon::test::TempDir outside;
    fs::create_symlink(outside.path() / "target", Folder() / "site/link.htm");
    EXPECT_EQ(pool.Claim(At("site/link.htm").c_str()), EEXIST);
    EXPECT_TRUE(fs::is_symlink(Folder() / "site/link.htm"));
    EXPECT_TRUE(fs::is_empty(outside.path()));

    fs::create_directory(Folder() / "site/dir");
    EXPECT_EQ(pool.Claim(At("site/dir").c_str()), EEXIST);
    EXPECT_EQ(pool.Claim(At("gone/x.htm").c_str()), ENOENT);
    EXPECT_FALSE(fs::exists(Folder() / "gone"));
  }
  static mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
  }
  qlon::test::TempDir dir_;
};

TEST_F(FilePoolTest, WhereFilesAreMadeQuicklyEveryClaimMakesItsOwn) {
  TFilePool pool(Folder().string(), 4, 64, 1e12);
  ClaimPast(pool, "a", 200);
  ExpectClaimsLikeAnExclusiveCreate(pool);
  EXPECT_EQ(pool.Moved(), 0u);
  EXPECT_FALSE(fs::exists(Folder() / kPoolFolder));
}

TEST_F(FilePoolTest, FilesMadeAheadAreClaimedLikeFilesMadeInPlace) {
  {
    TFilePool pool(Folder().string(), 2, 16, kAlwaysSlow);
    ClaimPast(pool, "a");
    EXPECT_TRUE(fs::is_directory(Folder() / kPoolFolder));
    WaitForReady(pool, 8);
    ExpectClaimsLikeAnExclusiveCreate(pool);
    // Every name claimed is a file of its own, empty.
    for (int i = 0; i < 40; ++i) {
      const fs::path file = Folder() / "a" / std::to_string(i);
      EXPECT_TRUE(fs::is_regular_file(file)) << file;
      EXPECT_EQ(fs::file_size(file), 0u);
    }
    EXPECT_GT(pool.Moved(), 0u);
    EXPECT_EQ(pool.Moved() + pool.MadeInPlace(), 40u + 1u);
  }
  // The files not taken go with the pool.
  EXPECT_FALSE(fs::exists(Folder() / kPoolFolder));
}

TEST_F(FilePoolTest, WhatAKilledRunLeftIsRemovedBeforeTheNextRun) {
  WriteFileBytes(Folder() / kPoolFolder / "0/7", "");
  WriteFileBytes(Folder() / "page.htm", "page");
  TFilePool pool(Folder().string(), 2, 16, kAlwaysSlow);
  EXPECT_FALSE(fs::exists(Folder() / kPoolFolder));
  EXPECT_EQ(ReadFileBytes(Folder() / "page.htm"), "page");
}

TEST_F(FilePoolTest, AClaimWhosePoolWasRemovedMakesItsFileInPlace) {
  TFilePool pool(Folder().string(), 1, 8, kAlwaysSlow);
  ClaimPast(pool, "a");
  // The thread may be making a file in it meanwhile: removed once it is not.
  std::error_code ec;
  for (int tries = 0; tries < 1000 && (fs::remove_all(Folder() / kPoolFolder, ec), fs::exists(Folder() / kPoolFolder));
       ++tries)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_FALSE(fs::exists(Folder() / kPoolFolder));
  ClaimPast(pool, "b");
  EXPECT_TRUE(fs::is_regular_file(Folder() / "b/39"));
}

// Through the capture's own claim: the unique-name rule numbers a taken
// name, and the numbered file comes from the pool.
TEST_F(FilePoolTest, TheUniqueNameRuleTakesItsFilesFromThePool) {
  TFilePool pool(Folder().string(), 2, 16, kAlwaysSlow);
  ClaimPast(pool, "warm");
  WaitForReady(pool, 2);
  WriteFileBytes(Folder() / "index.htm", "someone's");
  TLocalNaming naming;
  naming.SetFolder(Folder().string());
  naming.FilePool = &pool;
  const std::size_t before = pool.Moved();
  EXPECT_EQ(naming.ReserveUnique("index.htm", ""), "inde1.htm");
  EXPECT_EQ(naming.ReserveUnique("index.htm", ""), "inde2.htm");
  EXPECT_EQ(ReadFileBytes(Folder() / "index.htm"), "someone's");
  EXPECT_EQ(fs::file_size(Folder() / "inde2.htm"), 0u);
  EXPECT_GT(pool.Moved(), before);
}

}  // namespace
