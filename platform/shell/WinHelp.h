#pragma once
// WinHelp: a help file opened at a topic. The help files of these programs
// are HTML pages whose topics are anchors "topic<N>"; the file opens with
// the desktop's viewer (OpenItem, so it goes through the installed shell
// handler and tests record it) as "file:///path#topic<N>".
//
// The commands keep their Win32 numbers. HELP_CONTEXT takes the topic
// number; HELP_WM_HELP and HELP_CONTEXTMENU take a help-id table (pairs of
// control id and topic, ended by a 0 control id) and the control that asked.
#include <cstdint>
#include <string>

namespace qlon::platform {

inline constexpr unsigned HELP_CONTEXT = 0x0001;
inline constexpr unsigned HELP_QUIT = 0x0002;
inline constexpr unsigned HELP_CONTEXTMENU = 0x000a;
inline constexpr unsigned HELP_WM_HELP = 0x000c;

// HELP_CONTEXT with `data` the topic, HELP_QUIT (nothing to close: true).
// False when the file does not exist or the viewer could not be started.
bool WinHelp(const std::string& helpFile, unsigned command, uintptr_t data);
// HELP_WM_HELP / HELP_CONTEXTMENU: the topic of `controlId` in the table; a
// control without a topic opens nothing and gives false.
bool WinHelpForControl(const std::string& helpFile, unsigned command, const uint32_t* idTable, int controlId);

// The URL WinHelp opens for a topic (0: the file's start).
std::string HelpTopicUrl(const std::string& helpFile, uint32_t topic);

}  // namespace qlon::platform
