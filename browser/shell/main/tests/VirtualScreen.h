#pragma once
// A screen of the test's own for the program run as a child process: an X
// server in memory (Xvfb) on a display number it picks itself among the
// free ones. Stopped with the object.
#include <QElapsedTimer>
#include <QProcess>
#include <QString>

namespace qlon::test {

class VirtualScreen {
 public:
  VirtualScreen() {
    server_.setProgram("Xvfb");
    // The server writes its display number on this pipe once it listens.
    server_.setArguments({"-displayfd", "1", "-screen", "0", "1280x900x24", "-nolisten", "tcp"});
    server_.setProcessChannelMode(QProcess::SeparateChannels);
    server_.start();
    if (!server_.waitForStarted(5000)) return;
    QElapsedTimer waited;
    waited.start();
    QByteArray number;
    while (!number.contains('\n') && waited.elapsed() < 10000 && server_.state() == QProcess::Running)
      if (server_.waitForReadyRead(500)) number += server_.readAllStandardOutput();
    bool ok = false;
    const int n = number.trimmed().toInt(&ok);
    if (ok) display_ = ":" + QString::number(n);
  }
  ~VirtualScreen() {
    if (server_.state() == QProcess::NotRunning) return;
    server_.terminate();
    if (!server_.waitForFinished(5000)) {
      server_.kill();
      server_.waitForFinished(5000);
    }
  }
  VirtualScreen(const VirtualScreen&) = delete;
  VirtualScreen& operator=(const VirtualScreen&) = delete;

  // ":N", or empty when no server could start.
  const QString& Display() const { return display_; }

 private:
  QProcess server_;
  QString display_;
};

}  // namespace qlon::test
