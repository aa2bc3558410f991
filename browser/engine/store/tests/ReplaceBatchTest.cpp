#include "ReplaceBatch.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "TempRoot.h"

using namespace qlon;
using qlon::test::ReadFileBytes;
using qlon::test::WriteFileBytes;

namespace {

namespace fs = std::filesystem;

class ReplaceBatchTest : public ::testing::Test {
 protected:
  ReplaceBatchTest() {
    WriteFileBytes(Folder() / "site/a.htm", "old a");
    WriteFileBytes(Folder() / "site/sub/b.htm", "old b");
  }
  fs::path Folder() const { return dir_.path(); }
  fs::path Staging() const { return Folder() / kStagingFolder; }
  size_t StagedOnDisk() const {
    std::error_code ec;
    size_t n = 0;
    for (auto it = fs::directory_iterator(Staging(), ec); !ec && it != fs::directory_iterator(); ++it) ++n;
    return n;
  }

  qlon::test::TempDir dir_;
};

}  // namespace

TEST_F(ReplaceBatchTest, TargetsChangeOnlyAtCommitAndKeepTheirMode) {
  ::chmod((Folder() / "site/a.htm").c_str(), 0640);
  int replaced = 0;
  TReplaceBatch batch(Folder());
  ASSERT_TRUE(batch.Stage(Folder() / "site/a.htm", "new a", [&] { ++replaced; }));
  ASSERT_TRUE(batch.Stage(Folder() / "site/sub/b.htm", "new b", [&] { ++replaced; }));
  ASSERT_TRUE(batch.Stage(Folder() / "site/c.htm", "new c"));
  EXPECT_EQ(batch.StagedBytes(), 15u);
  EXPECT_EQ(ReadFileBytes(Folder() / "site/a.htm"), "old a");
  EXPECT_FALSE(fs::exists(Folder() / "site/c.htm"));
  EXPECT_EQ(StagedOnDisk(), 3u);
  EXPECT_EQ(replaced, 0);

  ASSERT_TRUE(batch.Commit());
  EXPECT_EQ(ReadFileBytes(Folder() / "site/a.htm"), "new a");
  EXPECT_EQ(ReadFileBytes(Folder() / "site/sub/b.htm"), "new b");
  EXPECT_EQ(ReadFileBytes(Folder() / "site/c.htm"), "new c");
  EXPECT_EQ(replaced, 2);
  struct stat st {};
  ASSERT_EQ(::stat((Folder() / "site/a.htm").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_FALSE(fs::exists(Staging()));
  EXPECT_EQ(batch.StagedCount(), 0u);
  EXPECT_TRUE(batch.Commit()) << "an empty batch commits";
}

TEST_F(ReplaceBatchTest, ManyFilesGoThroughOneSyncOfTheFileSystem) {
  TReplaceBatch batch(Folder());
  for (int i = 0; i < 40; ++i)
    ASSERT_TRUE(batch.Stage(Folder() / "site" / ("p" + std::to_string(i) + ".htm"), "page " + std::to_string(i)));
  ASSERT_TRUE(batch.Commit());
  for (int i = 0; i < 40; ++i)
    EXPECT_EQ(ReadFileBytes(Folder() / "site" / ("p" + std::to_string(i) + ".htm")), "page " + std::to_string(i));
  EXPECT_FALSE(fs::exists(Staging()));
}

// Staged from several threads at once, in lanes beside the owner's own
// stages, adopted in order and committed by swapping: every target new,
// every old file handed over.
TEST_F(ReplaceBatchTest, LanesStageAtOnceAndSwappedOldFilesAreHandedOver) {
  ::chmod((Folder() / "site/a.htm").c_str(), 0640);
  constexpr int kPages = 64, kLanes = 4;
  for (int i = 0; i < kPages; ++i) WriteFileBytes(Folder() / "site" / ("p" + std::to_string(i) + ".htm"), "old");
  std::vector<fs::path> old;
  TReplaceBatch batch(Folder());
  batch.Dispose = [&](std::vector<fs::path> files) { old.insert(old.end(), files.begin(), files.end()); };
  std::vector<fs::path> staged(kPages);
  std::vector<std::thread> lanes;
  for (int lane = 1; lane <= kLanes; ++lane)
    lanes.emplace_back([&, lane] {
      for (int i = lane - 1; i < kPages; i += kLanes)
        staged[size_t(i)] =
            batch.WriteStaged(Folder() / "site" / ("p" + std::to_string(i) + ".htm"), "new " + std::to_string(i), lane);
    });
  ASSERT_TRUE(batch.Stage(Folder() / "site/a.htm", "new a"));  // the owner's, meanwhile
  for (std::thread& lane : lanes) lane.join();
  for (int i = 0; i < kPages; ++i) {
    ASSERT_FALSE(staged[size_t(i)].empty()) << i;
    batch.Adopt(staged[size_t(i)], Folder() / "site" / ("p" + std::to_string(i) + ".htm"), 5);
  }
  EXPECT_EQ(ReadFileBytes(Folder() / "site/p7.htm"), "old");
  ASSERT_TRUE(batch.Commit());
  for (int i = 0; i < kPages; ++i)
    EXPECT_EQ(ReadFileBytes(Folder() / "site" / ("p" + std::to_string(i) + ".htm")), "new " + std::to_string(i));
  EXPECT_EQ(ReadFileBytes(Folder() / "site/a.htm"), "new a");
  struct stat st {};
  ASSERT_EQ(::stat((Folder() / "site/a.htm").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  // The old bytes wait in the staging folder for whoever removes them.
  ASSERT_EQ(old.size(), size_t(kPages) + 1);
  EXPECT_EQ(ReadFileBytes(old.front()), "old a");  // adopted first
  EXPECT_EQ(ReadFileBytes(old.back()), "old");
  for (const fs::path& file : old) EXPECT_EQ(file.string().rfind(Staging().string(), 0), 0u) << file;
}

// Stages written on other threads: the commit waits for them, and one that
// could not be written fails it and leaves its target as it was.
TEST_F(ReplaceBatchTest, StagesWrittenInTheBackgroundAreWaitedForAndCanFail) {
  TReplaceBatch batch(Folder());
  std::vector<std::thread> writers;
  int lane = 1;
  batch.Background = [&](std::function<void(int)> write) {
    writers.emplace_back([write = std::move(write), lane = lane++] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      write(lane);
    });
  };
  // The second lane's folder cannot be made.
  fs::create_directories(Staging());
  WriteFileBytes(Staging() / "lane2", "in the way");
  int replaced = 0;
  ASSERT_TRUE(batch.Stage(Folder() / "site/a.htm", "new a", [&] { ++replaced; }));
  ASSERT_TRUE(batch.Stage(Folder() / "site/sub/b.htm", "new b", [&] { ++replaced; }));
  EXPECT_FALSE(batch.Commit());
  for (std::thread& writer : writers) writer.join();
  EXPECT_EQ(ReadFileBytes(Folder() / "site/a.htm"), "new a");
  EXPECT_EQ(ReadFileBytes(Folder() / "site/sub/b.htm"), "old b");
  EXPECT_EQ(replaced, 1);
  EXPECT_FALSE(fs::exists(Staging()));
}

TEST_F(ReplaceBatchTest, AFailedRenameKeepsTheOldFileAndReportsIt) {
  bool ranForLost = false, ranForKept = false;
  TReplaceBatch batch(Folder());
  ASSERT_TRUE(batch.Stage(Folder() / "site/sub/b.htm", "new b", [&] { ranForLost = true; }));
  ASSERT_TRUE(batch.Stage(Folder() / "site/a.htm", "new a", [&] { ranForKept = true; }));
  // The target's folder goes before the commit.
  fs::remove_all(Folder() / "site/sub");
  EXPECT_FALSE(batch.Commit());
  EXPECT_FALSE(ranForLost);
  EXPECT_TRUE(ranForKept);
  EXPECT_EQ(ReadFileBytes(Folder() / "site/a.htm"), "new a");
  EXPECT_FALSE(fs::exists(Folder() / "site/sub"));
  EXPECT_FALSE(fs::exists(Staging())) << "nothing staged is left";
}

TEST_F(ReplaceBatchTest, ABatchDroppedWithoutCommitTouchesNothing) {
  {
    TReplaceBatch batch(Folder());
    ASSERT_TRUE(batch.Stage(Folder() / "site/a.htm", "new a"));
  }
  EXPECT_EQ(ReadFileBytes(Folder() / "site/a.htm"), "old a");
  EXPECT_FALSE(fs::exists(Staging()));
}

TEST_F(ReplaceBatchTest, ACrashBeforeTheRenamesLeavesOldFilesAndTheNextBatchClearsTheRest) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    TReplaceBatch batch(Folder());
    const bool staged = batch.Stage(Folder() / "site/a.htm", "new a") && batch.Stage(Folder() / "site/d.htm", "d");
    ::_exit(staged ? 0 : 1);  // no destructor, no commit: as a crash would leave it
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadFileBytes(Folder() / "site/a.htm"), "old a");
  EXPECT_FALSE(fs::exists(Folder() / "site/d.htm"));
  EXPECT_EQ(StagedOnDisk(), 2u);

  TReplaceBatch next(Folder());
  EXPECT_FALSE(fs::exists(Staging()));
  ASSERT_TRUE(next.Stage(Folder() / "site/a.htm", "newer a"));
  ASSERT_TRUE(next.Commit());
  EXPECT_EQ(ReadFileBytes(Folder() / "site/a.htm"), "newer a");
  EXPECT_FALSE(fs::exists(Folder() / "site/d.htm"));
}

TEST_F(ReplaceBatchTest, AStageThatCannotBeWrittenIsRefused) {
  TReplaceBatch batch(Folder());
  // A file where the staging folder should be.
  WriteFileBytes(Staging(), "in the way");
  EXPECT_FALSE(batch.Stage(Folder() / "site/a.htm", "new a"));
  EXPECT_EQ(batch.StagedCount(), 0u);
  EXPECT_EQ(ReadFileBytes(Folder() / "site/a.htm"), "old a");
}
