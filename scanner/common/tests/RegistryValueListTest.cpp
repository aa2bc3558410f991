#include "RegistryValueList.h"

#include <climits>
#include <cstring>

#include <gtest/gtest.h>

#include "TempRoot.h"

using namespace qlon::scanner;
namespace reg = qlon::registry;

namespace {

constexpr const char* kDevicePath = "Software\\Norva\\Vellumor\\5.3\\Devices\\QMDEV";

RegistryValue Int32Value(int32_t v) {
  RegistryValue r;
  r.SetBytes(&v, 4, RegistryValue::kInt32);
  return r;
}

TEST(RegistryValue, StoresCopiesWithATrailingNul) {
  RegistryValue v;
  v.SetString("Numérisation", RegistryValue::kString);
  EXPECT_EQ(v.Length(), static_cast<int32_t>(std::strlen("Numérisation")));
  EXPECT_STREQ(reinterpret_cast<const char*>(v.Data()), "Numérisation");
  const uint8_t bytes[] = {1, 2, 3};
  v.SetBytes(bytes, 3, RegistryValue::kBinary);
  EXPECT_EQ(v.Length(), 3);
  EXPECT_EQ(v.Data()[3], 0);
  EXPECT_EQ(v.Kind(), RegistryValue::kBinary);
  v.SetBytes(bytes, -5, RegistryValue::kBinary);
  EXPECT_EQ(v.Length(), 0);
  EXPECT_EQ(v.Data()[0], 0);
  v.SetString(nullptr, RegistryValue::kString);
  EXPECT_EQ(v.Length(), 0);
}

TEST(RegistryValue, ComparesByKindThenValueWithoutOverflow) {
  RegistryValue low = Int32Value(INT32_MIN), high = Int32Value(INT32_MAX);
  EXPECT_EQ(low.CompareValue(high, false), -1);  // subtraction would overflow and say 1
  EXPECT_EQ(high.CompareValue(low, false), 1);
  EXPECT_EQ(low.CompareValue(high, true), 1);
  EXPECT_EQ(low.CompareValue(low, false), 0);
  int32_t raw = INT32_MAX;
  EXPECT_EQ(low.CompareData(&raw, false), -1);

  RegistryValue shortValue;
  int16_t s = -3;
  shortValue.SetBytes(&s, 2, RegistryValue::kInt16);
  EXPECT_EQ(shortValue.AsInt32(), -3);
  EXPECT_EQ(shortValue.CompareValue(low, false), -1);  // kind 0 before kind 1
  int16_t two = 2;
  EXPECT_EQ(shortValue.CompareData(&two, false), -1);

  RegistryValue a, b;
  a.SetString("abc", RegistryValue::kString);
  b.SetString("abd", RegistryValue::kString);
  EXPECT_EQ(a.CompareValue(b, false), -1);
  EXPECT_EQ(b.CompareData("abc", false), 1);
  RegistryValue bin1, bin2;
  bin1.SetBytes("zz", 2, RegistryValue::kBinary);
  bin2.SetBytes("a", 1, RegistryValue::kBinary);
  EXPECT_EQ(bin1.CompareValue(bin2, false), 1);  // by length only
  EXPECT_EQ(bin1.CompareData("anything", true), 0);
}

TEST(RegistryValueList, ListOperations) {
  RegistryValueList list;
  RegistryValue* made = list.FindOrCreate("Paper Size");
  EXPECT_EQ(made->Kind(), RegistryValue::kString);
  EXPECT_STREQ(reinterpret_cast<const char*>(made->Data()), "empty");
  EXPECT_EQ(list.FindOrCreate("Paper Size"), made);
  EXPECT_EQ(list.Find("paper size"), nullptr);  // the list compares exactly
  uint32_t one = 1;
  list.SetBytes("Paper Size", &one, 4, RegistryValue::kInt32);
  list.SetString("ProductId", "QM-7741         ", RegistryValue::kString);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Length("Paper Size"), 4);
  EXPECT_EQ(list.Length("Missing"), -1);
  EXPECT_EQ(list.Data("Missing"), nullptr);

  const char* name = nullptr;
  const uint8_t* data = nullptr;
  int32_t length = 0, kind = 0;
  ASSERT_EQ(list.GetItem(1, &name, &data, &length, &kind), 0);
  EXPECT_STREQ(name, "ProductId");
  EXPECT_EQ(length, 16);
  EXPECT_EQ(kind, RegistryValue::kString);
  EXPECT_EQ(list.GetItem(1, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(list.GetItem(2, &name, &data, &length, &kind), -1);
  EXPECT_EQ(list.GetItem(-1, &name, &data, &length, &kind), -1);

  EXPECT_EQ(list.Remove("ProductId"), 1);
  EXPECT_EQ(list.Remove("ProductId"), -1);
  EXPECT_EQ(list.RemoveAt(5), -1);
  EXPECT_EQ(list.RemoveAt(0), 0);
  EXPECT_EQ(list.Count(), 0);
  for (int i = 0; i < 200; ++i) list.SetString(("v" + std::to_string(i)).c_str(), "x", RegistryValue::kString);
  EXPECT_EQ(list.Count(), 200);
  EXPECT_STREQ(list.ValueAt(199)->Name(), "v199");
  list.Clear();
  EXPECT_EQ(list.ValueAt(0), nullptr);
}

class RegistryStoreTest : public ::testing::Test {
 protected:
  qlon::test::TempRoot root_;
};

TEST_F(RegistryStoreTest, SaveAndLoadKeepKindsLengthsAndOrder) {
  RegistryValueList out;
  int16_t word = -2;
  out.SetBytes("Word", &word, 2, RegistryValue::kInt16);
  out.SetString("ProductId", "QM-51270K       ", RegistryValue::kString);
  uint32_t speed = 40;
  out.SetBytes("BWSpeed", &speed, 4, RegistryValue::kInt32);
  out.SetBytes("Blob", "\x00\x01\x02", 3, RegistryValue::kBinary);
  ASSERT_EQ(out.SaveUserDevice("QMDEV"), 0);  // every level is made on the first save

  reg::Key key;
  ASSERT_EQ(reg::OpenKey(reg::HKEY_CURRENT_USER, kDevicePath, reg::Access::Read, &key), reg::kOk);
  reg::Value stored;
  ASSERT_EQ(reg::QueryValue(key, "ProductId", &stored), reg::kOk);
  EXPECT_EQ(stored.type, reg::kString);
  EXPECT_EQ(stored.data.size(), 16u);  // written without the NUL

  RegistryValueList in;
  ASSERT_EQ(in.LoadUserDevice("QMDEV"), 0);
  EXPECT_EQ(in.LastRegistryError(), reg::kNoMoreItems);
  ASSERT_EQ(in.Count(), 4);
  EXPECT_STREQ(in.ValueAt(0)->Name(), "Word");
  EXPECT_EQ(in.ValueAt(0)->Kind(), RegistryValue::kInt16);
  EXPECT_EQ(in.ValueAt(0)->AsInt32(), -2);
  EXPECT_STREQ(in.ValueAt(1)->Name(), "ProductId");
  EXPECT_EQ(in.Length("ProductId"), 16);
  EXPECT_EQ(in.Find("BWSpeed")->Kind(), RegistryValue::kInt32);
  EXPECT_EQ(in.Length("BWSpeed"), 4);
  EXPECT_EQ(in.Find("BWSpeed")->AsInt32(), 40);
  EXPECT_EQ(in.Find("Blob")->Kind(), RegistryValue::kBinary);
  EXPECT_EQ(std::memcmp(in.Data("Blob"), "\x00\x01\x02", 3), 0);
  // The machine-wide root is another store.
  EXPECT_EQ(in.LoadMachineDevice("QMDEV"), -2);
  EXPECT_EQ(in.Count(), 0);

  // A save replaces every value: removed ones go, and the order is the list's.
  out.Remove("Word");
  out.SetString("Word", "now a string", RegistryValue::kString);
  ASSERT_EQ(out.SaveUserDevice("QMDEV"), 0);
  ASSERT_EQ(in.LoadUserDevice("QMDEV"), 0);
  ASSERT_EQ(in.Count(), 4);
  EXPECT_STREQ(in.ValueAt(3)->Name(), "Word");
  EXPECT_EQ(in.ValueAt(3)->Kind(), RegistryValue::kString);
}

TEST_F(RegistryStoreTest, LoadConvertsRegistryTypes) {
  reg::Key key;
  ASSERT_EQ(reg::CreateKey(reg::HKEY_LOCAL_MACHINE, kDevicePath, "", &key), reg::kOk);
  reg::SetString(key, "WithNul", "abc");                       // stored with its NUL
  reg::SetValue(key, "Embedded", reg::kString, "ab\0cd", 5);
  const uint8_t big[] = {0x00, 0x00, 0x01, 0x02};
  reg::SetValue(key, "Big", reg::kDwordBigEndian, big, 4);
  reg::SetValue(key, "Expand", reg::kExpandString, "%X%", 4);
  const uint64_t q = 5;
  reg::SetValue(key, "Quad", reg::kQword, &q, 8);               // type 11: not kept
  reg::SetValue(key, "Requirements", reg::kResourceRequirementsList, "r", 1);
  reg::SetValue(key, std::string(261, 'n'), reg::kDword, big, 4);  // name too long: skipped
  reg::SetDword(key, "Last", 7);

  RegistryValueList list;
  ASSERT_EQ(list.LoadMachineDevice("QMDEV"), 0);
  ASSERT_EQ(list.Count(), 5);
  EXPECT_EQ(list.Length("WithNul"), 3);
  EXPECT_EQ(list.Length("Embedded"), 2);
  EXPECT_EQ(list.Find("Big")->AsInt32(), 0x0102);
  EXPECT_EQ(list.Find("Expand")->Kind(), RegistryValue::kBinary);
  EXPECT_EQ(list.Find("Quad"), nullptr);
  EXPECT_EQ(list.Find("Requirements"), nullptr);
  EXPECT_EQ(list.Find("Last")->AsInt32(), 7);
}

TEST_F(RegistryStoreTest, MissingLevelsGiveTheirCodesAndAnEmptyList) {
  RegistryValueList list;
  list.SetString("stale", "x", RegistryValue::kString);
  EXPECT_EQ(list.Load("Norva", "Vellumor", "5.3", "Devices", "QMDEV", reg::HKEY_CLASSES_ROOT), -2);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.LastRegistryError(), reg::kFileNotFound);
  reg::CreateKey(reg::HKEY_CURRENT_USER, "Software\\Norva\\Vellumor\\5.3", "", nullptr);
  EXPECT_EQ(list.LoadUserDevice("QMDEV"), -6);
  reg::CreateKey(reg::HKEY_CURRENT_USER, "Software\\Norva\\Vellumor\\5.3\\Devices", "", nullptr);
  EXPECT_EQ(list.LoadUserDevice("QMDEV"), -7);
  // A name holding "\" would reach another key: it is no level name.
  reg::CreateKey(reg::HKEY_CURRENT_USER, "Software\\Norva\\Vellumor\\5.3\\Devices\\A\\B", "", nullptr);
  EXPECT_EQ(list.LoadUserDevice("A\\B"), -7);
  EXPECT_EQ(list.SaveUserDevice("A\\B"), -7);
  EXPECT_EQ(list.SaveUserDevice(""), -7);
  // Three-name form codes count the other way.
  EXPECT_EQ(list.Load("Qlon", "Scan", "Prefs", reg::HKEY_CURRENT_USER), -5);
  reg::CreateKey(reg::HKEY_CURRENT_USER, "Software\\Qlon\\Scan", "", nullptr);
  EXPECT_EQ(list.Load("Qlon", "Scan", "Prefs", reg::HKEY_CURRENT_USER), -3);
  EXPECT_EQ(list.Load("Qlon", "Scan", "Prefs", reg::HKEY_CLASSES_ROOT), -6);
}

TEST_F(RegistryStoreTest, ThreeNameSaveRecreatesTheKeyAndReplaceDropsIt) {
  RegistryValueList list;
  list.SetString("A", "1", RegistryValue::kString);
  ASSERT_EQ(list.Save("Qlon", "Scan", "Prefs", reg::HKEY_CURRENT_USER), 0);
  list.Clear();
  list.SetString("B", "2", RegistryValue::kString);
  ASSERT_EQ(list.Save("Qlon", "Scan", "Prefs", reg::HKEY_CURRENT_USER), 0);
  RegistryValueList in;
  ASSERT_EQ(in.Load("Qlon", "Scan", "Prefs", reg::HKEY_CURRENT_USER), 0);
  ASSERT_EQ(in.Count(), 1);
  EXPECT_STREQ(in.ValueAt(0)->Name(), "B");

  // Replace on the five-name form: the key is made anew (its old subkey-free contents go).
  ASSERT_EQ(list.Save("Norva", "Vellumor", "5.3", "Devices", "QMDEV", reg::HKEY_CURRENT_USER, true), 0);
  ASSERT_EQ(in.LoadUserDevice("QMDEV"), 0);
  EXPECT_EQ(in.Count(), 1);
  // Names that differ only in case become one registry value, the later data in the first place.
  list.SetString("b", "3", RegistryValue::kString);
  ASSERT_EQ(list.SaveUserDevice("QMDEV"), 0);
  ASSERT_EQ(in.LoadUserDevice("QMDEV"), 0);
  ASSERT_EQ(in.Count(), 1);
  EXPECT_STREQ(reinterpret_cast<const char*>(in.Data("B")), "3");
}

TEST_F(RegistryStoreTest, DeviceNameComesFromTheModulesFolder) {
  std::string name;
  EXPECT_EQ(DeviceNameOfModule("/opt/quillon/QMDEV/tq21udrv.so", &name), 0);
  EXPECT_EQ(name, "QMDEV");
  EXPECT_EQ(DeviceNameOfModule("/QMDEV/tq21udrv.so", &name), 0);
  EXPECT_EQ(name, "QMDEV");
  EXPECT_EQ(DeviceNameOfModule("tq21udrv.so", &name), -1);
  EXPECT_EQ(DeviceNameOfModule("QMDEV/tq21udrv.so", &name), -1);
  EXPECT_EQ(DeviceNameOfModule("/tq21udrv.so", &name), -1);

  RegistryValueList list;
  list.SetString("ProductId", "QM-6620         ", RegistryValue::kString);
  ASSERT_EQ(list.SaveMachineDeviceOfModule("/opt/q/QMDEV/tq21udrv.so"), 0);
  RegistryValueList in;
  EXPECT_EQ(in.LoadMachineDeviceOfModule("tq21udrv.so"), -1);
  ASSERT_EQ(in.LoadMachineDeviceOfModule("/usr/lib/QMDEV/tq21udrv.so"), 0);
  EXPECT_EQ(in.Length("ProductId"), 16);
  EXPECT_EQ(in.LoadUserDeviceOfModule("/usr/lib/QMDEV/tq21udrv.so"), -2);
  EXPECT_EQ(in.SaveUserDeviceOfModule("x"), -1);

  std::string self = ModulePathOf(reinterpret_cast<const void*>(&DeviceNameOfModule));
  EXPECT_NE(self.find("qlon_scancommon_tests"), std::string::npos) << self;
  EXPECT_EQ(ModulePathOf(nullptr), "");
}

}  // namespace
