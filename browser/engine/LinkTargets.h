#pragma once
// The local files that links lead to, looked up once per URL for a whole
// link resolution: a site's pages link to the same targets over and over,
// and each lookup costs a search of the capture's tree and a stat.
//
// Valid while no record changes its state or local name and no saved file
// is removed: the resolution only rewrites pages in place, so one lives
// exactly as long as a resolution.
#include <string>
#include <unordered_map>

namespace qlon {

class TWeb;

class TLinkTargets {
 public:
  explicit TLinkTargets(TWeb& web) : web_(web) {}

  // The absolute path of the captured file `url` names; empty when the URL
  // has no retrieved record or its file is missing.
  const std::string& Path(const std::string& url);

 private:
  TWeb& web_;
  std::unordered_map<std::string, std::string> paths_;
};

}  // namespace qlon
