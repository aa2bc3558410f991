#pragma once
// What the shell's long commands do around their work: the hourglass while
// they run, and letting pending events run before and after, so that the
// window repaints and the stop command is heard.

namespace qlon::shell {

// The hourglass for the life of the object; exceptions cannot leave it set.
class TWaitCursor {
 public:
  TWaitCursor();
  ~TWaitCursor();
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
};

// Lets pending events run once.
void ProcessMessages();

}  // namespace qlon::shell
