// Damaged capture files through the URL B-tree: a file either opens and then
// takes every operation, or is refused with the tree's error; never a crash,
// a hang or a read outside the file.
//
// Each input is a list of patches (4 bytes offset, 1 byte value) applied to a
// valid tree made once at start-up, so that the fuzzer's changes land in real
// headers, pages and entries. The tree is small (a root over a few leaves of
// long entries) and lives in a folder in memory (/dev/shm when there is one),
// so that a run costs a fraction of a millisecond; the folder goes at exit,
// and folders that runs killed earlier left behind go at the next start.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "FuzzCheck.h"
#include "UrlBTree.h"
#include "WebFile.h"

using namespace qlon;

namespace {

namespace fs = std::filesystem;

constexpr const char* kPrefix = "qlon-fuzz-capture-";
constexpr int kRecords = 24;

fs::path Parent() {
  std::error_code ec;
  return fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
}

// Folders of earlier runs whose process is gone ("qlon-fuzz-capture-<pid>").
void RemoveLeftovers(const fs::path& parent) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(parent, ec)) {
    const std::string name = e.path().filename().string();
    if (!name.starts_with(kPrefix)) continue;
    const long pid = std::strtol(name.c_str() + std::strlen(kPrefix), nullptr, 10);
    if (pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH) fs::remove_all(e.path(), ec);
  }
}

// Never destroyed: the exit handler that removes the folder runs after the
// destructors of statics made before it.
const fs::path& Folder() {
  static const fs::path* folder = [] {
    const fs::path parent = Parent();
    RemoveLeftovers(parent);
    auto* f = new fs::path(parent / (kPrefix + std::to_string(::getpid())));
    std::error_code ec;
    fs::remove_all(*f, ec);
    Check(fs::create_directory(*f, ec));
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(Folder(), ignored);
    });
    return f;
  }();
  return *folder;
}

// Short URLs (parsing is most of an operation's cost), long local names (so
// that a hundred records fill several pages).
std::string Url(int i) {
  return "http://s" + std::to_string(i % 2) + ".example/d" + std::to_string(i % 3) + "/" + std::to_string(i);
}
std::string LocalName(int i) { return "local/" + std::to_string(i) + std::string(size_t(480 + i % 97), 'x'); }

void WriteFile(const fs::path& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  Check(fd >= 0);
  Check(::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()));
  ::close(fd);
}

std::string ReadFile(const fs::path& path) {
  std::string bytes(size_t(fs::file_size(path)), '\0');
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  Check(fd >= 0 && ::read(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()));
  ::close(fd);
  return bytes;
}

const std::string& GoodImage() {
  static const std::string image = [] {
    const fs::path path = Folder() / "good.web";
    {
      TWebStream stream(path, TWebStream::Mode::Create);
      stream.SetSynchronous(false);
      TUrlBTree tree;
      tree.CreateTree(Folder().string(), &stream, 0);
      for (int i = 0; i < kRecords; ++i) {
        TWebFile r;
        r.SetLocalName(LocalName(i));
        tree.AddUrl(Url(i), r);
      }
      for (int i = 0; i < kRecords; i += 3) tree.DeleteUrl(Url(i));
      Check(tree.GetHeight() >= 2);
      tree.CloseTree();
    }
    return ReadFile(path);
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
  const fs::path path = Folder() / "damaged.web";
  ::unlink(TWebStream::JournalPath(path).c_str());
  WriteFile(path, bytes);
  // One tree for every run: its page cache is large to make each time.
  static TUrlBTree& tree = *new TUrlBTree;
  try {
    TWebStream stream(path, TWebStream::Mode::Open);
    stream.SetSynchronous(false);
    if (!tree.OpenTree(Folder().string(), &stream, 0)) return 0;
    // An accepted tree is whole: every operation works on it.
    uint32_t count = 0;
    tree.ForEach([&](TWebFile&) { return ++count < 100000; });
    Check(count == tree.GetCount());
    TWebFile r;
    for (int i = 0; i < kRecords; i += 7) tree.FindUrl(Url(i), r);
    for (int i = kRecords; i < kRecords + 3; ++i) {
      TWebFile n;
      tree.AddUrl(Url(i), n);
    }
    for (int i = 0; i < kRecords + 3; i += 6) tree.DeleteUrl(Url(i));
    tree.CheckTree();
    tree.CloseTree();
  } catch (const Exception&) {
    // A refused or damaged file: the clear error is what we want.
    tree.DiscardTree();
  }
  return 0;
}
