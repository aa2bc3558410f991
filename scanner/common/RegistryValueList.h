#pragma once
// Registry settings store: per-device settings as an ordered list of named
// values, loaded from and saved to one registry key.
//
// Device key: Software\Norva\Vellumor\5.3\Devices\<device name>, under
// HKEY_LOCAL_MACHINE for installed device data (the driver) and under
// HKEY_CURRENT_USER for a user's page settings (the settings page).
//
// Value kinds and their registry types:
//   kind 0  16-bit integer   <-> type 0 (REG_NONE), 2 bytes
//   kind 1  32-bit integer   <-> REG_DWORD (REG_DWORD_BIG_ENDIAN loads as kind 1, in host order)
//   kind 2  string           <-> REG_SZ, saved without its NUL; loaded up to the first NUL
//   kind 3  binary           <-> REG_BINARY (REG_EXPAND_SZ, REG_LINK, REG_MULTI_SZ and
//                                REG_RESOURCE_LIST load as kind 3); types above 8 are skipped
// Every value's data is followed by one NUL byte that its length does not count.
//
// A save replaces all values of the key in one atomic registry write (list
// order kept), so a concurrent reader never sees the key emptied; the missing
// levels of the key are created.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Registry.h"

namespace qlon::scanner {

class RegistryValue {
 public:
  enum Kind : int32_t { kInt16 = 0, kInt32 = 1, kString = 2, kBinary = 3 };

  RegistryValue() = default;
  virtual ~RegistryValue() = default;

  virtual const char* Name() const { return name_.c_str(); }
  virtual void SetName(const char* name) { name_ = name ? name : ""; }
  virtual const uint8_t* Data() const { return data_.data(); }
  virtual int32_t Length() const { return length_; }
  // Copies `length` bytes (a negative length counts as 0) plus a NUL.
  virtual void SetBytes(const void* data, int32_t length, int32_t kind);
  // Copies the text with its NUL; the length is the text's without it.
  virtual void SetString(const char* text, int32_t kind);
  virtual int32_t Kind() const { return kind_; }
  // Three-way comparisons (-1, 0, 1), negated when descending. Against raw
  // data of this value's kind (binary: always equal) ...
  virtual int32_t CompareData(const void* data, bool descending) const;
  // ... and against another value: other kinds by kind number; integers by
  // value, strings by bytes, binary by length.
  virtual int32_t CompareValue(const RegistryValue& other, bool descending) const;

  int32_t AsInt32() const;  // kind 0 sign-extended, kind 1; 0 for the others

 private:
  std::string name_;
  std::vector<uint8_t> data_ = std::vector<uint8_t>(1, 0);
  int32_t length_ = 0;
  int32_t kind_ = kBinary;
};

class RegistryValueList {
 public:
  // Result codes of load and save besides the failing level's.
  static constexpr int32_t kBadModulePath = -1;
  static constexpr int32_t kWriteFailed = -8;

  RegistryValueList();
  virtual ~RegistryValueList() = default;
  RegistryValueList(const RegistryValueList&) = delete;
  RegistryValueList& operator=(const RegistryValueList&) = delete;

  // First value with exactly this name (case-sensitive), or null.
  virtual RegistryValue* Find(const char* name) const;
  // Adds a string value "empty" when the name is absent.
  virtual RegistryValue* FindOrCreate(const char* name);
  virtual RegistryValue* ValueAt(int32_t index) const;
  // -1 when out of range; each output may be null.
  virtual int32_t GetItem(int32_t index, const char** name, const uint8_t** data, int32_t* length,
                          int32_t* kind) const;
  virtual void SetBytes(const char* name, const void* data, int32_t length, int32_t kind);
  virtual void SetString(const char* name, const char* text, int32_t kind);
  virtual const uint8_t* Data(const char* name) const;
  virtual int32_t Length(const char* name) const;  // -1 when absent
  virtual int32_t RemoveAt(int32_t index);         // -1 when out of range
  virtual int32_t Remove(const char* name);        // the index removed, or -1
  virtual void Clear();

  // Software\n1\..\n5 below root. Levels that cannot be opened give -2 (Software),
  // -3 ... -7 (n1 ... n5), and the list stays empty.
  virtual int32_t Load(const char* n1, const char* n2, const char* n3, const char* n4, const char* n5,
                       const registry::Key& root);
  // Software\n1\n2\n3: -6 (Software), -5, -4, -3.
  virtual int32_t Load(const char* n1, const char* n2, const char* n3, const registry::Key& root);
  // Replaces every value of Software\n1\..\n5 with the list. replace: the key
  // (and a value of its name in the level above) is deleted and made again
  // first. Failures: -2 ... -6 for the levels above the key, -7 for the key,
  // kWriteFailed for the write.
  virtual int32_t Save(const char* n1, const char* n2, const char* n3, const char* n4, const char* n5,
                       const registry::Key& root, bool replace);
  // The same for Software\n1\n2\n3, always re-creating the key: -4, -3, -2 for
  // Software, n1, n2; -1 when the key cannot be made.
  virtual int32_t Save(const char* n1, const char* n2, const char* n3, const registry::Key& root);
  virtual int32_t LoadMachineDevice(const char* deviceName);
  virtual int32_t SaveMachineDevice(const char* deviceName);
  virtual int32_t LoadUserDevice(const char* deviceName);
  virtual int32_t SaveUserDevice(const char* deviceName);

  // The same with the device name taken from a module's path: the last
  // component of its folder ("/opt/q/QMDEV/tq21udrv.so" -> "QMDEV").
  // kBadModulePath when the path or its folder has no "/".
  int32_t LoadMachineDeviceOfModule(const std::string& modulePath);
  int32_t SaveMachineDeviceOfModule(const std::string& modulePath);
  int32_t LoadUserDeviceOfModule(const std::string& modulePath);
  int32_t SaveUserDeviceOfModule(const std::string& modulePath);

  int32_t Count() const { return static_cast<int32_t>(values_.size()); }
  registry::Status LastRegistryError() const { return lastError_; }

 private:
  int32_t LoadFrom(const std::vector<const char*>& names, const registry::Key& root, registry::Access access,
                   const std::vector<int32_t>& codes);
  int32_t Write(const registry::Key& key);
  int32_t OfModule(const std::string& modulePath, int32_t (RegistryValueList::*op)(const char*));

  std::vector<std::unique_ptr<RegistryValue>> values_;
  registry::Status lastError_ = registry::kOk;
};

// The device name of a module path, or kBadModulePath (see above).
int32_t DeviceNameOfModule(const std::string& modulePath, std::string* name);
// The full path of the shared object (or program) holding `symbol`; empty when unknown.
std::string ModulePathOf(const void* symbol);

}  // namespace qlon::scanner
