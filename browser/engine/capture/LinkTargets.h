#pragma once
// The local files that links lead to, looked up once per URL for a whole
// link resolution: a site's pages link to the same targets over and over,
// and each lookup costs a search of the capture's tree and a stat.
//
// Two ways to fill it:
//   - lazily: each URL is looked up in the capture the first time it is
//     asked for (the capture's thread only);
//   - whole: every record is added beforehand (Add, on the capture's
//     thread), then Freeze; from then on Path reads only the table, as the
//     capture's tree would answer (redirects followed, numeric hosts known
//     by name found under either), so any thread may ask at once.
// Valid while no record changes its state or local name and no saved file
// is removed: the resolution only rewrites pages in place, so one lives
// exactly as long as a resolution.
#include <cstdint>
#include <string>
#include <unordered_map>

namespace qlon {

class TWeb;
class TWebFile;

class TLinkTargets {
 public:
  explicit TLinkTargets(TWeb& web) : web_(web) {}

  // The absolute path of the captured file `url` names; empty when the URL
  // has no retrieved record or its file is missing.
  const std::string& Path(const std::string& url);

  void Add(const TWebFile& record);
  void Freeze();
  bool Frozen() const { return frozen_; }
  // What Add found of a record's file (by the record's own URL): its path,
  // empty when missing, and its size.
  const std::string& Stored(const std::string& recordUrl, uint64_t& size) const;

 private:
  struct TEntry {
    std::string Path;      // a retrieved record whose file exists
    uint64_t Size = 0;
    std::string Redirect;  // a redirect record: the URL it leads to
  };
  const std::string& FrozenPath(const std::string& url) const;
  const TEntry* Find(const std::string& url) const;

  TWeb& web_;
  std::unordered_map<std::string, std::string> paths_;  // lazily
  std::unordered_map<std::string, TEntry> records_;     // whole, by the tree's key
  std::unordered_map<std::string, std::string> addresses_;  // host name -> numeric address
  bool frozen_ = false;
};

}  // namespace qlon
