// A capture killed again and again (SIGKILL at random moments of its run and
// of its link resolution) and resumed each time along the program's road
// ends as an uninterrupted capture of the same site does: every kill leaves
// a capture file that opens, keeps every record saved before the kill (and
// so every record older than the save interval), and the last resume leaves
// the same files with the same offline links.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <random>
#include <set>
#include <thread>

#include "CaptureChild.h"
#include "FilePool.h"
#include "LinkCheck.h"
#include "SiteServer.h"
#include "TempRoot.h"
#include "Web.h"

namespace qlon::bench {
namespace {

namespace fs = std::filesystem;

// The site's latency makes a run of a few seconds, so that late kills still
// fall inside it.
#ifdef __SANITIZE_ADDRESS__
// Everything is several times slower: a smaller site, and more slack for
// the event loop to reach the save.
constexpr int kPages = 150, kImages = 80, kLatencyMs = 50, kSlackMs = 2000;
#else
constexpr int kPages = 300, kImages = 200, kLatencyMs = 20, kSlackMs = 1000;
#endif
constexpr int kSaveIntervalMs = 300;
constexpr int kLateKillMs = kSaveIntervalMs + kSlackMs + 300;
constexpr int kCampaigns = 3, kKillsPerCampaign = 11;

struct Event {
  std::string what;
  long long ms = 0;
  std::string text;
};

// One run of the capture child, its standard output read as it comes.
class Child {
 public:
  Child(const std::string& url, const fs::path& folder, bool resume, const std::vector<std::string>& extra = {}) {
    int out[2];
    if (::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      const int null = ::open("/dev/null", O_WRONLY);
      if (null >= 0) ::dup2(null, 2);
      ::close(out[0]);
      std::vector<std::string> args = {QLON_BENCH_CAPTURE, "--capture-child", url, "4", folder.string(),
                                       "--save-interval", std::to_string(kSaveIntervalMs), "--auto-save", "100000",
                                       "--events"};
      if (resume) args.push_back("--resume");
      args.insert(args.end(), extra.begin(), extra.end());
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    out_ = out[0];
  }
  ~Child() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
  }

  bool Started() const { return pid_ > 0 && out_ >= 0; }
  // Reads events until one of those named comes after the last one waited
  // for: its name; empty when the child ended or the time ran out first.
  std::string WaitFor(const std::set<std::string>& names, int timeoutMs) {
    const long long end = MonotonicMs() + timeoutMs;
    for (;;) {
      for (; next_ < events_.size(); ++next_)
        if (names.count(events_[next_].what)) return events_[next_++].what;
      const long long left = end - MonotonicMs();
      if (left <= 0 || !Read(int(left))) return {};
    }
  }
  // Kills the child now; the moment of the kill.
  long long Kill() {
    const long long at = MonotonicMs();
    ::kill(pid_, SIGKILL);
    return at;
  }
  // Waits for its end and reads what it wrote to the last byte; whether it
  // ended on its own with success.
  bool Reap() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    reaped_ = true;
    while (Read(-1)) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  const std::vector<Event>& Events() const { return events_; }

 private:
  // One read, waiting at most `ms` (-1: until data or the end); false at the end or time-out.
  bool Read(int ms) {
    pollfd p{out_, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return false;
    char buf[4096];
    const ssize_t n = ::read(out_, buf, sizeof buf);
    if (n <= 0) return false;
    pending_.append(buf, size_t(n));
    for (size_t eol; (eol = pending_.find('\n')) != std::string::npos; pending_.erase(0, eol + 1)) {
      std::istringstream line(pending_.substr(0, eol));
      Event e;
      line >> e.what >> e.ms;
      std::getline(line >> std::ws, e.text);
      events_.push_back(std::move(e));
    }
    return true;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  bool reaped_ = false;
  size_t next_ = 0;  // the first event no wait has gone past
  std::string pending_;
  std::vector<Event> events_;
};

fs::path CaptureFolder(const fs::path& folder) { return folder / "capture"; }

// The files of a capture folder but its capture file and journals.
std::set<std::string> Files(const fs::path& folder) {
  std::set<std::string> files;
  const fs::path capture = CaptureFolder(folder);
  for (const auto& e : fs::recursive_directory_iterator(capture)) {
    const std::string name = e.path().lexically_relative(capture).generic_string();
    if (e.is_regular_file() && !name.starts_with("local.web")) files.insert(name);
  }
  return files;
}

LinkCheckReport Links(const fs::path& folder, const SiteServer& server) {
  LinkCheckOptions options;
  options.siteOrigins = {server.Origin()};
  options.pagesBelow = "127.0.0.1";
  return CheckLinks(CaptureFolder(folder), options);
}

std::string Difference(const std::set<std::string>& a, const std::set<std::string>& b) {
  std::string text;
  for (const auto& name : a)
    if (!b.count(name) && text.size() < 600) text += " " + name;
  return text;
}

struct Spans {
  long long run = 0, resolve = 0;
};

Spans Measure(const Child& child) {
  std::map<std::string, long long> at;
  for (const Event& e : child.Events()) at.emplace(e.what, e.ms);
  long long end = 0;
  for (const Event& e : child.Events())
    if (e.what == "SAVED") end = e.ms;
  return {at["RESOLVING"] - at["RUN"], end - at["RESOLVING"]};
}

// The capture file after a kill: it opens, no journal of it is refused, and
// it holds every record kept before the last save the child reported (or
// before the link resolution began) and every one kept longer than the save
// interval before the kill.
struct Checked {
  int saved = 0, old = 0, lost = 0;  // records checked, by reason; records lost (allowed)
  long long slowestSave = 0;         // the longest a kept record waited for the end of its save (ms)
};

void CheckAfterKill(const fs::path& folder, const std::vector<Event>& events, long long killedAt,
                    const std::string& where, Checked& checked) {
  TWeb web;
  TWebLoadResult opened = wlError;
  ASSERT_NO_THROW(opened = web.Open(CaptureFolder(folder) / "local.web")) << where;
  ASSERT_EQ(opened, wlOk) << where;
  EXPECT_EQ(web.OpenNote(), "") << where;
  std::map<std::string, TWebFileState> states;
  web.ForEach([&](TWebFile& r) {
    states[r.FullUrl] = r.GetState();
    return true;
  });
  // The run's end saves before the link resolution starts.
  size_t lastSave = 0;
  for (size_t i = 0; i < events.size(); ++i)
    if (events[i].what == "SAVED" || events[i].what == "RESOLVING") lastSave = i;
  for (size_t i = 0; i < events.size(); ++i) {
    const Event& e = events[i];
    if (e.what != "KEPT") continue;
    const bool saved = i < lastSave, old = killedAt - e.ms > kSaveIntervalMs + kSlackMs;
    const auto it = states.find(e.text);
    if (!saved && !old) {
      checked.lost += it == states.end() || it->second != fsRetrieved;
      continue;
    }
    checked.saved += saved;
    checked.old += old;
    for (size_t j = i + 1; j < events.size(); ++j)
      if (events[j].what == "SAVED") {
        checked.slowestSave = std::max(checked.slowestSave, events[j].ms - e.ms);
        break;
      }
    ASSERT_TRUE(it != states.end() && it->second == fsRetrieved)
        << where << ": " << e.text << " kept " << killedAt - e.ms << " ms before the kill"
        << (saved ? ", before a save," : "") << " is lost";
  }
  web.Close();
}

// The generated site served with its latency, and a folder for the captures.
class KillResume : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Start(kPages, kImages, 8));
    server.SetLatency(kLatencyMs);
    url = server.Origin() + "/index.html";
  }

  SiteServer server;
  std::string url;
  qlon::test::TempDir dir;
};

TEST_F(KillResume, EndsAsAnUninterruptedCapture) {

  const fs::path reference = dir.path() / "reference";
  Child whole(url, reference, false);
  ASSERT_TRUE(whole.Started());
  ASSERT_TRUE(whole.Reap()) << "the uninterrupted capture";
  ASSERT_TRUE(whole.WaitFor({"RESOLVING"}, 0) == "RESOLVING");
  const Spans spans = Measure(whole);
  const std::set<std::string> files = Files(reference);
  const LinkCheckReport links = Links(reference, server);
  ASSERT_GT(files.size(), size_t(kPages + kImages) / 2);
  ASSERT_TRUE(links.problems.empty()) << links.problems.front();

  std::mt19937 random(22);
  int kills = 0, duringResolution = 0;
  Checked checked;
  for (int campaign = 0; campaign < kCampaigns; ++campaign) {
    const fs::path folder = dir.path() / ("killed" + std::to_string(campaign));
    for (int k = 0, runs = 0; k < kKillsPerCampaign && runs < 3 * kKillsPerCampaign; ++runs) {
      const std::string where = "campaign " + std::to_string(campaign) + ", kill " + std::to_string(k);
      Child child(url, folder, runs > 0);
      ASSERT_TRUE(child.Started());
      // The run first, early (after a few records, before any save) and
      // late (past the save interval and its slack, so that records older
      // than that are at stake), then the link resolution; a late kill that
      // finds the run over kills the resolution.
      std::string at;
      if (k < 7 && k % 2 == 0) {
        for (int n = 1 + int(random() % 30); n > 0; --n)
          if ((at = child.WaitFor({"KEPT", "RESOLVING"}, 60000)) != "KEPT") break;
      } else if (k < 7) {
        at = child.WaitFor({"RUN"}, 60000);
        if (!at.empty()) child.WaitFor({"RESOLVING"}, int(kLateKillMs + random() % 400));
      } else {
        at = child.WaitFor({"RESOLVING"}, 60000);
        // A resumed resolution has less to rewrite than the whole one.
        const long long span = std::max(spans.resolve / 3, 1LL);
        if (!at.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(random() % span));
      }
      const long long killedAt = at.empty() ? MonotonicMs() : child.Kill();
      const bool over = child.Reap();
      if (over) continue;  // it was over before the kill
      ++kills;
      ++k;
      for (const Event& e : child.Events())
        if (e.what == "RESOLVING" && e.ms <= killedAt) {
          ++duringResolution;
          break;
        }
      CheckAfterKill(folder, child.Events(), killedAt, where, checked);
      if (HasFatalFailure()) return;
    }
    Child last(url, folder, true);
    ASSERT_TRUE(last.Started());
    ASSERT_TRUE(last.Reap()) << "the last resume of campaign " << campaign;
    const std::set<std::string> after = Files(folder);
    EXPECT_EQ(after, files) << "campaign " << campaign << ", more:" << Difference(after, files)
                            << "; missing:" << Difference(files, after);
    const LinkCheckReport resumed = Links(folder, server);
    EXPECT_EQ(resumed.local, links.local) << "campaign " << campaign;
    EXPECT_EQ(resumed.missing, links.missing) << "campaign " << campaign;
    EXPECT_EQ(resumed.onSite, links.onSite) << "campaign " << campaign;
    EXPECT_DOUBLE_EQ(resumed.Fidelity(), links.Fidelity()) << "campaign " << campaign;
  }
  std::printf("uninterrupted: run %lld ms, link resolution %lld ms; %d kills, %d during link resolution; records "
              "found after a kill: %d kept before a save, %d kept longer than the interval and slack before the "
              "kill; %d newer ones lost; the longest a record waited for its save: %lld ms\n",
              spans.run, spans.resolve, kills, duringResolution, checked.saved, checked.old, checked.lost,
              checked.slowestSave);
  EXPECT_GE(kills, 30);
  EXPECT_GE(duringResolution, 5);
  EXPECT_GT(checked.saved, 0);
  EXPECT_GT(checked.old, 0);
}

// The files of a folder, recursively, with their sizes.
std::map<std::string, uintmax_t> Sizes(const fs::path& folder) {
  std::map<std::string, uintmax_t> sizes;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) sizes[e.path().lexically_relative(folder).generic_string()] = e.file_size();
  return sizes;
}

// A run killed while its file pool holds files made ahead: opening the
// capture clears them, a copy and a move of it carry none and leave none
// behind, and the capture resumed at its new place ends whole.
TEST_F(KillResume, AKilledRunsFilePoolIsNeverTakenForTheCapture) {
  const fs::path folder = dir.path() / "killed";
  const fs::path pool = CaptureFolder(folder) / kPoolFolder;
  {
    Child child(url, folder, false, {"--file-pool", "on"});
    ASSERT_TRUE(child.Started());
    // The pool starts after its probe of the first claims; the kill comes
    // once it has files ready.
    bool ready = false;
    for (int i = 0; i < 2000 && !ready; ++i) {
      if (child.WaitFor({"KEPT"}, 5000).empty()) break;
      std::error_code ec;
      for (auto it = fs::recursive_directory_iterator(pool, ec); !ec && it != fs::recursive_directory_iterator();
           it.increment(ec))
        if (it->is_regular_file(ec)) ready = true;
    }
    ASSERT_TRUE(ready) << "the run ended before its pool made files";
    child.Kill();
    ASSERT_FALSE(child.Reap());
  }
  ASSERT_TRUE(fs::exists(pool));

  TWeb web;
  ASSERT_EQ(web.Open(CaptureFolder(folder) / "local.web"), wlOk);
  EXPECT_EQ(web.OpenNote(), "");
  EXPECT_FALSE(fs::exists(pool)) << "opening the capture clears what its killed run made ahead";
  const auto records = web.GetCount();

  const fs::path copy = dir.path() / "copy" / "capture";
  ASSERT_TRUE(web.CopyTo(copy));
  EXPECT_FALSE(fs::exists(copy / kPoolFolder));
  TWeb copied;
  ASSERT_EQ(copied.Open(copy / "local.web"), wlOk);
  EXPECT_EQ(copied.GetCount(), records);

  const fs::path moved = dir.path() / "moved";
  ASSERT_TRUE(web.MoveTo(CaptureFolder(moved)));
  EXPECT_FALSE(fs::exists(CaptureFolder(folder))) << "the move leaves nothing behind";
  web.Close();

  Child resumed(url, moved, true);
  ASSERT_TRUE(resumed.Started());
  ASSERT_TRUE(resumed.Reap()) << "the resumed capture";
  EXPECT_FALSE(fs::exists(CaptureFolder(moved) / kPoolFolder));
  const LinkCheckReport links = Links(moved, server);
  EXPECT_TRUE(links.problems.empty()) << links.problems.front();
  EXPECT_GT(links.local, 0u);
  // Every captured file holds its body: none is an empty file of the pool
  // that a record took for its own.
  for (const auto& [name, size] : Sizes(CaptureFolder(moved) / "127.0.0.1")) EXPECT_GT(size, 0u) << name;
}

}  // namespace
}  // namespace qlon::bench
