#include "RewritePool.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "LinkTargets.h"
#include "Urlutil.h"
#include "Web.h"

namespace qlon {

namespace {

void RemoveStaged(const TRewritePool::TOutcome& outcome) {
  std::error_code ec;
  if (!outcome.Staged.Staged.empty()) std::filesystem::remove(outcome.Staged.Staged, ec);
}

}  // namespace

TRewritePool::TRewritePool(TWeb& web, TLinkTargets& targets, TReplaceBatch& batch, const TRewriteOptions& options,
                           int threads)
    : web_(web), targets_(targets), batch_(batch), options_(options), hosts_(TakeHostAliasSnapshot()) {
  // The lock makes sure a wait that has just found no question still hears of it.
  targets_.OnAsked = [this] {
    { std::lock_guard guard(lock_); }
    ready_.notify_all();
  };
  for (int i = 0; i < std::max(threads, 1); ++i) workers_.emplace_back([this, i] { Work(i + 1); });
}

TRewritePool::~TRewritePool() {
  Drop();
  {
    std::unique_lock guard(lock_);
    ready_.wait(guard, [&] { return tasks_.empty() && tasking_ == 0; });
    stop_ = true;
  }
  work_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  targets_.OnAsked = {};
}

void TRewritePool::WaitServing(std::unique_lock<std::mutex>& guard, const std::function<bool()>& done,
                               const std::function<void()>* idle) {
  while (!done()) {
    if (targets_.Asked()) {
      guard.unlock();
      targets_.Serve();
      guard.lock();
      continue;
    }
    const auto woken = [&] { return done() || targets_.Asked(); };
    if (!idle) {
      ready_.wait(guard, woken);
    } else if (!ready_.wait_for(guard, std::chrono::milliseconds(20), woken) && *idle) {
      guard.unlock();
      (*idle)();
      guard.lock();
    }
  }
}

void TRewritePool::Post(std::function<void(int lane)> task) {
  {
    std::lock_guard guard(lock_);
    tasks_.push_back(std::move(task));
  }
  work_.notify_one();
}

void TRewritePool::Remove(std::vector<std::filesystem::path> files) {
  // A few at a time, so that a page added meanwhile waits little.
  for (size_t at = 0; at < files.size(); at += 16) {
    std::vector<std::filesystem::path> part(files.begin() + std::ptrdiff_t(at),
                                            files.begin() + std::ptrdiff_t(std::min(at + 16, files.size())));
    Post([part = std::move(part)](int) {
      for (const auto& file : part) ::unlink(file.c_str());
    });
  }
}

std::size_t TRewritePool::Add(TJob job) {
  std::size_t number;
  {
    std::lock_guard guard(lock_);
    number = next_++;
    queue_.emplace_back(number, std::move(job));
  }
  work_.notify_one();
  return number;
}

TRewritePool::TOutcome TRewritePool::Take(std::size_t job, const std::function<void()>& idle) {
  std::unique_lock guard(lock_);
  WaitServing(guard, [&] { return done_.count(job) != 0; }, &idle);
  const auto it = done_.find(job);
  TOutcome outcome = std::move(it->second);
  done_.erase(it);
  const bool ready = PageReady();
  heldBytes_ -= std::min(heldBytes_, outcome.Held);
  if (!ready && PageReady()) work_.notify_all();  // room ahead again
  return outcome;
}

void TRewritePool::Drop() {
  std::unordered_map<std::size_t, TOutcome> dropped;
  {
    std::unique_lock guard(lock_);
    queue_.clear();
    dropBelow_ = next_;
    WaitServing(guard, [&] { return running_ == 0; });
    dropped.swap(done_);
    heldBytes_ = 0;
  }
  for (const auto& [number, outcome] : dropped) RemoveStaged(outcome);
}

void TRewritePool::Settle() {
  std::unique_lock guard(lock_);
  while (!tasks_.empty()) {
    auto task = std::move(tasks_.front());
    tasks_.pop_front();
    guard.unlock();
    task(0);
    guard.lock();
  }
  ready_.wait(guard, [&] { return tasking_ == 0; });
}

void TRewritePool::LimitAhead(uint64_t bytes) {
  {
    std::lock_guard guard(lock_);
    aheadBytes_ = bytes;
  }
  work_.notify_all();
}

void TRewritePool::Unstage() {
  std::unique_lock guard(lock_);
  aheadBytes_ = 0;
  WaitServing(guard, [&] { return running_ == 0; });
  for (auto& [number, outcome] : done_) {
    TStagedRewrite& staged = outcome.Staged;
    if (!staged.Staged.empty()) {
      RemoveStaged(outcome);
      staged.Staged.clear();
      staged.Error = ENOSPC;
    }
    outcome.Held = 0;
  }
  heldBytes_ = 0;
}

void TRewritePool::Work(int lane) {
  std::unique_lock guard(lock_);
  for (;;) {
    work_.wait(guard, [&] { return stop_ || PageReady() || !tasks_.empty(); });
    if (!PageReady() && !tasks_.empty()) {
      auto task = std::move(tasks_.front());
      tasks_.pop_front();
      ++tasking_;
      guard.unlock();
      task(lane);
      guard.lock();
      --tasking_;
      ready_.notify_all();
      continue;
    }
    if (!PageReady()) return;  // stopped
    auto [number, job] = std::move(queue_.front());
    queue_.pop_front();
    ++running_;
    heldBytes_ += job.Size;
    guard.unlock();
    TOutcome outcome = Run(job, lane);
    outcome.Held = job.Size;
    guard.lock();
    --running_;
    if (number < dropBelow_) {
      RemoveStaged(outcome);
      heldBytes_ -= std::min(heldBytes_, outcome.Held);
    } else {
      done_.emplace(number, std::move(outcome));
    }
    ready_.notify_all();
  }
}

TRewritePool::TOutcome TRewritePool::Run(const TJob& job, int lane) {
  TOutcome outcome;
  THostAddressRecorder hosts(hosts_);
  try {
    TWebFile file(&web_);
    file.FullUrl = job.Url;
    file.SetLocalName(job.LocalName);
    outcome.Staged = StageRewrite(web_, file, job.Path, job.World, options_, batch_, &targets_, lane);
  } catch (...) {
    // Out of memory: the page stays as it is, as when it cannot be read.
    outcome = {};
  }
  outcome.Addresses = hosts.Take();
  return outcome;
}

}  // namespace qlon
