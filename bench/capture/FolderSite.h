#pragma once
// A real web site for the capture benchmark: the files of a folder (an
// installed documentation package), served as they are. A target names a
// file below the folder ("/" and a folder name serve its "index.html"); its
// type comes from the extension. A target never names a path outside the
// folder: one with a ".." segment (also written %2e%2e), a NUL or a "\" is
// answered 404. (Symbolic links the package itself installs, such as the
// Python documentation's shared scripts, are followed.)
#include <filesystem>
#include <string>

#include "Site.h"

namespace qlon::bench {

class FolderSite {
 public:
  explicit FolderSite(std::filesystem::path root) : root_(std::move(root)) {}

  // The reply to a request target ("/library/os.html", query ignored).
  SiteReply Reply(const std::string& target) const;
  const std::filesystem::path& Root() const { return root_; }

  // The file a target names below the folder; empty when it names none.
  std::filesystem::path FileOf(const std::string& target) const;
  static std::string TypeOf(const std::filesystem::path& file);

 private:
  std::filesystem::path root_;
};

}  // namespace qlon::bench
