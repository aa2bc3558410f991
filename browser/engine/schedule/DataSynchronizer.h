#pragma once
// TDataSynchronizer: up to five participants (threads or processes) share
// one piece of data (the scheduler state in the registry) under a
// readers/writer discipline, and each writer tells the others that the data
// changed. Every participant takes its own index 0..4.
//
// Named objects, all under the run folder of the platform root:
//   name + "_MutexNoWriter"      NamedMutex: held by a writer for its write,
//                                and briefly by a reader registering itself
//   name + "_Readers"            NamedSharedLock: every registered reader
//                                holds it shared; "no reader" is "it can be
//                                taken exclusively"
//   name + "_EventDataToRead" i  NamedEvent per index, manual reset: set by
//                                every write of another index
//
// Every hold is a lock on an open file, so a participant that dies while
// writing or reading releases it with its process: the others never wait
// for a dead participant for more than one time-out. (A counting semaphore
// of readers would stay above zero for a reader that died.)
//
// Invariant: a reader registers only while holding the writer mutex, and a
// writer keeps the mutex for its whole write, so no reader registers during
// a write.
#include <array>
#include <memory>
#include <string>

#include "NamedEvent.h"
#include "NamedMutex.h"
#include "NamedSharedLock.h"

namespace qlon {

class TDataSynchronizer {
 public:
  static constexpr int kParticipants = 5;
  // The wait of every scheduler poll and write.
  static constexpr int kPollTimeoutMs = 258;

  // An empty name is replaced by "Sync_"; an index outside 0..4 raises
  // std::out_of_range.
  TDataSynchronizer(std::string name, int index);
  TDataSynchronizer(const TDataSynchronizer&) = delete;
  TDataSynchronizer& operator=(const TDataSynchronizer&) = delete;
  ~TDataSynchronizer();

  // True when another participant wrote since this one last read, and this
  // one is now registered as a reader (until EndRead). A time-out on the
  // writer mutex keeps the notification for the next call.
  bool WaitData(int timeoutMs);
  void EndRead();
  // True when this participant holds the writer mutex and no reader is
  // registered (until EndWrite).
  bool BeginWrite(int timeoutMs);
  // Ends the write and notifies every other index.
  void EndWrite();

  const std::string& name() const { return name_; }
  int index() const { return index_; }

 private:
  std::string name_;
  int index_;
  platform::NamedMutex writerMutex_;
  platform::NamedSharedLock readers_;
  std::array<std::unique_ptr<platform::NamedEvent>, kParticipants> dataToRead_;
  bool reading_ = false;
  bool writing_ = false;
};

}  // namespace qlon
