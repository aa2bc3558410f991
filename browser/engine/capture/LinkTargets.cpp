#include "LinkTargets.h"

#include "Urlutil.h"
#include "Web.h"

namespace qlon {

TLinkTargets::TLinkTargets(TWeb& web) : web_(web), owner_(std::this_thread::get_id()) {}

TLinkTargets::~TLinkTargets() = default;

std::string TLinkTargets::Path(const std::string& url) {
  TPaths paths{{url, {}}};
  Paths(paths);
  return std::move(paths.begin()->second);
}

void TLinkTargets::Paths(TPaths& paths) {
  auto question = std::make_shared<TQuestion>();
  std::unique_lock guard(lock_);
  for (auto& [url, path] : paths) {
    if (const std::string* kept = Kept(url))
      path = *kept;
    else
      question->Urls.push_back(url);
  }
  if (question->Urls.empty()) return;
  if (std::this_thread::get_id() == owner_) {
    guard.unlock();
    for (const std::string& url : question->Urls) {
      std::string path = Lookup(url);
      guard.lock();
      Keep(url, path);
      guard.unlock();
      paths[url] = std::move(path);
    }
    return;
  }
  questions_.push_back(question);
  guard.unlock();
  if (OnAsked) OnAsked();
  guard.lock();
  answered_.wait(guard, [&] { return question->Answered; });
  // The answers come with the question: more of them than are kept is no
  // matter.
  for (std::size_t i = 0; i < question->Urls.size(); ++i) paths[question->Urls[i]] = std::move(question->Paths[i]);
}

void TLinkTargets::Note(const std::string& url, const std::string& path) {
  std::lock_guard guard(lock_);
  Keep(url, path);
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
  // The asker met the URL's numeric host already and tells the capture's
  // list in its own turn: answering leaves the list as it is.
  if (!hosts_) hosts_ = std::make_unique<THostAliasSnapshot>(TakeHostAliasSnapshot());
  THostAddressRecorder recorder(*hosts_);
  for (auto& question : questions) {
    // This thread alone changes what is kept: it reads it without the lock.
    question->Paths.reserve(question->Urls.size());
    for (const std::string& url : question->Urls) {
      const std::string* kept = Kept(url);
      question->Paths.push_back(kept ? *kept : Lookup(url));
    }
    {
      std::lock_guard guard(lock_);
      for (std::size_t i = 0; i < question->Urls.size(); ++i) Keep(question->Urls[i], question->Paths[i]);
      question->Answered = true;
    }
    answered_.notify_all();
  }
}

std::string TLinkTargets::Lookup(const std::string& url) const {
  TWebFile record(&web_);
  if (!web_.FindUrl(url, record) || !record.IsRetrieved()) return {};
  return record.GetExistingPath();
}

const std::string* TLinkTargets::Kept(const std::string& url) const {
  if (const auto it = paths_.find(url); it != paths_.end()) return &it->second;
  if (const auto it = older_.find(url); it != older_.end()) return &it->second;
  return nullptr;
}

void TLinkTargets::Keep(const std::string& url, const std::string& path) {
  if (paths_.size() >= kKept / 2) {
    older_ = std::move(paths_);
    paths_.clear();
  }
  paths_.try_emplace(url, path);
}

}  // namespace qlon
