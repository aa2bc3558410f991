#pragma once
// Shared by the capture run tests: a recorder of what the run tells the
// main window, and a fixture with settings, a capture and a driver loop.
#include <QCoreApplication>
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "Capture.h"
#include "Mime.h"
#include "Setup.h"
#include "TempRoot.h"
#include "TestApp.h"
#include "Urlutil.h"
#include "Web.h"

namespace qlon::test {

class RecorderHost : public ICaptureHost {
 public:
  void UpdateCountLabels() override { ++CountUpdates; }
  void AddWebFileToLists(const TWebFile& record) override { Listed.push_back(record.FullUrl); }
  bool ConfirmMovedStartUrl(const TWebFile& record, const std::string& location) override {
    Moved.push_back(record.FullUrl + " -> " + location);
    return AcceptMove;
  }
  void RefreshWebTree() override { ++TreeRefreshes; }
  void ShowElapsed(const std::string& text) override { Elapsed = text; }
  void SetConnectionWeb(int row, const std::string& text) override { Rows[row].web = text; }
  void SetConnectionUrl(int row, const std::string& text) override { Rows[row].url = text; }
  void SetConnectionState(int row, THTTP_STATE state) override { Rows[row].state = state; }
  void SetConnectionSize(int row, int64_t size) override { Rows[row].size = size; }
  void SetConnectionProgress(int row, int percent) override { Rows[row].progress = percent; }

  struct Row {
    std::string web, url;
    THTTP_STATE state = sIdle;
    int64_t size = 0;
    int progress = 0;
  };
  int CountUpdates = 0, TreeRefreshes = 0;
  bool AcceptMove = false;
  std::vector<std::string> Listed, Moved;
  std::string Elapsed;
  std::map<int, Row> Rows;
};

class PromptWork : public IWorkPathPrompt {
 public:
  explicit PromptWork(std::string path) : path_(std::move(path)) {}
  bool AskWorkPath(std::string& path) override {
    path = path_;
    return true;
  }

 private:
  std::string path_;
};

class CaptureRunFixture : public ::testing::Test {
 protected:
  CaptureRunFixture()
      : prompt_((root_.path() / "work").string()),
        program_(root_.path() / "program"),
        setup_((std::filesystem::create_directories(program_), &prompt_), program_) {
    TestApp<QCoreApplication>();
    folder_ = root_.path() / "capture";
    std::filesystem::create_directories(folder_);
    web_.Options.SetDefault(0);
    web_.Options.UseWebStructureFlag = true;
    setup_.TryCount = 3;
    setup_.MaxSockets = 3;
  }
  void Open(const std::string& start) {
    web_.StartEntries = {{start, "", "", ""}};
    web_.CreateNew(folder_ / "local.web");
  }
  // Runs a capture to its end, as the main window does.
  void Run(uint16_t flags = kCaptureMissing, const std::function<void(TCapture&)>& during = {}) {
    if (!(flags & kCaptureUpdateWalk)) web_.PrepareCapture();
    TCapture capture(web_, setup_, host_, Factory(), programMime_);
    if (Configure) Configure(capture);
    capture.SetFlags(flags);
    int steps = 0;
    while (capture.Step()) {
      if (during) during(capture);
      TCapture::WaitForEvents(100);
      ASSERT_LT(++steps, 20000) << "the run does not end";
    }
    stopped_ = capture.Stopped;
    if (Ended) Ended(capture);
  }
  virtual TRequestFactory Factory() = 0;

  std::unique_ptr<TWebFile> Record(const std::string& url) {
    auto r = std::make_unique<TWebFile>(&web_);
    if (!web_.FindRecord(TUrl(url).GetFullUrl(), *r)) return nullptr;
    return r;
  }
  int State(const std::string& url) {
    auto r = Record(url);
    return r ? r->GetState() : -1;
  }
  // Every record's state, by URL.
  std::map<std::string, int> States() {
    std::map<std::string, int> states;
    web_.ForEach([&](TWebFile& r) {
      states[r.FullUrl] = r.GetState();
      return true;
    });
    return states;
  }
  // The files of the capture folder, relative to it (the capture file left out).
  std::set<std::string> Files() {
    std::set<std::string> files;
    for (auto& e : std::filesystem::recursive_directory_iterator(folder_))
      if (e.is_regular_file() && e.path().filename() != "local.web")
        files.insert(std::filesystem::relative(e.path(), folder_).string());
    return files;
  }
  // After any run: no record is left requesting.
  void ExpectNoneRequesting() {
    for (const auto& [url, state] : States()) EXPECT_NE(state, fsRequesting) << url;
  }

  // The retrieved count of the capture file as it is on disk now (read from a copy).
  uint64_t RetrievedOnDisk() {
    const auto copy = root_.path() / "copy.web";
    std::filesystem::copy_file(folder_ / "local.web", copy, std::filesystem::copy_options::overwrite_existing);
    TWeb saved;
    return saved.Open(copy) == wlOk ? saved.RetrievedCount : ~uint64_t(0);
  }

  // Called on each run before it starts, and once it has ended.
  std::function<void(TCapture&)> Configure, Ended;
  TempRoot root_;
  PromptWork prompt_;
  std::filesystem::path program_;
  TSetup setup_;
  std::filesystem::path folder_;
  TWeb web_;
  TMimeList programMime_;
  RecorderHost host_;
  bool stopped_ = false;
};

}  // namespace qlon::test
