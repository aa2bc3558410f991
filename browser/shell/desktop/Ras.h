#pragma once
// The dial-up layer: a phone-book entry that dials and hangs up through the
// dial-up library (platform/ras), the list of the phone book's entries and
// the list of the open connections.
//
// The library is loaded by name from the program's folder when first used;
// without it every call fails and the settings keep dial-up off. It reports
// the progress of a call from a thread of its own; TRas hands each report to
// the GUI thread, where its events fire:
//
//   RasStateChange(state)  every state, numbered as the dial-up state texts
//                          (0..8 the steps of a call, 9 connected,
//                          10 disconnected, 11 user name or password refused)
//   RasConnect             the link is up (state 9)
//   RasDisconnect          the call failed, was hung up, or the link went down
#include <cstdint>
#include <vector>

#include <QObject>
#include <QString>
#include <QStringList>

namespace qlon {

inline constexpr int kRasStateIdle = -1;  // no call yet
inline constexpr int kRasStateConnected = 9;
inline constexpr int kRasStateDisconnected = 10;
inline constexpr int kRasStateBadLogin = 11;
// An open connection's state when its link is up (the library's own numbering).
inline constexpr int kRasConnectionConnected = 8192;
// ErrorCode when the library is missing.
inline constexpr std::uint32_t kRasErrorUnavailable = 0xFFFFFFFFu;

// Whether the dial-up library is loaded (loading it on first use).
bool RasAvailable();
// Tries to load the library again when it is missing; true when available.
bool LoadRasLibrary();

struct TRasConnection {
  std::uintptr_t Handle = 0;
  QString EntryName;
  int State = 0;
  bool Connected() const { return State == kRasConnectionConnected; }
};

// The open dial-up connections, as the library lists them.
class TConnectionList {
 public:
  // False, and no item, when the library is missing or fails.
  bool Refresh();
  const std::vector<TRasConnection>& Items() const { return Items_; }
  // The first connection whose link is up; null when none.
  const TRasConnection* FindConnected() const;
  // The connection of the entry (names compare case-insensitively).
  const TRasConnection* FindEntry(const QString& entryName) const;

 private:
  std::vector<TRasConnection> Items_;
};

// The entry names of a phone book (empty path: the user's default one).
class TPhoneBookEntries {
 public:
  explicit TPhoneBookEntries(QString phoneBook = {}) : PhoneBook_(std::move(phoneBook)) {}
  bool Refresh();
  const QStringList& Names() const { return Names_; }

 private:
  QString PhoneBook_;
  QStringList Names_;
};

// One phone-book entry and the call made with it.
class TRas : public QObject {
  Q_OBJECT
 public:
  explicit TRas(QObject* parent = nullptr);
  // A call still under way is abandoned; a link that is up stays up.
  ~TRas() override;

  QString PhoneBook;  // empty: the user's default phone book
  QString EntryName, UserName, Password;

  // Takes the entry's stored dial parameters (its user name and password).
  bool LoadDialParams(const QString& entryName);
  // Whether the entry's link is up already.
  bool IsConnected() const;
  // Starts a call with the fields above: 0 when it started (its outcome comes
  // through the events), else the error code. A call of this object still
  // under way or up is hung up first.
  std::uint32_t Dial();
  // LoadDialParams, then the user name and password when both are given,
  // then Dial.
  std::uint32_t Dial(const QString& entryName, const QString& user, const QString& password);
  // Hangs up this object's own call.
  void HangUp();
  // Hangs up the open connection of that entry, whoever dialled it; false
  // when there is none.
  bool HangUpByName(const QString& entryName);

  int State() const { return State_; }
  // The last failure's code, 0 when the last call had none.
  std::uint32_t ErrorCode() const { return ErrorCode_; }
  QString ErrorText() const;

 signals:
  void RasConnect();
  void RasDisconnect();
  void RasStateChange(int state);

 private:
  static void Notify(void* context, std::uintptr_t connection, int state, std::uint32_t error);
  void OnNotify(std::uintptr_t connection, int state, std::uint32_t error);
  void SetState(int state);

  std::uintptr_t Handle_ = 0;
  int State_ = kRasStateIdle;
  std::uint32_t ErrorCode_ = 0;
};

}  // namespace qlon
