#pragma once
// Runs the Qt event loop (where socket, timer and request events arrive)
// until done() holds or the limit passes; false on time-out. A ticking timer
// guarantees wake-ups to check done() even when no event comes.
#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <functional>

namespace qlon::test {

inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  QTimer tick;
  tick.start(10);
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

}  // namespace qlon::test
