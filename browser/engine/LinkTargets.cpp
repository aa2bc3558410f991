#include "LinkTargets.h"

#include <filesystem>

#include "Web.h"

namespace qlon {

const std::string& TLinkTargets::Path(const std::string& url) {
  const auto [it, added] = paths_.try_emplace(url);
  if (!added) return it->second;
  TWebFile record(&web_);
  if (!web_.FindUrl(url, record) || !record.IsRetrieved()) return it->second;
  std::string path = record.GetLocalPath();
  std::error_code ec;
  if (!path.empty() && std::filesystem::is_regular_file(path, ec)) it->second = std::move(path);
  return it->second;
}

}  // namespace qlon
