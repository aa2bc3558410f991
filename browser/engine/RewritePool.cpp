#include "RewritePool.h"

#include <unistd.h>

#include <algorithm>
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
  for (int i = 0; i < std::max(threads, 1); ++i) workers_.emplace_back([this, i] { Work(i + 1); });
}

TRewritePool::~TRewritePool() {
  Drop();
  {
    std::unique_lock guard(lock_);
    ready_.wait(guard, [&] { return removals_.empty() && removing_ == 0; });
    stop_ = true;
  }
  work_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void TRewritePool::Remove(std::vector<std::filesystem::path> files) {
  {
    std::lock_guard guard(lock_);
    removals_.insert(removals_.end(), std::make_move_iterator(files.begin()), std::make_move_iterator(files.end()));
  }
  work_.notify_all();
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
  for (;;) {
    if (auto it = done_.find(job); it != done_.end()) {
      TOutcome outcome = std::move(it->second);
      done_.erase(it);
      return outcome;
    }
    if (!ready_.wait_for(guard, std::chrono::milliseconds(20), [&] { return done_.count(job) != 0; }) && idle) {
      guard.unlock();
      idle();
      guard.lock();
    }
  }
}

void TRewritePool::Drop() {
  std::unordered_map<std::size_t, TOutcome> dropped;
  {
    std::unique_lock guard(lock_);
    queue_.clear();
    dropBelow_ = next_;
    ready_.wait(guard, [&] { return running_ == 0; });
    dropped.swap(done_);
  }
  for (const auto& [number, outcome] : dropped) RemoveStaged(outcome);
}

void TRewritePool::Work(int lane) {
  std::unique_lock guard(lock_);
  for (;;) {
    work_.wait(guard, [&] { return stop_ || !queue_.empty() || !removals_.empty(); });
    if (queue_.empty() && !removals_.empty()) {
      // A few at a time, so that a page added meanwhile waits little.
      const size_t n = std::min<size_t>(removals_.size(), 16);
      std::vector<std::filesystem::path> files(std::make_move_iterator(removals_.end() - std::ptrdiff_t(n)),
                                               std::make_move_iterator(removals_.end()));
      removals_.resize(removals_.size() - n);
      ++removing_;
      guard.unlock();
      for (const auto& file : files) ::unlink(file.c_str());
      guard.lock();
      --removing_;
      ready_.notify_all();
      continue;
    }
    if (queue_.empty()) return;  // stopped
    auto [number, job] = std::move(queue_.front());
    queue_.pop_front();
    ++running_;
    guard.unlock();
    TOutcome outcome = Run(job, lane);
    guard.lock();
    --running_;
    if (number < dropBelow_)
      RemoveStaged(outcome);
    else
      done_.emplace(number, std::move(outcome));
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
