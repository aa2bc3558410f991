#include "IdentityList.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>

#include "StreamBytes.h"
#include "Utils.h"

namespace qlon {
namespace {

QByteArray Saved(const TIdentityList& list) {
  return test::WrittenBytes([&](QIODevice& out) { list.SaveToStream(out); });
}

bool Load(TIdentityList& list, const QByteArray& bytes) {
  return test::ReadFromBytes(bytes, [&](QIODevice& in) { return list.LoadFromStream(in); });
}

TIdentityList ThreeLoginsMiddleDeleted() {
  TIdentityList list;
  list.SetIdentity("a", "ua", "pa");
  list.SetIdentity("b", "ub", "pb");
  list.SetIdentity("c", "uc", "pc");
  list.Delete(1);
  return list;
}

TEST(IdentityList, SameNameReusesItsSlotIgnoringCase) {
  TIdentityList list;
  EXPECT_EQ(list.SetIdentity("http://a.org/", "ann", "pw1"), 0);
  EXPECT_EQ(list.SetIdentity("http://b.org/", "bob", "pw2"), 1);
  EXPECT_EQ(list.SetIdentity("HTTP://A.ORG/", "ann2", "pw3"), 0);
  std::string user, password;
  ASSERT_TRUE(list.GetIdentity(0, user, password));
  EXPECT_EQ(user, "ann2");
  EXPECT_EQ(password, "pw3");
  EXPECT_EQ(list.Count(), 2);
}

TEST(IdentityList, AtMost250SlotsUnlessOneWasEmptied) {
  TIdentityList list;
  for (int i = 0; i < TIdentityList::kMaxSlots; ++i)
    ASSERT_EQ(list.SetIdentity("site" + std::to_string(i), "u", "p"), i);
  EXPECT_EQ(list.SetIdentity("one too many", "u", "p"), -1);
  EXPECT_EQ(list.FindFreeSlot(), -1);
  list.Delete(17);
  EXPECT_EQ(list.SetIdentity("one too many", "u", "p"), 17);
  EXPECT_EQ(list.Count(), TIdentityList::kMaxSlots);
}

TEST(IdentityList, DeleteEmptiesTheSlotAndKeepsLaterPositions) {
  TIdentityList list = ThreeLoginsMiddleDeleted();
  std::string user, password;
  EXPECT_FALSE(list.GetIdentity(1, user, password));
  EXPECT_EQ(user, "");
  ASSERT_TRUE(list.GetIdentity(2, user, password));
  EXPECT_EQ(user, "uc");
  EXPECT_EQ(list.IndexOf("c"), 2);
  EXPECT_EQ(list.FindFreeSlot(), 1);
  EXPECT_FALSE(list.GetIdentity(3, user, password));
  EXPECT_FALSE(list.GetIdentity(-1, user, password));
}

TEST(IdentityList, RefusesWhatCouldNotBeStoredWhole) {
  TIdentityList list;
  EXPECT_EQ(list.SetIdentity("", "u", "p"), -1);  // would look like a free slot
  EXPECT_EQ(list.SetIdentity("n", std::string(256, 'u'), "p"), -1);
  EXPECT_EQ(list.SetIdentity("n", "u", std::string(256, 'p')), -1);
  EXPECT_EQ(list.SetIdentity("n", std::string(255, 'u'), "p"), 0);
  // A long name is only a lookup key: the slot and its login survive a reload.
  const std::string longUrl = "http://h/" + std::string(400, 'x');
  ASSERT_EQ(list.SetIdentity(longUrl, "ann", "pw"), 1);
  TIdentityList loaded;
  ASSERT_TRUE(Load(loaded, Saved(list)));
  std::string user, password;
  ASSERT_TRUE(loaded.GetIdentity(1, user, password));
  EXPECT_EQ(user, "ann");
  EXPECT_EQ(password, "pw");
}

TEST(IdentityList, StreamFormIsCountThenThreeShortStringsPerSlot) {
  TIdentityList list;
  list.SetIdentity("n", "us", "pwd");
  list.SetIdentity("x", "", "");
  list.Delete(1);
  const QByteArray expected("\x02\x00"
                            "\x01n\x02us\x03pwd"
                            "\x00\x00\x00",
                            2 + 9 + 3);
  EXPECT_EQ(Saved(list), expected);
}

// The stored form keeps user and password apart, and so does the list: a
// ")" in a password or a ":" in a user name survives a save and load.
TEST(IdentityList, SaveAndLoadKeepsSeparatorsInsideLogins) {
  TIdentityList list;
  list.SetIdentity("site", "dom:ann", "a)b(c:d");
  TIdentityList loaded;
  ASSERT_TRUE(Load(loaded, Saved(list)));
  std::string user, password;
  ASSERT_TRUE(loaded.GetIdentity(0, user, password));
  EXPECT_EQ(user, "dom:ann");
  EXPECT_EQ(password, "a)b(c:d");
}

// Records refer to logins by slot: an emptied slot must not shift the later
// logins down when the list is read back.
TEST(IdentityList, LoadKeepsEveryLoginInItsSlot) {
  TIdentityList list = ThreeLoginsMiddleDeleted();
  TIdentityList loaded;
  loaded.SetIdentity("stale", "s", "s");
  ASSERT_TRUE(Load(loaded, Saved(list)));
  EXPECT_EQ(loaded.Count(), 3);
  EXPECT_EQ(loaded.IndexOf("stale"), -1);
  EXPECT_EQ(loaded.GetName(1), "");
  std::string user, password;
  ASSERT_TRUE(loaded.GetIdentity(2, user, password));
  EXPECT_EQ(user, "uc");
  EXPECT_EQ(loaded.FindFreeSlot(), 1);
}

TEST(IdentityList, TruncatedBlockRaises) {
  TIdentityList list;
  list.SetIdentity("site", "user", "password");
  QByteArray bytes = Saved(list);
  bytes.chop(3);
  TIdentityList loaded;
  EXPECT_THROW(Load(loaded, bytes), EReadError);
  EXPECT_THROW(Load(loaded, QByteArray("\x01", 1)), EReadError);
}

TEST(IdentityList, OversizedBlockIsReadWholeAndCut) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  WriteInt16(260, buffer);
  for (int i = 0; i < 260; ++i) {
    WriteShortString("n" + std::to_string(i), buffer);
    WriteShortString("u", buffer);
    WriteShortString("p", buffer);
  }
  WriteInt32(0x12345678, buffer);  // what the capture header stores next
  buffer.close();

  buffer.open(QIODevice::ReadOnly);
  TIdentityList list;
  EXPECT_FALSE(list.LoadFromStream(buffer));
  EXPECT_EQ(list.Count(), TIdentityList::kMaxSlots);
  EXPECT_EQ(list.GetName(249), "n249");
  EXPECT_EQ(ReadInt32(buffer), 0x12345678);
}

TEST(IdentityList, NegativeCountIsRefused) {
  TIdentityList list;
  list.SetIdentity("a", "u", "p");
  EXPECT_FALSE(Load(list, QByteArray("\xFF\xFF", 2)));
  EXPECT_EQ(list.Count(), 0);
}

}  // namespace
}  // namespace qlon
