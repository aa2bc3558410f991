#pragma once
// The channel a second instance uses to hand its command line to the
// running one (what WM_COPYDATA to the main window did): a local socket
// "<name>.sock" in the run folder of the platform root, connectable by the
// user only.
//
// One hand-over is one connection:
//   sender   -> the data bytes, exactly as given (the command-line text ends
//               with a NUL, which also ends the message; without one the
//               message ends when the sender disconnects)
//   receiver -> one byte 0x01 once every handler of received() has run,
//               then it closes
// so a successful Send means the running instance has taken the data, as
// the synchronous window message did. A message over kMaxMessage bytes is
// refused (the connection is dropped, nothing delivered).
#include <filesystem>
#include <string_view>

#include <QByteArray>
#include <QObject>

class QLocalServer;
class QLocalSocket;

namespace qlon::platform {

class HandOverServer : public QObject {
  Q_OBJECT
 public:
  static constexpr qint64 kMaxMessage = 1 << 20;

  explicit HandOverServer(QObject* parent = nullptr);
  ~HandOverServer() override;

  // Listens under the name, replacing a stale socket of a dead instance:
  // call it only while holding the instance's NamedMutex.
  bool Listen(std::string_view name);
  void Close();
  bool IsListening() const;

  // True when a server of this process listens under the name.
  static bool ListensInThisProcess(std::string_view name);

 signals:
  // One message; data holds the bytes up to and including the NUL.
  void received(const QByteArray& data);

 private:
  void OnConnection();
  void OnReadable(QLocalSocket* socket);
  void Deliver(QLocalSocket* socket, QByteArray data);

  QLocalServer* server_ = nullptr;
  std::string name_;
};

std::filesystem::path HandOverSocketPath(std::string_view name);

// True when a server accepts connections under the name.
bool HandOverAvailable(std::string_view name, int timeoutMs = 1000);

// Sends one message and waits at most timeoutMs for the receiver to take
// it; false when no server listens or it did not confirm. Blocking: call it
// from a thread whose event loop does not serve the receiving server.
bool SendHandOver(std::string_view name, const QByteArray& data, int timeoutMs = 5000);

}  // namespace qlon::platform
