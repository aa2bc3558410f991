#include "DataSynchronizer.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace qlon {

namespace {

std::string ObjectBaseName(std::string name) { return name.empty() ? std::string("Sync_") : name; }

// What is left of a time-out started at `start`; negative stays "forever".
int Remaining(int timeoutMs, std::chrono::steady_clock::time_point start) {
  if (timeoutMs < 0) return timeoutMs;
  const auto spent =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  return static_cast<int>(std::max<long long>(0, timeoutMs - spent));
}

}  // namespace

TDataSynchronizer::TDataSynchronizer(std::string name, int index)
    : name_(ObjectBaseName(std::move(name))),
      index_(index),
      writerMutex_(name_ + "_MutexNoWriter"),
      readers_(name_ + "_Readers") {
  if (index < 0 || index >= kParticipants) throw std::out_of_range("synchronizer index out of range");
  for (int i = 0; i < kParticipants; ++i)
    dataToRead_[i] = std::make_unique<platform::NamedEvent>(name_ + "_EventDataToRead" + std::to_string(i), false);
}

TDataSynchronizer::~TDataSynchronizer() {
  if (writing_) EndWrite();
  if (reading_) EndRead();
}

bool TDataSynchronizer::WaitData(int timeoutMs) {
  const auto start = std::chrono::steady_clock::now();
  platform::NamedEvent& own = *dataToRead_[index_];
  if (!own.Wait(timeoutMs)) return false;
  if (!writerMutex_.Lock(Remaining(timeoutMs, start))) return false;
  // Reset only once the mutex is ours: a write in between sets it again
  // and is read by the next call, never lost.
  own.Reset();
  reading_ = readers_.LockShared(-1);  // no writer can hold it: we hold the mutex
  writerMutex_.Unlock();
  return reading_;
}

void TDataSynchronizer::EndRead() {
  readers_.Unlock();
  reading_ = false;
}

bool TDataSynchronizer::BeginWrite(int timeoutMs) {
  const auto start = std::chrono::steady_clock::now();
  if (!writerMutex_.Lock(timeoutMs)) return false;
  if (!readers_.LockExclusive(Remaining(timeoutMs, start))) {
    writerMutex_.Unlock();
    return false;
  }
  writing_ = true;
  return true;
}

void TDataSynchronizer::EndWrite() {
  readers_.Unlock();
  writerMutex_.Unlock();
  writing_ = false;
  for (int i = 0; i < kParticipants; ++i)
    if (i != index_) dataToRead_[i]->Set();
}

}  // namespace qlon
