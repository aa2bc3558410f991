#include "ErrorState.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Sti.h"

using namespace qlon::scanner;

namespace {

std::array<uint8_t, 14> Sense(uint8_t keyByte, uint8_t asc, uint8_t ascq) {
  std::array<uint8_t, 14> s{};
  s[0] = 0x70;
  s[2] = keyByte;
  s[7] = 6;
  s[12] = asc;
  s[13] = ascq;
  return s;
}

DrvErrorInfo InfoAfter(int32_t code) {
  ErrorState state;
  state.Record(code);
  DrvErrorInfo info;
  std::memset(&info, 0x55, sizeof info);
  EXPECT_EQ(state.Fill(&info), 0u);
  EXPECT_EQ(info.size, 296);
  return info;
}

TEST(PublicStatus, FollowsTheErrorTable) {
  for (int32_t code : {-81, -53, -83, -82, -47, -34, -23, -17, -37, -84, -73, -66, -62, -59, -39, -33, -29, -26,
                       -24, -16, -11, -9, -5, -1, -999})
    EXPECT_EQ(PublicStatus(code), kStatusFailure) << code;
  EXPECT_EQ(PublicStatus(-56), kStatusSuccess);
  EXPECT_EQ(PublicStatus(0), kStatusSuccess);
  for (uint32_t passed : {kStatusPassed65, kStatusPassed66, kStatusFailure})
    EXPECT_EQ(PublicStatus(static_cast<int32_t>(passed)), passed);
  // Codes without a row are failures, never a success.
  for (int32_t code : {-10, -40, -1000, 7}) EXPECT_EQ(PublicStatus(code), kStatusFailure) << code;
}

// Hosts and the settings page know the codes by number: every row keeps its
// code, status and text, whatever the codes are called inside the driver.
TEST(ErrorTable, EveryCodeKeepsItsStatusAndText) {
  const struct {
    int text;
    std::vector<int32_t> codes;
  } groups[] = {
      {3, {-81, -53}},
      {7, {-83, -82}},
      {6, {-47, -34, -23, -22, -21, -20, -19, -18, -17}},
      {4, {-37}},
      {5, {-84}},
      {2, {-73, -71, -70, -69, -67, -66, -65, -62, -61, -60, -59, -39, -38, -36, -35, -33, -32, -31, -30, -29,
           -28, -27, -26, -25, -24, -16, -15, -14, -13, -12, -11, -9, -8, -7, -6, -5, -4, -3, -2, -1, -999}},
  };
  for (const auto& group : groups) {
    for (int32_t code : group.codes) {
      EXPECT_EQ(PublicStatus(code), kStatusFailure) << code;
      std::string expected = DriverString(group.text);
      if (group.text == 2 || group.text == 6) expected += "(Code:" + std::to_string(code) + ")";
      EXPECT_EQ(InfoAfter(code).text, expected) << code;
    }
  }
  // The one row of success, without text.
  EXPECT_EQ(PublicStatus(-56), kStatusSuccess);
  EXPECT_STREQ(InfoAfter(-56).text, "");
}

TEST(Sense, TableRowsAndTheVerdictOfUnlistedConditions) {
  struct Row {
    uint8_t key, asc, ascq;
    int32_t code;
  } rows[] = {{1, 0x37, 0, -56}, {4, 0x60, 0, -83},   {4, 0x62, 0, -82},    {4, 0x80, 1, -59},
              {4, 0x80, 2, -60}, {4, 0x80, 3, -61},   {4, 0x80, 4, -62},    {5, 0x1A, 0, -65},
              {5, 0x20, 0, -66}, {5, 0x24, 0, -67},   {5, 0x26, 0, -69},    {5, 0x2C, 0, -70},
              {5, 0x2C, 1, -71}, {5, 0x80, 2, -73},   {11, 0x80, 0, -81}};
  for (const Row& r : rows) {
    auto s = Sense(r.key, r.asc, r.ascq);
    EXPECT_EQ(SenseTableCode(s.data()), r.code) << int(r.key) << " " << int(r.asc);
    EXPECT_EQ(DecodeSense(s.data()), r.code == -56 ? 0 : r.code);
  }
  // Only the key nibble counts: EOM, ILI and filemark bits are ignored.
  auto eomMedium = Sense(0x40 | 0x20 | 4, 0x80, 1);
  EXPECT_EQ(DecodeSense(eomMedium.data()), -59);
  // Unlisted: done for NO SENSE (the short last READ), RECOVERED ERROR, UNIT ATTENTION ...
  auto endOfImage = Sense(0x60, 0, 0);
  EXPECT_EQ(SenseTableCode(endOfImage.data()), 0);
  EXPECT_EQ(DecodeSense(endOfImage.data()), 0);
  EXPECT_EQ(DecodeSense(Sense(1, 0x17, 0).data()), 0);
  EXPECT_EQ(DecodeSense(Sense(6, 0x29, 0).data()), 0);
  // ... and a failure for NOT READY, MEDIUM ERROR, other HARDWARE ERROR and ILLEGAL REQUEST.
  for (uint8_t key : {2, 3, 4, 5, 7, 0x0B}) EXPECT_EQ(DecodeSense(Sense(key, 0x11, 0).data()), kDeviceFailure) << int(key);
}

TEST(ErrorInfo, MessageAndCodeSuffixByRow) {
  DrvErrorInfo info = InfoAfter(-81);
  EXPECT_EQ(info.code, 81);
  EXPECT_STREQ(info.text, DriverString(3));
  EXPECT_EQ(std::string(info.text).find("(Code:"), std::string::npos);

  info = InfoAfter(-26);
  EXPECT_EQ(info.code, 26);
  EXPECT_EQ(std::string(info.text), std::string(DriverString(2)) + "(Code:-26)");
  EXPECT_EQ(std::string(info.text).rfind("Erreur irrécupérable sur le scanner. ", 0), 0u);

  info = InfoAfter(-17);
  EXPECT_EQ(std::string(info.text), "Erreur interne.\nLe pilote du scanner va être fermé.(Code:-17)");
  EXPECT_STREQ(InfoAfter(-84).text, DriverString(5));
  EXPECT_STREQ(InfoAfter(-37).text, DriverString(4));
  EXPECT_STREQ(InfoAfter(-83).text, DriverString(7));
  EXPECT_STREQ(InfoAfter(-56).text, "");  // the row without text
  EXPECT_EQ(InfoAfter(-56).code, 56);
  EXPECT_STREQ(InfoAfter(-10).text, "(Code:fffffff6h)");
  EXPECT_STREQ(InfoAfter(static_cast<int32_t>(kStatusPassed65)).text, "(Code:40000065h)");
  EXPECT_STREQ(InfoAfter(0).text, "");
  EXPECT_EQ(InfoAfter(0).code, 0);
  EXPECT_STREQ(InfoAfter(0).deviceName, "");
  EXPECT_STREQ(DriverString(1), "Calibrage en cours.\nNe pas ouvrir le cache.");
  EXPECT_STREQ(DriverString(8), "");
}

TEST(ErrorInfo, KeepsTheLastFailureWithItsSystemError) {
  ErrorState state;
  qlon::sti::SetLastError(0x102);
  state.Record(-53);
  qlon::sti::SetLastError(0);
  state.Record(0);  // a success records nothing
  EXPECT_EQ(state.code(), -53);
  EXPECT_EQ(state.systemError(), 0x102u);
  state.Record(-26);
  EXPECT_EQ(state.systemError(), 0u);
  EXPECT_EQ(Failure(-7), -7);
  EXPECT_EQ(LastError().code(), -7);
  LastError().Clear();
  EXPECT_EQ(LastError().code(), 0);
}

TEST(ErrorInfo, DeviceNameComesThroughTheSessionAndGivesTheResult) {
  ErrorState state;
  state.Record(-59);
  DrvErrorInfo info;
  int32_t askedLength = 0;
  uint32_t status = state.Fill(&info, [&](char* buf, int32_t* length) {
    askedLength = *length;
    std::strcpy(buf, "QM-51270K       ");
    return kStatusPassed65;
  });
  EXPECT_EQ(status, kStatusPassed65);
  EXPECT_EQ(askedLength, 30);
  EXPECT_STREQ(info.deviceName, "QM-51270K       ");
  EXPECT_EQ(std::string(info.text), std::string(DriverString(2)) + "(Code:-59)");
  EXPECT_EQ(state.Fill(nullptr), kStatusFailure);
}

}  // namespace
