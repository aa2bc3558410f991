#pragma once
// The window messages between the settings page and its host, as Qt events
// of one fixed type carrying the message number and its two parameters.
// The type is a constant rather than a registered one because the page
// (tq21uui.so) and the host are separate modules: both must agree on it
// without sharing a registration. Header only, for the same reason.
//
//   host -> page   WM_USER+110  wParam = widget with the focus (or 0), lParam = the host's
//                               widget to return to; `shift` = Shift held (keyboard hand-over)
//                  WM_USER+111  wParam = the host window
//                  WM_USER+150  lParam = Descreen allowed
//   page -> host   WM_USER+105  `text` = status line for the control under the mouse,
//                               to the great-grandparent of the control
//                  WM_USER+112  the diagnostics dialog is being destroyed
//                  WM_CLOSE     a failed diagnostics run or calibration asks the host to close
#include <cstdint>

#include <QCoreApplication>
#include <QEvent>
#include <QString>

namespace qlon::scanner::ui {

inline constexpr unsigned kWmClose = 0x0010;
inline constexpr unsigned kWmUser = 0x0400;
inline constexpr unsigned kMsgWarning = kWmUser + 101;
inline constexpr unsigned kMsgStatusText = kWmUser + 105;
inline constexpr unsigned kMsgHandOver = kWmUser + 110;
inline constexpr unsigned kMsgHostWindow = kWmUser + 111;
inline constexpr unsigned kMsgDiagnosticsGone = kWmUser + 112;
inline constexpr unsigned kMsgDescreenAllowed = kWmUser + 150;
// The status text is cut to this many characters.
inline constexpr int kStatusTextMax = 79;

inline constexpr QEvent::Type kPageMessageType = static_cast<QEvent::Type>(QEvent::User + 0x400);

class PageMessage : public QEvent {
 public:
  PageMessage(unsigned message, uintptr_t wParam, intptr_t lParam)
      : QEvent(kPageMessageType), message(message), wParam(wParam), lParam(lParam) {}
  static const PageMessage* Of(const QEvent* e) {
    return e->type() == kPageMessageType ? static_cast<const PageMessage*>(e) : nullptr;
  }
  unsigned message;
  uintptr_t wParam;
  intptr_t lParam;
  bool shift = false;  // WM_USER+110: Shift held
  QString text;        // WM_USER+105: the status line (the event owns it)
};

inline void PostPageMessage(QObject* target, unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0,
                            const QString& text = {}) {
  if (!target) return;
  auto* m = new PageMessage(message, wParam, lParam);
  m->text = text;
  QCoreApplication::postEvent(target, m);
}

}  // namespace qlon::scanner::ui
