#include "DoubleList.h"

#include <gtest/gtest.h>

namespace qlon {
namespace {

TDoubleList HostsList() {
  TDoubleList list;
  list.AddPair("host", "10.0.0.1");
  list.AddPair("www.example.org", "10.0.0.2");
  list.AddPair("ftp.example.org", "10.0.0.3");
  return list;
}

TEST(DoubleList, PairsAreConsecutiveLines) {
  TDoubleList list = HostsList();
  ASSERT_EQ(list.Count(), 6);
  EXPECT_EQ(list.Lines()[2], "www.example.org");
  EXPECT_EQ(list.Lines()[3], "10.0.0.2");
  EXPECT_EQ(list.GetKey(2), "ftp.example.org");
  EXPECT_EQ(list.GetValue(2), "10.0.0.3");
}

TEST(DoubleList, SearchIgnoresCaseAndLooksOnlyAtItsSide) {
  TDoubleList list = HostsList();
  EXPECT_EQ(list.IndexOfKey("HOST"), 0);
  EXPECT_EQ(list.IndexOfKey("FTP.Example.ORG"), 2);
  EXPECT_EQ(list.IndexOfValue("10.0.0.2"), 1);
  EXPECT_EQ(list.IndexOfKey("10.0.0.2"), -1);
  EXPECT_EQ(list.IndexOfValue("host"), -1);
  EXPECT_EQ(list.IndexOfKey("hos"), -1);
}

TEST(DoubleList, OddLineCountLeavesTheLastPairOut) {
  TDoubleList list = HostsList();
  list.Add("orphan");
  EXPECT_EQ(list.PairCount(), 3);
  EXPECT_EQ(list.GetKey(3), "");
  EXPECT_EQ(list.IndexOfKey("orphan"), -1);
  list.SetValue(3, "x");  // no value line to write
  EXPECT_EQ(list.Count(), 7);
}

TEST(DoubleList, DeletePairKeepsLaterPairsAligned) {
  TDoubleList list = HostsList();
  list.DeletePair(0);
  ASSERT_EQ(list.PairCount(), 2);
  EXPECT_EQ(list.GetKey(0), "www.example.org");
  EXPECT_EQ(list.GetValue(0), "10.0.0.2");
  list.DeletePair(5);
  list.DeletePair(-1);
  EXPECT_EQ(list.PairCount(), 2);
  list.Add("orphan");
  list.DeletePair(2);  // an incomplete last pair goes too
  EXPECT_EQ(list.Count(), 4);
}

TEST(DoubleList, OutOfRangeReadsAreEmptyAndWritesIgnored) {
  TDoubleList list = HostsList();
  EXPECT_EQ(list.GetValue(-1), "");
  EXPECT_EQ(list.GetValue(3), "");
  list.SetValue(-1, "x");
  list.SetValue(3, "x");
  EXPECT_EQ(list, HostsList());
  list.SetValue(1, "10.9.9.9");
  EXPECT_EQ(list.GetValue(1), "10.9.9.9");
  EXPECT_EQ(list.GetKey(1), "www.example.org");
}

}  // namespace
}  // namespace qlon
