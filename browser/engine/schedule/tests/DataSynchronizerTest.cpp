#include "DataSynchronizer.h"

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QProcess>

#include "TempRoot.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kShort = 60;  // ms; enough for a wait that must fail

class DataSynchronizerTest : public ::testing::Test {
 protected:
  test::TempRoot root_;
};

TEST_F(DataSynchronizerTest, WriteNotifiesEveryOtherIndexOnce) {
  TDataSynchronizer writer("S", 0), a("S", 1), b("S", 4);
  EXPECT_FALSE(a.WaitData(kShort));
  ASSERT_TRUE(writer.BeginWrite(kShort));
  writer.EndWrite();
  for (TDataSynchronizer* reader : {&a, &b}) {
    ASSERT_TRUE(reader->WaitData(kShort)) << reader->index();
    reader->EndRead();
    EXPECT_FALSE(reader->WaitData(kShort)) << "second read without a write";
  }
  EXPECT_FALSE(writer.WaitData(kShort)) << "a writer is not told of its own write";
}

TEST_F(DataSynchronizerTest, ReadersExcludeWritersUntilTheLastEndRead) {
  TDataSynchronizer writer("S", 0), r1("S", 1), r2("S", 2);
  ASSERT_TRUE(writer.BeginWrite(kShort));
  writer.EndWrite();
  ASSERT_TRUE(r1.WaitData(kShort));
  ASSERT_TRUE(r2.WaitData(kShort));
  TDataSynchronizer other("S", 3);
  EXPECT_FALSE(other.BeginWrite(kShort));
  r1.EndRead();
  EXPECT_FALSE(other.BeginWrite(kShort)) << "one reader is still registered";
  r2.EndRead();
  ASSERT_TRUE(other.BeginWrite(kShort));
  // A writer excludes other writers and readers.
  EXPECT_FALSE(writer.BeginWrite(kShort));
  other.EndWrite();
  EXPECT_TRUE(writer.BeginWrite(kShort));
  writer.EndWrite();
}

TEST_F(DataSynchronizerTest, NotificationSurvivesAReadThatTimedOutOnTheWriter) {
  TDataSynchronizer w1("S", 0), w2("S", 1), reader("S", 2);
  ASSERT_TRUE(w1.BeginWrite(kShort));
  w1.EndWrite();
  ASSERT_TRUE(w2.BeginWrite(kShort));
  EXPECT_FALSE(reader.WaitData(kShort)) << "the writer mutex is held";
  w2.EndWrite();
  EXPECT_TRUE(reader.WaitData(kShort));
}

TEST_F(DataSynchronizerTest, NamesAndIndexes) {
  TDataSynchronizer unnamed("", 0);
  EXPECT_EQ(unnamed.name(), "Sync_");
  TDataSynchronizer sameObjects("Sync_", 1);
  ASSERT_TRUE(unnamed.BeginWrite(kShort));
  unnamed.EndWrite();
  EXPECT_TRUE(sameObjects.WaitData(kShort));
  sameObjects.EndRead();
  TDataSynchronizer otherName("Other", 1);
  EXPECT_FALSE(otherName.WaitData(kShort));
  EXPECT_THROW(TDataSynchronizer("S", 5), std::out_of_range);
  EXPECT_THROW(TDataSynchronizer("S", -1), std::out_of_range);
}

TEST_F(DataSynchronizerTest, DestroyingAParticipantEndsItsReadAndWrite) {
  TDataSynchronizer writer("S", 0);
  {
    TDataSynchronizer holder("S", 1);
    ASSERT_TRUE(holder.BeginWrite(kShort));
  }
  ASSERT_TRUE(writer.BeginWrite(kShort));
  writer.EndWrite();
  {
    TDataSynchronizer reader("S", 2);
    ASSERT_TRUE(reader.WaitData(kShort));
  }
  EXPECT_TRUE(writer.BeginWrite(kShort));
  writer.EndWrite();
}

// ---- several processes ----

std::string HelperPath() { return (fs::read_symlink("/proc/self/exe").parent_path() / "qlon_sync_helper").string(); }

class Helper {
 public:
  explicit Helper(const QStringList& args) {
    process_.start(QString::fromStdString(HelperPath()), args);
    started_ = process_.waitForStarted(5000);
  }
  ~Helper() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }
  bool started() const { return started_; }
  // The next line the helper prints, or "" after the time-out.
  std::string ReadLine(int timeoutMs = 10000) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!process_.canReadLine() && Clock::now() < end) process_.waitForReadyRead(100);
    return process_.readLine().trimmed().toStdString();
  }
  void Kill() {
    process_.kill();
    process_.waitForFinished(5000);
  }
  bool FinishedWell(int timeoutMs) {
    return process_.waitForFinished(timeoutMs) && process_.exitStatus() == QProcess::NormalExit &&
           process_.exitCode() == 0;
  }

 private:
  QProcess process_;
  bool started_ = false;
};

// How long until BeginWrite succeeds, retrying with the poll time-out.
std::chrono::milliseconds TimeUntilWrite(TDataSynchronizer& sync, std::chrono::seconds limit) {
  const auto start = Clock::now();
  while (!sync.BeginWrite(TDataSynchronizer::kPollTimeoutMs))
    if (Clock::now() - start > limit) return std::chrono::duration_cast<std::chrono::milliseconds>(limit * 2);
  sync.EndWrite();
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

TEST_F(DataSynchronizerTest, AWriterKilledWhileHoldingBlocksNobody) {
  Helper holder({"hold-write", "X", "1"});
  ASSERT_TRUE(holder.started());
  ASSERT_EQ(holder.ReadLine(), "held");
  TDataSynchronizer me("X", 0);
  EXPECT_FALSE(me.BeginWrite(TDataSynchronizer::kPollTimeoutMs));
  holder.Kill();
  EXPECT_LT(TimeUntilWrite(me, std::chrono::seconds(5)).count(), 1000);
}

TEST_F(DataSynchronizerTest, AReaderKilledWhileReadingBlocksNobody) {
  Helper reader({"hold-read", "X", "2"});
  ASSERT_TRUE(reader.started());
  ASSERT_EQ(reader.ReadLine(), "waiting");
  TDataSynchronizer me("X", 0);
  ASSERT_TRUE(me.BeginWrite(TDataSynchronizer::kPollTimeoutMs));
  me.EndWrite();
  ASSERT_EQ(reader.ReadLine(), "reading");
  EXPECT_FALSE(me.BeginWrite(TDataSynchronizer::kPollTimeoutMs));
  reader.Kill();
  EXPECT_LT(TimeUntilWrite(me, std::chrono::seconds(5)).count(), 1000);
}

// Writers and readers in four processes append to one log inside their
// sections; the log must show no section overlapping a write.
TEST_F(DataSynchronizerTest, ProcessesInterleaveWithoutOverlappingAWrite) {
  test::TempDir dir;
  const QString log = QString::fromStdString((dir.path() / "log").string());
  std::vector<std::unique_ptr<Helper>> helpers;
  helpers.push_back(std::make_unique<Helper>(QStringList{"reader", "I", "2", "3000", log}));
  helpers.push_back(std::make_unique<Helper>(QStringList{"reader", "I", "3", "3000", log}));
  helpers.push_back(std::make_unique<Helper>(QStringList{"writer", "I", "0", "25", log}));
  helpers.push_back(std::make_unique<Helper>(QStringList{"writer", "I", "1", "25", log}));
  for (auto& h : helpers) ASSERT_TRUE(h->started());
  for (auto& h : helpers) EXPECT_TRUE(h->FinishedWell(30000));

  std::istringstream lines(test::ReadFileBytes(dir.path() / "log"));
  std::string mark, pid;
  int writers = 0, readers = 0, writes = 0, reads = 0;
  while (lines >> mark >> pid) {
    if (mark == "W+") {
      EXPECT_EQ(writers, 0) << "two writers at once";
      EXPECT_EQ(readers, 0) << "a write during a read";
      ++writers;
      ++writes;
    } else if (mark == "W-") {
      --writers;
    } else if (mark == "R+") {
      EXPECT_EQ(writers, 0) << "a read during a write";
      ++readers;
      ++reads;
    } else if (mark == "R-") {
      --readers;
    }
  }
  EXPECT_EQ(writes, 50);
  EXPECT_GT(reads, 0);
}

}  // namespace
}  // namespace qlon
