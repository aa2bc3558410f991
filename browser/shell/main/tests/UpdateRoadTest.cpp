// Updates of a capture along the program's road (qlon98 run from web
// shortcuts, offscreen) against the distribution's nginx and Apache, each
// started here with a configuration of its own: an unchanged file is
// answered 304 whatever the parity of its date's second, every changed file
// comes down again (also one rewritten a second or two after its old
// date), and a page gone from the server keeps its copy and is counted and
// listed in the error report. The capture file with its host list is
// written in the format's version 513 layout.
#include <fcntl.h>
#include <sys/stat.h>

#include <QAction>
#include <ctime>
#include <set>

#include "DistroHttpServer.h"
#include "MainWindowFixture.h"
#include "MenusEx.h"
#include "RapportError.h"
#include "UrlCommands.h"
#include "UrlPage.h"
#include "WUrlList.h"
#include "WebTree.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;
using platform::IDNO;
using test::DistroHttpServer;
using test::ReadFileBytes;
using test::WriteFileBytes;

// 2024-03-05 10:00:00 UTC.
constexpr std::time_t kBase = 1709632800;
constexpr int kPages = 12;

void SetModified(const fs::path& file, std::time_t when, long nanoseconds = 0) {
  const timespec times[2] = {{when, nanoseconds}, {when, nanoseconds}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0) << file;
}

timespec Modified(const fs::path& file) {
  struct stat st {};
  EXPECT_EQ(::stat(file.c_str(), &st), 0) << file;
  return st.st_mtim;
}

std::string PageName(int i) { return "p" + std::to_string(i) + ".html"; }

// How many of the log's requests are for `path` with `status`.
int Answered(const std::vector<std::string>& log, const std::string& path, int status) {
  const std::string line = "GET " + path + " HTTP/1.0 " + std::to_string(status);
  return int(std::count(log.begin(), log.end(), line));
}

class UpdateRoadFixture : public test::ProgramFixture {
 protected:
  // A start page linking to every page, the pages linking back, a style
  // sheet and two pictures; their dates one second apart, so that odd and
  // even seconds alternate.
  void MakeSite() {
    std::string index = "<html><head><title>Site</title><link rel=\"stylesheet\" href=\"style.css\"></head><body>";
    for (int i = 0; i < kPages; ++i) {
      index += "<a href=\"" + PageName(i) + "\">" + PageName(i) + "</a>\n";
      // The page before the last also links to the last.
      const std::string next = i == kPages - 2 ? "<a href=\"" + PageName(i + 1) + "\">suite</a>" : "";
      Serve(PageName(i), "<html><body><a href=\"index.html\">retour</a>" + next + "<img src=\"pic" +
                             std::to_string(i % 2) + ".gif\"><p>page " + std::to_string(i) + "</p></body></html>\n");
    }
    Serve("index.html", index + "</body></html>\n");
    Serve("style.css", "body { margin: 0 }\n");
    for (int i = 0; i < 2; ++i)
      Serve("pic" + std::to_string(i) + ".gif", std::string("GIF89a\x08\x00\x04\x00", 10) + std::string(30, char(i)));
    // Within their seconds too: a local file's date has a fraction.
    std::time_t when = kBase;
    for (const auto& [name, bytes] : served_) {
      SetModified(served_folder_.path() / name, when, when % 2 ? 700000000 : 400000000);
      ++when;
    }
  }
  void Serve(const std::string& name, const std::string& bytes) {
    served_[name] = bytes;
    WriteFileBytes(served_folder_.path() / name, bytes);
  }
  // New bytes for a served file, dated `seconds` after its old date.
  void Change(const std::string& name, int seconds) {
    const timespec old = Modified(served_folder_.path() / name);
    Serve(name, served_[name].substr(0, served_[name].size() - 1) + " (nouveau)\n");
    SetModified(served_folder_.path() / name, old.tv_sec + seconds, old.tv_nsec);
    changed_.insert(name);
  }
  // Runs a shortcut of the web to its end.
  void RunShortcut(int capture) {
    const fs::path wbs = MakeShortcut(web_, capture, false, true);
    QProcess* p = Start({QString::fromStdString(wbs.string())});
    ASSERT_TRUE(Finished(p, 120)) << Errors(p);
    EXPECT_EQ(p->exitCode(), 0) << Errors(p);
  }
  // The captured copy of a served file (their names are the same).
  fs::path Captured(const std::string& name) const {
    for (const auto& e : fs::recursive_directory_iterator(web_.parent_path()))
      if (e.path().filename() == name) return e.path();
    return {};
  }

  test::TempDir served_folder_;
  std::map<std::string, std::string> served_;
  std::set<std::string> changed_;
  fs::path web_;
};

class UpdateRoadTest : public UpdateRoadFixture, public ::testing::WithParamInterface<DistroHttpServer::Kind> {
 protected:
  UpdateRoadTest() : server_(GetParam()) {}
  std::string Log() const {
    std::string text;
    for (const std::string& line : server_.Requests()) text += line + "\n";
    return text;
  }
  void RunShortcut(int capture) {
    server_.ClearRequests();
    UpdateRoadFixture::RunShortcut(capture);
  }

  DistroHttpServer server_;
};

TEST_P(UpdateRoadTest, UnchangedFilesAnswer304ChangedOnesComeAgainAndGonePagesAreReported) {
  if (!server_.Available()) GTEST_SKIP() << server_.Why();
  MakeSite();
  ASSERT_TRUE(server_.Start(served_folder_.path())) << server_.Why();
  web_ = MakeWeb(server_.Name(), server_.Url("/index.html"));

  RunShortcut(1);  // capture
  std::vector<std::string> log = server_.Requests();
  for (const auto& [name, bytes] : served_) {
    EXPECT_EQ(Answered(log, "/" + name, 200), 1) << name << "\n" << Log();
    EXPECT_EQ(ReadFileBytes(Captured(name)), bytes) << name;
  }
  EXPECT_EQ(log.size(), served_.size()) << Log();

  // Rewritten a second, two, three seconds after their old dates (odd and
  // even ones), or a day after; one page removed from the server.
  Change("p1.html", 1);
  Change("p2.html", 2);
  Change("p5.html", 3);
  Change("p8.html", 86400);
  Change("pic1.gif", 2);
  // Two pages removed from the server, the first linking to the second.
  const std::set<std::string> gone = {PageName(kPages - 2), PageName(kPages - 1)};
  std::map<std::string, std::string> copies;
  for (const std::string& name : gone) {
    copies[name] = served_[name];
    fs::remove(served_folder_.path() / name);
  }

  RunShortcut(2);  // update
  log = server_.Requests();
  for (const auto& [name, bytes] : served_) {
    const int status = gone.count(name) ? 404 : changed_.count(name) ? 200 : 304;
    EXPECT_EQ(Answered(log, "/" + name, status), 1) << name << "\n" << Log();
    EXPECT_EQ(ReadFileBytes(Captured(name)), gone.count(name) ? copies[name] : bytes) << name;
  }
  EXPECT_EQ(log.size(), served_.size()) << Log();

  RunShortcut(2);  // an update of a site where nothing changed since
  log = server_.Requests();
  for (const auto& [name, bytes] : served_)
    EXPECT_EQ(Answered(log, "/" + name, gone.count(name) ? 404 : 304), 1) << name << "\n" << Log();
  EXPECT_EQ(log.size(), served_.size()) << Log();

  {
    TWeb web;
    ASSERT_EQ(web.Open(web_), wlOk);
    TWebFile r(&web);
    for (const std::string& name : gone) {
      ASSERT_TRUE(web.FindUrl(server_.Url("/" + name), r));
      EXPECT_EQ(r.GetState(), fsRetrieved);
      EXPECT_TRUE(r.IsGone());
    }
    EXPECT_EQ(web.ErrorCount, 2u) << "counted once, whatever the number of updates that found them gone";
    ASSERT_TRUE(web.FindUrl(server_.Url("/p1.html"), r));
    EXPECT_FALSE(r.IsGone());
    // The loopback address is in the capture's host list, written where
    // the format puts it, in version 513.
    EXPECT_EQ(web.FileVersion(), kWebFileVersion);
    EXPECT_GE(web.HostAddresses.IndexOfKey("127.0.0.1"), 0);
    web.Close();
    const std::string area = ReadFileBytes(web_).substr(0, kWebHeaderSize);
    EXPECT_EQ(GetLE16(reinterpret_cast<const uint8_t*>(area.data()) + kVersionAt), 513);
    // The address line and its name line, then the statistics end the header.
    const size_t list = area.find("127.0.0.1\r\n");
    ASSERT_NE(list, std::string::npos);
    const size_t name = area.find("\r\n", list + 11);
    ASSERT_NE(name, std::string::npos);
    EXPECT_LT(area.find_last_not_of('\0'), name + 2 + 40);
  }

  // The program opens the web; the Errors page lists the page, and its
  // report command writes the report.
  Make();
  Probe().AskOpenWebFile() = [this] { return QString::fromStdString(web_.string()); };
  Probe().MenuFileOpen()->trigger();
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  ASSERT_TRUE(Probe().Tree()->SelectPage(tpErrors));
  Probe().TreeTimerTimer();
  shell::ProcessMessages();
  EXPECT_EQ(Probe().UrlList()->List().Count(), 2);
  QAction* report = Probe().UrlCommands()->ErreurPopup->findChild<QAction*>("ErreurPopupRapport");
  ASSERT_NE(report, nullptr);
  boxes_.Answer(IDNO);
  report->trigger();
  const std::string page = ReadFileBytes(web_.parent_path() / kReportPage);
  const size_t heading = page.find("<h2>Liste des URL disparues du serveur</h2>");
  ASSERT_NE(heading, std::string::npos) << page;
  const std::string listed = page.substr(heading);
  EXPECT_NE(listed.find("2 URL n'existent plus sur le serveur depuis la dernière mise à jour : la capture garde "
                        "leurs copies précédentes."),
            std::string::npos)
      << listed;
  // Each with the pages that link to it: the last page is linked from the
  // start page and the one before it, which is linked from the start page.
  const auto entry = [&](const std::string& name) {
    return "<br><br><a href=\"" + server_.Url("/" + name) + "\">" + server_.Url("/" + name) +
           " [Disparue du serveur, copie précédente conservée]</a>\r\n";
  };
  const auto from = [&](const std::string& name) {
    return "<br><li><a href=\"" + server_.Url("/" + name) + "\">" + server_.Url("/" + name) + "</a>\r\n";
  };
  const std::string first = PageName(kPages - 2), last = PageName(kPages - 1);
  EXPECT_NE(listed.find(entry(first) + from("index.html") + "\r\n" + entry(last)), std::string::npos) << listed;
  const size_t lastAt = listed.find(entry(last));
  ASSERT_NE(lastAt, std::string::npos) << listed;
  const std::string linking = listed.substr(lastAt + entry(last).size());
  EXPECT_NE(linking.find(from("index.html")), std::string::npos) << listed;
  EXPECT_NE(linking.find(from(first)), std::string::npos) << listed;
}

INSTANTIATE_TEST_SUITE_P(Servers, UpdateRoadTest,
                         ::testing::Values(DistroHttpServer::Kind::Nginx, DistroHttpServer::Kind::Apache),
                         [](const auto& info) {
                           return info.param == DistroHttpServer::Kind::Nginx ? "Nginx" : "Apache";
                         });

// A local tree (file:) cannot be asked conditionally: its dates are
// compared, to the second, its fraction aside.
using LocalUpdateRoadTest = UpdateRoadFixture;

TEST_F(LocalUpdateRoadTest, ALocalTreeTakesWhatChangedOnlyWhateverTheSecond) {
  MakeSite();
  web_ = MakeWeb("local", PathToFileUrl((served_folder_.path() / "index.html").string()));
  RunShortcut(1);
  std::map<std::string, timespec> written;
  for (const auto& [name, bytes] : served_) {
    ASSERT_EQ(ReadFileBytes(Captured(name)), bytes) << name;
    written[name] = Modified(Captured(name));
  }
  Change("p1.html", 1);
  Change("p2.html", 2);
  Change("pic1.gif", 1);
  RunShortcut(2);
  for (const auto& [name, bytes] : served_) {
    EXPECT_EQ(ReadFileBytes(Captured(name)), bytes) << name;
    const timespec now = Modified(Captured(name));
    const bool rewritten = now.tv_sec != written[name].tv_sec || now.tv_nsec != written[name].tv_nsec;
    EXPECT_EQ(rewritten, changed_.count(name) > 0) << name;
  }
}

}  // namespace
}  // namespace qlon
