#include "Sti.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "EmulatedScanner.h"
#include "PlatformRoot.h"
#include "Registry.h"
#include "SgIoTarget.h"
#include "StiProvider.h"

namespace qlon::sti {

namespace {

thread_local uint32_t lastError = 0;

HRESULT Fail(HRESULT hr) {
  SetLastError(static_cast<uint32_t>(hr) & 0xFFFF);
  return hr;
}

// ---- the default provider: the registry's device catalogue ---------------

constexpr const char* kCatalogueKey = "System\\StillImage\\Devices";

class CatalogueProvider : public DeviceProvider {
 public:
  std::vector<DeviceEntry> Devices() override {
    std::vector<DeviceEntry> list;
    registry::Key devices;
    if (registry::OpenKey(registry::HKEY_LOCAL_MACHINE, kCatalogueKey, registry::Access::Read, &devices) != 0)
      return list;
    std::string name;
    for (uint32_t i = 0; registry::EnumKey(devices, i, &name) == 0; ++i) {
      registry::Key k;
      if (registry::OpenKey(devices, name, registry::Access::Read, &k) != 0) continue;
      DeviceEntry e;
      e.internalName = name;
      registry::QueryString(k, "DeviceDescription", &e.description);
      registry::QueryString(k, "Vendor", &e.vendor);
      registry::QueryString(k, "PortName", &e.portName);
      registry::QueryString(k, "PropertyProvider", &e.propertyProvider);
      registry::QueryString(k, "LocalName", &e.localName);
      registry::QueryDword(k, "DeviceType", &e.deviceType);
      list.push_back(std::move(e));
    }
    return list;
  }

  HRESULT Open(const DeviceEntry& device, std::unique_ptr<ScsiTarget>* target) override {
    registry::Key k;
    if (registry::OpenKey(registry::HKEY_LOCAL_MACHINE, std::string(kCatalogueKey) + "\\" + device.internalName,
                          registry::Access::Read, &k) != 0)
      return E_INVALIDARG;
    std::string backend = "emulated";
    registry::QueryString(k, "Backend", &backend);
    if (backend == "sg") {
      std::string node;
      registry::QueryString(k, "Node", &node);
      return SgIoTarget::Open(node, target);
    }
    if (backend != "emulated") return E_INVALIDARG;
    std::lock_guard guard(mutex_);
    auto& scanner = emulated_[device.internalName];
    if (!scanner) {
      EmulatedModel model;
      registry::QueryString(k, "ProductId", &model.productId);
      if (!device.vendor.empty()) model.vendor = device.vendor;
      scanner = std::make_shared<EmulatedScanner>(model);
    }
    *target = scanner->Connect();
    return S_OK;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<EmulatedScanner>> emulated_;  // one per device for the process
};

std::mutex& ProviderMutex() {
  static std::mutex m;
  return m;
}
std::shared_ptr<DeviceProvider>& Provider() {
  static std::shared_ptr<DeviceProvider> p;
  return p;
}

// ---- lock files -----------------------------------------------------------

std::string SafeFileName(const std::string& name) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        (c == '.' && !out.empty())) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

// ---- the device and the instance -------------------------------------------

// COM-style reference counting: created with one reference, deleted at the last release.
template <class Interface>
class RefCounted : public Interface {
 public:
  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override {
    uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~RefCounted() = default;

 private:
  std::atomic<uint32_t> refs_{1};
};

class Device final : public RefCounted<IStiDevice> {
 public:
  Device(std::string internalName, std::unique_ptr<ScsiTarget> target)
      : internalName_(std::move(internalName)), target_(std::move(target)) {}

  HRESULT LockDevice(uint32_t timeoutMs) override {
    if (lockFd_ >= 0) return S_OK;
    int fd = ::open(DeviceLockFile(internalName_).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return Fail(errno == EACCES ? E_ACCESSDENIED : E_FAIL);
    // flock conflicts between open files, so two handles of one process exclude each other too.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        lockFd_ = fd;
        return S_OK;
      }
      if (errno != EWOULDBLOCK && errno != EINTR) break;
      auto now = std::chrono::steady_clock::now();
      if (now >= deadline) break;
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(deadline - now,
                                                                                std::chrono::milliseconds(20)));
    }
    ::close(fd);
    return Fail(STIERR_LOCK_TIMEOUT);
  }

  HRESULT UnLockDevice() override {
    if (lockFd_ < 0) return Fail(STIERR_NOT_LOCKED);
    ::close(lockFd_);
    lockFd_ = -1;
    return S_OK;
  }

  HRESULT Escape(uint32_t code, const void* in, uint32_t inSize, void* data, uint32_t dataSize,
                 uint32_t* returned) override {
    if (returned) *returned = 0;
    if (code != kEscapeScsiPassThrough || !in || inSize < sizeof(ScsiPassThrough)) return Fail(E_INVALIDARG);
    ScsiPassThrough req;
    std::memcpy(&req, in, sizeof req);
    Direction dir = req.flags == kDataIn ? Direction::In : req.flags == kDataOut ? Direction::Out : Direction::None;
    if ((req.flags != 0 && dir == Direction::None) || req.cdbLength == 0 || req.cdbLength > 16 ||
        (dir != Direction::None && (req.dataLength > dataSize || (!data && req.dataLength))) ||
        (dir == Direction::None && req.dataLength))
      return Fail(E_INVALIDARG);
    ScsiReply reply = target_->Execute(req.cdb, req.cdbLength, dir, static_cast<uint8_t*>(data),
                                       dir == Direction::None ? 0 : req.dataLength);
    if (Failed(reply.result)) return Fail(reply.result);
    if (req.status) *req.status = reply.srbStatus;
    if (req.sense) std::memcpy(req.sense, reply.sense, std::min<size_t>(req.senseLength, kSenseLength));
    if (returned) *returned = std::min(reply.transferred, req.dataLength);
    return S_OK;
  }


 private:
  ~Device() override {
    if (lockFd_ >= 0) ::close(lockFd_);
  }

  std::string internalName_;
  std::unique_ptr<ScsiTarget> target_;
  int lockFd_ = -1;
};

void Append(std::u16string_view s, char16_t*& pool, const char16_t** field) {
  *field = pool;
  std::memcpy(pool, s.data(), s.size() * sizeof(char16_t));
  pool += s.size();
  *pool++ = u'\0';
}

class StillImage final : public RefCounted<IStillImage> {
 public:
  HRESULT GetDeviceList(uint32_t type, uint32_t, uint32_t* count, void** list) override {
    if (!count || !list) return Fail(E_INVALIDARG);
    *count = 0;
    *list = nullptr;
    std::vector<DeviceEntry> devices = CurrentDeviceProvider()->Devices();
    std::vector<std::array<std::u16string, 6>> texts;
    std::vector<DeviceEntry> kept;
    size_t chars = 0;
    for (const DeviceEntry& d : devices) {
      std::array<std::u16string, 6> t = {Utf8ToUtf16(d.internalName), Utf8ToUtf16(d.vendor),
                                         Utf8ToUtf16(d.description),  Utf8ToUtf16(d.portName),
                                         Utf8ToUtf16(d.propertyProvider), Utf8ToUtf16(d.localName)};
      // A name that does not fit the record could not be opened by it: not listed.
      if (t[0].size() >= 128 || (type != 0 && (d.deviceType >> 16) != type)) continue;
      for (size_t i = 1; i < t.size(); ++i) chars += t[i].size() + 1;
      texts.push_back(std::move(t));
      kept.push_back(d);
    }
    size_t bytes = kept.size() * sizeof(DeviceInformation) + chars * sizeof(char16_t);
    auto* records = static_cast<DeviceInformation*>(std::calloc(1, bytes ? bytes : 1));
    if (!records) return Fail(E_OUTOFMEMORY);
    auto* pool = reinterpret_cast<char16_t*>(records + kept.size());
    for (size_t i = 0; i < kept.size(); ++i) {
      DeviceInformation& r = records[i];
      r.size = sizeof(DeviceInformation);
      r.deviceType = kept[i].deviceType;
      std::memcpy(r.internalName, texts[i][0].data(), texts[i][0].size() * sizeof(char16_t));
      Append(texts[i][1], pool, &r.vendorDescription);
      Append(texts[i][2], pool, &r.deviceDescription);
      Append(texts[i][3], pool, &r.portName);
      Append(texts[i][4], pool, &r.propertyProvider);
      Append(texts[i][5], pool, &r.localName);
    }
    *count = static_cast<uint32_t>(kept.size());
    *list = records;
    return S_OK;
  }

  HRESULT CreateDevice(const char16_t* internalName, uint32_t, IStiDevice** device, void* outer) override {
    if (!device) return Fail(E_INVALIDARG);
    *device = nullptr;
    if (!internalName || outer) return Fail(E_INVALIDARG);
    std::string name = Utf16ToUtf8(internalName);
    std::shared_ptr<DeviceProvider> provider = CurrentDeviceProvider();
    for (const DeviceEntry& d : provider->Devices()) {
      if (d.internalName != name) continue;
      std::unique_ptr<ScsiTarget> target;
      HRESULT hr = provider->Open(d, &target);
      if (Failed(hr)) return Fail(hr);
      if (!target) return Fail(E_FAIL);
      *device = new Device(name, std::move(target));
      return S_OK;
    }
    return Fail(E_INVALIDARG);
  }


 private:
  ~StillImage() override = default;
};

void PutUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

uint32_t GetLastError() { return lastError; }
void SetLastError(uint32_t code) { lastError = code; }

std::string Utf16ToUtf8(const char16_t* text) {
  std::string out;
  if (!text) return out;
  for (const char16_t* p = text; *p; ++p) {
    char32_t c = *p;
    if (c >= 0xD800 && c < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    PutUtf8(c, out);
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    auto b = static_cast<unsigned char>(text[i]);
    int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && i + static_cast<size_t>(extra) < text.size();
    for (int k = 1; ok && k <= extra; ++k) {
      auto n = static_cast<unsigned char>(text[i + k]);
      if ((n & 0xC0) != 0x80) ok = false;
      else c = (c << 6) | (n & 0x3F);
    }
    static const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (ok && (c < minimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))) ok = false;
    if (!ok) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

void SetDeviceProvider(std::shared_ptr<DeviceProvider> provider) {
  std::lock_guard guard(ProviderMutex());
  Provider() = std::move(provider);
}

std::shared_ptr<DeviceProvider> CurrentDeviceProvider() {
  std::lock_guard guard(ProviderMutex());
  if (!Provider()) Provider() = std::make_shared<CatalogueProvider>();
  return Provider();
}

std::string DeviceLockFile(const std::string& internalName) {
  return (platform::RootFolder("sti") / (SafeFileName(internalName) + ".lock")).string();
}

}  // namespace qlon::sti

using namespace qlon::sti;

extern "C" HRESULT StiCreateInstanceW(void*, uint32_t version, IStillImage** out, void* outer) {
  if (!out) return Fail(E_INVALIDARG);
  *out = nullptr;
  if (outer || version < 1 || version > kStiVersion) return Fail(E_INVALIDARG);
  *out = new StillImage;
  return S_OK;
}

extern "C" void StiFreeDeviceList(void* list) { std::free(list); }
