#pragma once
// A small file system of its own (tmpfs) at a folder, for a disk that fills
// up; unmounted at the end. Mounting needs root: without it the test skips.
#include <sys/statvfs.h>

#include <QProcess>
#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qlon::test {

class SmallDisk {
 public:
  SmallDisk(const std::filesystem::path& folder, const std::string& size) : folder_(folder) {
    std::filesystem::create_directories(folder_);
    mounted_ = Run("mount", {"-t", "tmpfs", "-o", "size=" + size, "tmpfs", folder_.string()});
  }
  ~SmallDisk() {
    if (mounted_) Run("umount", {"-l", folder_.string()});
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool Mounted() const { return mounted_; }
  // The same disk, larger (what a person does by making room) or smaller
  // (down to what it holds).
  bool Resize(const std::string& size) { return Run("mount", {"-o", "remount,size=" + size, folder_.string()}); }
  bool Resize(uint64_t bytes) { return Resize(std::to_string((bytes + 4095) / 4096 * 4) + "k"); }
  // The bytes its files take.
  uint64_t Used() const {
    struct statvfs st {};
    if (::statvfs(folder_.c_str(), &st) != 0) return 0;
    return uint64_t(st.f_blocks - st.f_bfree) * st.f_frsize;
  }

 private:
  static bool Run(const std::string& program, const std::vector<std::string>& arguments) {
    QProcess p;
    QStringList args;
    for (const std::string& a : arguments) args << QString::fromStdString(a);
    p.start(QString::fromStdString(program), args);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
  }
  std::filesystem::path folder_;
  bool mounted_ = false;
};

}  // namespace qlon::test
