// URL store throughput: inserts, finds and a full walk of the capture's
// B-tree on disk, the work of the link pass and of the URL lists, over URLs
// shaped like a site's, then the file size per record.
//
//   bench_store [records] [--sync]
// Without --sync the file is not fsync'ed (the algorithm alone); with it,
// every save and journal write reaches the disk.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "UrlBTree.h"
#include "WebFile.h"

using namespace qlon;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::vector<std::string> Urls(size_t n) {
  const char* const shapes[] = {"http://www.site%zu.example/articles/%zu.html",
                                "http://www.site%zu.example/img/photo%zu.jpg",
                                "http://cdn%zu.example.net/js/lib%zu.js?v=3",
                                "http://www.site%zu.example/rubrique/sous/page%zu.htm?id=7&s=2"};
  std::vector<std::string> urls;
  char text[256];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(text, sizeof text, shapes[i % 4], i % 50, i);
    urls.emplace_back(text);
  }
  return urls;
}

}  // namespace

int main(int argc, char** argv) {
  size_t n = 100000;
  bool sync = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--sync") == 0)
      sync = true;
    else
      n = std::strtoul(argv[i], nullptr, 10);
  }
  auto folder = std::filesystem::temp_directory_path() / "qlon-bench-store";
  std::filesystem::create_directories(folder);
  auto path = folder / "local.web";
  auto urls = Urls(n);

  auto stream = std::make_unique<TWebStream>(path, TWebStream::Mode::Create);
  stream->SetSynchronous(sync);
  TUrlBTree tree;
  tree.CreateTree(folder.string(), stream.get(), 5120);

  auto t = std::chrono::steady_clock::now();
  for (size_t i = 0; i < n; ++i) {
    TWebFile r;
    r.SetLocalName("www.site/" + std::to_string(i) + ".htm");
    if (!tree.AddUrl(urls[i], r)) return std::fprintf(stderr, "insert failed: %s\n", urls[i].c_str()), 1;
    if (i % 100 == 99) tree.Flush();  // a save every 100 files, as a capture does
  }
  tree.Flush();
  double insert = Seconds(t);

  t = std::chrono::steady_clock::now();
  size_t found = 0;
  for (size_t i = 0; i < n; ++i) {
    TWebFile r;
    found += tree.FindUrl(urls[(i * 7919) % n], r);
  }
  double find = Seconds(t);

  t = std::chrono::steady_clock::now();
  size_t walked = 0;
  tree.ForEach([&](TWebFile&) { return ++walked, true; });
  double walk = Seconds(t);

  t = std::chrono::steady_clock::now();
  tree.CloseTree();
  stream.reset();
  TWebStream again(path, TWebStream::Mode::Open);
  TUrlBTree reopened;
  reopened.OpenTree(folder.string(), &again, 5120);
  double open = Seconds(t);

  uint64_t size = again.Size();
  std::printf("records %zu (found %zu, walked %zu), height %u, sync %s\n", n, found, walked, reopened.GetHeight(),
              sync ? "on" : "off");
  std::printf("insert  %8.3f s  %10.0f /s (a flush every 100)\n", insert, n / insert);
  std::printf("find    %8.3f s  %10.0f /s (scattered)\n", find, n / find);
  std::printf("walk    %8.3f s  %10.0f /s\n", walk, walked / walk);
  std::printf("open    %8.3f s  (checks every page)\n", open);
  std::printf("file    %llu bytes, %.1f bytes per record\n", static_cast<unsigned long long>(size),
              double(size) / double(n));
  reopened.CloseTree();
  std::filesystem::remove_all(folder);
  return found == n && walked == n ? 0 : 1;
}
