#pragma once
// A real web site for the capture benchmark: the files of a folder (an
// installed documentation package), served as they are. A target names a
// file below the folder ("/" and a folder name serve its "index.html"); its
// type comes from the extension. Nothing outside the folder is reached: a
// target with a ".." segment, a NUL or a "\" is answered 404.
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
