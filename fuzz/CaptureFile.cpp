// Damaged capture files through the URL B-tree: a file either opens and then
// takes every operation, or is refused with the tree's error; never a crash,
// a hang or a read outside the file.
//
// Each input is a list of patches (4 bytes offset, 1 byte value) applied to a
// valid tree made once at start-up, so that the fuzzer's changes land in real
// headers, pages and entries.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "FuzzCheck.h"
#include "UrlBTree.h"
#include "WebFile.h"

using namespace qlon;

namespace {

const std::filesystem::path& Folder() {
  static const std::filesystem::path folder = [] {
    char tmpl[] = "/tmp/qlon-fuzz-capture-XXXXXX";
    Check(::mkdtemp(tmpl) != nullptr);
    return std::filesystem::path(tmpl);
  }();
  return folder;
}

std::string Url(int i) {
  return "http://s" + std::to_string(i % 4) + ".example/d" + std::to_string(i % 9) + "/" + std::to_string(i) +
         std::string(size_t(i % 37), 'x');
}

const std::string& GoodImage() {
  static const std::string image = [] {
    auto path = Folder() / "good.web";
    {
      TWebStream stream(path, TWebStream::Mode::Create);
      stream.SetSynchronous(false);
      TUrlBTree tree;
      tree.CreateTree(Folder().string(), &stream, 0);
      for (int i = 0; i < 600; ++i) {
        TWebFile r;
        r.SetLocalName("local/" + std::to_string(i));
        tree.AddUrl(Url(i), r);
      }
      for (int i = 0; i < 600; i += 3) tree.DeleteUrl(Url(i));
      tree.CloseTree();
    }
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes = GoodImage();
  for (size_t i = 0; i + 5 <= size; i += 5) {
    uint32_t off;
    std::memcpy(&off, data + i, 4);
    bytes[off % bytes.size()] = char(data[i + 4]);
  }
  if (size % 5 == 1) bytes.resize(bytes.size() - data[size - 1] * 97 % bytes.size());  // a truncated file
  auto path = Folder() / "damaged.web";
  std::filesystem::remove(TWebStream::JournalPath(path));
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
  }
  try {
    TWebStream stream(path, TWebStream::Mode::Open);
    stream.SetSynchronous(false);
    TUrlBTree tree;
    if (!tree.OpenTree(Folder().string(), &stream, 0)) return 0;
    // An accepted tree is whole: every operation works on it.
    uint32_t count = 0;
    tree.ForEach([&](TWebFile&) { return ++count < 100000; });
    Check(count == tree.GetCount());
    TWebFile r;
    for (int i = 0; i < 600; i += 37) tree.FindUrl(Url(i), r);
    for (int i = 600; i < 640; ++i) {
      TWebFile n;
      tree.AddUrl(Url(i), n);
    }
    for (int i = 0; i < 640; i += 7) tree.DeleteUrl(Url(i));
    tree.CheckTree();
    tree.Flush();
  } catch (const Exception&) {
    // A refused or damaged file: the clear error is what we want.
  }
  return 0;
}
