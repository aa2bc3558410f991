// The dial-up layer against the simulated library: the events of a call,
// its failures, cancelling, hanging up, and the settings without a library.
#include "Ras.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <memory>

#include "EventPump.h"
#include "Profile.h"
#include "RasLibrary.h"
#include "Setup.h"
#include "TempRoot.h"

namespace qlon {
namespace {

class RasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::UnloadRasLibrary();
    test::WriteFileBytes(root_.path() / "rasphone.pbk",
                         "Maison=connect\nBureau=fail\nLent=wait\nFai=login bob secret\nAncien=active\n");
  }
  void TearDown() override { platform::UnloadRasLibrary(); }
  static void UseFake() { ASSERT_TRUE(platform::LoadRasLibrary(QLON_FAKE_RAS_DIR)); }

  // Dials and waits for the call's outcome; the states seen on the way.
  static std::vector<int> DialAndWait(TRas& ras, const QString& entry, const QString& user = {},
                                      const QString& password = {}) {
    std::vector<int> states;
    bool done = false;
    auto c1 = QObject::connect(&ras, &TRas::RasStateChange, [&](int s) { states.push_back(s); });
    auto c2 = QObject::connect(&ras, &TRas::RasConnect, [&] { done = true; });
    auto c3 = QObject::connect(&ras, &TRas::RasDisconnect, [&] { done = true; });
    EXPECT_EQ(ras.Dial(entry, user, password), 0u) << ras.ErrorText().toStdString();
    EXPECT_TRUE(test::PumpUntil([&] { return done; }));
    QObject::disconnect(c1);
    QObject::disconnect(c2);
    QObject::disconnect(c3);
    return states;
  }

  test::TempRoot root_;
};

TEST_F(RasTest, WithoutTheLibraryNothingDialsAndSettingsKeepDialUpOff) {
  // The program's folder holds no dial-up library.
  EXPECT_FALSE(LoadRasLibrary());
  EXPECT_FALSE(RasAvailable());
  TRas ras;
  EXPECT_EQ(ras.Dial("Maison", {}, {}), kRasErrorUnavailable);
  EXPECT_FALSE(ras.ErrorText().isEmpty());
  EXPECT_FALSE(ras.IsConnected());
  EXPECT_FALSE(ras.HangUpByName("Maison"));
  TConnectionList list;
  EXPECT_FALSE(list.Refresh());
  EXPECT_FALSE(TPhoneBookEntries().Refresh());

  test::TempDir work, program;
  profile::WriteProfileString("QUILLON", "WORKPATH", work.path().string());
  test::WriteFileBytes(work.path() / "quillon.ini", "[Ras]\nUseRas=1\n");
  EXPECT_FALSE(TSetup(nullptr, program.path()).UseRas);
  platform::UnloadRasLibrary();
  // With the library beside the program the stored choice stands.
  EXPECT_TRUE(TSetup(nullptr, QLON_FAKE_RAS_DIR).UseRas);
}

TEST_F(RasTest, SuccessfulCallReportsEveryStateThenConnects) {
  UseFake();
  TRas ras;
  QSignalSpy connects(&ras, &TRas::RasConnect);
  const std::vector<int> states = DialAndWait(ras, "Maison");
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states.front(), 0);
  EXPECT_EQ(states.back(), kRasStateConnected);
  EXPECT_TRUE(std::is_sorted(states.begin(), states.end()));
  EXPECT_EQ(connects.count(), 1);
  EXPECT_EQ(ras.State(), kRasStateConnected);
  EXPECT_EQ(ras.ErrorCode(), 0u);
  EXPECT_TRUE(ras.IsConnected());

  TConnectionList list;
  ASSERT_TRUE(list.Refresh());
  ASSERT_NE(list.FindEntry("maison"), nullptr);  // entry names ignore case
  EXPECT_TRUE(list.FindEntry("Maison")->Connected());

  QSignalSpy disconnects(&ras, &TRas::RasDisconnect);
  ras.HangUp();
  EXPECT_EQ(disconnects.count(), 1);
  EXPECT_EQ(ras.State(), kRasStateDisconnected);
  EXPECT_FALSE(ras.IsConnected());
}

TEST_F(RasTest, FailedCallsEndDisconnectedWithTheLibrarysError) {
  UseFake();
  TRas ras;
  DialAndWait(ras, "Bureau");
  EXPECT_EQ(ras.State(), kRasStateDisconnected);
  EXPECT_EQ(ras.ErrorCode(), std::uint32_t(kRasErrorNoAnswer));
  EXPECT_FALSE(ras.ErrorText().isEmpty());

  // The stored credentials are taken unless both others are given.
  ASSERT_TRUE(ras.LoadDialParams("Fai"));
  EXPECT_EQ(ras.UserName, "bob");
  DialAndWait(ras, "Fai", "bob", "faux");
  EXPECT_EQ(ras.State(), kRasStateBadLogin);
  EXPECT_EQ(ras.ErrorCode(), std::uint32_t(kRasErrorAuthFailure));
  DialAndWait(ras, "Fai", "alice", "");
  EXPECT_EQ(ras.State(), kRasStateConnected);
  ras.HangUp();

  EXPECT_NE(ras.Dial("Inconnu", {}, {}), 0u);
  EXPECT_EQ(ras.ErrorCode(), std::uint32_t(kRasErrorCannotFindEntry));
  // A name the library cannot hold whole is refused, never cut.
  EXPECT_EQ(ras.Dial(QString(300, 'M'), {}, {}), std::uint32_t(kRasErrorInvalidSize));
}

TEST_F(RasTest, HangingUpDuringTheCallCancelsItWithoutError) {
  UseFake();
  TRas ras;
  QSignalSpy disconnects(&ras, &TRas::RasDisconnect);
  QSignalSpy states(&ras, &TRas::RasStateChange);
  ASSERT_EQ(ras.Dial("Lent", {}, {}), 0u);
  ASSERT_TRUE(test::PumpUntil([&] { return ras.State() == 2; }));
  ras.HangUp();
  EXPECT_EQ(disconnects.count(), 1);
  EXPECT_EQ(ras.State(), kRasStateDisconnected);
  EXPECT_EQ(ras.ErrorCode(), 0u);  // cancelled, not failed
  const qsizetype seen = states.count();
  test::PumpUntil([] { return false; }, std::chrono::milliseconds(30));
  EXPECT_EQ(states.count(), seen);
  EXPECT_EQ(disconnects.count(), 1);
}

TEST_F(RasTest, HangUpByNameReachesConnectionsOpenedElsewhere) {
  UseFake();
  TConnectionList list;
  ASSERT_TRUE(list.Refresh());
  ASSERT_NE(list.FindConnected(), nullptr);
  EXPECT_EQ(list.FindConnected()->EntryName, "Ancien");

  TRas ras;
  ras.EntryName = "Ancien";
  EXPECT_TRUE(ras.IsConnected());
  EXPECT_TRUE(ras.HangUpByName("ANCIEN"));
  ASSERT_TRUE(list.Refresh());
  EXPECT_EQ(list.FindEntry("Ancien"), nullptr);
  EXPECT_FALSE(ras.HangUpByName("Ancien"));

  // By name on this object's own call: its events follow.
  DialAndWait(ras, "Maison");
  QSignalSpy disconnects(&ras, &TRas::RasDisconnect);
  EXPECT_TRUE(ras.HangUpByName("Maison"));
  EXPECT_EQ(disconnects.count(), 1);
  EXPECT_EQ(ras.State(), kRasStateDisconnected);
}

TEST_F(RasTest, ObjectFreedDuringACallLeavesNothingBehind) {
  UseFake();
  auto ras = std::make_unique<TRas>();
  ASSERT_EQ(ras->Dial("Maison", {}, {}), 0u);
  ras.reset();  // reports already queued for it are dropped with it
  test::PumpUntil([] { return false; }, std::chrono::milliseconds(30));
  TConnectionList list;
  ASSERT_TRUE(list.Refresh());
  EXPECT_EQ(list.FindEntry("Maison"), nullptr);
}

TEST_F(RasTest, PhoneBookListsEveryEntry) {
  UseFake();
  std::string book;
  for (int i = 0; i < 20; ++i) book += "Entrée " + std::to_string(i) + "=connect\n";
  test::WriteFileBytes(root_.path() / "autre.pbk", book);
  TPhoneBookEntries entries(QString::fromStdString((root_.path() / "autre.pbk").string()));
  ASSERT_TRUE(entries.Refresh());
  ASSERT_EQ(entries.Names().size(), 20);
  EXPECT_EQ(entries.Names()[19], "Entrée 19");
}

}  // namespace
}  // namespace qlon
