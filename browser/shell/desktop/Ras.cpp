#include "Ras.h"

#include <algorithm>
#include <cstring>

#include <QMetaObject>

#include "RasLibrary.h"

namespace qlon {

namespace {

const platform::RasApi& Api() { return platform::RasLibrary(); }

// A text into a fixed field of the library; false when it does not fit
// (a name cut short would dial another entry or fail to log in).
bool Put(char (&field)[kRasNameSize], const QString& text) {
  const QByteArray bytes = text.toUtf8();
  if (bytes.size() >= kRasNameSize || bytes.contains('\0')) return false;
  std::memcpy(field, bytes.constData(), std::size_t(bytes.size()) + 1);
  return true;
}

QString Take(const char (&field)[kRasNameSize]) {
  return QString::fromUtf8(field, qsizetype(strnlen(field, kRasNameSize)));
}

// Calls a list entry point with a buffer that grows until the list fits.
template <class T, class F>
bool ReadList(std::vector<T>& out, F&& call) {
  out.assign(8, T{});
  for (int tries = 0; tries < 4; ++tries) {
    int count = 0;
    const std::uint32_t r = call(out.data(), int(out.size()), &count);
    if (r == 0) {
      out.resize(std::size_t(std::clamp(count, 0, int(out.size()))));
      return true;
    }
    if (r != kRasErrorBufferTooSmall || count <= int(out.size())) break;
    out.assign(std::size_t(count), T{});
  }
  out.clear();
  return false;
}

}  // namespace

bool RasAvailable() { return Api().Loaded(); }

bool LoadRasLibrary() { return platform::LoadRasLibrary(); }

bool TConnectionList::Refresh() {
  Items_.clear();
  const platform::RasApi& api = Api();
  std::vector<RasConnection> raw;
  if (!api.Loaded() || !ReadList(raw, api.EnumConnections)) return false;
  for (const RasConnection& c : raw) Items_.push_back({c.handle, Take(c.entryName), c.state});
  return true;
}

const TRasConnection* TConnectionList::FindConnected() const {
  for (const TRasConnection& c : Items_)
    if (c.Connected()) return &c;
  return nullptr;
}

const TRasConnection* TConnectionList::FindEntry(const QString& entryName) const {
  for (const TRasConnection& c : Items_)
    if (c.EntryName.compare(entryName, Qt::CaseInsensitive) == 0) return &c;
  return nullptr;
}

bool TPhoneBookEntries::Refresh() {
  Names_.clear();
  const platform::RasApi& api = Api();
  const QByteArray book = PhoneBook_.toUtf8();
  std::vector<RasEntryName> raw;
  if (!api.Loaded() ||
      !ReadList(raw, [&](RasEntryName* names, int capacity, int* count) {
        return api.EnumEntries(book.isEmpty() ? nullptr : book.constData(), names, capacity, count);
      }))
    return false;
  for (const RasEntryName& e : raw) Names_ << Take(e.name);
  return true;
}

TRas::TRas(QObject* parent) : QObject(parent) {}

TRas::~TRas() {
  // The library reports to this object until the call ends or is hung up.
  if (Handle_ != 0 && State_ != kRasStateConnected) Api().HangUp(Handle_);
}

bool TRas::LoadDialParams(const QString& entryName) {
  const platform::RasApi& api = Api();
  if (!api.Loaded()) {
    ErrorCode_ = kRasErrorUnavailable;
    return false;
  }
  RasDialParams params{};
  if (!Put(params.entryName, entryName)) {
    ErrorCode_ = kRasErrorInvalidSize;
    return false;
  }
  const QByteArray book = PhoneBook.toUtf8();
  ErrorCode_ = api.GetEntryDialParams(book.isEmpty() ? nullptr : book.constData(), &params);
  if (ErrorCode_ != 0) return false;
  EntryName = entryName;
  UserName = Take(params.userName);
  Password = Take(params.password);
  return true;
}

bool TRas::IsConnected() const {
  TConnectionList list;
  if (!list.Refresh()) return false;
  const TRasConnection* c = list.FindEntry(EntryName);
  return c && c->Connected();
}

std::uint32_t TRas::Dial() {
  HangUp();
  State_ = kRasStateIdle;
  const platform::RasApi& api = Api();
  if (!api.Loaded()) return ErrorCode_ = kRasErrorUnavailable;
  RasDialParams params{};
  if (!Put(params.entryName, EntryName) || !Put(params.userName, UserName) || !Put(params.password, Password))
    return ErrorCode_ = kRasErrorInvalidSize;
  const QByteArray book = PhoneBook.toUtf8();
  RasHandle handle = 0;
  ErrorCode_ = api.Dial(book.isEmpty() ? nullptr : book.constData(), &params, &TRas::Notify, this, &handle);
  if (ErrorCode_ == 0) Handle_ = handle;
  return ErrorCode_;
}

std::uint32_t TRas::Dial(const QString& entryName, const QString& user, const QString& password) {
  if (!LoadDialParams(entryName)) return ErrorCode_;
  if (!user.isEmpty() && !password.isEmpty()) {
    UserName = user;
    Password = password;
  }
  return Dial();
}

void TRas::HangUp() {
  if (Handle_ == 0) return;
  Api().HangUp(Handle_);
  Handle_ = 0;
  SetState(kRasStateDisconnected);
  emit RasDisconnect();
}

bool TRas::HangUpByName(const QString& entryName) {
  TConnectionList list;
  const TRasConnection* c = list.Refresh() ? list.FindEntry(entryName) : nullptr;
  if (!c) return false;
  if (c->Handle == Handle_) {
    HangUp();
    return true;
  }
  return Api().HangUp(c->Handle) == 0;
}

QString TRas::ErrorText() const {
  if (ErrorCode_ == 0) return {};
  if (ErrorCode_ == kRasErrorUnavailable)
    return QStringLiteral("L'accès réseau à distance n'est pas installé (%1 absent).").arg(kRasFileName);
  const platform::RasApi& api = Api();
  char text[kRasErrorSize] = {};
  if (api.Loaded() && api.GetErrorString(ErrorCode_, text, int(sizeof text)) == 0)
    return QString::fromUtf8(text, qsizetype(strnlen(text, sizeof text)));
  return QStringLiteral("Erreur d'accès réseau à distance %1").arg(ErrorCode_);
}

// Runs on a thread of the library: only hands the report over.
void TRas::Notify(void* context, std::uintptr_t connection, int state, std::uint32_t error) {
  auto* self = static_cast<TRas*>(context);
  QMetaObject::invokeMethod(
      self, [self, connection, state, error] { self->OnNotify(connection, state, error); }, Qt::QueuedConnection);
}

void TRas::OnNotify(std::uintptr_t connection, int state, std::uint32_t error) {
  // Reports of a call hung up meanwhile are stale.
  if (connection != Handle_ || Handle_ == 0) return;
  if (error != 0) {
    ErrorCode_ = error;
    // The library keeps a failed call until it is hung up.
    Api().HangUp(Handle_);
    Handle_ = 0;
    SetState(error == kRasErrorAuthFailure ? kRasStateBadLogin : kRasStateDisconnected);
    emit RasDisconnect();
  } else if (state == kRasConnected) {
    SetState(kRasStateConnected);
    emit RasConnect();
  } else if (state == kRasDisconnected) {
    Api().HangUp(Handle_);
    Handle_ = 0;
    SetState(kRasStateDisconnected);
    emit RasDisconnect();
  } else if (state >= kRasOpenPort && state <= kRasRetryAuthentication) {
    SetState(state);
  }
}

void TRas::SetState(int state) {
  State_ = state;
  emit RasStateChange(state);
}

}  // namespace qlon
