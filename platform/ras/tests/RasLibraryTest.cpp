// The loader, and the library's call protocol as the dial-up component
// relies on it (states in order, the last one final, nothing after hang-up).
#include "RasLibrary.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "TempRoot.h"

namespace fs = std::filesystem;
using namespace qlon::platform;

namespace {

struct Recorder {
  std::mutex mutex;
  std::vector<std::pair<int, std::uint32_t>> events;
  static void Notify(void* context, RasHandle, int state, std::uint32_t error) {
    auto* r = static_cast<Recorder*>(context);
    std::lock_guard lock(r->mutex);
    r->events.emplace_back(state, error);
  }
  // Waits until the last state reported is `state`.
  bool WaitState(int state) {
    for (int i = 0; i < 2500; ++i) {
      {
        std::lock_guard lock(mutex);
        if (!events.empty() && events.back().first == state) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }
  bool WaitFinal() {
    for (int i = 0; i < 2000; ++i) {
      {
        std::lock_guard lock(mutex);
        if (!events.empty() && (events.back().first == kRasConnected || events.back().second != 0)) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }
};

RasDialParams Params(const char* entry, const char* user = "", const char* password = "") {
  RasDialParams p{};
  std::strcpy(p.entryName, entry);
  std::strcpy(p.userName, user);
  std::strcpy(p.password, password);
  return p;
}

class RasLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UnloadRasLibrary();
    qlon::test::WriteFileBytes(root_.path() / "rasphone.pbk",
                               "Maison=connect\nBureau=fail\nLent=wait\nFai=login bob secret\nAncien=active\n");
  }
  void TearDown() override { UnloadRasLibrary(); }
  qlon::test::TempRoot root_;
};

TEST_F(RasLibraryTest, MissingOrIncompleteLibraryIsUnavailable) {
  qlon::test::TempDir empty;
  EXPECT_FALSE(LoadRasLibrary(empty.path()));
  EXPECT_FALSE(RasLibrary().Loaded());
  // A library of that name without the dial-up entry points.
  const fs::path self = fs::read_symlink("/proc/self/exe").parent_path();
  fs::copy_file(self / "scx32.so", empty.path() / kRasFileName);
  EXPECT_FALSE(LoadRasLibrary(empty.path()));
  EXPECT_FALSE(RasLibrary().Loaded());
  // The program's own folder holds none either: dial-up is off by default.
  UnloadRasLibrary();
  EXPECT_FALSE(RasLibrary().Loaded());
}

TEST_F(RasLibraryTest, LoadedLibraryIsKeptOnLoadAgain) {
  ASSERT_TRUE(LoadRasLibrary(QLON_FAKE_RAS_DIR));
  qlon::test::TempDir empty;
  EXPECT_TRUE(LoadRasLibrary(empty.path()));
  EXPECT_TRUE(RasLibrary().Loaded());
}

TEST_F(RasLibraryTest, DialReportsStatesInOrderAndEndsWithOneFinalState) {
  ASSERT_TRUE(LoadRasLibrary(QLON_FAKE_RAS_DIR));
  const RasApi& ras = RasLibrary();
  Recorder ok, fail, login;
  RasHandle h1 = 0, h2 = 0, h3 = 0;
  RasDialParams p = Params("Maison");
  ASSERT_EQ(ras.Dial(nullptr, &p, Recorder::Notify, &ok, &h1), 0u);
  p = Params("Bureau");
  ASSERT_EQ(ras.Dial(nullptr, &p, Recorder::Notify, &fail, &h2), 0u);
  p = Params("Fai", "bob", "faux");
  ASSERT_EQ(ras.Dial(nullptr, &p, Recorder::Notify, &login, &h3), 0u);
  ASSERT_TRUE(ok.WaitFinal() && fail.WaitFinal() && login.WaitFinal());
  EXPECT_EQ(ok.events.front().first, kRasOpenPort);
  EXPECT_EQ(ok.events.back(), std::make_pair(int(kRasConnected), 0u));
  EXPECT_EQ(fail.events.back().second, std::uint32_t(kRasErrorNoAnswer));
  EXPECT_EQ(login.events.back().second, std::uint32_t(kRasErrorAuthFailure));
  for (RasHandle h : {h1, h2, h3}) EXPECT_EQ(ras.HangUp(h), 0u);
  EXPECT_EQ(ras.HangUp(h1), std::uint32_t(kRasErrorInvalidHandle));

  p = Params("Inconnu");
  RasHandle h = 0;
  EXPECT_EQ(ras.Dial(nullptr, &p, Recorder::Notify, &ok, &h), std::uint32_t(kRasErrorCannotFindEntry));
  // An unterminated field is refused, not read past.
  std::memset(p.userName, 'x', sizeof p.userName);
  EXPECT_EQ(ras.Dial(nullptr, &p, Recorder::Notify, &ok, &h), std::uint32_t(kRasErrorInvalidSize));
}

TEST_F(RasLibraryTest, NothingIsReportedAfterHangUp) {
  ASSERT_TRUE(LoadRasLibrary(QLON_FAKE_RAS_DIR));
  const RasApi& ras = RasLibrary();
  Recorder r;
  RasHandle h = 0;
  RasDialParams p = Params("Lent");
  ASSERT_EQ(ras.Dial(nullptr, &p, Recorder::Notify, &r, &h), 0u);
  // The slow entry stays in ConnectDevice; under load it may take a while to
  // get there.
  ASSERT_TRUE(r.WaitState(kRasConnectDevice));
  ASSERT_EQ(ras.HangUp(h), 0u);
  std::size_t seen;
  {
    std::lock_guard lock(r.mutex);
    seen = r.events.size();
    EXPECT_EQ(r.events.back().first, kRasConnectDevice);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::lock_guard lock(r.mutex);
  EXPECT_EQ(r.events.size(), seen);
}

TEST_F(RasLibraryTest, ListsReportTheirSizeWhenTheBufferIsShort) {
  ASSERT_TRUE(LoadRasLibrary(QLON_FAKE_RAS_DIR));
  const RasApi& ras = RasLibrary();
  RasEntryName names[2];
  int count = 0;
  EXPECT_EQ(ras.EnumEntries(nullptr, names, 2, &count), std::uint32_t(kRasErrorBufferTooSmall));
  EXPECT_EQ(count, 5);
  EXPECT_STREQ(names[1].name, "Bureau");
  RasConnection conns[4];
  ASSERT_EQ(ras.EnumConnections(conns, 4, &count), 0u);
  ASSERT_EQ(count, 1);
  EXPECT_STREQ(conns[0].entryName, "Ancien");
  EXPECT_EQ(conns[0].state, kRasConnected);
  char text[kRasErrorSize];
  EXPECT_EQ(ras.GetErrorString(kRasErrorNoAnswer, text, sizeof text), 0u);
  EXPECT_GT(std::strlen(text), 0u);
  EXPECT_EQ(ras.GetErrorString(kRasErrorNoAnswer, text, 4), std::uint32_t(kRasErrorBufferTooSmall));
}

}  // namespace
