#include "HandOver.h"

#include <mutex>
#include <set>
#include <string>

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <QVariant>

#include "NamedMutex.h"
#include "PlatformRoot.h"

namespace qlon::platform {

namespace {

constexpr char kAck = '\x01';
constexpr int kIdleTimeoutMs = 10000;

std::mutex gListeningMutex;
std::multiset<std::string>& Listening() {
  static std::multiset<std::string> names;
  return names;
}

QString SocketName(std::string_view name) { return QString::fromStdString(HandOverSocketPath(name).string()); }

}  // namespace

std::filesystem::path HandOverSocketPath(std::string_view name) {
  return RootFolder("run") / SafeObjectFileName(name, ".sock");
}

HandOverServer::HandOverServer(QObject* parent) : QObject(parent) {}

HandOverServer::~HandOverServer() { Close(); }

bool HandOverServer::Listen(std::string_view name) {
  Close();
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  const QString path = SocketName(name);
  QLocalServer::removeServer(path);
  if (!server_->listen(path)) {
    delete server_;
    server_ = nullptr;
    return false;
  }
  connect(server_, &QLocalServer::newConnection, this, &HandOverServer::OnConnection);
  name_ = std::string(name);
  std::lock_guard lock(gListeningMutex);
  Listening().insert(name_);
  return true;
}

void HandOverServer::Close() {
  if (!server_) return;
  server_->close();
  delete server_;
  server_ = nullptr;
  std::lock_guard lock(gListeningMutex);
  if (auto it = Listening().find(name_); it != Listening().end()) Listening().erase(it);
  name_.clear();
}

bool HandOverServer::IsListening() const { return server_ && server_->isListening(); }

bool HandOverServer::ListensInThisProcess(std::string_view name) {
  std::lock_guard lock(gListeningMutex);
  return Listening().count(std::string(name)) > 0;
}

void HandOverServer::OnConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    socket->setParent(this);
    socket->setProperty("handOverDone", false);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadable(socket); });
    connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
      const QPointer<QLocalSocket> alive(socket);
      // Without a NUL the message ends with the connection.
      if (!socket->property("handOverDone").toBool()) {
        QByteArray data = socket->property("handOverData").toByteArray() + socket->readAll();
        if (!data.isEmpty() && data.size() <= kMaxMessage) Deliver(socket, std::move(data));
      }
      if (alive) socket->deleteLater();
    });
    // A sender that stalls is dropped rather than kept forever.
    QTimer::singleShot(kIdleTimeoutMs, socket, [socket] { socket->abort(); });
    if (socket->bytesAvailable() > 0) OnReadable(socket);
  }
}

void HandOverServer::OnReadable(QLocalSocket* socket) {
  if (socket->property("handOverDone").toBool()) {
    socket->readAll();
    return;
  }
  QByteArray data = socket->property("handOverData").toByteArray() + socket->readAll();
  const qsizetype nul = data.indexOf('\0');
  if (nul >= 0) data.truncate(nul + 1);
  if (data.size() > kMaxMessage) {
    socket->setProperty("handOverDone", true);
    socket->setProperty("handOverData", QVariant());
    socket->abort();
  } else if (nul >= 0) {
    Deliver(socket, std::move(data));
  } else {
    socket->setProperty("handOverData", data);
  }
}

void HandOverServer::Deliver(QLocalSocket* socket, QByteArray data) {
  socket->setProperty("handOverDone", true);
  socket->setProperty("handOverData", QVariant());
  // A handler may close the window that owns this server, and the socket with it.
  const QPointer<QLocalSocket> alive(socket);
  emit received(data);
  if (alive && socket->state() == QLocalSocket::ConnectedState) {
    socket->write(&kAck, 1);
    socket->flush();
    socket->disconnectFromServer();
  }
}

bool HandOverAvailable(std::string_view name, int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(SocketName(name));
  const bool ok = socket.waitForConnected(timeoutMs);
  socket.abort();
  return ok;
}

bool SendHandOver(std::string_view name, const QByteArray& data, int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(SocketName(name));
  if (!socket.waitForConnected(timeoutMs)) return false;
  if (socket.write(data) != data.size()) return false;
  while (socket.bytesToWrite() > 0)
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
  // The receiver confirms once its handlers have run.
  while (socket.bytesAvailable() < 1)
    if (!socket.waitForReadyRead(timeoutMs)) break;
  const QByteArray reply = socket.read(1);
  socket.abort();
  return reply.size() == 1 && reply[0] == kAck;
}

}  // namespace qlon::platform
