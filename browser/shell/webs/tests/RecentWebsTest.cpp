// The recent webs and their file "webs.dat".
#include <gtest/gtest.h>

#include "CaptureFixture.h"
#include "RecentWebs.h"
#include "Setup.h"
#include "TempRoot.h"
#include "Utils.h"
#include "Web.h"

namespace qlon::shell {
namespace {

namespace fs = std::filesystem;

class RecentWebsTest : public ::testing::Test {
 protected:
  RecentWebsTest()
      : work_((root_.path() / "work").string() + "/"),
        prompt_(work_),
        setup_((fs::create_directories(work_), &prompt_), ProgramFolder()) {}

  // A capture file in its own folder under the work folder.
  fs::path MakeWeb(const std::string& folder, const std::string& title) {
    const fs::path file = fs::path(work_) / folder / "local.web";
    fs::create_directories(file.parent_path());
    TWeb web;
    web.SetTitle(title);
    web.CreateNew(file);
    web.Close();
    return file;
  }
  fs::path File() const { return fs::path(work_) / TRecentWebs::kFileName; }

  test::TempRoot root_;
  std::string work_;
  test::WorkFolder prompt_;
  TSetup setup_;
};

TEST_F(RecentWebsTest, ReadKeepsTheOrderAndDropsWhatIsGone) {
  const fs::path a = MakeWeb("a", "A"), b = MakeWeb("b", "B");
  // Written by another program: CR LF, an empty line, a web that went away.
  test::WriteFileBytes(File(), b.string() + "\r\n\r\n" + (fs::path(work_) / "gone" / "local.web").string() + "\r\n" +
                                   a.string() + "\n");
  EXPECT_EQ(TRecentWebs::Read(work_), (std::vector<std::string>{b.string(), a.string()}));
  TRecentWebs recent(setup_);
  recent.Load(nullptr);
  EXPECT_EQ(recent.Paths(), (QStringList{QString::fromStdString(b.string()), QString::fromStdString(a.string())}));
  EXPECT_EQ(recent.Titles(), (QStringList{"B", "A"}));
  // No file: no webs, and nothing is made up.
  fs::remove(File());
  EXPECT_TRUE(TRecentWebs::Read(work_).empty());
  recent.Load(nullptr);
  EXPECT_TRUE(recent.Paths().empty());
}

TEST_F(RecentWebsTest, AddPutsAWebFirstOnceAndSaveWritesEveryEntry) {
  TRecentWebs recent(setup_);
  std::vector<fs::path> webs;
  for (int i = 0; i < 8; ++i) {
    webs.push_back(MakeWeb("w" + std::to_string(i), "Web " + std::to_string(i)));
    recent.Add(webs.back(), nullptr);
  }
  recent.Add(webs[2], nullptr);
  ASSERT_EQ(recent.Paths().size(), 8);
  EXPECT_EQ(recent.Paths().front().toStdString(), webs[2].string());
  EXPECT_EQ(recent.Titles().front(), "Web 2");
  EXPECT_EQ(recent.Paths()[1].toStdString(), webs[7].string());
  recent.Remove(webs[7].string());
  EXPECT_EQ(recent.Paths().size(), 7);
  EXPECT_EQ(recent.Titles()[1], "Web 6");
  ASSERT_TRUE(recent.Save());
  const std::string saved = test::ReadFileBytes(File());
  EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 7);
  EXPECT_EQ(saved.substr(0, saved.find('\n')), webs[2].string());
  // Read back as written.
  TRecentWebs again(setup_);
  again.Load(nullptr);
  EXPECT_EQ(again.Paths(), recent.Paths());
  EXPECT_EQ(again.Titles(), recent.Titles());
}

TEST_F(RecentWebsTest, TitlesComeFromTheOpenWebTheFileOrTheFolderAndAreCut) {
  // The folder's path, cut like any title.
  const auto cut = [](const fs::path& folder) {
    return QString::fromStdString(folder.string()).left(32).toStdString() + "...";
  };
  const fs::path untitled = MakeWeb("sans titre", "");
  ASSERT_GT(untitled.parent_path().string().size(), 32u);
  EXPECT_EQ(TRecentWebs::TitleOf(untitled.string(), nullptr).toStdString(), cut(untitled.parent_path()));
  const fs::path longer = MakeWeb("long", std::string(40, 'x'));
  EXPECT_EQ(TRecentWebs::TitleOf(longer.string(), nullptr), QString(32, 'x') + "...");
  // The open web's own title, not what its file said when last saved.
  TWeb open;
  ASSERT_EQ(open.Open(untitled), wlOk);
  open.SetTitle("Ouvert");
  EXPECT_EQ(TRecentWebs::TitleOf(untitled.string(), &open), "Ouvert");
  // Not a capture file: the folder.
  const fs::path other = fs::path(work_) / "un autre dossier" / "local.web";
  test::WriteFileBytes(other, "pas un web");
  EXPECT_EQ(TRecentWebs::TitleOf(other.string(), nullptr).toStdString(), cut(other.parent_path()));
}

TEST_F(RecentWebsTest, AFailedSaveKeepsTheListOnDisk) {
  const fs::path a = MakeWeb("a", "A");
  TRecentWebs recent(setup_);
  recent.Add(a, nullptr);
  ASSERT_TRUE(recent.Save());
  const std::string before = test::ReadFileBytes(File());
  // The work folder moved to a place that cannot be written.
  const std::string kept = setup_.WorkPath;
  setup_.WorkPath = (root_.path() / "missing" / "deeper").string() + "/";
  recent.Add(MakeWeb("b", "B"), nullptr);
  EXPECT_FALSE(recent.Save());
  setup_.WorkPath = kept;
  EXPECT_EQ(test::ReadFileBytes(File()), before);
}

}  // namespace
}  // namespace qlon::shell
