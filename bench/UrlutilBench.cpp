// URL model throughput: what the link pass and the B-tree do for every link
// of every page (resolve a link against its page, rebuild the full text,
// parse a stored URL again, compare sites), over links shaped like a site's.
//
//   bench_urlutil [links]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Urlutil.h"

using namespace qlon;

namespace {

std::vector<std::string> Links(std::size_t count) {
  const char* const shapes[] = {"../img/photo%zu.jpg", "/articles/%zu.html#haut", "page%zu.htm?id=%zu&s=2",
                                "http://www.example.org/rubrique/%zu/index.html", "./a/b/../c%zu.gif",
                                "//cdn.example.net/js/lib%zu.js", "mailto:contact%zu@example.org"};
  std::vector<std::string> links;
  char text[256];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(text, sizeof text, shapes[i % 7], i, i);
    links.emplace_back(text);
  }
  return links;
}

template <class F>
void Measure(const char* what, std::size_t n, F&& f) {
  const auto start = std::chrono::steady_clock::now();
  std::size_t sink = 0;
  for (std::size_t i = 0; i < n; ++i) sink += f(i);
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-28s %9.0f per s  %6.0f ns each  (%zu)\n", what, n / s, s * 1e9 / n, sink % 10);
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t n = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 500000;
  const std::vector<std::string> links = Links(n);
  const std::string page = "http://www.example.org/section/sub/page.html?x=1";
  std::vector<std::string> full(n);
  Measure("resolve + rebuild", n, [&](std::size_t i) {
    full[i] = ResolveUrl(links[i], page);
    return full[i].size();
  });
  Measure("parse stored URL", n, [&](std::size_t i) { return TUrl(full[i]).Segments.size(); });
  Measure("compare sites", n, [&](std::size_t i) {
    return static_cast<std::size_t>(CompareSites(page, full[i]));
  });
  return 0;
}
