#pragma once
// Worker threads that read, rewrite and stage the pages of a link
// resolution (StageRewrite off the capture's thread), while the capture's
// thread takes the outcomes one by one in the order it added the jobs and
// applies them (ApplyRewrite), so the batch replaces the pages in the order
// of the sequential walk and the result is the same, byte for byte.
//
// What a worker touches: the page's file, a file of its own in the batch's
// staging folder, the frozen link targets and a snapshot of the host-alias
// lists taken when the pool starts (through a recorder: the numeric hosts
// the capture's list lacks go back with the outcome, for the capture's
// thread to add). Nothing of the capture's tree, map list or records.
//
// Jobs are taken in the order added; Take waits for one, letting the
// window's messages run meanwhile. Drop forgets the jobs not taken: it
// waits for the pages at hand and removes what the workers staged, so the
// batch holds only pages whose outcome was applied. Between pages, the
// workers write the batch's other files and remove the old files of the
// pages replaced.
#include <condition_variable>
#include <cstddef>
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
  };
  struct TOutcome {
    TStagedRewrite Staged;
    std::vector<std::string> Addresses;  // for NoteHostAddresses
  };

  // The targets must be frozen and the capture's host list refreshed;
  // `threads` workers start at once.
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

 private:
  void Work(int lane);
  TOutcome Run(const TJob& job, int lane);

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
  int running_ = 0;  // pages at hand
  int tasking_ = 0;  // tasks at hand
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace qlon
