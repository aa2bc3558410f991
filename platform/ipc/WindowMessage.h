#pragma once
// Window messages as Qt events. A WindowMessage carries the message number
// and its two parameters with the numbers of the Windows messages kept
// (WM_USER + 4096 is 0x1400), and a result the handler may set. A window
// object handles it in event():
//
//   if (e->type() == WindowMessage::Type()) {
//     auto* m = static_cast<WindowMessage*>(e);
//     if (m->message == WM_COPYDATA) { ...; m->result = 1; }
//   }
//
// PostMessage queues it to the object's thread. SendMessage delivers it at
// once on the object's thread, or from another thread posts it and blocks
// until the handler has run. That blocked call ends, with result 0, when
// the event is dropped undelivered (the object destroyed first) or when the
// caller's abandon flag is raised: a worker thread that a closing GUI
// thread waits for can always be freed. An abandoned message may still be
// handled later, so its parameters must not point into the sender's memory.
#include <atomic>
#include <cstdint>

#include <QEvent>

class QObject;

namespace qlon::platform {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

inline constexpr unsigned WM_CLOSE = 0x0010;
inline constexpr unsigned WM_COPYDATA = 0x004A;
inline constexpr unsigned WM_USER = 0x0400;

// What WM_COPYDATA's lParam points to while its handler runs.
struct CopyDataStruct {
  std::uintptr_t dwData = 0;
  std::uint32_t cbData = 0;
  const void* lpData = nullptr;
};

class WindowMessage : public QEvent {
 public:
  static QEvent::Type Type();

  WindowMessage(unsigned message, WPARAM wParam, LPARAM lParam)
      : QEvent(Type()), message(message), wParam(wParam), lParam(lParam) {}

  const unsigned message;
  const WPARAM wParam;
  const LPARAM lParam;
  LRESULT result = 0;
};

void PostMessage(QObject* target, unsigned message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessage(QObject* target, unsigned message, WPARAM wParam, LPARAM lParam,
                    const std::atomic<bool>* abandon = nullptr);

}  // namespace qlon::platform
