#pragma once
// Offline fidelity of a captured site: walks every saved page below a
// folder and follows each of its links the way a browser would from the
// file (file: URL of the page, its BASE, then the link; query and fragment
// do not name the file). Used on this system's captures and on the output
// of other crawlers alike, so it knows nothing of either's naming.
//
// Pages are the files named .htm or .html, and files without an extension
// whose first bytes look like HTML. What a capture inserted between its
// "QUILLON=ON" and "QUILLON=OFF" comments (banner, scripts) is its own and
// is not checked; form actions, applet code and parameters are not links a
// reader follows.
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace qlon::bench {

struct LinkCheckReport {
  std::size_t pages = 0;
  std::size_t local = 0;     // to an existing file inside the folder
  std::size_t missing = 0;   // inside the folder, but no such file
  std::size_t outside = 0;   // a file outside the folder
  std::size_t onSite = 0;    // still online, on the captured site
  std::size_t online = 0;    // online, another site
  std::size_t ignored = 0;   // fragments of the page, mailto:, javascript: ...
  std::vector<std::string> problems;  // "page: link (why)" for missing and outside, at most maxProblems

  // Share of the links that should work offline and do.
  double Fidelity() const {
    const std::size_t all = local + missing + outside + onSite;
    return all ? double(local) / double(all) : 1.0;
  }
};

struct LinkCheckOptions {
  // Online links starting with one of these (case-insensitive) are on the
  // captured site ("http://127.0.0.1:8080"); all others are another site.
  std::vector<std::string> siteOrigins;
  std::size_t maxProblems = 50;
  // The pages walked are those below this sub-folder (all when empty); their
  // links may still lead anywhere inside the folder.
  std::filesystem::path pagesBelow;
};

LinkCheckReport CheckLinks(const std::filesystem::path& folder, const LinkCheckOptions& options = {});

// One page (below `folder`), added to the report.
void CheckPage(const std::filesystem::path& folder, const std::filesystem::path& page,
               const LinkCheckOptions& options, LinkCheckReport& report);

}  // namespace qlon::bench
