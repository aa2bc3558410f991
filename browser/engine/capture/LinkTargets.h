#pragma once
// The local files that links lead to, looked up in the capture's tree for a
// link resolution: a site's pages link to the same targets over and over,
// and each lookup costs a search of the tree and a stat, so the answers are
// kept, the latest kKept of them at most, so that memory stays the same
// whatever the size of the capture. The walk of the records tells what it
// found of each (Note), so that links into the part at hand mostly need no
// lookup at all.
//
// The tree belongs to the thread that made the table (the capture's). Any
// thread may ask (a page's rewrite runs on worker threads): the answers not
// at hand are asked of the capture's thread in one question (a page asks
// for all its links at once), and the asker waits until that thread calls
// Serve. Whoever makes the capture's thread wait for an asker must serve
// meanwhile (TRewritePool does); OnAsked tells that a question came in
// (from the asking thread, with no lock of this table held).
// Valid while no record changes its state or local name and no saved file
// is removed: the resolution only rewrites pages in place, so one lives
// exactly as long as a resolution.
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace qlon {

class TWeb;
struct THostAliasSnapshot;

class TLinkTargets {
 public:
  static constexpr std::size_t kKept = std::size_t(1) << 14;
  // URL -> the absolute path of the captured file it names.
  using TPaths = std::unordered_map<std::string, std::string>;

  explicit TLinkTargets(TWeb& web);
  ~TLinkTargets();

  // The absolute path of the captured file `url` names, as the capture's
  // tree answers (redirects followed, a numeric host known by name found
  // under either); empty when the URL has no retrieved record or its file
  // is missing.
  std::string Path(const std::string& url);
  // The same for every URL the map holds, asked at once.
  void Paths(TPaths& paths);
  // On the capture's thread: what the walk found of a record (its URL, and
  // its file's path when retrieved and there), kept as the tree's answer.
  void Note(const std::string& url, const std::string& path);

  // On the capture's thread: whether a question waits, and answering every
  // one that does.
  bool Asked() const;
  void Serve();
  std::function<void()> OnAsked;

 private:
  struct TQuestion {
    std::vector<std::string> Urls, Paths;
    bool Answered = false;
  };
  // The tree's answer (the capture's thread only).
  std::string Lookup(const std::string& url) const;
  // Under the lock (or on the capture's thread, which alone changes them).
  const std::string* Kept(const std::string& url) const;
  void Keep(const std::string& url, const std::string& path);

  TWeb& web_;
  const std::thread::id owner_;
  mutable std::mutex lock_;
  std::condition_variable answered_;
  // The answers kept: the latest, and the half before them.
  TPaths paths_, older_;
  std::vector<std::shared_ptr<TQuestion>> questions_;
  std::unique_ptr<THostAliasSnapshot> hosts_;  // what answers read numeric hosts in
};

}  // namespace qlon
