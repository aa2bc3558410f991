#include "LinkTargets.h"

#include "Urlutil.h"
#include "Web.h"

namespace qlon {

TLinkTargets::TLinkTargets(TWeb& web) : web_(web), owner_(std::this_thread::get_id()) {}

TLinkTargets::~TLinkTargets() = default;

std::string TLinkTargets::Path(const std::string& url) {
  std::unique_lock guard(lock_);
  if (const auto it = paths_.find(url); it != paths_.end()) return it->second;
  if (std::this_thread::get_id() == owner_) {
    guard.unlock();
    std::string path = Lookup(url);
    guard.lock();
    Keep(url, path);
    return path;
  }
  auto question = std::make_shared<TQuestion>();
  question->Url = url;
  questions_.push_back(question);
  guard.unlock();
  if (OnAsked) OnAsked();
  guard.lock();
  answered_.wait(guard, [&] { return question->Answered; });
  return question->Path;
}

bool TLinkTargets::Asked() const {
  std::lock_guard guard(lock_);
  return !questions_.empty();
}

void TLinkTargets::Serve() {
  std::vector<std::shared_ptr<TQuestion>> questions;
  {
    std::lock_guard guard(lock_);
    if (questions_.empty()) return;
    questions.swap(questions_);
  }
  {
    // The asker met the URL's numeric host already and tells the capture's
    // list in its own turn: answering leaves the list as it is.
    if (!hosts_) hosts_ = std::make_unique<THostAliasSnapshot>(TakeHostAliasSnapshot());
    THostAddressRecorder recorder(*hosts_);
    for (auto& question : questions) question->Path = Lookup(question->Url);
  }
  {
    std::lock_guard guard(lock_);
    for (auto& question : questions) {
      Keep(question->Url, question->Path);
      question->Answered = true;
    }
  }
  answered_.notify_all();
}

std::string TLinkTargets::Lookup(const std::string& url) const {
  TWebFile record(&web_);
  if (!web_.FindUrl(url, record) || !record.IsRetrieved()) return {};
  return record.GetExistingPath();
}

void TLinkTargets::Keep(const std::string& url, const std::string& path) {
  if (paths_.size() >= kKept) paths_.clear();
  paths_.try_emplace(url, path);
}

}  // namespace qlon
