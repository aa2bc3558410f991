#include "EventPump.h"
#include "DockForm.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <functional>

#include "DlgStop.h"
#include "DlgUrlVerif.h"
#include "LoopbackServer.h"

namespace qlon {
namespace {

bool PumpUntil(const std::function<bool()>& done, int limitMs = 10000) {
  return test::PumpUntil(done, std::chrono::milliseconds(limitMs));
}

class DockTest : public ::testing::Test {
 protected:
  DockTest() {
    host.resize(640, 480);
    host.show();
    form.setGeometry(100, 120, 300, 200);
    form.setWindowTitle("form");
    form.show();
    QCoreApplication::processEvents();
  }
  QWidget host;
  TDockForm form;
};

TEST_F(DockTest, DockedFormFillsTheHostAndUndockRestoresItsBounds) {
  const QRect before = form.geometry();
  ASSERT_TRUE(form.isWindow());
  form.SetDocked(true, &host, alClient);
  EXPECT_TRUE(form.Docked());
  EXPECT_EQ(form.parentWidget(), &host);
  EXPECT_FALSE(form.isWindow());
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.geometry(), host.rect());
  EXPECT_EQ(form.SavedBounds(), before);
  host.resize(500, 300);
  QCoreApplication::processEvents();
  EXPECT_EQ(form.geometry(), QRect(0, 0, 500, 300)) << "a client-aligned form follows its host";

  form.SetDocked(false, nullptr, alNone);
  QCoreApplication::processEvents();
  EXPECT_FALSE(form.Docked());
  EXPECT_TRUE(form.isWindow());
  EXPECT_EQ(form.parentWidget(), nullptr);
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.geometry(), before);
  EXPECT_EQ(form.Align(), alNone);
  host.resize(200, 100);
  QCoreApplication::processEvents();
  EXPECT_EQ(form.geometry(), before) << "an undocked form no longer follows the host";
}

TEST_F(DockTest, SecondCallWithTheSameStateChangesNothing) {
  form.SetDocked(true, &host, alLeft);
  EXPECT_EQ(form.geometry(), QRect(0, 0, 300, 480)) << "left: the width is kept, the height is the host's";
  QWidget other;
  other.resize(50, 50);
  form.SetDocked(true, &other, alClient);
  EXPECT_EQ(form.parentWidget(), &host);
  EXPECT_EQ(form.Align(), alLeft);
  EXPECT_EQ(form.geometry(), QRect(0, 0, 300, 480));
  const QRect saved = form.SavedBounds();
  form.SetDocked(false, nullptr, alNone);
  form.SetDocked(false, nullptr, alNone);
  EXPECT_EQ(form.geometry(), saved);
  EXPECT_TRUE(form.isWindow());
}

TEST_F(DockTest, EdgeAlignmentsAndNoHost) {
  form.SetDocked(true, nullptr, alClient);
  EXPECT_FALSE(form.Docked()) << "nothing to dock into";
  EXPECT_TRUE(form.isWindow());
  form.SetDocked(true, &host, alBottom);
  EXPECT_EQ(form.geometry(), QRect(0, 280, 640, 200));
  form.SetDocked(false, nullptr, alNone);
  form.SetDocked(true, &host, alRight);
  EXPECT_EQ(form.geometry(), QRect(340, 0, 300, 480));
}

TEST(DlgStop, CaptionsAndChoice) {
  TDlgStop dlg;
  EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8("Arrêt de la capture"));
  EXPECT_EQ(dlg.CheckBox->text(), QString::fromUtf8("Terminer les captures de fichiers en cours"));
  EXPECT_FALSE(dlg.FinishTransfers());
  QTimer::singleShot(0, &dlg, [&] {
    dlg.CheckBox->setChecked(true);
    dlg.OKBtn->click();
  });
  EXPECT_EQ(dlg.exec(), QDialog::Accepted);
  EXPECT_TRUE(dlg.FinishTransfers());
  QTimer::singleShot(0, &dlg, [&] { dlg.CancelBtn->click(); });
  EXPECT_EQ(dlg.exec(), QDialog::Rejected);
}

class AcceptServer : public test::LoopbackServer {
 public:
  AcceptServer() { EXPECT_TRUE(Start()); }
  ~AcceptServer() override { Stop(); }

 protected:
  void Handle(int) override {}
};

// A loopback port nobody listens on.
int ClosedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
  ::close(fd);
  return ntohs(a.sin_port);
}

TEST(DlgUrlVerif, ReachableSiteAndOneTestPerDialog) {
  AcceptServer server;
  TDlgUrlVerif dlg;
  dlg.Url = "http://127.0.0.1:" + server.PortText() + "/dir/page.htm";
  EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8("Vérification de l'existence d'un site"));
  dlg.show();
  ASSERT_TRUE(PumpUntil([&] { return dlg.Result() != TDlgUrlVerif::vrPending; }));
  EXPECT_EQ(dlg.Result(), TDlgUrlVerif::vrReachable);
  EXPECT_EQ(dlg.Label1->text(), QString::fromUtf8("Web 127.0.0.1 : connexion possible"));
  EXPECT_EQ(dlg.Url, "127.0.0.1");
  ASSERT_TRUE(PumpUntil([&] { return !dlg.Testing(); })) << "the socket is freed once answered";
  ASSERT_TRUE(PumpUntil([&] { return server.Connections() == 1; }));
  dlg.hide();
  dlg.show();
  QElapsedTimer settle;
  settle.start();
  PumpUntil([&] { return settle.elapsed() > 200; });
  EXPECT_EQ(server.Connections(), 1) << "showing again starts no second test";
  dlg.CloseBtn->click();
  EXPECT_FALSE(dlg.isVisible());
}

TEST(DlgUrlVerif, RefusedAndUnknownHosts) {
  {
    TDlgUrlVerif dlg;
    dlg.Url = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/";
    dlg.show();
    ASSERT_TRUE(PumpUntil([&] { return dlg.Result() != TDlgUrlVerif::vrPending; }));
    EXPECT_EQ(dlg.Result(), TDlgUrlVerif::vrUnreachable);
    EXPECT_EQ(dlg.Label1->text(), QString::fromUtf8("Imposible de se connecter sur le Web 127.0.0.1"));
  }
  {
    TDlgUrlVerif dlg;
    dlg.Url = "http://no-such-host.invalid/";
    dlg.show();
    ASSERT_TRUE(PumpUntil([&] { return dlg.Result() != TDlgUrlVerif::vrPending; }, 30000))
        << "a host that does not resolve must end the test too";
    EXPECT_EQ(dlg.Result(), TDlgUrlVerif::vrUnreachable);
    EXPECT_EQ(dlg.Label1->text(), QString::fromUtf8("Imposible de se connecter sur le Web no-such-host.invalid"));
  }
  {
    TDlgUrlVerif dlg;  // closed before the test ever ran: nothing is left open
    dlg.Url = "http://127.0.0.1:1/";
    dlg.show();
    dlg.reject();
    QCoreApplication::processEvents();
    EXPECT_FALSE(dlg.Testing());
  }
}

}  // namespace
}  // namespace qlon
