#pragma once
// The shell's capture tests without a window: a fresh platform root and work
// folder, the settings, scripted message boxes, a loopback site whose pages
// the test sets, and capture files and shortcuts made in the work folder.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <mutex>

#include "CaptureFixture.h"
#include "EventPump.h"
#include "HttpTestServer.h"
#include "MessageBox.h"
#include "Scheduler.h"
#include "Setup.h"
#include "TempRoot.h"
#include "Web.h"
#include "WebShortcut.h"

namespace qlon::test {

namespace fs = std::filesystem;
using namespace platform;

class SiteFixture : public ::testing::Test {
 protected:
  SiteFixture()
      : work_((root_.path() / "work").string() + "/"),
        prompt_(work_),
        setup_((fs::create_directories(work_), &prompt_), ProgramFolder()) {
    setup_.Timeout = 5;
    setup_.MaxSockets = 2;
    server_.SetScript([this](const HttpRequestSeen& request) {
      std::lock_guard lock(mutex_);
      ++served_[request.target];
      if (auto it = pages_.find(request.target); it != pages_.end()) return it->second;
      return HttpReply::NotFound("<html>no</html>");
    });
    EXPECT_TRUE(server_.Start());
  }
  ~SiteFixture() override { server_.Stop(); }

  void Put(const std::string& path, HttpReply reply) {
    std::lock_guard lock(mutex_);
    pages_[path] = std::move(reply);
  }
  void Put(const std::string& path, const std::string& body, const std::string& type = "text/html") {
    Put(path, HttpReply::Ok(body, type));
  }
  int Served(const std::string& path) {
    std::lock_guard lock(mutex_);
    return served_[path];
  }
  // A page that takes a few seconds to arrive.
  static HttpReply SlowPage() {
    HttpReply slow = HttpReply::Ok("<html>" + std::string(20000, 'y') + "</html>");
    slow.blockSize = 100;
    slow.delayBetweenBlocks = std::chrono::milliseconds(20);
    return slow;
  }
  // The retrieved records of a capture file opened anew; 0 when it cannot be.
  static uint64_t RetrievedIn(const fs::path& file) {
    TWeb web;
    return web.Open(file) == wlOk ? web.RetrievedCount : 0;
  }
  // A redirect to the address.
  static HttpReply Moved(int status, const std::string& location) {
    HttpReply moved;
    moved.status = status;
    moved.reason = status == 301 ? "Moved Permanently" : "Found";
    moved.headers = {{"Location", location}};
    return moved;
  }
  // A job of the scheduler (not yet added) with one step that captures the
  // web, starting `ms` from now.
  static std::unique_ptr<TTask> CaptureJob(TScheduler& scheduler, const fs::path& web, uint8_t actions, int ms) {
    auto job = std::make_unique<TTask>(&scheduler);
    job->StartKind = skOnce;
    job->StartDate = QDateTimeToDateTime(QDateTime::currentDateTime().addMSecs(ms));
    auto step = std::make_unique<TTaskWeb>(&scheduler);
    step->WebPath = web.string();
    step->Actions = actions;
    job->AddChild(std::move(step));
    return job;
  }
  void Site() {
    Put("/", "<html><head><title>Accueil du site</title></head><body><a href=\"a.htm\">a</a>"
             "<img src=\"i.gif\"></body></html>");
    Put("/a.htm", "<html><body><a href=\"/\">home</a></body></html>");
    Put("/i.gif", std::string("GIF89a\x08\x00\x04\x00", 10) + std::string(30, '\0'), "image/gif");
  }

  // A capture file in its own folder under the work folder.
  fs::path MakeWeb(const std::string& name, const std::string& start, const std::string& title = {}) {
    const fs::path folder = fs::path(work_) / name;
    fs::create_directories(folder);
    TWeb web;
    web.Options.SetDefault(0);
    web.Options.UseWebStructureFlag = true;
    web.StartEntries = {{start, "", "", ""}};
    web.SetTitle(title);
    web.CreateNew(folder / "local.web");
    web.Save();
    return folder / "local.web";
  }
  fs::path MakeShortcut(const fs::path& web, int capture, bool resolve, bool close) {
    TWebShortcutFile shortcut;
    shortcut.Web = web.string();
    shortcut.CaptureKind = capture;
    shortcut.LinkResolve = resolve;
    shortcut.CloseQuillonFlag = close;
    const fs::path file = web.parent_path() / "run.wbs";
    EXPECT_TRUE(shortcut.SaveToFile(file.string()));
    return file;
  }
  bool Pump(const std::function<bool()>& done, int seconds = 20) {
    return test::PumpUntil(done, std::chrono::seconds(seconds));
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> c;
    for (const MessageBoxRequest& r : boxes_.shown) c.push_back(r.caption);
    return c;
  }
  bool Asked(const std::string& fragment) const {
    for (const MessageBoxRequest& r : boxes_.shown)
      if (r.text.find(fragment) != std::string::npos) return true;
    return false;
  }

  test::TempRoot root_;
  std::string work_;
  WorkFolder prompt_;
  TSetup setup_;
  ScriptedMessageBoxes boxes_;
  test::HttpTestServer server_;
  std::mutex mutex_;
  std::map<std::string, HttpReply> pages_;
  std::map<std::string, int> served_;
};

}  // namespace qlon::test
