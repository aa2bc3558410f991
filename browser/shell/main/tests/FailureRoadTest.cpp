// Failures made on purpose through the program's own road, and what the
// person or the script is told: a disk with room for a capture but little
// more (link resolution, closing the web), and a capture killed while it
// runs, then reopened in the main window.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <fstream>

#include "MainWindowFixture.h"
#include "ReplaceBatch.h"
#include "ScreenShot.h"
#include "SmallDisk.h"
#include "WebStream.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::SmallDisk;

constexpr const char* kBanner = "Capturé par Quillon";

// The site's pages, each whole as the server sends it: "/" links to the
// others, and each other one to `links` pages after it and carries
// `filler` bytes of text.
std::map<std::string, std::string> Pages(int count, int links, size_t filler) {
  std::map<std::string, std::string> pages;
  std::string home = "<html><body>";
  for (int i = 0; i < count; ++i) {
    const std::string name = "p" + std::to_string(i) + ".htm";
    home += "<a href=\"" + name + "\">" + name + "</a>\n";
    std::string page = "<html><body><a href=\"/\">accueil</a>\n";
    for (int k = 1; k <= links; ++k) page += "<a href=\"p" + std::to_string((i + k) % count) + ".htm\">x</a>\n";
    pages["/" + name] = page + std::string(filler, char('a' + i % 26)) + "</body></html>";
  }
  pages["/"] = home + "</body></html>";
  return pages;
}

class FailureRoadTest : public test::ProgramFixture {
 protected:
  void Serve(const std::map<std::string, std::string>& pages) {
    sent_ = pages;
    for (const auto& [path, body] : pages) Put(path, body);
  }
  // Runs the shortcut to its end; its exit status.
  int RunToItsEnd(const fs::path& wbs, QProcess** process = nullptr) {
    QProcess* p = Start({QString::fromStdString(wbs.string())});
    if (process) *process = p;
    EXPECT_TRUE(Finished(p, 120)) << Errors(p);
    return p->exitCode();
  }
  // Every captured page: the bytes the server sent, or those bytes
  // rewritten whole (the banner in, every captured page linked locally);
  // the count of the first kind.
  int PagesLeftAsSent(const fs::path& web) {
    TWeb opened;
    EXPECT_EQ(opened.Open(web), wlOk);
    int asSent = 0;
    for (const auto& [path, body] : sent_) {
      const std::string file = opened.GetLocalPathOfUrl(server_.Url(path));
      EXPECT_FALSE(file.empty()) << path;
      const std::string bytes = ReadFileBytes(file);
      if (bytes == body) {
        ++asSent;
        continue;
      }
      EXPECT_NE(bytes.find(kBanner), std::string::npos) << path;
      EXPECT_EQ(bytes.find("href=\"" + server_.Url("/p")), std::string::npos) << path << ": a link left online";
      EXPECT_EQ(bytes.substr(bytes.size() - 14), "</body></html>") << path;
    }
    EXPECT_FALSE(fs::exists(web.parent_path() / kStagingFolder));
    return asSent;
  }

  std::map<std::string, std::string> sent_;
};

// The python documentation's case in small: the pages fit on the disk, a
// second copy of them all does not. Each page is replaced whole, a few at
// a time.
TEST_F(FailureRoadTest, LinkResolutionNeedsRoomForAFewPagesNotACopyOfAll) {
  Serve(Pages(40, 3, 64 << 10));
  SmallDisk disk(fs::path(work_) / "full", "16m");
  if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  const fs::path web = MakeWeb("full", server_.Url("/"));
  EXPECT_EQ(RunToItsEnd(MakeShortcut(web, 1, false, true)), 0);
  ASSERT_EQ(RetrievedIn(web), 41u);
  ASSERT_EQ(PagesLeftAsSent(web), 41);

  const fs::path wbs = MakeShortcut(web, 1, true, true);
  ASSERT_TRUE(disk.Resize(disk.Used() + (1200u << 10)));  // under half the pages
  QProcess* p = nullptr;
  EXPECT_EQ(RunToItsEnd(wbs, &p), 0) << Errors(p);
  EXPECT_TRUE(OwnLines(p).empty()) << Errors(p);
  EXPECT_EQ(PagesLeftAsSent(web), 0);
  EXPECT_TRUE(fs::exists(web.parent_path() / "_Accueil.htm"));
}

// Rewritten pages grow (each link keeps its address beside the local
// one): past the room left, the pages that find none stay as they came,
// the script is told how many and why, and once there is room the next
// resolution finishes them.
TEST_F(FailureRoadTest, PagesWithNoRoomToBeRewrittenAreToldAndTheNextResolutionFinishesThem) {
  Serve(Pages(30, 600, 0));
  SmallDisk disk(fs::path(work_) / "full", "16m");
  if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  const fs::path web = MakeWeb("full", server_.Url("/"));
  EXPECT_EQ(RunToItsEnd(MakeShortcut(web, 1, false, true)), 0);
  ASSERT_EQ(RetrievedIn(web), 31u);

  const fs::path wbs = MakeShortcut(web, 1, true, true);
  ASSERT_TRUE(disk.Resize(disk.Used() + (640u << 10)));  // the pages grow by some 700 KB
  QProcess* p = nullptr;
  EXPECT_EQ(RunToItsEnd(wbs, &p), 1) << Errors(p);
  const int left = PagesLeftAsSent(web);
  EXPECT_GT(left, 0);
  EXPECT_LT(left, 31);
  const std::vector<std::string> own = OwnLines(p);
  ASSERT_EQ(own.size(), 1u) << Errors(p);
  EXPECT_EQ(own[0].rfind("qlon98: [Résolution des liens] " + std::to_string(left) +
                             " pages n'ont pas pu être réécrites pour la lecture hors ligne dans " +
                             web.parent_path().string(),
                         0),
            0u)
      << own[0];
  EXPECT_NE(own[0].find(": Plus d'espace disponible sur le disque. Elles gardent leurs liens vers le serveur ; "
                        "la prochaine résolution des liens les reprendra."),
            std::string::npos)
      << own[0];
  // The index pages and the capture file kept their room.
  EXPECT_TRUE(fs::exists(web.parent_path() / "_Accueil.htm"));
  EXPECT_EQ(RetrievedIn(web), 31u);

  ASSERT_TRUE(disk.Resize("16m"));
  EXPECT_EQ(RunToItsEnd(wbs, &p), 0) << Errors(p);
  EXPECT_TRUE(OwnLines(p).empty()) << Errors(p);
  EXPECT_EQ(PagesLeftAsSent(web), 0);
}

// Opening and closing a web changes nothing, so it writes nothing: a full
// disk does not stop it. A web that did change says so and stays open,
// its changes kept for when there is room.
TEST_F(FailureRoadTest, AnUnchangedWebClosesOnAFullDiskWithoutAWord) {
  Site();
  SmallDisk disk(fs::path(work_) / "full", "2m");
  if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  const fs::path web = MakeWeb("full", server_.Url("/"));
  ASSERT_EQ(RunToItsEnd(MakeShortcut(web, 1, true, true)), 0);
  Make();
  win_->show();

  // The disk filled by another program.
  const fs::path filler = web.parent_path() / "filler";
  {
    std::ofstream out(filler, std::ios::binary);
    const std::string block(64 << 10, 'f');
    while (out.write(block.data(), std::streamsize(block.size())) && out.flush()) {
    }
  }
  const std::string before = ReadFileBytes(web);
  OpenFromTheMenu(web);
  EXPECT_EQ(Probe().CapturedCountLabel()->text(), "3 ");
  Probe().MenuFileClose()->trigger();
  EXPECT_TRUE(boxes_.shown.empty()) << boxes_.shown.front().text;
  EXPECT_EQ(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(ReadFileBytes(web), before);
  EXPECT_FALSE(fs::exists(TWebStream::JournalPath(web)));

  // A new title cannot be saved there: the window says so and keeps it.
  OpenFromTheMenu(web);
  win_->CurrentWeb()->SetTitle("Nouveau titre");
  Probe().MenuFileClose()->trigger();
  ASSERT_EQ(Captions(), (std::vector<std::string>{"Enregistrement du web"}));
  EXPECT_NE(boxes_.shown[0].text.find("journal"), std::string::npos) << boxes_.shown[0].text;
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  fs::remove(filler);
  Probe().MenuFileClose()->trigger();
  EXPECT_EQ(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(ReadWebTitle(web), "Nouveau titre");
  EXPECT_EQ(RetrievedIn(web), 3u);
}

// A capture killed with most of its site still queued reopens with the
// counts of its records: "A capturer" is what the next run takes, the same
// as once the run is prepared, and the next run takes them all.
TEST_F(FailureRoadTest, AKilledCaptureReopensWithTheCountsOfItsRecords) {
  std::string home = "<html><body>";
  for (int i = 0; i < 100; ++i) {
    const std::string name = "/p" + std::to_string(i) + ".htm";
    home += "<a href=\"" + name + "\">x</a>\n";
    Put(name, SlowPage());
  }
  Put("/", home + "<a href=\"/absent.htm\">absent</a></body></html>");
  const fs::path web = MakeWeb("killed", server_.Url("/"));
  QProcess* p = Start({QString::fromStdString(MakeShortcut(web, 1, true, true).string())});
  // Killed once a save holds the queued records: the state of a committed
  // copy of the capture file tells.
  test::TempDir copies;
  auto saved = [&] {
    if (fs::exists(TWebStream::JournalPath(web))) return false;
    std::error_code ec;
    const fs::path copy = copies.path() / "local.web";
    fs::copy_file(web, copy, fs::copy_options::overwrite_existing, ec);
    if (ec || fs::exists(TWebStream::JournalPath(web))) return false;
    TWeb opened;
    return opened.Open(copy) == wlOk && opened.GetCount() > 100 && opened.RetrievedCount >= 1;
  };
  ASSERT_TRUE(Pump(saved, 60)) << Errors(p);
  p->kill();
  ASSERT_TRUE(Finished(p));

  Make();
  win_->resize(900, 600);
  win_->show();
  OpenFromTheMenu(web);
  TWeb& opened = *win_->CurrentWeb();
  uint64_t waiting = 0, retrieved = 0, errors = 0, filtered = 0;
  opened.ForEach([&](TWebFile& r) {
    const TWebFileState s = r.GetState();
    waiting += s == fsToCapture || s == fsRequesting;
    retrieved += r.IsRetrieved();
    errors += s == fsError || s == fsNotFound;
    filtered += r.IsFiltered();
    return true;
  });
  EXPECT_GE(waiting, 90u);
  auto label = [&](const char* name) { return Probe().Find<QLabel>(name)->text().toStdString(); };
  const std::map<std::string, std::string> shown = {
      {"LinkCountLabel", label("LinkCountLabel")},         {"ToRetrieveCountLabel", label("ToRetrieveCountLabel")},
      {"CapturedCountLabel", label("CapturedCountLabel")}, {"ErrorCountLabel", label("ErrorCountLabel")},
      {"FilteredCountLabel", label("FilteredCountLabel")}, {"ToUpdateCountLabel", label("ToUpdateCountLabel")}};
  Probe().Tree()->SelectPage(tpWeb, true);
  ASSERT_TRUE(Pump([&] { return win_->View() == mvCapture; }, 5));
  test::SaveScreenShot(*win_, "killed-capture-reopened");
  EXPECT_EQ(shown.at("ToRetrieveCountLabel"), std::to_string(waiting) + " ");
  EXPECT_EQ(shown.at("LinkCountLabel"), std::to_string(opened.GetCount()) + " ");
  EXPECT_EQ(shown.at("CapturedCountLabel"), std::to_string(retrieved) + " ");
  EXPECT_EQ(shown.at("ErrorCountLabel"), std::to_string(errors) + " ");
  EXPECT_EQ(shown.at("FilteredCountLabel"), std::to_string(filtered) + " ");
  EXPECT_EQ(shown.at("ToUpdateCountLabel"), "0 ");

  // Capture > Démarrer prepares the run: the counts stay.
  choose_ = [](shell::TDlgChooseCapture&) { return int(QDialog::Rejected); };
  Probe().MenuCaptureStart()->trigger();
  for (const auto& [name, text] : shown) EXPECT_EQ(label(name.c_str()), text) << name;
  EXPECT_EQ(opened.ToCapture.Count(), int(waiting));

  // The next run takes every record left; nothing taken before is lost.
  for (int i = 0; i < 100; ++i) Put("/p" + std::to_string(i) + ".htm", "<html>p</html>");
  StartCaptureFromTheMenu();
  ASSERT_TRUE(CapturedAll(101));
  EXPECT_EQ(label("ToRetrieveCountLabel"), "0 ");
  EXPECT_EQ(label("CapturedCountLabel"), "101 ");
  EXPECT_EQ(label("ErrorCountLabel"), "1 ");
}

}  // namespace
}  // namespace qlon
