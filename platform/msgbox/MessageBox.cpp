#include "MessageBox.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace qlon::platform {

namespace {
std::atomic<MessageBoxHandler*> gHandler{nullptr};
}  // namespace

const char* ButtonName(int id) {
  switch (id) {
    case IDOK: return "OK";
    case IDCANCEL: return "Annuler";
    case IDABORT: return "Abandonner";
    case IDRETRY: return "Réessayer";
    case IDIGNORE: return "Ignorer";
    case IDYES: return "Oui";
    case IDNO: return "Non";
    case IDTRYAGAIN: return "Recommencer";
    case IDCONTINUE: return "Continuer";
  }
  return "?";
}

std::vector<int> MessageBoxRequest::Buttons() const {
  switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    case MB_CANCELTRYCONTINUE: return {IDCANCEL, IDTRYAGAIN, IDCONTINUE};
    default: return {IDOK};
  }
}

MessageIcon MessageBoxRequest::Icon() const {
  switch (flags & MB_ICONMASK) {
    case MB_ICONHAND: return MessageIcon::Error;
    case MB_ICONQUESTION: return MessageIcon::Question;
    case MB_ICONEXCLAMATION: return MessageIcon::Warning;
    case MB_ICONASTERISK: return MessageIcon::Information;
    default: return MessageIcon::None;
  }
}

int MessageBoxRequest::DefaultButton() const {
  const std::vector<int> buttons = Buttons();
  const std::size_t index = (flags & MB_DEFMASK) >> 8;
  return index < buttons.size() ? buttons[index] : buttons.front();
}

int MessageBoxRequest::EscapeButton() const {
  const std::vector<int> buttons = Buttons();
  if (std::find(buttons.begin(), buttons.end(), IDCANCEL) != buttons.end()) return IDCANCEL;
  return buttons.size() == 1 ? buttons.front() : 0;
}

MessageBoxHandler* SetMessageBoxHandler(MessageBoxHandler* handler) { return gHandler.exchange(handler); }

MessageBoxHandler* CurrentMessageBoxHandler() { return gHandler.load(); }

int MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  const MessageBoxRequest request{text, caption, flags};
  if (MessageBoxHandler* handler = gHandler.load()) return handler->Show(request);
  const int answer = request.DefaultButton();
  std::fprintf(stderr, "[%s] %s -> %s\n", caption.c_str(), text.c_str(), ButtonName(answer));
  return answer;
}

ScriptedMessageBoxes::ScriptedMessageBoxes(std::deque<int> answers)
    : answers_(std::move(answers)), previous_(SetMessageBoxHandler(this)) {}

ScriptedMessageBoxes::~ScriptedMessageBoxes() { SetMessageBoxHandler(previous_); }

int ScriptedMessageBoxes::Show(const MessageBoxRequest& request) {
  shown.push_back(request);
  if (answers_.empty()) return request.DefaultButton();
  const int answer = answers_.front();
  answers_.pop_front();
  const std::vector<int> buttons = request.Buttons();
  if (std::find(buttons.begin(), buttons.end(), answer) == buttons.end()) {
    refused.push_back(answer);
    return request.DefaultButton();
  }
  return answer;
}

}  // namespace qlon::platform
