#pragma once
// Worker threads that read, rewrite and stage the pages of a link
// resolution (StageRewrite off the capture's thread), while the capture's
// thread takes the outcomes one by one in the order it added the jobs and
// applies them (ApplyRewrite), so the batch replaces the pages in the order
// of the sequential walk and the result is the same, byte for byte.
//
// What a worker touches: the page's file, a file of its own in the batch's
// staging folder, the link targets (which ask the capture's thread what
// they do not have at hand: every wait of that thread here answers them),
// a snapshot of the host-alias lists taken when the pool starts (through a recorder: the numeric hosts
// the capture's list lacks go back with the outcome, for the capture's
// thread to add). Nothing of the capture's tree, map list or records.
//
// Jobs are taken in the order added; Take waits for one, letting the
// window's messages run meanwhile. The workers start a page only while
// the pages started and not taken stay within LimitAhead's bytes (one page
// at least), so that on a disk short of room what they have staged and
// the capture's thread has not applied yet stays a few pages, whatever the
// size of the site: the disk needs room for those, not for a copy of every
// page. Drop forgets the jobs not taken: it waits for the
// pages at hand and removes what the workers staged, so the batch holds
// only pages whose outcome was applied. Between pages, the workers write
// the batch's other files and remove the old files of the pages replaced.
#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "PageRewrite.h"
#include "Urlutil.h"

namespace qlon {

class TLinkTargets;
class TReplaceBatch;
class TWeb;

class TRewritePool {
 public:
  // A page (or VRML world) as the capture's thread found it in the walk.
  struct TJob {
    std::string Url, LocalName, Path;
    bool World = false;
    uint64_t Size = 0;  // of the file, about what its staged copy takes
  };
  struct TOutcome {
    TStagedRewrite Staged;
    std::vector<std::string> Addresses;  // for NoteHostAddresses
    uint64_t Held = 0;  // the job's size, counted ahead until taken
  };

  // The capture's host list must be refreshed and the targets made on the
  // capture's thread; `threads` workers start at once.
  TRewritePool(TWeb& web, TLinkTargets& targets, TReplaceBatch& batch, const TRewriteOptions& options, int threads);
  ~TRewritePool();
  TRewritePool(const TRewritePool&) = delete;
  TRewritePool& operator=(const TRewritePool&) = delete;

  // The job's number, for Take.
  std::size_t Add(TJob job);
  // The job's outcome once a worker has it; `idle` runs about every 20 ms
  // until then. Each job is taken once.
  TOutcome Take(std::size_t job, const std::function<void()>& idle);
  void Drop();
  // Runs the task when no page waits, given the worker's lane (writes of
  // the batch's other files, TReplaceBatch::Background); the pool's end
  // waits for every task.
  void Post(std::function<void(int lane)> task);
  // Removes the files the same way (the old bytes of replaced pages,
  // TReplaceBatch::Dispose).
  void Remove(std::vector<std::filesystem::path> files);
  // Runs the tasks posted and not started on this thread, and waits for
  // those at hand: the old files removed have given their room back.
  void Settle();
  // The bytes of the pages started ahead of the one taken, at most.
  void LimitAhead(uint64_t bytes);
  // Gives back the room of what the workers staged ahead of the walk: the
  // staged files of the pages not taken go (those pages are then taken as
  // not staged, to be staged again by their taker), and no page starts
  // ahead until LimitAhead says so.
  void Unstage();

 private:
  void Work(int lane);
  // A page may be started now (under the lock).
  bool PageReady() const {
    if (queue_.empty()) return false;
    return heldBytes_ == 0 || queue_.front().second.Size <= aheadBytes_ - std::min(heldBytes_, aheadBytes_);
  }
  TOutcome Run(const TJob& job, int lane);
  // Waits (under the lock) until `done` holds, answering the targets'
  // questions meanwhile; with `idle`, runs it about every 20 ms.
  void WaitServing(std::unique_lock<std::mutex>& guard, const std::function<bool()>& done,
                   const std::function<void()>* idle = nullptr);

  TWeb& web_;
  TLinkTargets& targets_;
  TReplaceBatch& batch_;
  const TRewriteOptions options_;
  const THostAliasSnapshot hosts_;

  std::mutex lock_;
  std::condition_variable work_, ready_;
  std::deque<std::pair<std::size_t, TJob>> queue_;
  std::deque<std::function<void(int lane)>> tasks_;
  std::unordered_map<std::size_t, TOutcome> done_;
  std::size_t next_ = 0;       // the number of the next job added
  std::size_t dropBelow_ = 0;  // outcomes of jobs below are dropped
  uint64_t aheadBytes_ = UINT64_MAX;
  uint64_t heldBytes_ = 0;     // of the pages started and not taken
  int running_ = 0;  // pages at hand
  int tasking_ = 0;  // tasks at hand
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace qlon
