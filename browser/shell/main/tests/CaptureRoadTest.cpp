// The capture road without a main window: a recorder stands for the window
// and writes down what the road asks of it, in order; the site is a loopback
// server and the boxes are scripted, or answered by nobody.
#include <gtest/gtest.h>

#include <QDialog>
#include <QProcess>
#include <QTimer>
#include <algorithm>

#include <unistd.h>

#include "CaptureRoad.h"
#include "DlgChooseCapture.h"
#include "DlgStop.h"
#include "DlgVignettes.h"
#include "Ras.h"
#include "ResolveDialog.h"
#include "SiteFixture.h"
#include "Unattended.h"
#include "WSList.h"
#include "WebStream.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;
using namespace platform;
using shell::TCaptureRoad;
using shell::TUnattended;

// A folder that stops taking writes for the life of the object, as a
// person's folder does when its rights change: read-only to its owner, or
// for root, which writes anywhere, covered by a read-only mount of itself.
// Files open before stay open.
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(const fs::path& folder) : folder_(folder) {
    if (::geteuid() != 0) {
      fs::permissions(folder_, fs::perms(0555));
      active_ = true;
    } else if (Run({"--bind", folder_.string(), folder_.string()})) {
      mounted_ = true;
      active_ = Run({"-o", "remount,bind,ro", folder_.string()});
    }
  }
  ~ReadOnlyFolder() {
    if (::geteuid() != 0) fs::permissions(folder_, fs::perms(0755));
    if (mounted_) QProcess::execute("umount", {"-l", QString::fromStdString(folder_.string())});
  }
  bool Active() const { return active_; }
  // What the system says of a write there.
  static std::string Reason() {
    return ::geteuid() != 0 ? "Permission refusée" : "Système de fichiers en lecture seule";
  }

 private:
  static bool Run(const std::vector<std::string>& arguments) {
    QStringList args;
    for (const std::string& a : arguments) args << QString::fromStdString(a);
    return QProcess::execute("mount", args) == 0;
  }
  fs::path folder_;
  bool mounted_ = false, active_ = false;
};

// What the road asks of the window, in words: the modes and pages by name.
std::string Said(TMainMode mode) {
  switch (mode) {
    case mmNoWeb: return "mode no web";
    case mmWebOpen: return "mode web open";
    case mmRunning: return "mode running";
  }
  return "mode ?";
}
std::string Said(TMainView view) {
  static constexpr const char* kNames[] = {"home",  "capture", "picture", "blank",  "map",      "urls",
                                           "web options", "setup", "search", "help", "scheduler"};
  return std::string("view ") + (view < std::size(kNames) ? kNames[view] : "none");
}
std::string SaidTree(int tag) {
  switch (tag) {
    case tpOptions: return "tree options";
    case tpScheduler: return "tree scheduler";
    default: return "tree " + std::to_string(tag);
  }
}

class TRoadRecorder : public shell::ICaptureRoadHost {
 public:
  std::unique_ptr<TWeb> web;
  TScheduler* scheduler = nullptr;
  std::vector<std::string> calls;
  int records = 0;  // record changes the run reported
  shell::TWSocketList connections;

  TWeb* CurrentWeb() override { return web.get(); }
  int ExecModal(QDialog& dialog) override {
    if (dynamic_cast<shell::TResolveDialog*>(&dialog)) calls.push_back("resolve");
    else if (dynamic_cast<TDlgVignettes*>(&dialog)) calls.push_back("thumbnails");
    else if (dynamic_cast<TDlgStop*>(&dialog)) calls.push_back("stop?");
    else if (dynamic_cast<shell::TDlgChooseCapture*>(&dialog)) calls.push_back("choose?");
    return dialog.exec();
  }
  QWidget* DialogParent() override { return nullptr; }
  void SetMode(TMainMode mode) override { calls.push_back(Said(mode)); }
  void SetView(TMainView view) override { calls.push_back(Said(view)); }
  void SelectTreePage(int tag) override { calls.push_back(SaidTree(tag)); }
  void RefreshStatusHints() override {}
  void CommitDialogs() override { calls.push_back("commit"); }
  void ResetWeb() override { calls.push_back("reset"); }
  bool SaveWeb(std::string* failure) override {
    calls.push_back("save");
    try {
      return web->Save();
    } catch (const Exception& e) {
      *failure = e.message();
      return false;
    }
  }
  void ClearRunLists() override { calls.push_back("lists"); }
  void ShowRunEnd(bool scheduled) override { calls.push_back(scheduled ? "end scheduled" : "end"); }
  void UpdateCountLabels() override {}
  void AddWebFileToLists(const TWebFile&) override { ++records; }
  void RefreshWebTree() override {}
  void ShowElapsed(const std::string&) override {}
  shell::TWSocketList& Connections() override { return connections; }
  void AddBookmark() override { calls.push_back("bookmark"); }
  void OpenWebPage(const std::string& relative) override { calls.push_back("open " + relative); }
  void CloseProgram() override { calls.push_back("close"); }
  TScheduler* Scheduler() override { return scheduler; }
};

class CaptureRoadTest : public test::SiteFixture {
 protected:
  CaptureRoadTest() : road_(window_, setup_, ras_, nobody_) {
    nobody_.Journal = [this](const std::string& line) { reported_.push_back(line); };
  }
  // Opens a new web on the site's address (or another) as the current web.
  fs::path Open(const std::string& name, const std::string& path = "/") {
    const fs::path file = MakeWeb(name, server_.Url(path));
    window_.web = std::make_unique<TWeb>();
    EXPECT_EQ(window_.web->Open(file), wlOk);
    window_.calls.clear();
    return file;
  }
  bool Called(const std::string& call) const {
    return std::find(window_.calls.begin(), window_.calls.end(), call) != window_.calls.end();
  }
  bool Reported(const std::string& fragment) const {
    return std::any_of(reported_.begin(), reported_.end(),
                       [&](const std::string& line) { return line.find(fragment) != std::string::npos; });
  }

  TRoadRecorder window_;
  TRas ras_;
  TUnattended nobody_;  // over the scripted boxes; passes them on while a person is there
  TCaptureRoad road_;
  std::vector<std::string> reported_;
};

TEST_F(CaptureRoadTest, AUserRunGoesTheWholeRoadInOrderAndSavesTheWeb) {
  Site();
  setup_.AutoAddBookmark = true;
  setup_.AutoLaunch = true;
  const fs::path file = Open("site");
  ASSERT_TRUE(road_.Run(kCaptureMissing, nullptr, true));
  EXPECT_EQ(window_.calls, (std::vector<std::string>{"commit", "mode running", "lists", "view capture", "mode web open",
                                                     "resolve", "end", "save", "bookmark", "open _Accueil.htm"}));
  EXPECT_FALSE(road_.Running());
  EXPECT_EQ(road_.Capture(), nullptr);
  EXPECT_GE(window_.records, 3);
  EXPECT_EQ(window_.web->GetTitle(), "Accueil du site");
  EXPECT_TRUE(fs::exists(file.parent_path() / "_Accueil.htm"));
  EXPECT_TRUE(boxes_.shown.empty());
  window_.web.reset();
  EXPECT_EQ(RetrievedIn(file), 3u);
}

TEST_F(CaptureRoadTest, TheCloseFlagEndsTheProgramInsteadOfTheFollowUp) {
  Site();
  setup_.AutoAddBookmark = true;
  setup_.AutoLaunch = true;
  Open("site");
  ASSERT_TRUE(road_.Run(kCaptureMissing | kCaptureNoResolve | kCaptureClose, nullptr, true));
  EXPECT_EQ(window_.calls.back(), "close");
  EXPECT_FALSE(Called("resolve"));
  EXPECT_FALSE(Called("bookmark"));
  EXPECT_FALSE(Called("open _Accueil.htm"));
}

TEST_F(CaptureRoadTest, AScheduledRunStaysOffTheScreenAndEndsItsStepWithTheReason) {
  // Dial-up is on and no dial-up library is there: a road that dialled
  // would end before the capture.
  setup_.UseRas = true;
  setup_.RasConnexion = "Maison";
  TSchedulerConfig config;
  config.WorkFolder = work_;
  TScheduler scheduler(config);
  window_.scheduler = &scheduler;
  const fs::path file = Open("sched", "/gone.htm");
  TTask* step;
  {
    auto lock = scheduler.LockTree();
    TTask* job = scheduler.Root().AddChild(CaptureJob(scheduler, file, kActionCapture, 0));
    step = job->GetChild(0);
    job->SetState(tsRunning);
    step->SetState(tsRunning);
  }
  ASSERT_TRUE(road_.Run(kCaptureScheduled | kCaptureMissing | kCaptureHangUp, nullptr, true));
  EXPECT_EQ(Served("/gone.htm"), 1);
  EXPECT_FALSE(Called("view capture"));
  EXPECT_TRUE(Called("end scheduled"));
  EXPECT_FALSE(Called("tree options"));  // nobody is offered the start URL page
  EXPECT_TRUE(boxes_.shown.empty());
  auto lock = scheduler.LockTree();
  EXPECT_EQ(step->GetState(), tsError);
  EXPECT_EQ(step->Result, teUrl);
  EXPECT_NE(step->Message.find(server_.Url("/gone.htm")), std::string::npos) << step->Message;
  EXPECT_NE(step->Message.find("404"), std::string::npos) << step->Message;
}

// ---------------------------------------------------------------- the road's questions

TEST_F(CaptureRoadTest, AMovedStartAddressIsTakenOnlyWhenAPersonSaysSo) {
  Put("/", Moved(302, server_.Url("/index.html")));
  Put("/index.html", "<html><title>Index</title></html>");
  // Nobody there: the web keeps its start address, and the report says why.
  nobody_.Set(TUnattended::Shortcut, true);
  Open("nobody");
  ASSERT_TRUE(road_.Run(kCaptureMissing | kCaptureNoResolve, nullptr, true));
  EXPECT_EQ(window_.web->StartEntries.front().Url, server_.Url("/"));
  EXPECT_TRUE(boxes_.shown.empty());
  EXPECT_TRUE(Reported("a été déplacée vers " + server_.Url("/index.html")));
  EXPECT_TRUE(Reported("-> Non"));
  EXPECT_EQ(nobody_.Failures(), 0);
  // A person answers Yes: the new address becomes the start address.
  nobody_.Set(TUnattended::Shortcut, false);
  Open("person");
  boxes_.Answer(IDYES);
  ASSERT_TRUE(road_.Run(kCaptureMissing | kCaptureNoResolve, nullptr, true));
  ASSERT_EQ(Captions(), std::vector<std::string>{kProgramTitle});
  EXPECT_EQ(window_.web->StartEntries.front().Url, server_.Url("/index.html"));
  // A redirect to the same address with a "/" is taken without a question.
  Put("/dir", Moved(301, server_.Url("/dir/")));
  Open("slash", "/dir");
  ASSERT_TRUE(road_.Run(kCaptureMissing | kCaptureNoResolve, nullptr, true));
  EXPECT_EQ(boxes_.shown.size(), 1u);
}

TEST_F(CaptureRoadTest, AStartAddressInErrorOffersItsPageOnlyToAPerson) {
  Open("person", "/gone.htm");
  boxes_.Answer(IDYES);
  ASSERT_TRUE(road_.Run(kCaptureMissing, nullptr, true));
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_NE(boxes_.shown[0].text.find("L'url " + server_.Url("/gone.htm") + " est erronée"), std::string::npos);
  EXPECT_TRUE(Called("tree options"));
  // Nobody there: No, the options stay; the error is counted for the exit status.
  nobody_.Set(TUnattended::NoScreen, true);
  Open("nobody", "/gone.htm");
  ASSERT_TRUE(road_.Run(kCaptureMissing, nullptr, true));
  EXPECT_EQ(boxes_.shown.size(), 1u);
  EXPECT_FALSE(Called("tree options"));
  EXPECT_TRUE(Reported("est erronée"));
  EXPECT_EQ(nobody_.Failures(), 1);
}

TEST_F(CaptureRoadTest, ACloseDuringARunIsAskedAndNobodyLetsTheRunGoOn) {
  // A page that takes a little while to come.
  test::HttpReply slow = test::HttpReply::Ok("<html>" + std::string(4000, 'y') + "</html>");
  slow.blockSize = 200;
  slow.delayBetweenBlocks = std::chrono::milliseconds(20);
  Put("/", slow);
  Open("slow");
  int asked = 0;
  auto* poll = new QTimer(&ras_);
  QObject::connect(poll, &QTimer::timeout, [&] {
    if (!road_.Capture() || asked > 0) return;
    ++asked;
    nobody_.Set(TUnattended::Shortcut, true);
    road_.RequestClose();  // nobody: Cancel, the run goes on
    nobody_.Set(TUnattended::Shortcut, false);
  });
  poll->start(5);
  ASSERT_TRUE(road_.Run(kCaptureMissing | kCaptureNoResolve, nullptr, true));
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(Reported("Il y a une capture en cours"));
  EXPECT_TRUE(Reported("-> Annuler"));
  EXPECT_FALSE(Called("close"));
  EXPECT_EQ(window_.web->RetrievedCount, 1u);  // the slow page came whole
  // A person says OK: the run is aborted and the program closes at its end.
  asked = 0;
  QObject::disconnect(poll, nullptr, nullptr, nullptr);
  QObject::connect(poll, &QTimer::timeout, [&] {
    if (!road_.Capture() || asked > 0) return;
    ++asked;
    boxes_.Answer(IDOK);
    road_.RequestClose();
  });
  Open("slow-again");
  ASSERT_TRUE(road_.Run(kCaptureMissing | kCaptureNoResolve, nullptr, true));
  EXPECT_EQ(Captions(), std::vector<std::string>{"Sortie de Quillon"});
  EXPECT_EQ(window_.calls.back(), "close");
  EXPECT_EQ(window_.web->RetrievedCount, 0u);
}

// ---------------------------------------------------------------- failures of the store

TEST_F(CaptureRoadTest, AFolderThatRefusesWritesIsSaidOnceAsAWriteFailureAndLosesNothing) {
  Site();
  const fs::path file = Open("locked");
  const std::string folder = window_.web->GetFolder();
  const std::string before = test::ReadFileBytes(file);
  {
    ReadOnlyFolder locked(file.parent_path());
    if (!locked.Active()) GTEST_SKIP() << "the folder cannot be made read-only here";
    road_.Run(kCaptureMissing, nullptr, true);
  }
  ASSERT_EQ(boxes_.shown.size(), 1u) << testing::PrintToString(Captions());
  EXPECT_EQ(boxes_.shown[0].caption, "Écriture impossible");
  EXPECT_EQ(boxes_.shown[0].text, "Impossible d'écrire dans le dossier de la capture " + folder + " (" +
                                      ReadOnlyFolder::Reason() +
                                      ") : la capture s'est arrêtée et le web n'a pas pu être enregistré ; il reste "
                                      "tel qu'à son dernier enregistrement.");
  EXPECT_EQ(test::ReadFileBytes(file), before);
  EXPECT_EQ(window_.web->ErrorCount, 0u);
  EXPECT_EQ(window_.web->NotFoundCount, 0u);
  // Once the folder takes writes again, the same web captures the site.
  ASSERT_TRUE(road_.Run(kCaptureMissing, nullptr, true));
  EXPECT_EQ(boxes_.shown.size(), 1u);
  window_.web.reset();
  EXPECT_EQ(RetrievedIn(file), 3u);
}

TEST_F(CaptureRoadTest, ASaveThatFailsIsSaidOnceInFrench) {
  Site();
  const fs::path file = Open("journal");
  // The journal cannot be made: a folder holds the name it is made under.
  fs::create_directories(TWebStream::JournalPath(file).string() + ".new");
  ASSERT_TRUE(road_.Run(kCaptureMissing, nullptr, true));
  ASSERT_EQ(boxes_.shown.size(), 1u) << testing::PrintToString(Captions());
  EXPECT_EQ(boxes_.shown[0].caption, "Enregistrement du web");
  EXPECT_EQ(boxes_.shown[0].text,
            "Impossible de créer le journal du fichier de capture (" + file.string() + ") : Un dossier porte ce nom");
  // Nothing is lost: once the name is free the next save keeps the run.
  fs::remove(TWebStream::JournalPath(file).string() + ".new");
  std::string failure;
  EXPECT_TRUE(window_.SaveWeb(&failure)) << failure;
  window_.web.reset();
  EXPECT_EQ(RetrievedIn(file), 3u);
}

}  // namespace
}  // namespace qlon
