#pragma once
// qlonwin: the few window calls of the scanner driver (a modeless notice,
// its repaint, the hourglass), for a library that links no GUI itself. It
// is loaded at run time by file name (kNoticeWindowFileName) and draws with
// the host's Qt application. Every entry point may be called in any
// process and on any thread: without a QApplication, or off its thread,
// nothing is shown and nothing waits.
extern "C" {
// Shows a modeless notice with one text (UTF-8; "\n" breaks lines) and a
// caption. Its owner is the top-level window titled exactly `ownerTitle`
// (a visible one first) and it stands alone when there is none. Null when
// nothing is shown.
typedef void* (*QlonNoticeOpenFn)(const char* ownerTitle, const char* caption, const char* text);
// Paints the notice now. A window that has only just appeared is painted
// once the window system exposed it, so until then (a quarter of a second
// at most) this lets the window system's events and posted events through,
// as a splash screen does; never the user's input, sockets or timers.
typedef void (*QlonNoticeRepaintFn)(void* notice);
// Closes and destroys the notice (also one the user closed already).
typedef void (*QlonNoticeCloseFn)(void* notice);
// on = 1 puts the hourglass over the application, on = 0 takes it back.
// Returns 1 when it did, so that a caller takes back only what it put.
typedef int (*QlonWaitCursorFn)(int on);

void* qlonwin_notice_open(const char* ownerTitle, const char* caption, const char* text);
void qlonwin_notice_repaint(void* notice);
void qlonwin_notice_close(void* notice);
int qlonwin_wait_cursor(int on);
}

inline constexpr const char* kNoticeWindowFileName = "qlonwin.so";
inline constexpr const char* kNoticeOpen = "qlonwin_notice_open";
inline constexpr const char* kNoticeRepaint = "qlonwin_notice_repaint";
inline constexpr const char* kNoticeClose = "qlonwin_notice_close";
inline constexpr const char* kWaitCursor = "qlonwin_wait_cursor";
