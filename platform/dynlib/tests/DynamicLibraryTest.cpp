#include "DynamicLibrary.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace qlon::platform {
namespace {

namespace fs = std::filesystem;

const fs::path kProbeDir = QLON_DYNLIB_PROBE_DIR;
const fs::path kProbe = kProbeDir / "dynprobe.so";
const fs::path kResidentProbe = kProbeDir / "dynprobe_resident.so";
using AnswerFn = int (*)();

// Whether the process still has the library mapped (without loading it).
bool Mapped(const fs::path& file) {
  void* h = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
}

TEST(DynamicLibraryTest, FindsTypedEntriesAndReportsMissingOnes) {
  TDynamicLibrary lib(kProbe);
  ASSERT_TRUE(lib.IsOpen()) << lib.Error();
  EXPECT_TRUE(lib.Error().empty());
  EXPECT_NE(lib.Handle(), nullptr);
  auto answer = lib.Entry<AnswerFn>("QlonProbeAnswer");
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  AnswerFn bound = nullptr;
  EXPECT_TRUE(lib.Bind(bound, "QlonProbeAnswer"));
  EXPECT_EQ(bound, answer);
  AnswerFn missing = answer;
  EXPECT_FALSE(lib.Bind(missing, "NoSuchExport"));
  EXPECT_EQ(missing, nullptr);
  EXPECT_EQ(lib.Symbol("NoSuchExport"), nullptr);
}

TEST(DynamicLibraryTest, AFailedOpenKeepsTheLinkersReason) {
  const fs::path absent = kProbeDir / "absent.so";
  TDynamicLibrary lib(absent);
  EXPECT_FALSE(lib);
  EXPECT_NE(lib.Error().find(absent.string()), std::string::npos) << lib.Error();
  EXPECT_EQ(lib.ErrorOr("fallback"), lib.Error());
  EXPECT_EQ(lib.Symbol("QlonProbeAnswer"), nullptr);
  // Never opened: no reason from the linker, the caller's words instead.
  EXPECT_EQ(TDynamicLibrary().ErrorOr("cannot load the probe"), "cannot load the probe");
}

TEST(DynamicLibraryTest, InFolderLooksInThatFolderOrBesideTheProgramOnly) {
  EXPECT_TRUE(TDynamicLibrary::InFolder(kProbeDir, "dynprobe.so").IsOpen());
  // A library the linker's search would find is not taken from elsewhere.
  TDynamicLibrary system = TDynamicLibrary::InFolder({}, "libm.so.6");
  EXPECT_FALSE(system.IsOpen());
  EXPECT_NE(system.Error().find((ExecutableFolder() / "libm.so.6").string()), std::string::npos) << system.Error();
  EXPECT_EQ(ExecutableFolder(), fs::read_symlink("/proc/self/exe").parent_path());
}

TEST(DynamicLibraryTest, TheLastOwnerClosesAndAResidentLibraryStays) {
  {
    TDynamicLibrary first(kProbe);
    ASSERT_TRUE(first.IsOpen()) << first.Error();
    TDynamicLibrary second(std::move(first));
    EXPECT_FALSE(first.IsOpen());
    first = TDynamicLibrary();  // the moved-from object owns nothing to close
    EXPECT_TRUE(Mapped(kProbe));
    TDynamicLibrary third;
    third = std::move(second);
    EXPECT_EQ(third.Entry<AnswerFn>("QlonProbeAnswer")(), 42);
  }
  EXPECT_FALSE(Mapped(kProbe));

  TDynamicLibrary resident(kResidentProbe, TDynamicLibrary::Residence::Resident);
  ASSERT_TRUE(resident.IsOpen()) << resident.Error();
  resident.Close();
  EXPECT_FALSE(resident.IsOpen());
  EXPECT_TRUE(Mapped(kResidentProbe));
}

}  // namespace
}  // namespace qlon::platform
