#pragma once
// A named manual-reset event shared by every process of the user: one state
// byte ('1' signalled, anything else not) in "<name>.event" in the run
// folder of the platform root.
//
// The state outlives the processes that use it, like an event that some
// participant keeps open; the initial state applies only when the file is
// created. Waiting polls the byte every few milliseconds, so a waiter that
// dies leaves nothing behind.
#include <string>

namespace qlon::platform {

class NamedEvent {
 public:
  NamedEvent(std::string name, bool initiallySignalled);
  ~NamedEvent();
  NamedEvent(const NamedEvent&) = delete;
  NamedEvent& operator=(const NamedEvent&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  void Set();
  void Reset();
  bool IsSet() const;
  // Waits at most timeoutMs (negative: forever) for the signalled state;
  // the state is left as it is.
  bool Wait(int timeoutMs) const;

 private:
  void Write(char state);

  std::string name_;
  int fd_ = -1;
};

}  // namespace qlon::platform
