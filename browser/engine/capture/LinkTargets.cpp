#include "LinkTargets.h"

#include "Urlutil.h"
#include "Web.h"

namespace qlon {

namespace {

const std::string kNone;

// The key of the record a URL names, as the tree keys it: the folder URL
// followed by the document.
std::string KeyOf(const TUrl& url) { return url.GetDirectoryUrl() + url.GetDocument(); }

}  // namespace

const std::string& TLinkTargets::Path(const std::string& url) {
  if (frozen_) return FrozenPath(url);
  const auto [it, added] = paths_.try_emplace(url);
  if (!added) return it->second;
  TWebFile record(&web_);
  if (!web_.FindUrl(url, record) || !record.IsRetrieved()) return it->second;
  it->second = record.GetExistingPath();
  return it->second;
}

void TLinkTargets::Add(const TWebFile& record) {
  if (record.IsRedirect()) {
    records_[record.FullUrl].Redirect = record.GetLocalName();
  } else if (record.IsRetrieved()) {
    uint64_t size = 0;
    if (std::string path = record.GetExistingPath(&size); !path.empty()) records_[record.FullUrl] = {path, size, {}};
  }
}

const std::string& TLinkTargets::Stored(const std::string& recordUrl, uint64_t& size) const {
  const auto it = records_.find(recordUrl);
  size = it == records_.end() ? 0 : it->second.Size;
  return it == records_.end() ? kNone : it->second.Path;
}

void TLinkTargets::Freeze() {
  const TDoubleList hosts = CopyHostAddressList(web_.HostAddresses);
  for (int i = 0; i < hosts.PairCount(); ++i)
    if (!hosts.GetValue(i).empty()) addresses_.try_emplace(hosts.GetValue(i), hosts.GetKey(i));
  frozen_ = true;
}

// TUrlBTree::FindRecord on the table.
const TLinkTargets::TEntry* TLinkTargets::Find(const std::string& url) const {
  if (url.empty()) return nullptr;
  TUrl u(url);
  if (auto it = records_.find(KeyOf(u)); it != records_.end()) return &it->second;
  const auto address = addresses_.find(u.Host);
  if (address == addresses_.end()) return nullptr;
  u.Host = address->second;
  const auto it = records_.find(KeyOf(u));
  return it == records_.end() ? nullptr : &it->second;
}

// TUrlBTree::FindUrl (at most four redirects followed), then the file.
const std::string& TLinkTargets::FrozenPath(const std::string& url) const {
  const TEntry* entry = Find(url);
  for (int followed = 0; entry && !entry->Redirect.empty(); ++followed)
    entry = followed < 4 ? Find(entry->Redirect) : nullptr;
  return entry ? entry->Path : kNone;
}

}  // namespace qlon
