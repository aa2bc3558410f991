#pragma once
// The programs' message box: MessageBox's flags (a button set, an icon, a
// default button) and results, shown by whatever handler is installed.
//
//   flags = buttons (MB_OK ... MB_RETRYCANCEL, low 4 bits)
//         | icon    (MB_ICONHAND ... MB_ICONASTERISK, bits 4-7)
//         | default (MB_DEFBUTTON1..3, bits 8-11)
//
// The shell installs the QMessageBox handler (widgets/QtMessageBox.h);
// tests install ScriptedMessageBoxes. With no handler (a capture run with
// no window) the box is written to stderr and answered with its default
// button, as a user pressing Enter would.
#include <deque>
#include <string>
#include <vector>

namespace qlon::platform {

// Button sets.
inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_OKCANCEL = 0x1;
inline constexpr unsigned MB_ABORTRETRYIGNORE = 0x2;
inline constexpr unsigned MB_YESNOCANCEL = 0x3;
inline constexpr unsigned MB_YESNO = 0x4;
inline constexpr unsigned MB_RETRYCANCEL = 0x5;
inline constexpr unsigned MB_CANCELTRYCONTINUE = 0x6;
inline constexpr unsigned MB_TYPEMASK = 0xF;
// Icons.
inline constexpr unsigned MB_ICONHAND = 0x10;
inline constexpr unsigned MB_ICONERROR = MB_ICONHAND;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30;
inline constexpr unsigned MB_ICONWARNING = MB_ICONEXCLAMATION;
inline constexpr unsigned MB_ICONASTERISK = 0x40;
inline constexpr unsigned MB_ICONINFORMATION = MB_ICONASTERISK;
inline constexpr unsigned MB_ICONMASK = 0xF0;
// Default button.
inline constexpr unsigned MB_DEFBUTTON1 = 0x000;
inline constexpr unsigned MB_DEFBUTTON2 = 0x100;
inline constexpr unsigned MB_DEFBUTTON3 = 0x200;
inline constexpr unsigned MB_DEFMASK = 0xF00;

// Results: the button pressed.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
inline constexpr int IDTRYAGAIN = 10;
inline constexpr int IDCONTINUE = 11;

enum class MessageIcon { None, Error, Question, Warning, Information };

struct MessageBoxRequest {
  std::string text;     // UTF-8
  std::string caption;  // UTF-8
  unsigned flags = MB_OK;

  // The buttons shown, left to right, as their results. A button set that
  // MessageBox does not know (7 and above) shows OK alone, so that the
  // message is still seen.
  std::vector<int> Buttons() const;
  MessageIcon Icon() const;
  // The result of the default button (the first when the flags name a
  // button the set does not have).
  int DefaultButton() const;
  // What closing the box (Escape) answers: Cancel when shown, OK for a
  // box with OK alone; 0 when the box cannot be closed that way.
  int EscapeButton() const;
};

class MessageBoxHandler {
 public:
  virtual ~MessageBoxHandler() = default;
  // Shows the box and returns the button pressed (one of Buttons()).
  virtual int Show(const MessageBoxRequest& request) = 0;
};

// The French name of a result's button ("Oui", "Annuler", ...).
const char* ButtonName(int id);

// Installs a handler (not owned; nullptr restores the default) and returns
// the previous one.
MessageBoxHandler* SetMessageBoxHandler(MessageBoxHandler* handler);
MessageBoxHandler* CurrentMessageBoxHandler();

// Shows a box through the installed handler; returns the button pressed.
int MessageBox(const std::string& text, const std::string& caption, unsigned flags);

// A handler for tests: records every box and answers from a script, then
// with each box's default button. Installed for its lifetime.
class ScriptedMessageBoxes : public MessageBoxHandler {
 public:
  explicit ScriptedMessageBoxes(std::deque<int> answers = {});
  ~ScriptedMessageBoxes() override;
  ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
  ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

  int Show(const MessageBoxRequest& request) override;
  void Answer(int button) { answers_.push_back(button); }

  std::vector<MessageBoxRequest> shown;
  // Scripted answers that the box did not offer (a test fault).
  std::vector<int> refused;

 private:
  std::deque<int> answers_;
  MessageBoxHandler* previous_;
};

}  // namespace qlon::platform
