#include "Unattended.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "UtilsText.h"

namespace qlon::shell {

using namespace platform;

namespace {

std::atomic<TUnattended*> gCurrent{nullptr};

bool Offers(const std::vector<int>& buttons, int id) {
  return std::find(buttons.begin(), buttons.end(), id) != buttons.end();
}

// One line: a box's line breaks become blanks.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  std::string out;
  for (char c : text)
    if (c != ' ' || out.empty() || out.back() != ' ') out += c;
  return out;
}

}  // namespace

TUnattended::TUnattended() : shown_(SetMessageBoxHandler(this)), outer_(gCurrent.exchange(this)) {}

TUnattended::~TUnattended() {
  gCurrent.store(outer_);
  SetMessageBoxHandler(shown_);
}

TUnattended* TUnattended::Current() { return gCurrent.load(); }

void TUnattended::Set(Reason reason, bool on) {
  if (on)
    reasons_.fetch_or(reason);
  else
    reasons_.fetch_and(~unsigned(reason));
}

int TUnattended::Answer(const MessageBoxRequest& request) {
  const std::vector<int> buttons = request.Buttons();
  for (int id : {IDCANCEL, IDNO, IDABORT})
    if (Offers(buttons, id)) return id;
  return request.DefaultButton();
}

int TUnattended::Show(const MessageBoxRequest& request) {
  if (!Active() && shown_) return shown_->Show(request);
  return Answered(request, Answer(request));
}

int TUnattended::Answered(const MessageBoxRequest& request, int answer) {
  const MessageIcon icon = request.Icon();
  if (icon == MessageIcon::Error || icon == MessageIcon::Warning) failures_.fetch_add(1);
  std::string text = request.text;
  // A question says what was answered in the person's place.
  if (request.Buttons().size() > 1) text += std::string(" -> ") + ButtonName(answer);
  Report(request.caption, text);
  return answer;
}

void TUnattended::Report(const std::string& caption, const std::string& text) {
  // A name from a file or the command line may hold anything: no control
  // byte nor broken character reaches the terminal or the journal raw.
  const std::string line = PrintableText(OneLine("[" + caption + "] " + text));
  std::fprintf(stderr, "qlon98: %s\n", line.c_str());
  std::fflush(stderr);
  if (Journal) Journal(line);
}

TUnattendedScope::TUnattendedScope(TUnattended& unattended, TUnattended::Reason reason,
                                   std::function<void(const std::string& line)> journal)
    : unattended_(unattended), reason_(reason), wasSet_(unattended.Has(reason)) {
  journal_ = std::exchange(unattended_.Journal, std::move(journal));
  unattended_.Set(reason_, true);
}

TUnattendedScope::~TUnattendedScope() {
  unattended_.Set(reason_, wasSet_);
  unattended_.Journal = std::move(journal_);
}

bool MayAsk(const std::string& caption) {
  TUnattended* unattended = TUnattended::Current();
  if (!unattended || !unattended->Active()) return true;
  unattended->Report(caption, "aucune réponse possible sans utilisateur : abandonné");
  return false;
}

}  // namespace qlon::shell
