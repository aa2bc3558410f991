#include "LinkTargets.h"

#include "Web.h"

namespace qlon {

const std::string& TLinkTargets::Path(const std::string& url) {
  const auto [it, added] = paths_.try_emplace(url);
  if (!added) return it->second;
  TWebFile record(&web_);
  if (!web_.FindUrl(url, record) || !record.IsRetrieved()) return it->second;
  it->second = record.GetExistingPath();
  return it->second;
}

}  // namespace qlon
