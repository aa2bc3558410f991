#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QThread>

#include <gtest/gtest.h>

#include "TestApp.h"

#include "HandOver.h"
#include "NamedMutex.h"
#include "TempRoot.h"
#include "WindowMessage.h"

namespace qlon::platform {
namespace {

QCoreApplication& App() { return test::TestApp<QCoreApplication>(); }

// Runs the event loop until done() holds or the time is up.
template <typename Done>
bool SpinUntil(Done done, int timeoutMs = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

TEST(NamedMutex, ExcludesOtherHoldersUntilUnlocked) {
  test::TempRoot root;
  NamedMutex a("APPLICATION-QUILLON 98"), b("APPLICATION-QUILLON 98"), other("OTHER");
  EXPECT_FALSE(NamedMutex::IsHeldElsewhere("APPLICATION-QUILLON 98"));
  ASSERT_TRUE(a.TryLock());
  EXPECT_TRUE(a.TryLock());  // already held by this object
  EXPECT_FALSE(b.TryLock());
  EXPECT_TRUE(NamedMutex::IsHeldElsewhere("APPLICATION-QUILLON 98"));
  EXPECT_TRUE(other.TryLock());
  a.Unlock();
  EXPECT_TRUE(b.TryLock());
  EXPECT_FALSE(a.IsHeld());
}

TEST(NamedMutex, LockWaitsForTheHolderThenTimesOut) {
  test::TempRoot root;
  NamedMutex holder("m"), waiter("m");
  ASSERT_TRUE(holder.TryLock());
  EXPECT_FALSE(waiter.Lock(50));
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    holder.Unlock();
  });
  EXPECT_TRUE(waiter.Lock(5000));
  release.join();
}

TEST(NamedMutex, AnyNameIsOneFileInTheRunFolder) {
  test::TempRoot root;
  const std::filesystem::path run = root.path() / "run";
  for (const std::string& name : {std::string("C:\\Program Files/qlonschd.exe"), std::string(".."),
                                 std::string(1000, 'n'), std::string("a\0b", 3), std::string()}) {
    const std::filesystem::path p = NamedMutex::LockPath(name);
    EXPECT_EQ(p.parent_path(), run) << name;
    EXPECT_LT(p.filename().string().size(), 200u);
    EXPECT_NE(p.filename().string()[0], '.');
  }
  EXPECT_NE(NamedMutex::LockPath(std::string(1000, 'n')), NamedMutex::LockPath(std::string(999, 'n') + "m"));
  EXPECT_NE(NamedMutex::LockPath("a/b"), NamedMutex::LockPath("a_b"));
}

TEST(NamedMutex, HolderThatDiesReleasesIt) {
  test::TempRoot root;
  const std::filesystem::path lockFile = NamedMutex::LockPath("dying");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    NamedMutex m("dying");
    const char ok = m.TryLock() ? '1' : '0';
    (void)!::write(ready[1], &ok, 1);
    ::pause();
    ::_exit(0);
  }
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, '1');
  NamedMutex m("dying");
  EXPECT_FALSE(m.TryLock());
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_TRUE(m.TryLock());
  ::close(ready[0]);
  ::close(ready[1]);
}

class HandOverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    ASSERT_TRUE(server_.Listen("APPLICATION-QUILLON 98"));
    QObject::connect(&server_, &HandOverServer::received, [this](const QByteArray& d) { messages_.push_back(d); });
  }
  // Sends from another thread while this one serves the server.
  bool SendAndServe(const QByteArray& data) {
    std::atomic<int> result{-1};
    std::thread sender([&] { result = SendHandOver("APPLICATION-QUILLON 98", data, 5000) ? 1 : 0; });
    SpinUntil([&] { return result >= 0; });
    sender.join();
    return result == 1;
  }
  test::TempRoot root_;
  HandOverServer server_;
  std::vector<QByteArray> messages_;
};

TEST_F(HandOverTest, DeliversExactlyTheBytesAndConfirms) {
  const QByteArray payload("a\r\nb\r\n\0", 7);
  EXPECT_TRUE(HandOverServer::ListensInThisProcess("APPLICATION-QUILLON 98"));
  EXPECT_TRUE(SendAndServe(payload));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], payload);
  EXPECT_TRUE(SendAndServe(QByteArray("c\r\n\0", 4)));
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[1], QByteArray("c\r\n\0", 4));
}

TEST_F(HandOverTest, SocketIsTheUsersOnly) {
  struct stat st{};
  ASSERT_EQ(::stat(HandOverSocketPath("APPLICATION-QUILLON 98").c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 077, 0u);
}

TEST_F(HandOverTest, MessageWithoutNulEndsWithTheConnection) {
  std::atomic<bool> sent{false};
  std::thread sender([&] {
    QLocalSocket s;
    s.connectToServer(QString::fromStdString(HandOverSocketPath("APPLICATION-QUILLON 98").string()));
    if (s.waitForConnected(2000)) {
      s.write("partial");
      s.waitForBytesWritten(2000);
      s.disconnectFromServer();
    }
    sent = true;
  });
  EXPECT_TRUE(SpinUntil([&] { return sent && !messages_.empty(); }));
  sender.join();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], QByteArray("partial"));
}

TEST_F(HandOverTest, OversizedMessageIsRefused) {
  EXPECT_FALSE(SendAndServe(QByteArray(HandOverServer::kMaxMessage + 10, 'x') + '\0'));
  SpinUntil([] { return false; }, 100);
  EXPECT_TRUE(messages_.empty());
}

TEST(HandOverServer, HandlerMayDestroyTheServer) {
  App();
  test::TempRoot root;
  auto* server = new HandOverServer;
  ASSERT_TRUE(server->Listen("closing"));
  bool got = false;
  QObject::connect(server, &HandOverServer::received, [&](const QByteArray&) {
    got = true;
    delete server;  // the window owning it closes on this command line
  });
  std::atomic<bool> done{false};
  std::thread sender([&] {
    SendHandOver("closing", QByteArray("quit\r\n\0", 7), 2000);
    done = true;
  });
  EXPECT_TRUE(SpinUntil([&] { return done.load(); }));
  sender.join();
  EXPECT_TRUE(got);
}

TEST_F(HandOverTest, NoServerMeansNoDelivery) {
  EXPECT_FALSE(SendHandOver("NOBODY", QByteArray("a\0", 2), 200));
  EXPECT_FALSE(HandOverAvailable("NOBODY", 200));
  server_.Close();
  EXPECT_FALSE(HandOverServer::ListensInThisProcess("APPLICATION-QUILLON 98"));
  EXPECT_FALSE(SendHandOver("APPLICATION-QUILLON 98", QByteArray("a\0", 2), 200));
}

// A window object: records messages and answers message + wParam.
class Window : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() != WindowMessage::Type()) return QObject::event(e);
    auto* m = static_cast<WindowMessage*>(e);
    seen.push_back(m->message);
    onThread = QThread::currentThread();
    m->result = static_cast<LRESULT>(m->message + m->wParam);
    return true;
  }
  std::vector<unsigned> seen;
  QThread* onThread = nullptr;
};

TEST(WindowMessage, SendOnTheSameThreadRunsAtOncePostIsQueued) {
  App();
  Window w;
  EXPECT_EQ(WM_USER + 4096, 0x1400u);
  EXPECT_EQ(SendMessage(&w, WM_USER + 4096, 5, 0), 0x1405);
  PostMessage(&w, WM_CLOSE, 0, 0);
  EXPECT_EQ(w.seen, std::vector<unsigned>{0x1400});
  QCoreApplication::sendPostedEvents(&w);
  EXPECT_EQ(w.seen, (std::vector<unsigned>{0x1400, WM_CLOSE}));
}

TEST(WindowMessage, SendFromAnotherThreadBlocksUntilHandledOnTheWindowThread) {
  App();
  Window w;
  std::atomic<LRESULT> result{-1};
  std::thread worker([&] { result = SendMessage(&w, WM_USER + 1, 10, 0); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(result, -1) << "returned before the window handled it";
  EXPECT_TRUE(SpinUntil([&] { return result != -1; }));
  worker.join();
  EXPECT_EQ(result, LRESULT{WM_USER + 11});
  EXPECT_EQ(w.onThread, QThread::currentThread());
}

TEST(WindowMessage, BlockedSenderIsFreedByAbandonOrByTheWindowGoing) {
  App();
  auto* w = new Window;
  std::atomic<bool> abandon{false};
  std::atomic<int> finished{0};
  std::thread first([&] {
    SendMessage(w, WM_USER, 0, 0, &abandon);
    ++finished;
  });
  std::thread second([&] {
    SendMessage(w, WM_USER, 0, 0);
    ++finished;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  abandon = true;
  delete w;  // drops the queued messages undelivered
  first.join();
  second.join();
  EXPECT_EQ(finished, 2);
}

}  // namespace
}  // namespace qlon::platform
