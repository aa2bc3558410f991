// A person's road through the program, driven through its own wiring: new
// webs from File > Nouveau and the wizard, a web edited in the docked wizard
// and moved with the Web menu, a page with a very long name, and the
// program run unattended from a web shortcut (as a child process, without
// a screen and on a screen of the test's own).
#include <signal.h>

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QtTest/QTest>
#include <sstream>

#include "CommandLine.h"
#include "DlgWeb.h"
#include "FilePool.h"
#include "FtpTestServer.h"
#include "HandOver.h"
#include "MainWindowFixture.h"
#include "Mime.h"
#include "Scheduler.h"
#include "ScreenShot.h"
#include "SmallDisk.h"
#include "VirtualScreen.h"
#include "WebStream.h"
#include "WebTree.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;
using namespace platform;
using test::HttpReply;
using test::ReadFileBytes;
using test::SmallDisk;

// The files of a folder, by name, with their bytes.
std::map<std::string, std::string> FilesOf(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.is_regular_file()) files[e.path().filename().string()] = ReadFileBytes(e.path());
  return files;
}

// A site of 60 pages of 20 KB each, linked from its start page.
void FillingSite(const std::function<void(const std::string& path, const std::string& body)>& put) {
  std::string home = "<html><title>Gros site</title><body>";
  for (int i = 0; i < 60; ++i) {
    const std::string page = "/p" + std::to_string(i) + ".htm";
    home += "<a href=\"" + page + "\">" + page + "</a>\n";
    put(page, "<html><body>" + std::string(20000, char('a' + i % 26)) + "</body></html>");
  }
  put("/", home + "</body></html>");
}

// The records a capture still has to take (the next run's queue).
size_t StillToCapture(TWeb& web) {
  size_t n = 0;
  web.ForEach([&](TWebFile& r) {
    n += r.GetState() == fsToCapture;
    return true;
  });
  return n;
}
size_t StillToCapture(const fs::path& file) {
  TWeb web;
  return web.Open(file) == wlOk ? StillToCapture(web) : 0;
}

// A captured web's file damaged in one of its parts, and the reason the
// program gives after "ne peut pas être ouvert : ".
struct Damage {
  const char* what;
  std::function<void(std::string& bytes)> apply;
  std::string reason;
};
std::vector<Damage> Damages() {
  return {
      {"not a web", [](std::string& b) { b = "<html>une page, pas un web</html>"; },
       "ce n'est pas un fichier Web (son en-tête ne commence pas par MQLON)"},
      {"a later format",
       [](std::string& b) {
         b[6] = char(600 & 0xFF);  // the version after the short string "MQLON"
         b[7] = char(600 >> 8);
       },
       "il a été créé par une version plus récente du programme (format 600 ; celle-ci lit jusqu'au format 514)"},
      {"a header cut short", [](std::string& b) { b.resize(30); },
       "son en-tête est endommagé (impossible de lire le titre et les adresses de départ)"},
      {"a tree that miscounts", [](std::string& b) { ++b[kWebHeaderSize + 4]; },  // the tree's record count
       "son arbre des adresses est endommagé (le nombre d'adresses ne correspond pas aux adresses)"},
  };
}

// Every picture an index page shows, as a path; those that are missing.
std::vector<std::string> MissingPicturesOf(const fs::path& folder) {
  std::vector<std::string> missing;
  for (const auto& e : fs::directory_iterator(folder / "Index")) {
    const std::string page = ReadFileBytes(e.path());
    for (size_t at = page.find("src=\""); at != std::string::npos; at = page.find("src=\"", at + 1)) {
      const size_t end = page.find('"', at + 5);
      const fs::path picture = (e.path().parent_path() / page.substr(at + 5, end - at - 5)).lexically_normal();
      if (!fs::exists(picture)) missing.push_back(picture.string());
    }
  }
  return missing;
}

// The thumbnails of a capture folder, by name, with their bytes.
std::map<std::string, std::string> ThumbnailsOf(const fs::path& folder) {
  std::map<std::string, std::string> thumbs;
  if (!fs::is_directory(folder / "thumb")) return thumbs;
  for (const auto& e : fs::recursive_directory_iterator(folder / "thumb"))
    if (e.is_regular_file()) thumbs[e.path().lexically_relative(folder).string()] = ReadFileBytes(e.path());
  return thumbs;
}

class UserRoadTest : public test::MainWindowFixture {
 protected:
  // A small site under a folder of the server: a page, a page it links to,
  // and a picture.
  void SiteUnder(const std::string& folder, const std::string& title) {
    Put(folder, "<html><head><title>" + title + "</title></head><body><a href=\"page.htm\">page</a>"
                "<img src=\"pic.gif\"></body></html>");
    Put(folder + "page.htm", "<html><body><a href=\"" + folder + "\">retour</a></body></html>");
    Put(folder + "pic.gif", std::string("GIF89a\x08\x00\x04\x00", 10) + std::string(30, '\0'), "image/gif");
  }
  // The window as a person finds it, with `file` opened from File > Ouvrir.
  void ShowWithWeb(const fs::path& file) {
    Make();
    win_->resize(900, 600);
    win_->show();
    OpenFromTheMenu(file);
  }
  // File > Nouveau; `fill` works on the wizard (modal) as a person does.
  // Returns whether the wizard was seen.
  bool NewWebFromTheMenu(const std::function<void(shell::TDlgWeb&)>& fill) {
    bool seen = false;
    auto* poll = new QTimer(win_.get());
    QObject::connect(poll, &QTimer::timeout, poll, [&, poll] {
      auto* dlg = qobject_cast<shell::TDlgWeb*>(QApplication::activeModalWidget());
      if (!dlg || !dlg->isVisible()) return;
      poll->stop();
      poll->deleteLater();
      seen = true;
      fill(*dlg);
    });
    poll->start(10);
    Probe().MenuFileNew()->trigger();
    return seen;
  }
  static void Type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
  }
  // The OK buttons as clicked; the wizard is still open when refused.
  static void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  // A node of the web tree, clicked; its page shows after the tree's timer.
  void ClickTreeNode(int tag) {
    controls::TWTreeNode* node = Probe().Tree()->FindNodeByTag(quint8(tag));
    ASSERT_NE(node, nullptr) << tag;
    const int row = Probe().Tree()->Model().RowOf(node);
    ASSERT_GE(row, 0) << tag;
    QTest::mouseClick(Probe().Tree()->viewport(), Qt::LeftButton, {}, Probe().Tree()->CellRect(0, row).center());
  }
};

// ---------------------------------------------------------------- new webs

TEST_F(UserRoadTest, TwoNewWebsGetTheirOwnFoldersAndKeepTheirRecords) {
  SiteUnder("/alpha/", "Alpha");
  SiteUnder("/beta/", "Beta");
  Make();
  win_->show();
  const auto settings = FilesOf(work_);
  ASSERT_TRUE(settings.count("mime.def"));

  QString proposed[2];
  for (const char* folder : {"alpha", "beta"}) {
    const int n = folder[0] == 'a' ? 0 : 1;
    ASSERT_TRUE(NewWebFromTheMenu([&](shell::TDlgWeb& dlg) {
      Type(dlg.UrlCombo->lineEdit(), QString::fromStdString(server_.Url("/" + std::string(folder) + "/")));
      proposed[n] = dlg.Path_PathEdit->text();
      if (n == 1 && dlg.GoToPage(shell::TDlgWeb::pgPath)) test::SaveScreenShot(dlg, "new-web-destination");
      Click(dlg.OKCaptureBtn);
    }));
    ASSERT_TRUE(CapturedAll(3)) << folder;
  }
  EXPECT_EQ(proposed[0].toStdString(), work_ + "alpha/");
  EXPECT_EQ(proposed[1].toStdString(), work_ + "beta/");
  ASSERT_TRUE(Probe().CloseWeb(false));
  EXPECT_TRUE(boxes_.shown.empty()) << boxes_.shown.front().text;

  // Both reopen whole, each from its own folder.
  for (const char* folder : {"alpha", "beta"}) {
    const fs::path file = fs::path(work_) / folder / "local.web";
    TWeb web;
    ASSERT_EQ(web.Open(file), wlOk) << folder;
    EXPECT_EQ(web.RetrievedCount, 3u);
    EXPECT_EQ(web.GetCount(), 3u);
    EXPECT_TRUE(fs::exists(web.GetLocalPathOfUrl(server_.Url("/" + std::string(folder) + "/page.htm"))));
  }
  // The work folder kept its settings files and took no capture.
  const auto after = FilesOf(work_);
  EXPECT_EQ(after.at("mime.def"), settings.at("mime.def"));
  for (const auto& [name, bytes] : after)
    EXPECT_TRUE(name == "quillon.ini" || name == "profiles.ini" || name == "mime.def" || name == "webs.dat" ||
                name == "uhistory.lst" || name == "cookies.txt")
        << name;

  // The same address again: its folder is taken, a numbered one is offered,
  // the number set apart from the name; the capture lives there whole.
  ASSERT_TRUE(NewWebFromTheMenu([&](shell::TDlgWeb& dlg) {
    Type(dlg.UrlCombo->lineEdit(), QString::fromStdString(server_.Url("/alpha/")));
    proposed[0] = dlg.Path_PathEdit->text();
    Click(dlg.OKCaptureBtn);
  }));
  EXPECT_EQ(proposed[0].toStdString(), work_ + "alpha (2)/");
  ASSERT_TRUE(CapturedAll(3));
  ASSERT_TRUE(Probe().CloseWeb(false));
  TWeb again;
  ASSERT_EQ(again.Open(fs::path(work_) / "alpha (2)" / "local.web"), wlOk);
  const fs::path page = again.GetLocalPathOfUrl(server_.Url("/alpha/page.htm"));
  EXPECT_TRUE(fs::exists(page)) << page;
  EXPECT_EQ(page.string().rfind(work_ + "alpha (2)/", 0), 0u) << page;
  EXPECT_TRUE(fs::exists(fs::path(work_) / "alpha (2)" / "_Accueil.htm"));
}

TEST_F(UserRoadTest, ASecondWebOfAnAddressIsNumberedApartFromTheAddress) {
  for (const char* taken : {"127.0.0.1", "127.0.0.1 (2)"}) test::WriteFileBytes(fs::path(work_) / taken / "local.web", "x");
  Make();
  win_->show();
  QString proposed;
  ASSERT_TRUE(NewWebFromTheMenu([&](shell::TDlgWeb& dlg) {
    Type(dlg.UrlCombo->lineEdit(), QString::fromStdString(server_.Url("/")));
    proposed = dlg.Path_PathEdit->text();
    Click(dlg.CancelBtn);
  }));
  EXPECT_EQ(proposed.toStdString(), work_ + "127.0.0.1 (3)/");
}

TEST_F(UserRoadTest, TheWizardOpensOverTheMainWindow) {
  Make();
  win_->show();
  win_->move(300, 200);
  QRect wizard;
  ASSERT_TRUE(NewWebFromTheMenu([&](shell::TDlgWeb& dlg) {
    wizard = dlg.frameGeometry();
    Click(dlg.CancelBtn);
  }));
  const QPoint mainCentre = win_->frameGeometry().center();
  EXPECT_LE((wizard.center() - mainCentre).manhattanLength(), 4)
      << wizard.x() << "," << wizard.y() << " " << wizard.width() << "x" << wizard.height();
  EXPECT_GT(wizard.width(), 300);
}

TEST_F(UserRoadTest, ANewWebNeverTakesTheWorkFolderNorAnotherWebsFolder) {
  const fs::path other = MakeWeb("alpha", server_.Url("/alpha/"));
  const std::string before = ReadFileBytes(other);
  Make();
  win_->show();
  std::vector<int> pages;
  bool stillOpen = true;
  ASSERT_TRUE(NewWebFromTheMenu([&](shell::TDlgWeb& dlg) {
    Type(dlg.UrlCombo->lineEdit(), QString::fromStdString(server_.Url("/alpha/")));
    EXPECT_EQ(dlg.Path_PathEdit->text().toStdString(), work_ + "alpha (2)/");
    for (const std::string& folder : {work_, other.parent_path().string() + "/", QDir::homePath().toStdString()}) {
      Type(dlg.Path_PathEdit, QString::fromStdString(folder));
      if (folder != work_) boxes_.Answer(IDNO);  // to emptying the other web's folder
      Click(dlg.OKBtn);
      pages.push_back(dlg.CurrentPage());
    }
    stillOpen = dlg.isVisible();
    Click(dlg.CancelBtn);
  }));
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(pages, (std::vector<int>{shell::TDlgWeb::pgPath, shell::TDlgWeb::pgPath, shell::TDlgWeb::pgPath}));
  ASSERT_EQ(boxes_.shown.size(), 4u);
  EXPECT_NE(boxes_.shown[0].text.find("ne peut pas recevoir une capture"), std::string::npos);
  EXPECT_EQ(boxes_.shown[1].caption, "Effacement");
  EXPECT_NE(boxes_.shown[2].text.find("n'est pas vide"), std::string::npos);
  EXPECT_NE(boxes_.shown[3].text.find("ne peut pas recevoir une capture"), std::string::npos);
  EXPECT_EQ(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(ReadFileBytes(other), before);
}

TEST_F(UserRoadTest, TheWizardIsWalkedWithTheKeyboard) {
  Make();
  win_->show();
  const QString url = QString::fromStdString(server_.Url("/clavier/"));
  bool typedInAddress = false, closedByEscape = false;
  std::vector<QWidget*> order, expected;
  ASSERT_TRUE(NewWebFromTheMenu([&](shell::TDlgWeb& dlg) {
    // What a person types first goes into the address.
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &dlg; }));
    typedInAddress = dlg.UrlCombo->hasFocus();
    const auto focused = [] { return QApplication::focusWidget(); };
    QTest::keyClick(focused(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(focused(), url);
    typedInAddress = typedInAddress && dlg.UrlCombo->currentText() == url;
    // Tab reads the form as it is written, and comes back to the address
    // (the buttons that cannot act now are passed).
    expected = {dlg.UserNameEdit, dlg.PasswordEdit, dlg.Url_TitleEdit, dlg.CheckUrlBtn, dlg.OpenUrlButton};
    if (dlg.BrowserUrlBut->isEnabled()) expected.push_back(dlg.BrowserUrlBut);
    for (QWidget* w : std::initializer_list<QWidget*>{dlg.NextBtn, dlg.OKBtn, dlg.OKCaptureBtn, dlg.CancelBtn,
                                                      dlg.PageList, dlg.UrlCombo})
      expected.push_back(w);
    for (size_t i = 0; i < expected.size(); ++i) {
      QTest::keyClick(focused(), Qt::Key_Tab);
      order.push_back(focused());
    }
    // Escape is Annuler: the wizard closes and makes nothing.
    QTest::keyClick(focused(), Qt::Key_Escape);
    closedByEscape = !dlg.isVisible();
    if (!closedByEscape) Click(dlg.CancelBtn);
  }));
  EXPECT_TRUE(typedInAddress);
  EXPECT_EQ(order, expected);
  EXPECT_TRUE(closedByEscape);
  EXPECT_EQ(win_->CurrentWeb(), nullptr);
  EXPECT_FALSE(fs::exists(fs::path(work_) / "127.0.0.1"));
  EXPECT_TRUE(boxes_.shown.empty()) << boxes_.shown.front().text;
}

// ---------------------------------------------------------------- an open web

TEST_F(UserRoadTest, StartEntriesSurviveTheOptionsPageAndASave) {
  const fs::path file = MakeWeb("two", server_.Url("/"));
  {
    TWeb web;
    ASSERT_EQ(web.Open(file), wlOk);
    web.StartEntries.push_back({server_.Url("/second/"), "", "", ""});
    web.Save();
  }
  ShowWithWeb(file);
  ClickTreeNode(tpOptions);
  ASSERT_TRUE(Pump([&] { return win_->View() == mvWebConfig; }, 5));
  ASSERT_NE(Probe().DlgWeb(), nullptr);
  ClickTreeNode(tpWeb);
  ASSERT_TRUE(Pump([&] { return win_->View() == mvCapture; }, 5));
  win_->activateWindow();
  QTest::keyClick(win_.get(), Qt::Key_E, Qt::ControlModifier);
  Probe().MenuFileClose()->trigger();
  ASSERT_EQ(win_->CurrentWeb(), nullptr);
  TWeb web;
  ASSERT_EQ(web.Open(file), wlOk);
  ASSERT_EQ(web.StartEntries.size(), 2u);
  EXPECT_EQ(web.StartEntries[0].Url, server_.Url("/"));
  EXPECT_EQ(web.StartEntries[1].Url, server_.Url("/second/"));
  EXPECT_TRUE(boxes_.shown.empty()) << boxes_.shown.front().text;
}

TEST_F(UserRoadTest, TheWindowFollowsWhatWasDoneAtOnce) {
  Site();
  Put("/a.htm", SlowPage());  // a run long enough to show its duration
  const fs::path file = MakeWeb("site", server_.Url("/"), "Ancien titre");
  const fs::path other = MakeWeb("other", server_.Url("/a.htm"), "Autre web");
  ShowWithWeb(file);
  StartCaptureFromTheMenu();
  ASSERT_TRUE(CapturedAll(3));
  auto* elapsed = Probe().Find<QLabel>("ElapsedLabel");
  EXPECT_FALSE(elapsed->text().isEmpty());

  // A title saved from the docked configuration names the window and the
  // recent web at once.
  ClickTreeNode(tpOptions);
  ASSERT_TRUE(Pump([&] { return win_->View() == mvWebConfig && Probe().DlgWeb(); }, 5));
  Type(Probe().DlgWeb()->Url_TitleEdit, "Nouveau titre");
  Probe().MenuFileSave()->trigger();
  EXPECT_TRUE(win_->windowTitle().endsWith("(Nouveau titre)")) << win_->windowTitle().toStdString();
  QStringList recent;
  for (QAction* a : Probe().MenuFile()->actions())
    if (a->data().toInt() > 0) recent << a->text();
  EXPECT_TRUE(recent.contains("&1 Nouveau titre")) << recent.join(" | ").toStdString();

  // The shortcut's file gets a name of its own: the box says where it is.
  Probe().Find<QAction>("MenuWebAddWebShortcut")->trigger();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  const std::string text = boxes_.shown[0].text;
  const std::size_t at = text.find(":\n");
  ASSERT_NE(at, std::string::npos) << text;
  const fs::path shortcut = text.substr(at + 2);
  EXPECT_EQ(shortcut.extension(), ".wbs");
  EXPECT_TRUE(fs::is_regular_file(shortcut)) << text;
  EXPECT_NE(text.find("bureau"), std::string::npos);

  // The duration was of that web's run: another web shows none.
  OpenFromTheMenu(other);
  EXPECT_TRUE(elapsed->text().isEmpty()) << elapsed->text().toStdString();
  EXPECT_TRUE(win_->windowTitle().endsWith("(Autre web)"));
}

TEST_F(UserRoadTest, ACapturedWebKeepsItsFolderAndMovesWithTheWebMenu) {
  Site();
  const fs::path file = MakeWeb("site", server_.Url("/"));
  ShowWithWeb(file);
  StartCaptureFromTheMenu();
  ASSERT_TRUE(CapturedAll(3));

  // The destination of a captured web cannot be typed over.
  ClickTreeNode(tpOptions);
  ASSERT_TRUE(Pump([&] { return win_->View() == mvWebConfig && Probe().DlgWeb(); }, 5));
  shell::TDlgWeb& dlg = *Probe().DlgWeb();
  dlg.PageList->setCurrentRow(shell::TDlgWeb::pgPath);
  ASSERT_EQ(dlg.CurrentPage(), shell::TDlgWeb::pgPath);
  const QString folder = dlg.Path_PathEdit->text();
  QTest::keyClicks(dlg.Path_PathEdit, "ailleurs");
  EXPECT_EQ(dlg.Path_PathEdit->text(), folder);
  EXPECT_TRUE(dlg.Path_FixedLabel->isVisible());
  test::SaveScreenShot(*win_, "captured-web-destination");
  Probe().MenuFileSave()->trigger();

  // Moved (and copied) to a folder given with its trailing "/".
  const fs::path target = fs::path(work_) / "moved";
  dirAnswer_ = QString::fromStdString(target.string()) + "/";
  Probe().MenuWebMove()->trigger();
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(win_->CurrentWeb()->Path(), target / "local.web");
  EXPECT_FALSE(fs::exists(file.parent_path()));
  const fs::path copy = fs::path(work_) / "copied";
  dirAnswer_ = QString::fromStdString(copy.string()) + "/";
  Probe().MenuWebCopy()->trigger();
  // Each said once it has ended, the source folder gone with the move.
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[0].text, "Le Web a été déplacé dans " + target.string() + ".");
  EXPECT_EQ(boxes_.shown[1].text, "Le Web a été copié dans " + copy.string() + ".");
  ASSERT_TRUE(Probe().CloseWeb(false));

  for (const fs::path& place : {target, copy}) {
    TWeb web;
    ASSERT_EQ(web.Open(place / "local.web"), wlOk) << place;
    EXPECT_EQ(web.RetrievedCount, 3u);
    web.ForEach([&](TWebFile& r) {
      EXPECT_TRUE(fs::exists(r.GetLocalPath())) << r.FullUrl;
      return true;
    });
  }
}

TEST_F(UserRoadTest, APageWithAThreeHundredByteNameIsCapturedAndLinked) {
  const std::string name(300, 'n');
  Put("/", "<html><body><a href=\"" + name + ".htm\">long</a></body></html>");
  Put("/" + name + ".htm", "<html><body><a href=\"b.htm\">b</a><a href=\"/\">home</a></body></html>");
  Put("/b.htm", "<html><body>b</body></html>");
  Make();
  win_->show();
  OpenFromTheMenu(MakeWeb("long", server_.Url("/")));
  StartCaptureFromTheMenu();
  ASSERT_TRUE(CapturedAll(3));
  TWeb& web = *win_->CurrentWeb();
  TWebFile page(&web);
  ASSERT_TRUE(web.FindUrl(server_.Url("/" + name + ".htm"), page));
  EXPECT_EQ(page.GetState(), fsRetrieved);
  const std::string local = page.GetFileName();
  EXPECT_LE(local.size(), 255u);
  EXPECT_EQ(local.substr(local.size() - 4), ".htm");
  ASSERT_TRUE(fs::exists(page.GetLocalPath()));
  // Links resolved both ways: to the long page and from it.
  TWebFile home(&web);
  ASSERT_TRUE(web.FindUrl(server_.Url("/"), home));
  EXPECT_NE(ReadFileBytes(home.GetLocalPath()).find("href=\"" + local + "\""), std::string::npos);
  const std::string saved = ReadFileBytes(page.GetLocalPath());
  EXPECT_NE(saved.find("<a href=\"b.htm\""), std::string::npos) << saved;
  EXPECT_EQ(saved.find("href=\"" + server_.Url("/b.htm")), std::string::npos) << saved;
}

TEST_F(UserRoadTest, OkAndCaptureOnTheOptionsPageCapturesTheWeb) {
  Site();
  const fs::path file = MakeWeb("site", server_.Url("/"));
  ShowWithWeb(file);
  ClickTreeNode(tpOptions);
  ASSERT_TRUE(Pump([&] { return win_->View() == mvWebConfig && Probe().DlgWeb(); }, 5));
  Type(Probe().DlgWeb()->Url_TitleEdit, "Site du jour");
  Click(Probe().DlgWeb()->OKCaptureBtn);
  ASSERT_TRUE(CapturedAll(3));
  EXPECT_EQ(win_->CurrentWeb()->GetTitle(), "Site du jour");
  EXPECT_TRUE(win_->windowTitle().endsWith("(Site du jour)")) << win_->windowTitle().toStdString();
  EXPECT_TRUE(boxes_.shown.empty()) << boxes_.shown.front().text;
}

TEST_F(UserRoadTest, TheOpenWebStaysUntilAnotherOneIsOpen) {
  const fs::path first = MakeWeb("first", server_.Url("/"), "Premier");
  const fs::path second = MakeWeb("second", server_.Url("/a.htm"), "Second");
  const fs::path notAWeb = fs::path(work_) / "page" / "local.web";
  test::WriteFileBytes(notAWeb, "<html>une page, pas un web</html>");
  Make();
  win_->show();
  OpenFromTheMenu(first);
  ClickTreeNode(tpOptions);
  ASSERT_TRUE(Pump([&] { return win_->View() == mvWebConfig; }, 5));
  const auto stillFirst = [&] {
    return win_->CurrentWeb() && win_->CurrentWeb()->Path() == first && win_->CurrentWeb()->IsFileOpen() &&
           win_->View() == mvWebConfig;
  };
  const auto open = [&](const fs::path& file) {
    Probe().AskOpenWebFile() = [file] { return QString::fromStdString(file.string()); };
    Probe().MenuFileOpen()->trigger();
  };
  // Annuler in the file dialog.
  open({});
  EXPECT_TRUE(stillFirst());
  EXPECT_TRUE(boxes_.shown.empty());
  // A file that is no web, and one gone meanwhile: said, the web stays.
  open(notAWeb);
  open(fs::path(work_) / "gone" / "local.web");
  EXPECT_TRUE(stillFirst());
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[0].caption, "Ouverture d'un Web");
  EXPECT_NE(boxes_.shown[0].text.find("ne peut pas être ouvert"), std::string::npos) << boxes_.shown[0].text;
  EXPECT_NE(boxes_.shown[1].text.find("n'existe pas"), std::string::npos) << boxes_.shown[1].text;
  // Its own file: it stays as it is.
  open(first);
  EXPECT_TRUE(stillFirst());
  EXPECT_EQ(boxes_.shown.size(), 2u);
  // Another web replaces it: the first is closed (another program may hold it).
  open(second);
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(win_->CurrentWeb()->Path(), second);
  {
    TWeb again;
    EXPECT_EQ(again.Open(first), wlOk);
  }
  // A recent web that no longer opens leaves the current one too.
  test::WriteFileBytes(first, "abimé");
  QAction* recentFirst = nullptr;
  for (QAction* a : Probe().MenuFile()->actions())
    if (a->data().toInt() > 0 && a->text().contains("Premier")) recentFirst = a;
  ASSERT_NE(recentFirst, nullptr);
  recentFirst->trigger();
  EXPECT_EQ(boxes_.shown.size(), 3u);
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(win_->CurrentWeb()->Path(), second);
  EXPECT_TRUE(win_->CurrentWeb()->IsFileOpen());
}

// A person opening a damaged web, from the menu or a shortcut handed to the
// window, is told why; the file is left as it was, and once mended it opens
// with all that was captured.
TEST_F(UserRoadTest, ADamagedWebIsRefusedWithItsReasonAndLeftAsItWas) {
  Site();
  const fs::path file = MakeWeb("site", server_.Url("/"));
  Make();
  win_->show();
  OpenFromTheMenu(file);
  StartCaptureFromTheMenu();
  ASSERT_TRUE(CapturedAll(3));
  const uint64_t records = win_->CurrentWeb()->GetCount();
  ASSERT_TRUE(Probe().CloseWeb(false));
  const std::string sound = ReadFileBytes(file);
  const fs::path wbs = MakeShortcut(file, 1, false, false);
  Probe().AskOpenWebFile() = [file] { return QString::fromStdString(file.string()); };
  for (const Damage& damage : Damages()) {
    std::string bytes = sound;
    damage.apply(bytes);
    test::WriteFileBytes(file, bytes);
    boxes_.shown.clear();
    Probe().MenuFileOpen()->trigger();
    HandOver({wbs.string()});
    ASSERT_TRUE(Pump([&] { return boxes_.shown.size() >= 2; }, 10)) << damage.what;
    const std::string said = "Le web " + file.string() + " ne peut pas être ouvert : " + damage.reason + ".";
    EXPECT_EQ(boxes_.shown[0].caption, "Ouverture d'un Web");
    EXPECT_EQ(boxes_.shown[0].text, said);
    EXPECT_EQ(boxes_.shown[1].caption, "Raccourci de capture");
    EXPECT_EQ(boxes_.shown[1].text, said);
    EXPECT_EQ(win_->CurrentWeb(), nullptr) << damage.what;
    EXPECT_TRUE(win_->isVisible()) << "a person is there: the window stays";
    EXPECT_EQ(ReadFileBytes(file), bytes) << damage.what << ": nothing written";
  }
  test::WriteFileBytes(file, sound);
  OpenFromTheMenu(file);
  EXPECT_EQ(win_->CurrentWeb()->GetCount(), records);
  EXPECT_EQ(win_->CurrentWeb()->RetrievedCount, 3u);
}

// ---------------------------------------------------------------- nobody there

TEST_F(UserRoadTest, AScheduledRunAnswersForItselfAndWritesItsJournal) {
  Put("/", Moved(302, server_.Url("/index.html")));
  Put("/index.html", "<html><title>Index</title></html>");
  const fs::path web = MakeWeb("sched", server_.Url("/"));
  Make();
  TScheduler& scheduler = Probe().DlgScheduler()->Scheduler();
  auto due = CaptureJob(scheduler, web, kActionCapture | kActionResolveLinks, -1000);
  TTask* job = due.get();
  ASSERT_TRUE(JobRanToItsEnd(std::move(due)));
  EXPECT_TRUE(boxes_.shown.empty()) << boxes_.shown.front().text;
  // The start address stays; the run followed the redirect.
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(win_->CurrentWeb()->StartEntries.front().Url, server_.Url("/"));
  EXPECT_EQ(State(server_.Url("/index.html")), fsRetrieved);
  std::string journal;
  {
    auto lock = scheduler.LockTree();
    for (const auto& line : job->LoadJournal()) journal += line + "\n";
  }
  EXPECT_NE(journal.find("a été déplacée vers " + server_.Url("/index.html")), std::string::npos) << journal;
}

// A disk that fills up stops the capture with the web saved and says why:
// to the person in a box, to a scheduled job in its journal, which ends the
// step in error.
TEST_F(UserRoadTest, AFullDiskStopsTheCaptureAndSaysWhy) {
  FillingSite([&](const std::string& path, const std::string& body) { Put(path, body); });
  SmallDisk disk(fs::path(work_) / "full", "1m");
  if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  const fs::path web = MakeWeb("full", server_.Url("/"));
  Make();
  win_->show();
  OpenFromTheMenu(web);
  StartCaptureFromTheMenu();
  ASSERT_TRUE(Pump([&] { return !Probe().Road().Running() && win_->Mode() == mmWebOpen; }, 30));
  EXPECT_EQ(Captions(), (std::vector<std::string>{"Disque plein"}));
  EXPECT_TRUE(Asked("Espace disque insuffisant dans " + web.parent_path().string()));
  const uint64_t first = win_->CurrentWeb()->RetrievedCount;
  EXPECT_GT(first, 3u);
  EXPECT_GT(StillToCapture(*win_->CurrentWeb()), 10u);

  boxes_.shown.clear();
  TScheduler& scheduler = Probe().DlgScheduler()->Scheduler();
  auto due = CaptureJob(scheduler, web, kActionCapture, -1000);
  TTask* job = due.get();
  TTask* step = job->GetChild(0);
  ASSERT_TRUE(JobRanToItsEnd(std::move(due)));
  EXPECT_TRUE(boxes_.shown.empty()) << boxes_.shown.front().text;
  std::string journal;
  {
    auto lock = scheduler.LockTree();
    EXPECT_EQ(step->GetState(), tsError);
    EXPECT_EQ(step->Result, teWebSave);
    for (const auto& line : job->LoadJournal()) journal += line + "\n";
  }
  EXPECT_NE(journal.find("[Disque plein] Espace disque insuffisant"), std::string::npos) << journal;
  EXPECT_NE(journal.find("#" + std::string(TextAt(kTaskErrorTexts, teWebSave))), std::string::npos) << journal;
  EXPECT_GE(win_->CurrentWeb()->RetrievedCount, first);
}

TEST_F(UserRoadTest, AHandedOverNameMustBeAbsolute) {
  Site();
  const fs::path web = MakeWeb("site", server_.Url("/"));
  const fs::path wbs = MakeShortcut(web, 1, false, false);
  Make();
  HandOver({"run.wbs"});
  ASSERT_TRUE(Pump([&] { return !boxes_.shown.empty(); }, 5));
  EXPECT_NE(boxes_.shown[0].text.find("chemin complet"), std::string::npos);
  EXPECT_EQ(win_->CurrentWeb(), nullptr);
  // What a second instance sends instead.
  const StringList sent = shell::HandOverArguments({"run.wbs", "\"sub/x.web\" -v", "/B", "URL(a.web)", "/abs/c.url"},
                                            web.parent_path());
  EXPECT_EQ(sent, (StringList{wbs.string(), (web.parent_path() / "sub/x.web").string(), "/B", "URL(a.web)",
                              "/abs/c.url"}));
}

// ---------------------------------------------------------------- the program

class ProgramRoadTest : public test::ProgramFixture {
 protected:
  // Once the disk has room, the shortcut run again takes every record left.
  void ExpectTheRestOnceTheDiskGrows(SmallDisk& disk, const std::string& size, const fs::path& wbs,
                                     const fs::path& web, uint64_t retrieved) {
    ASSERT_TRUE(disk.Resize(size));
    QProcess* again = Start({QString::fromStdString(wbs.string())});
    ASSERT_TRUE(Finished(again, 60)) << Errors(again);
    EXPECT_EQ(again->exitCode(), 0) << Errors(again);
    EXPECT_EQ(RetrievedIn(web), retrieved);
    EXPECT_EQ(StillToCapture(web), 0u);
  }
};

TEST_F(ProgramRoadTest, AShortcutWhoseStartPageMovedEndsByItselfWithTheCaptureSaved) {
  Put("/", Moved(302, server_.Url("/index.html")));
  Put("/index.html", "<html><title>Index</title><a href=\"a.htm\">a</a></html>");
  Put("/a.htm", "<html>a</html>");
  const fs::path web = MakeWeb("moved", server_.Url("/"));
  MakeShortcut(web, 1, true, true);
  // Named as a person in that folder names it.
  QProcess* p = Start({"run.wbs"}, [&](QProcess& process, QProcessEnvironment&) {
    process.setWorkingDirectory(QString::fromStdString(web.parent_path().string()));
  });
  ASSERT_TRUE(Finished(p, 30)) << Errors(p);
  EXPECT_EQ(p->exitCode(), 0) << Errors(p);
  EXPECT_NE(Errors(p).find("a été déplacée vers"), std::string::npos) << Errors(p);
  TWeb reopened;
  ASSERT_EQ(reopened.Open(web), wlOk);
  EXPECT_EQ(reopened.RetrievedCount, 3u);  // the redirect, index.html, a.htm
  EXPECT_EQ(reopened.StartEntries.front().Url, server_.Url("/"));
}

TEST_F(ProgramRoadTest, AShortcutWhoseCaptureCannotBeSavedEndsWithTheMessage) {
  Site();
  const fs::path web = MakeWeb("locked", server_.Url("/"));
  const fs::path wbs = MakeShortcut(web, 1, true, true);
  // The capture file's journal cannot be made: a folder holds the name it
  // is made under.
  const fs::path fresh = TWebStream::JournalPath(web).string() + ".new";
  fs::create_directory(fresh);
  QProcess* p = Start({QString::fromStdString(wbs.string())});
  const bool finished = Finished(p, 30);
  fs::remove(fresh);
  ASSERT_TRUE(finished) << Errors(p);
  EXPECT_EQ(p->exitCode(), 1) << Errors(p);
  // Said once, in French: the close that ends the run does not say it again.
  const std::vector<std::string> own = OwnLines(p);
  ASSERT_EQ(own.size(), 1u) << Errors(p);
  EXPECT_EQ(own[0], "qlon98: [Enregistrement du web] Impossible de créer le journal du fichier de capture (" +
                        web.string() + ") : Un dossier porte ce nom");
}

// A disk that fills up ends the run as a failure: one line on standard
// error, status 1, the rest of the site still queued; once there is room,
// the same shortcut finishes the capture.
TEST_F(ProgramRoadTest, AShortcutWhoseDiskFillsUpEndsWithStatusOneAndFinishesOnceThereIsRoom) {
  FillingSite([&](const std::string& path, const std::string& body) { Put(path, body); });
  SmallDisk disk(fs::path(work_) / "full", "1m");
  if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  const fs::path web = MakeWeb("full", server_.Url("/"));
  const fs::path wbs = MakeShortcut(web, 1, true, true);
  const std::vector<std::string> own = RunShortcut(wbs, 1);
  ASSERT_EQ(own.size(), 1u);
  EXPECT_EQ(own[0].rfind("qlon98: [Disque plein] Espace disque insuffisant dans " + web.parent_path().string(), 0),
            0u) << own[0];
  const uint64_t first = RetrievedIn(web);
  EXPECT_GT(first, 3u);
  EXPECT_LT(first, 61u);
  EXPECT_GT(StillToCapture(web), 10u);

  ExpectTheRestOnceTheDiskGrows(disk, "8m", wbs, web, 61u);
}

// Bodies sent without a length cannot be weighed at their header, and
// several arrive at once: while they come, the run keeps the room its save
// needs. It stops with the records it took saved and no partial body left.
TEST_F(ProgramRoadTest, BodiesOfNoAnnouncedLengthThatFillTheDiskLeaveTheRunSaved) {
  constexpr size_t kBody = size_t(512) << 10;
  std::string home = "<html><body>";
  for (int i = 0; i < 12; ++i) {
    const std::string path = "/b" + std::to_string(i) + ".bin";
    home += "<a href=\"" + path + "\">" + path + "</a>\n";
    HttpReply reply = HttpReply::Ok({}, "application/octet-stream");
    reply.generatedBody = kBody;
    reply.generatedBlock = 16 << 10;
    reply.contentLength = false;
    Put(path, reply);
  }
  Put("/", home + "</body></html>");
  SmallDisk disk(fs::path(work_) / "full", "2m");
  if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  const fs::path web = MakeWeb("full", server_.Url("/"));
  const fs::path wbs = MakeShortcut(web, 1, false, true);
  QProcess* p = Start({QString::fromStdString(wbs.string())});
  ASSERT_TRUE(Finished(p, 60)) << Errors(p);
  EXPECT_EQ(p->exitCode(), 1) << Errors(p);
  EXPECT_NE(Errors(p).find("qlon98: [Disque plein]"), std::string::npos) << Errors(p);
  EXPECT_EQ(Errors(p).find("Enregistrement du web"), std::string::npos) << "the save had its room: " << Errors(p);
  const uint64_t first = RetrievedIn(web);
  EXPECT_GE(first, 2u) << "the start page and a body";
  EXPECT_GT(StillToCapture(web), 0u);
  size_t bodies = 0;
  for (const auto& entry : fs::recursive_directory_iterator(web.parent_path()))
    if (entry.path().extension() == ".bin") {
      EXPECT_EQ(entry.file_size(), kBody) << entry.path();
      ++bodies;
    }
  EXPECT_EQ(bodies, first - 1) << "each body on the disk is a record's, whole";

  ExpectTheRestOnceTheDiskGrows(disk, "16m", wbs, web, 13u);
}

TEST_F(ProgramRoadTest, WithNoScreenAShortcutThatKeepsTheProgramOpenEndsAfterItsRun) {
  Site();
  const fs::path web = MakeWeb("open", server_.Url("/"));
  QProcess* p = Start({QString::fromStdString(MakeShortcut(web, 1, false, false).string())});
  ASSERT_TRUE(Finished(p, 30)) << "waits for nobody: " << Errors(p);
  EXPECT_EQ(p->exitCode(), 0) << Errors(p);
  EXPECT_EQ(RetrievedIn(web), 3u);
}

// An FTP server that lets the run list its folder, then refuses every
// session: the files it withheld are in error in the capture, and the run,
// which nobody watched, says so on standard error and in its status.
TEST_F(ProgramRoadTest, AShortcutRunThatAServerRefusedEndsWithStatusOneAndSaysWhatWasLost) {
  test::FtpTestServer ftp;
  ASSERT_TRUE(ftp.Start());
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) ftp.AddFile(std::string("/pub/") + name, name);
  ftp.SetSessionLimit(4, 1);
  setup_.TryCount = 1;
  setup_.MaxSockets = 4;
  ASSERT_TRUE(setup_.SaveSettings());
  const fs::path web = MakeWeb("refused", ftp.Url("/pub/"));
  const std::vector<std::string> own = RunShortcut(MakeShortcut(web, 1, true, true), 1);
  ASSERT_EQ(own.size(), 1u);
  EXPECT_EQ(own[0], "qlon98: [Capture incomplète] Le serveur " + ftp.Url("") +
                        " a refusé des connexions (« 421 Too many connections from this IP. ») : 3 adresses "
                        "n'ont pas pu être capturées, elles sont marquées en erreur ; la capture s'en est tenue à "
                        "1 connexion vers ce serveur.");
  TWeb reopened;
  ASSERT_EQ(reopened.Open(web), wlOk);
  EXPECT_EQ(reopened.RetrievedCount, 1u);
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    TWebFile r(&reopened);
    ASSERT_TRUE(reopened.FindUrl(ftp.Url(std::string("/pub/") + name), r)) << name;
    EXPECT_EQ(r.GetState(), fsError) << name;
  }
  ftp.Stop();
}

// A capture of local documentation, as of the Python docs: the stylesheet
// every page names with a query is found, a README without an extension
// is kept as the text it is, and a link to the network leaves the tree no
// more than it leaves a site.
TEST_F(ProgramRoadTest, ALocalTreeIsCapturedWithinItselfAndItsFilesAsTheyAre) {
  const fs::path site = root_.path() / "doc" / "html";
  const std::string readme = "Read me.\n<p>Not a page</p>\n";
  test::WriteFileBytes(site / "index.html",
                       "<html><head><link rel=\"stylesheet\" href=\"_static/theme.css?2022.1\"></head><body>"
                       "<a href=\"README\">readme</a> <a href=\"" + server_.Url("/") + "\">web</a></body></html>");
  test::WriteFileBytes(site / "_static/theme.css", "body { margin: 0 }\n");
  test::WriteFileBytes(site / "README", readme);
  Site();
  const fs::path web = MakeWeb("local", PathToFileUrl((site / "index.html").string()));
  EXPECT_TRUE(RunShortcut(MakeShortcut(web, 1, true, true), 0).empty());
  EXPECT_EQ(Served("/"), 0);
  TWeb reopened;
  ASSERT_EQ(reopened.Open(web), wlOk);
  const auto record = [&](const fs::path& path, const std::string& query = {}) {
    auto r = std::make_unique<TWebFile>(&reopened);
    EXPECT_TRUE(reopened.FindUrl(PathToFileUrl(path.string()) + query, *r)) << path;
    return r;
  };
  EXPECT_EQ(record(site / "_static/theme.css", "?2022.1")->GetState(), fsRetrieved);
  const auto text = record(site / "README");
  EXPECT_EQ(text->GetState(), fsRetrieved);
  EXPECT_EQ(GetContentType(*text), "text/plain");
  EXPECT_EQ(fs::path(text->GetLocalName()).extension(), ".txt");
  EXPECT_EQ(test::ReadFileBytes(text->GetLocalPath()), readme);
  TWebFile online(&reopened);
  ASSERT_TRUE(reopened.FindUrl(server_.Url("/"), online));
  EXPECT_EQ(online.GetState(), fsFilteredExternalWebDepth);
}

TEST_F(ProgramRoadTest, ARelativeShortcutFromAnotherFolderIsCapturedByTheRunningProgram) {
  Site();
  const fs::path web = MakeWeb("site", server_.Url("/"));
  MakeShortcut(web, 1, false, true);
  QProcess* running = Start({QString::fromStdString(MakeWeb("idle", server_.Url("/")).string())});
  ASSERT_TRUE(Pump([] { return HandOverAvailable(InstanceMutexName(kProgramTitle), 100); }, 60));
  QProcess* second = Start({"run.wbs"}, [&](QProcess& process, QProcessEnvironment&) {
    process.setWorkingDirectory(QString::fromStdString(web.parent_path().string()));
  });
  ASSERT_TRUE(Finished(second));
  EXPECT_EQ(second->exitCode(), 0);
  ASSERT_TRUE(Finished(running, 30)) << Errors(running);
  EXPECT_EQ(running->exitCode(), 0) << Errors(running);
  EXPECT_EQ(RetrievedIn(web), 3u);
}

TEST_F(ProgramRoadTest, WithNoScreenAndNothingToDoItSaysHowAndEnds) {
  QProcess* p = Start({});
  ASSERT_TRUE(Finished(p, 20));
  EXPECT_EQ(p->exitCode(), 2);
  // One line of its own.
  const std::vector<std::string> own = OwnLines(p);
  ASSERT_EQ(own.size(), 1u) << Errors(p);
  EXPECT_NE(own[0].find("offscreen"), std::string::npos) << own[0];
  EXPECT_NE(own[0].find(".wbs"), std::string::npos) << own[0];

  // A shortcut that is not there is said and ends the program too.
  const std::string missing = (fs::path(work_) / "absent.wbs").string();
  QProcess* q = Start({QString::fromStdString(missing)});
  ASSERT_TRUE(Finished(q, 20));
  EXPECT_EQ(q->exitCode(), 1);
  EXPECT_NE(Errors(q).find(missing + " n'existe pas"), std::string::npos) << Errors(q);
}

TEST_F(ProgramRoadTest, WithNoScreenItStillRunsAJobThatIsDueAndEndsAsTheJobAsks) {
  Site();
  const fs::path web = MakeWeb("due", server_.Url("/"));
  {
    // What the companion starts the program for: a job due now, published.
    TSchedulerConfig config;
    config.WorkFolder = work_;
    TScheduler scheduler(config);
    auto job = CaptureJob(scheduler, web, kActionCapture, 500);
    job->Flags |= kTaskCloseProgram;
    {
      auto lock = scheduler.LockTree();
      scheduler.Root().AddChild(std::move(job))->SetState(tsWaiting);
    }
    ASSERT_TRUE(scheduler.SaveTasks());
  }
  // The companion starts the program once the date has come.
  EXPECT_FALSE(TScheduler::JobDue());
  ASSERT_TRUE(Pump([] { return TScheduler::JobDue(); }, 5));
  QProcess* p = Start({});
  ASSERT_TRUE(Finished(p, 30)) << Errors(p);
  EXPECT_EQ(p->exitCode(), 0) << Errors(p);
  EXPECT_EQ(RetrievedIn(web), 3u);
}

TEST_F(ProgramRoadTest, WithoutAWorkFolderItSaysSoAndWritesNothing) {
  test::TempDir fresh;
  const fs::path here = fresh.path() / "here", root = fresh.path() / "root";
  fs::create_directories(here);
  test::WriteFileBytes(fresh.path() / "file", "not a folder");
  QProcess* p = Start({"nothing.wbs"}, [&](QProcess& process, QProcessEnvironment& env) {
    process.setWorkingDirectory(QString::fromStdString(here.string()));
    env.insert("QLON_PLATFORM_ROOT", QString::fromStdString(root.string()));
    env.insert("HOME", QString::fromStdString((fresh.path() / "file" / "home").string()));
  });
  ASSERT_TRUE(Finished(p, 20));
  EXPECT_EQ(p->exitCode(), 1);
  EXPECT_NE(Errors(p).find("Répertoire de travail"), std::string::npos) << Errors(p);
  EXPECT_TRUE(fs::is_empty(here));
  EXPECT_FALSE(fs::exists(root / "win.ini"));
}

// A shortcut that cannot run says why on standard error, whether it closes
// the program or not, and the program ends with status 1 instead of waiting
// for nobody. Names holding control bytes or broken characters reach the
// terminal escaped; the web it names is left as it was.
TEST_F(ProgramRoadTest, AShortcutThatCannotRunSaysWhyAndEndsWithStatusOne) {
  Site();
  const fs::path web = MakeWeb("site", server_.Url("/"));
  QProcess* first = Start({QString::fromStdString(MakeShortcut(web, 1, false, true).string())});
  ASSERT_TRUE(Finished(first, 30)) << Errors(first);
  ASSERT_EQ(RetrievedIn(web), 3u);
  std::string damaged = ReadFileBytes(web);
  Damages().back().apply(damaged);
  test::WriteFileBytes(web, damaged);

  const std::string folder = fs::path(work_).parent_path().string();
  const std::string wbs = folder + "/case.wbs";
  const auto shortcut = [](const std::string& target, int capture, bool close) {
    return "[WebShortcut]\r\nWeb=" + target + "\r\nCapture=" + std::to_string(capture) +
           "\r\nCloseQuillonFlag=" + (close ? "1" : "0") + "\r\n";
  };
  const std::string hostile = folder + "/\x1b[2J\xff\xc3(/local.web";
  const std::pair<std::string, std::string> cases[] = {
      {shortcut(folder + "/absent/local.web", 1, false),
       "Le web " + folder + "/absent/local.web du raccourci " + wbs + " n'existe pas."},
      {std::string("\0\1\xfe\xff[Web\n\x07" "Capture", 17),
       "Le raccourci " + wbs + " ne désigne aucun web : il est vide ou endommagé."},
      {shortcut(hostile, 1, false),
       "Le web " + folder + "/\\x1B[2J\\xFF\\xC3(/local.web du raccourci " + wbs + " n'existe pas."},
      {shortcut(web.string(), 9, false), "Le raccourci " + wbs + " est endommagé : sa sorte de capture (9) est inconnue."},
      {shortcut(web.string(), 1, true), "Le web " + web.string() + " ne peut pas être ouvert : " +
                                            Damages().back().reason + "."},
  };
  for (const auto& [text, said] : cases) {
    test::WriteFileBytes(wbs, text);
    QProcess* p = Start({QString::fromStdString(wbs)});
    ASSERT_TRUE(Finished(p, 30)) << "waits for nobody: " << said;
    EXPECT_EQ(p->exitCode(), 1) << Errors(p);
    EXPECT_EQ(OwnLines(p), std::vector<std::string>{"qlon98: [Raccourci de capture] " + said}) << Errors(p);
    const std::string errors = Errors(p);
    EXPECT_EQ(errors.find_first_of(std::string("\x1b\xff", 2)), std::string::npos) << "raw bytes on the terminal";
  }
  EXPECT_EQ(ReadFileBytes(web), damaged) << "the damaged web is left as it was";
}

// A damaged MIME table in the work folder: set aside beside an earlier one
// (never over it), said, and the default table takes its place; the
// capture runs with it.
TEST_F(ProgramRoadTest, ADamagedMimeTableIsSetAsideSaidAndReplaced) {
  Site();
  const fs::path web = MakeWeb("site", server_.Url("/"));
  const fs::path wbs = MakeShortcut(web, 1, false, true);
  const std::string mime = (fs::path(work_) / "mime.def").lexically_normal().string();
  test::WriteFileBytes(mime + ".bak", "an earlier one");
  const std::string damaged("\x06\x00\x02\x00\x00\x00\x09text/html", 16);  // cut inside its first type
  test::WriteFileBytes(mime, damaged);
  QProcess* p = Start({QString::fromStdString(wbs.string())});
  ASSERT_TRUE(Finished(p, 30)) << Errors(p);
  EXPECT_EQ(p->exitCode(), 1) << "a warning a script can see: " << Errors(p);
  EXPECT_EQ(OwnLines(p), std::vector<std::string>{"qlon98: [Types MIME] La table des types MIME " + mime +
                                                   " est endommagée (erreur de lecture du flux: chaîne tronquée) : "
                                                   "elle a été mise de côté sous " + mime +
                                                   ".bak2 et remplacée par la table par défaut."})
      << Errors(p);
  EXPECT_EQ(ReadFileBytes(mime + ".bak2"), damaged);
  EXPECT_EQ(ReadFileBytes(mime + ".bak"), "an earlier one");
  EXPECT_EQ(RetrievedIn(web), 3u);
  TMimeList written;
  EXPECT_EQ(written.LoadFromFile(mime), "") << "the table written in its place reads back";
  EXPECT_EQ(written.Count(), 13);
}

// A run killed while it made files ahead leaves their folder in the capture
// folder; opening the web clears it, and nothing captured is lost. A copy
// and a move made then take the thumbnails along, say how they ended, and
// the move leaves no folder behind.
TEST_F(ProgramRoadTest, AKilledRunsLeftoversGoAndTheThumbnailsTravelWithTheWeb) {
  // Files made slowly start the threads that make them ahead: each open of
  // the program is made to take a while.
  const QString strace = QStandardPaths::findExecutable("strace");
  if (strace.isEmpty()) GTEST_SKIP() << "strace is missing: no slow disk can be had for the run";
  Site();
  const fs::path web = MakeWeb("site", server_.Url("/"));
  {
    TWeb w;
    ASSERT_EQ(w.Open(web), wlOk);
    w.Options.VignetteFlag = true;
    ASSERT_TRUE(w.Save());
  }
  const fs::path folder = web.parent_path();
  QProcess* first = Start({QString::fromStdString(MakeShortcut(web, 1, true, true).string())});
  ASSERT_TRUE(Finished(first, 60)) << Errors(first);
  ASSERT_EQ(first->exitCode(), 0) << Errors(first);
  const auto thumbs = ThumbnailsOf(folder);
  ASSERT_EQ(thumbs.size(), 2u) << "the two pages'";

  std::string home = "<html><body><a href=\"a.htm\">a</a><img src=\"i.gif\">";
  for (int i = 0; i < 400; ++i) {
    const std::string page = "/p" + std::to_string(i) + ".htm";
    home += "<a href=\"" + page + "\">" + page + "</a>\n";
    Put(page, "<html><body>" + page + "</body></html>");
  }
  Put("/", home + "</body></html>");
  QProcess* killed = Start({QString::fromStdString(MakeShortcut(web, 3, false, true).string())},
                           [&](QProcess& process, QProcessEnvironment&) {
                             process.setArguments(QStringList{"-f", "-qq", "-o", "/dev/null", "-e", "trace=openat",
                                                              "-e", "inject=openat:delay_exit=500", process.program()}
                                                  << process.arguments());
                             process.setProgram(strace);
                           });
  const bool pooled = Pump([&] { return fs::exists(folder / kPoolFolder); }, 60);
  // The program itself, not only the tracer it runs under.
  std::istringstream children(ReadFileBytes("/proc/" + std::to_string(killed->processId()) + "/task/" +
                                            std::to_string(killed->processId()) + "/children"));
  for (pid_t child; children >> child;) ::kill(child, SIGKILL);
  killed->kill();
  ASSERT_TRUE(Finished(killed, 10));
  ASSERT_TRUE(pooled) << Errors(killed);
  ASSERT_TRUE(fs::exists(folder / kPoolFolder));

  Make();
  win_->show();
  Probe().AskOpenWebFile() = [web] { return QString::fromStdString(web.string()); };
  Probe().MenuFileOpen()->trigger();
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  EXPECT_FALSE(fs::exists(folder / kPoolFolder));
  EXPECT_GE(win_->CurrentWeb()->RetrievedCount, 3u);
  for (const char* path : {"/", "/a.htm", "/i.gif"}) {
    TWebFile r(win_->CurrentWeb());
    ASSERT_TRUE(win_->CurrentWeb()->FindUrl(server_.Url(path), r)) << path;
    EXPECT_TRUE(r.IsRetrieved() && fs::is_regular_file(r.GetLocalPath())) << path;
  }
  const uint64_t records = win_->CurrentWeb()->GetCount();

  const fs::path copy = fs::path(work_) / "copie", moved = fs::path(work_) / "déplacé";
  dirAnswer_ = QString::fromStdString(copy.string());
  Probe().MenuWebCopy()->trigger();
  dirAnswer_ = QString::fromStdString(moved.string());
  Probe().MenuWebMove()->trigger();
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[0].text, "Le Web a été copié dans " + copy.string() + ".");
  EXPECT_EQ(boxes_.shown[1].text, "Le Web a été déplacé dans " + moved.string() + ".");
  EXPECT_FALSE(fs::exists(folder)) << "nothing left behind";
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(win_->CurrentWeb()->Path(), moved / "local.web");
  ASSERT_TRUE(Probe().CloseWeb(false));
  for (const fs::path& place : {copy, moved}) {
    EXPECT_EQ(ThumbnailsOf(place), thumbs) << place;
    EXPECT_EQ(MissingPicturesOf(place), std::vector<std::string>{}) << "every picture the index pages show";
    TWeb w;
    ASSERT_EQ(w.Open(place / "local.web"), wlOk);
    EXPECT_EQ(w.GetCount(), records);
  }
}

// ---------------------------------------------------------------- the program on a screen

// A fresh account (no work folder yet, nothing in its platform state) on a
// screen of the test's own.
class FreshAccountOnScreenTest : public test::ProgramFixture {
 protected:
  void SetUp() override {
    if (screen_.Display().isEmpty()) GTEST_SKIP() << "no Xvfb can start here";
  }
  QProcess* StartOnScreen(const QStringList& arguments, const fs::path& home,
                          const std::function<void(QProcessEnvironment&)>& tune = {}) {
    return Start(arguments, [&](QProcess&, QProcessEnvironment& env) {
      env.insert("QT_QPA_PLATFORM", "xcb");
      env.insert("DISPLAY", screen_.Display());
      env.insert("HOME", QString::fromStdString(home.string()));
      env.insert("QLON_PLATFORM_ROOT", QString::fromStdString(root_.string()));
      for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) env.remove(name);
      // The X keyboard library hands strndup a name with no terminator in
      // its buffer, which the strict string check reports as an overflow.
      if (env.contains("ASAN_OPTIONS"))
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":strict_string_checks=0");
      if (tune) tune(env);
    });
  }
  std::string WinIni() const { return test::ReadFileBytes(root_ / "win.ini"); }
  // The instance's lock, taken before anything else.
  bool Running() const {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(root_ / "run", ec))
      if (e.path().extension() == ".lock") return true;
    return false;
  }

  test::VirtualScreen screen_;
  test::TempDir account_;
  const fs::path home_ = account_.path() / "home";
  const fs::path root_ = account_.path() / "root";
};

TEST_F(FreshAccountOnScreenTest, AClosingShortcutTakesTheProposedWorkFolderAndEndsByItself) {
  Site();
  const fs::path web = MakeWeb("fresh", server_.Url("/"));
  const fs::path wbs = MakeShortcut(web, 1, true, true);
  QProcess* p = StartOnScreen({QString::fromStdString(wbs.string())}, home_);
  ASSERT_TRUE(Finished(p, 60)) << "waits for a person: " << Errors(p);
  EXPECT_EQ(p->exitCode(), 0) << Errors(p);
  EXPECT_TRUE(fs::is_directory(home_ / "Quillon/Webs"));
  EXPECT_NE(WinIni().find((home_ / "Quillon/Webs/").string()), std::string::npos) << WinIni();
  EXPECT_EQ(RetrievedIn(web), 3u);
}

TEST_F(FreshAccountOnScreenTest, AClosingShortcutWhoseWorkFolderCannotBeMadeSaysSoAndEndsWithStatusOne) {
  Site();
  const fs::path web = MakeWeb("fresh", server_.Url("/"));
  const fs::path wbs = MakeShortcut(web, 1, true, true);
  // A home folder under a file: nothing can be made there.
  test::WriteFileBytes(account_.path() / "file", "not a folder");
  const fs::path home = account_.path() / "file" / "home";
  QProcess* p = StartOnScreen({QString::fromStdString(wbs.string())}, home);
  ASSERT_TRUE(Finished(p, 60)) << "waits for a person: " << Errors(p);
  EXPECT_EQ(p->exitCode(), 1) << Errors(p);
  EXPECT_NE(Errors(p).find("Le Répertoire de travail " + (home / "Quillon/Webs/").string() + " ne peut pas être créé"),
            std::string::npos)
      << Errors(p);
  EXPECT_EQ(WinIni().find("WORKPATH"), std::string::npos) << WinIni();
  EXPECT_EQ(RetrievedIn(web), 0u);
}

TEST_F(FreshAccountOnScreenTest, TheSchedulersStartTakesTheProposedFolderAndAPersonsStartAsks) {
  // The companion's start: the folder is taken, the window then waits for
  // its jobs (none here).
  QProcess* scheduled =
      StartOnScreen({}, home_, [](QProcessEnvironment& env) { env.insert(kScheduledStartVariable, "1"); });
  EXPECT_TRUE(Pump([&] { return WinIni().find("WORKPATH") != std::string::npos; }, 30)) << Errors(scheduled);
  EXPECT_TRUE(fs::is_directory(home_ / "Quillon/Webs"));
  EXPECT_EQ(scheduled->state(), QProcess::Running) << Errors(scheduled);
  scheduled->kill();
  ASSERT_TRUE(Finished(scheduled));

  // A person's start on another fresh account asks, and waits; a second
  // program meanwhile cannot hand its command line over, and says so.
  fs::remove_all(root_);
  const fs::path otherHome = account_.path() / "other";
  QProcess* person = StartOnScreen({}, otherHome);
  ASSERT_TRUE(Pump([&] { return Running(); }, 30)) << Errors(person);
  QProcess* second = StartOnScreen({"URL(http://127.0.0.1/)"}, otherHome);
  ASSERT_TRUE(Finished(second, 30));
  EXPECT_EQ(second->exitCode(), 1);
  EXPECT_NE(Errors(second).find("qlon98: Quillon 98 est déjà lancé mais ne répond pas"), std::string::npos)
      << Errors(second);
  EXPECT_EQ(person->state(), QProcess::Running);
  EXPECT_FALSE(fs::exists(otherHome / "Quillon/Webs"));
  EXPECT_EQ(WinIni().find("WORKPATH"), std::string::npos) << WinIni();
}

}  // namespace
}  // namespace qlon
