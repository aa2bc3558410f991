#include "RegistryValueList.h"

#include <algorithm>
#include <cstring>

#include <dlfcn.h>

namespace qlon::scanner {

namespace reg = qlon::registry;

namespace {

constexpr const char* kOptionClass = "option";
constexpr size_t kMaxValueName = 260;  // longer names are skipped on load

template <class T>
int32_t ThreeWay(T a, T b) {
  return a < b ? -1 : a > b ? 1 : 0;
}

int32_t Directed(int32_t r, bool descending) { return descending ? -r : r; }

int16_t ReadInt16(const uint8_t* p, int32_t length) {
  uint16_t v = 0;
  std::memcpy(&v, p, static_cast<size_t>(std::min(length, 2)));
  return static_cast<int16_t>(v);
}

int32_t ReadInt32(const uint8_t* p, int32_t length) {
  uint32_t v = 0;
  std::memcpy(&v, p, static_cast<size_t>(std::min(length, 4)));
  return static_cast<int32_t>(v);
}

// A level name must be one registry key name: no "\" that would reach into another key.
bool UsableName(const char* name) { return name && *name && !std::strchr(name, '\\'); }

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
           return fold(x) == fold(y);
         });
}

uint32_t RegistryType(int32_t kind) {
  switch (kind) {
    case RegistryValue::kInt16: return reg::kNone;
    case RegistryValue::kInt32: return reg::kDword;
    case RegistryValue::kString: return reg::kString;
    default: return reg::kBinary;
  }
}

}  // namespace

// ---- RegistryValue -----------------------------------------------------------

void RegistryValue::SetBytes(const void* data, int32_t length, int32_t kind) {
  if (length < 0 || !data) length = 0;
  const auto* bytes = static_cast<const uint8_t*>(data);
  data_.assign(bytes, bytes + length);
  data_.push_back(0);
  length_ = length;
  kind_ = kind;
}

void RegistryValue::SetString(const char* text, int32_t kind) {
  if (!text) text = "";
  size_t n = std::strlen(text);
  data_.assign(text, text + n + 1);
  length_ = static_cast<int32_t>(n);
  kind_ = kind;
}

int32_t RegistryValue::AsInt32() const {
  if (kind_ == kInt16) return ReadInt16(data_.data(), length_);
  if (kind_ == kInt32) return ReadInt32(data_.data(), length_);
  return 0;
}

int32_t RegistryValue::CompareData(const void* data, bool descending) const {
  const auto* p = static_cast<const uint8_t*>(data);
  switch (kind_) {
    case kInt16: return Directed(ThreeWay<int32_t>(AsInt32(), ReadInt16(p, 2)), descending);
    case kInt32: return Directed(ThreeWay<int32_t>(AsInt32(), ReadInt32(p, 4)), descending);
    case kString:
      return Directed(ThreeWay(std::strcmp(reinterpret_cast<const char*>(data_.data()),
                                           reinterpret_cast<const char*>(p)), 0),
                      descending);
    default: return 0;
  }
}

int32_t RegistryValue::CompareValue(const RegistryValue& other, bool descending) const {
  if (kind_ != other.Kind()) return Directed(ThreeWay(kind_, other.Kind()), descending);
  switch (kind_) {
    case kInt16:
    case kInt32: return Directed(ThreeWay(AsInt32(), other.AsInt32()), descending);
    case kString:
      return Directed(ThreeWay(std::strcmp(reinterpret_cast<const char*>(data_.data()),
                                           reinterpret_cast<const char*>(other.Data())), 0),
                      descending);
    default: return Directed(ThreeWay(length_, other.Length()), descending);
  }
}

// ---- RegistryValueList: the list -------------------------------------------

RegistryValueList::RegistryValueList() { values_.reserve(64); }

RegistryValue* RegistryValueList::Find(const char* name) const {
  if (!name) return nullptr;
  for (const auto& v : values_)
    if (std::strcmp(v->Name(), name) == 0) return v.get();
  return nullptr;
}

RegistryValue* RegistryValueList::FindOrCreate(const char* name) {
  if (RegistryValue* v = Find(name)) return v;
  auto v = std::make_unique<RegistryValue>();
  v->SetName(name);
  v->SetString("empty", RegistryValue::kString);
  values_.push_back(std::move(v));
  return values_.back().get();
}

RegistryValue* RegistryValueList::ValueAt(int32_t index) const {
  return index >= 0 && index < Count() ? values_[static_cast<size_t>(index)].get() : nullptr;
}

int32_t RegistryValueList::GetItem(int32_t index, const char** name, const uint8_t** data, int32_t* length,
                                   int32_t* kind) const {
  RegistryValue* v = ValueAt(index);
  if (!v) return -1;
  if (name) *name = v->Name();
  if (data) *data = v->Data();
  if (length) *length = v->Length();
  if (kind) *kind = v->Kind();
  return 0;
}

void RegistryValueList::SetBytes(const char* name, const void* data, int32_t length, int32_t kind) {
  FindOrCreate(name)->SetBytes(data, length, kind);
}

void RegistryValueList::SetString(const char* name, const char* text, int32_t kind) {
  FindOrCreate(name)->SetString(text, kind);
}

const uint8_t* RegistryValueList::Data(const char* name) const {
  RegistryValue* v = Find(name);
  return v ? v->Data() : nullptr;
}

int32_t RegistryValueList::Length(const char* name) const {
  RegistryValue* v = Find(name);
  return v ? v->Length() : -1;
}

int32_t RegistryValueList::RemoveAt(int32_t index) {
  if (!ValueAt(index)) return -1;
  values_.erase(values_.begin() + index);
  return 0;
}

int32_t RegistryValueList::Remove(const char* name) {
  for (int32_t i = 0; i < Count(); ++i)
    if (name && std::strcmp(values_[static_cast<size_t>(i)]->Name(), name) == 0) {
      RemoveAt(i);
      return i;
    }
  return -1;
}

void RegistryValueList::Clear() { values_.clear(); }

// ---- load and save ------------------------------------------------------------

int32_t RegistryValueList::LoadFrom(const std::vector<const char*>& names, const reg::Key& root, reg::Access access,
                                    const std::vector<int32_t>& codes) {
  Clear();
  reg::Key key = root;
  for (size_t i = 0; i < names.size(); ++i) {
    reg::Key next;
    lastError_ = UsableName(names[i]) ? reg::OpenKey(key, names[i], access, &next) : reg::kInvalidParameter;
    if (lastError_ != reg::kOk) return codes[i];
    key = next;
  }
  reg::Value v;
  uint32_t index = 0;
  while ((lastError_ = reg::EnumValue(key, index++, &v)) == reg::kOk) {
    if (v.name.size() > kMaxValueName || v.data.size() > INT32_MAX) continue;
    auto value = std::make_unique<RegistryValue>();
    value->SetName(v.name.c_str());
    auto length = static_cast<int32_t>(v.data.size());
    switch (v.type) {
      case reg::kNone: value->SetBytes(v.data.data(), length, RegistryValue::kInt16); break;
      case reg::kString: {
        std::string text(v.data.begin(), v.data.end());
        value->SetString(text.c_str(), RegistryValue::kString);  // up to the first NUL, stored or not
        break;
      }
      case reg::kDwordBigEndian:
        std::reverse(v.data.begin(), v.data.end());
        [[fallthrough]];
      case reg::kDword: value->SetBytes(v.data.data(), length, RegistryValue::kInt32); break;
      case reg::kExpandString:
      case reg::kBinary:
      case reg::kLink:
      case reg::kMultiString:
      case reg::kResourceList: value->SetBytes(v.data.data(), length, RegistryValue::kBinary); break;
      default: continue;  // types above 8 are not kept
    }
    values_.push_back(std::move(value));
  }
  return 0;
}

int32_t RegistryValueList::Load(const char* n1, const char* n2, const char* n3, const char* n4, const char* n5,
                                const reg::Key& root) {
  return LoadFrom({"Software", n1, n2, n3, n4, n5}, root, reg::Access::Read, {-2, -3, -4, -5, -6, -7});
}

int32_t RegistryValueList::Load(const char* n1, const char* n2, const char* n3, const reg::Key& root) {
  return LoadFrom({"Software", n1, n2, n3}, root, reg::Access::ReadWrite, {-6, -5, -4, -3});
}

int32_t RegistryValueList::Write(const reg::Key& key) {
  std::vector<reg::Value> out;
  for (const auto& v : values_) {
    reg::Value r{v->Name(), RegistryType(v->Kind()),
                 std::vector<uint8_t>(v->Data(), v->Data() + std::max(v->Length(), 0))};
    // Names differing only in case are one registry value: the later write wins, in the first place.
    auto same = std::find_if(out.begin(), out.end(), [&](const reg::Value& o) { return SameName(o.name, r.name); });
    if (same != out.end()) {
      same->type = r.type;
      same->data = std::move(r.data);
    } else {
      out.push_back(std::move(r));
    }
  }
  lastError_ = reg::ReplaceValues(key, out);
  return lastError_ == reg::kOk ? 0 : kWriteFailed;
}

int32_t RegistryValueList::Save(const char* n1, const char* n2, const char* n3, const char* n4, const char* n5,
                                const reg::Key& root, bool replace) {
  const char* levels[] = {"Software", n1, n2, n3, n4};
  reg::Key key = root;
  for (int i = 0; i < 5; ++i) {
    reg::Key next;
    // Every missing level is made, so a first save persists.
    lastError_ = UsableName(levels[i]) ? reg::CreateKey(key, levels[i], kOptionClass, &next) : reg::kInvalidParameter;
    if (lastError_ != reg::kOk) return -2 - i;
    key = next;
  }
  if (!UsableName(n5)) return -7;
  if (replace) {
    reg::DeleteValue(key, n5);
    reg::DeleteKey(key, n5);
  }
  reg::Key device;
  if ((lastError_ = reg::CreateKey(key, n5, kOptionClass, &device)) != reg::kOk) return -7;
  return Write(device);
}

int32_t RegistryValueList::Save(const char* n1, const char* n2, const char* n3, const reg::Key& root) {
  const char* levels[] = {"Software", n1, n2};
  reg::Key key = root;
  for (int i = 0; i < 3; ++i) {
    reg::Key next;
    lastError_ = UsableName(levels[i]) ? reg::CreateKey(key, levels[i], kOptionClass, &next) : reg::kInvalidParameter;
    if (lastError_ != reg::kOk) return -4 + i;
    key = next;
  }
  if (!UsableName(n3)) return -1;
  reg::DeleteKey(key, n3);  // refused while it has subkeys: its values are replaced all the same
  reg::Key last;
  if ((lastError_ = reg::CreateKey(key, n3, kOptionClass, &last)) != reg::kOk) return -1;
  return Write(last);
}

int32_t RegistryValueList::LoadMachineDevice(const char* deviceName) {
  return Load("Norva", "Vellumor", "5.3", "Devices", deviceName, reg::HKEY_LOCAL_MACHINE);
}
int32_t RegistryValueList::SaveMachineDevice(const char* deviceName) {
  return Save("Norva", "Vellumor", "5.3", "Devices", deviceName, reg::HKEY_LOCAL_MACHINE, false);
}
int32_t RegistryValueList::LoadUserDevice(const char* deviceName) {
  return Load("Norva", "Vellumor", "5.3", "Devices", deviceName, reg::HKEY_CURRENT_USER);
}
int32_t RegistryValueList::SaveUserDevice(const char* deviceName) {
  return Save("Norva", "Vellumor", "5.3", "Devices", deviceName, reg::HKEY_CURRENT_USER, false);
}

int32_t RegistryValueList::OfModule(const std::string& modulePath, int32_t (RegistryValueList::*op)(const char*)) {
  std::string name;
  int32_t rc = DeviceNameOfModule(modulePath, &name);
  return rc ? rc : (this->*op)(name.c_str());
}
int32_t RegistryValueList::LoadMachineDeviceOfModule(const std::string& modulePath) {
  return OfModule(modulePath, &RegistryValueList::LoadMachineDevice);
}
int32_t RegistryValueList::SaveMachineDeviceOfModule(const std::string& modulePath) {
  return OfModule(modulePath, &RegistryValueList::SaveMachineDevice);
}
int32_t RegistryValueList::LoadUserDeviceOfModule(const std::string& modulePath) {
  return OfModule(modulePath, &RegistryValueList::LoadUserDevice);
}
int32_t RegistryValueList::SaveUserDeviceOfModule(const std::string& modulePath) {
  return OfModule(modulePath, &RegistryValueList::SaveUserDevice);
}

int32_t DeviceNameOfModule(const std::string& modulePath, std::string* name) {
  size_t slash = modulePath.rfind('/');
  if (slash == std::string::npos) return RegistryValueList::kBadModulePath;
  std::string folder = modulePath.substr(0, slash);
  size_t up = folder.rfind('/');
  if (up == std::string::npos || up + 1 == folder.size()) return RegistryValueList::kBadModulePath;
  *name = folder.substr(up + 1);
  return 0;
}

std::string ModulePathOf(const void* symbol) {
  Dl_info info{};
  if (!symbol || ::dladdr(symbol, &info) == 0 || !info.dli_fname) return {};
  return info.dli_fname;
}

}  // namespace qlon::scanner
