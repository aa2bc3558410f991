// Capture run against GNU Wget: both crawl the same site served on
// loopback, the generated one (2,000 pages and 5,000 images by default) or
// the files of a folder (--site-root, an installed documentation package),
// without and with a latency per request; the table gives for each run the
// wall time, pages per second, CPU time, peak memory, what the server saw,
// and the offline fidelity of the result (share of links that lead to a
// local file).
//
//   bench_capture [--pages N] [--images N] [--site-root DIR] [--latency MS]
//                 [--no-latency] [--only-latency] [--connections 1,5,16]
//                 [--rounds N] [--before BENCH] [--no-wget] [--no-capture]
//                 [--keep] [--resolution ROUNDS] [--resolve-threads N]
//                 [--wget2 THREADS]
//   bench_capture --serve [--pages N] [--images N] [--site-root DIR]
// --latency sets the delay of the slow runs (default 50 ms); --keep leaves
// the captured folders in place and prints where they are. --rounds runs
// every crawler that many times at each latency, taking turns (the order
// reversed every other round), and gives the medians. --before names the
// bench_capture of another build: its captures take their turns beside
// ours, and each of its captured folders is compared with ours, file by
// file and record by record. --serve only serves the site (for a profiler
// run of a capture child) until it is interrupted. --resolution
// then captures the site once more and resolves its links on fresh copies
// of the folder with one thread and with N (default: as many as the
// processors), taking turns ROUNDS times, and checks that both give the
// same files (--no-wget --no-capture for that alone). --wget2 runs GNU
// Wget2 with that many threads (--max-threads) instead of Wget.
//
// Each crawler runs in a process of its own (the server too), so that its
// CPU time and peak memory are its own.
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "CaptureChild.h"
#include "LinkCheck.h"
#include "Site.h"
#include "SiteServer.h"

namespace fs = std::filesystem;
using namespace qlon::bench;

namespace {

struct Config {
  int pages = 2000, images = 5000, latency = 50, threads = 48, rounds = 1;
  bool fast = true, slow = true, wget = true, capture = true, keep = false, serve = false;
  std::string siteRoot;  // serve this folder instead of the generated site
  std::string before;    // another build's bench_capture
  std::vector<int> connections{1, 5, 16};
  int resolutionRounds = 0;  // --resolution: one thread against all, this many times each
  int resolveThreads = 0;    // 0: as many as the processors
  int wget2Threads = 0;      // --wget2: Wget2 with this many threads instead of Wget
};

struct RunResult {
  std::string tool;
  int connections = 1, latency = 0;
  bool ok = false;
  std::string note;
  double wall = 0, cpu = 0;
  double user = 0, sys = 0;  // the whole process's, from wait4
  long peakKb = 0;
  uint64_t requests = 0, external = 0;
  unsigned kept = 0;  // records retrieved (a capture's own count)
  LinkCheckReport links;
  fs::path folder;  // removed at the end, unless kept
  std::string Key() const {
    return tool + " " + std::to_string(connections) + " " + std::to_string(latency);
  }
};

double Seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (size_t start = 0; start <= dirs.size();) {
    const size_t end = std::min(dirs.find(':', start), dirs.size());
    const fs::path candidate = fs::path(dirs.substr(start, end - start)) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    start = end + 1;
  }
  return {};
}

fs::path MakeTempFolder(const std::string& tag) {
  std::string pattern = (fs::temp_directory_path() / ("qlon-bench-" + tag + "-XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) return {};
  return pattern;
}

// Runs a program to its end; its wall time, and CPU time and peak memory
// from the kernel's account of that child alone.
bool RunChild(const std::vector<std::string>& argv, RunResult& result, const fs::path& log) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::fflush(nullptr);
  // What the run before left to write out is not this run's: a capture
  // syncs its rewritten pages, which would write the other's files too.
  ::sync();
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (FILE* out = std::freopen(log.c_str(), "w", stdout)) ::dup2(::fileno(out), 2);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid) return false;
  result.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.user = Seconds(usage.ru_utime);
  result.sys = Seconds(usage.ru_stime);
  result.cpu = result.user + result.sys;
  result.peakKb = usage.ru_maxrss;
  if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) {
    result.note = "did not run to its end";
    return false;
  }
  // Wget exits 8 when the server answered an error, as this site does.
  if (WEXITSTATUS(status) != 0) result.note = "exit " + std::to_string(WEXITSTATUS(status));
  return true;
}

// The folder a crawler made for the site's host ("127.0.0.1:port" for Wget,
// "127.0.0.1" for a capture): the pages of the site, without the crawler's
// own index pages.
fs::path HostFolder(const fs::path& folder) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.is_directory() && entry.path().filename().string().rfind("127.0.0.1", 0) == 0)
      return entry.path().filename();
  return {};
}

LinkCheckReport Check(const fs::path& folder, const SiteServer& server) {
  LinkCheckOptions options;
  options.siteOrigins = {server.Origin()};
  options.pagesBelow = HostFolder(folder);
  return CheckLinks(folder, options);
}

RunResult RunWget(const std::string& wget, int wget2Threads, SiteServer& server, int latency, bool keep) {
  RunResult r;
  r.tool = wget2Threads > 0 ? "wget2" : "wget";
  r.connections = std::max(wget2Threads, 1);
  r.latency = latency;
  const fs::path folder = MakeTempFolder("wget");
  server.SetLatency(latency);
  const uint64_t requests = server.Requests(), external = server.ExternalRequests();
  std::vector<std::string> command{wget, "-m", "-k", "-p", "-np", "-nv", "-P", (folder / "site").string()};
  if (wget2Threads > 0) command.push_back("--max-threads=" + std::to_string(wget2Threads));
  command.push_back(server.Origin() + "/index.html");
  r.ok = RunChild(command, r, folder / "wget.log");
  r.requests = server.Requests() - requests;
  r.external = server.ExternalRequests() - external;
  r.links = Check(folder / "site", server);
  if (keep) std::printf("%s (%d ms) kept in %s\n", r.tool.c_str(), latency, folder.c_str());
  r.folder = folder;
  return r;
}

RunResult RunCapture(SiteServer& server, int sockets, int latency, bool keep, const std::string& program = {}) {
  RunResult r;
  r.tool = program.empty() ? "capture" : "before";
  r.connections = sockets;
  r.latency = latency;
  const fs::path folder = MakeTempFolder("capture");
  server.SetLatency(latency);
  const uint64_t requests = server.Requests(), external = server.ExternalRequests();
  RunResult process;
  r.ok = RunChild({program.empty() ? fs::read_symlink("/proc/self/exe").string() : program, "--capture-child",
                   server.Origin() + "/index.html",
                   std::to_string(sockets), folder.string()},
                  process, folder / "capture.log");
  r.note = process.note;
  r.user = process.user;
  r.sys = process.sys;
  r.requests = server.Requests() - requests;
  r.external = server.ExternalRequests() - external;
  // The child's own account: the run and the link resolution, without the
  // start-up of the process and of the settings.
  std::ifstream log(folder / "capture.log");
  bool found = false;
  for (std::string line; std::getline(log, line);) {
    unsigned retrieved = 0, notFound = 0, errors = 0;
    double run = 0, resolve = 0;
    if (std::sscanf(line.c_str(), "RESULT %u %u %u %lf %lf %lf %ld", &retrieved, &notFound, &errors, &run, &resolve,
                    &r.cpu, &r.peakKb) == 7) {
      found = true;
      r.kept = retrieved;
      r.wall = run + resolve;
      char text[128];
      std::snprintf(text, sizeof text, "run %.2f s + resolution %.2f s; %u kept, %u not found, %u errors", run, resolve,
                    retrieved, notFound, errors);
      r.note += (r.note.empty() ? "" : "; ") + std::string(text);
    } else if (!line.empty() && r.note.size() < 400) {
      r.note += (r.note.empty() ? "" : "; ") + line;
    }
  }
  r.ok = r.ok && found;
  if (!found) r.wall = process.wall, r.cpu = process.cpu, r.peakKb = process.peakKb;
  r.links = Check(folder / "capture", server);
  if (keep) std::printf("%s (%d connections, %d ms) kept in %s\n", r.tool.c_str(), sockets, latency, folder.c_str());
  r.folder = folder;
  return r;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// One capture, then its link resolution on copies of the folder, with one
// thread and with all of them taking turns.
int CompareResolutions(SiteServer& server, const Config& config) {
  const int threads = config.resolveThreads > 0 ? config.resolveThreads : int(std::thread::hardware_concurrency());
  const fs::path folder = MakeTempFolder("resolution");
  server.SetLatency(0);
  RunResult process;
  std::printf("capture, 5 connections, then link resolution with 1 and %d threads, %d times each ...\n", threads,
              config.resolutionRounds);
  std::fflush(stdout);
  const bool ran = RunChild({fs::read_symlink("/proc/self/exe").string(), "--resolve-child",
                             server.Origin() + "/index.html", "5", folder.string(), std::to_string(threads),
                             std::to_string(config.resolutionRounds)},
                            process, folder / "resolve.log");
  std::map<int, std::vector<double>> seconds;
  std::string same = "?";
  std::ifstream log(folder / "resolve.log");
  for (std::string line; std::getline(log, line);) {
    int count = 0;
    double s = 0;
    char answer[8] = {};
    unsigned long files = 0;
    if (std::sscanf(line.c_str(), "RESOLVE %d %lf", &count, &s) == 2)
      seconds[count].push_back(s);
    else if (std::sscanf(line.c_str(), "SAME %7s %lu", answer, &files) == 2)
      same = std::string(answer) + " (" + std::to_string(files) + " files compared)";
    else if (!line.empty())
      std::printf("  %s\n", line.c_str());
  }
  std::printf("\n%-8s %8s %8s %8s  %s\n", "threads", "median s", "min s", "max s", "each");
  for (const auto& [count, list] : seconds) {
    std::string each;
    for (double v : list) each += (each.empty() ? "" : " / ") + std::to_string(v).substr(0, 5);
    std::printf("%-8d %8.3f %8.3f %8.3f  %s\n", count, Median(list), *std::min_element(list.begin(), list.end()),
                *std::max_element(list.begin(), list.end()), each.c_str());
  }
  if (seconds.count(1) && seconds.count(threads) && threads != 1)
    std::printf("\nlink resolution with %d threads: %.2f times as fast as with one (medians)\n", threads,
                Median(seconds[1]) / Median(seconds[threads]));
  std::printf("same files with 1 and %d threads: %s\n", threads, same.c_str());
  if (!config.keep) fs::remove_all(folder);
  return ran && same.rfind("yes", 0) == 0 ? 0 : 1;
}

void PrintTable(const std::vector<RunResult>& runs, const Site* site) {
  std::printf("\n%-8s %5s %7s %8s %6s %8s %8s %8s %11s %7s %7s %5s %8s  %s\n", "tool", "conns", "latency",
              "wall s", "pages", "pages/s", "CPU s", "CPU ms/f", "user/sys s", "peak MB", "reqs", "ext", "fidelity",
              "links: local/missing/outside/online-site");
  for (const RunResult& r : runs) {
    const double pps = r.wall > 0 ? double(r.links.pages) / r.wall : 0;
    const double perFile = r.requests ? 1000.0 * r.cpu / double(r.requests) : 0;
    char userSys[32];
    std::snprintf(userSys, sizeof userSys, "%.2f/%.2f", r.user, r.sys);
    std::printf("%-8s %5d %5d ms %8.2f %6zu %8.1f %8.2f %8.3f %11s %8.1f %7llu %5llu %7.2f%%  %zu/%zu/%zu/%zu%s%s\n",
                r.tool.c_str(), r.connections, r.latency, r.wall, r.links.pages, pps, r.cpu, perFile, userSys,
                double(r.peakKb) / 1024.0, (unsigned long long)r.requests, (unsigned long long)r.external,
                100.0 * r.links.Fidelity(), r.links.local, r.links.missing, r.links.outside, r.links.onSite,
                r.note.empty() ? "" : "  ", r.note.c_str());
  }
  if (site) {
    const SiteLinks all = site->CountLinks();
    const double share = 100.0 * double(all.errors) / double(all.local + all.errors);
    std::printf("\nThe site: %d pages, %d sections, %d images; its links: %zu to existing targets, %zu to 404/500 "
                "(%.2f%%, a crawler that leaves them online reaches about %.2f%%), %zu to another host.\n",
                site->Pages(), site->Sections(), site->Images(), all.local, all.errors, share, 100.0 - share,
                all.external);
  }
  for (const RunResult& r : runs)
    for (size_t i = 0; i < r.links.problems.size() && i < 5; ++i)
      std::printf("  %s %d/%d: %s\n", r.tool.c_str(), r.connections, r.latency, r.links.problems[i].c_str());
}

// The median run of each crawler, connection count and latency: its wall
// time, CPU time and peak memory are each the median of their own.
std::vector<RunResult> Medians(const std::vector<RunResult>& runs, std::map<std::string, std::string>& spreads) {
  std::vector<RunResult> out;
  std::map<std::string, std::vector<const RunResult*>> groups;
  std::vector<std::string> order;
  for (const RunResult& r : runs) {
    if (!r.ok) continue;
    if (!groups.count(r.Key())) order.push_back(r.Key());
    groups[r.Key()].push_back(&r);
  }
  for (const std::string& key : order) {
    const auto& list = groups[key];
    std::vector<double> wall, cpu, peak, requests, user, sys;
    std::string each;
    for (const RunResult* r : list) {
      wall.push_back(r->wall);
      cpu.push_back(r->cpu);
      user.push_back(r->user);
      sys.push_back(r->sys);
      peak.push_back(double(r->peakKb));
      requests.push_back(double(r->requests));
      char text[32];
      std::snprintf(text, sizeof text, "%s%.2f", each.empty() ? "" : " / ", r->wall);
      each += text;
    }
    RunResult m = *list.front();
    m.wall = Median(wall);
    m.cpu = Median(cpu);
    m.user = Median(user);
    m.sys = Median(sys);
    m.peakKb = long(Median(peak));
    m.requests = uint64_t(Median(requests));
    m.note = "wall " + each;
    spreads[key] = each;
    out.push_back(m);
  }
  return out;
}

// The figures the runs are judged by: a capture against Wget's mirror at
// the same latency, and with a latency, against the least time its requests
// can take: each file costs two round trips (connection, request), its
// connections overlap them. With --before, each capture against the other
// build's at the same connections and latency.
void PrintRatios(const std::vector<RunResult>& runs) {
  std::printf("\n");
  for (const RunResult& c : runs) {
    if ((c.tool != "capture" && c.tool != "before") || !c.ok) continue;
    const char* name = c.tool == "capture" ? "capture" : "before";
    for (const RunResult& w : runs)
      if ((w.tool == "wget" || w.tool == "wget2") && w.ok && w.latency == c.latency && c.wall > 0) {
        const double cf = c.requests ? c.cpu / double(c.requests) : 0, wf = w.requests ? w.cpu / double(w.requests) : 0;
        std::printf("%s, %d connections, %d ms: %.2f times as fast as %s (%.2f s against %.2f s); "
                    "CPU %.3f ms a file against %.3f (%.2f times %s's)\n",
                    name, c.connections, c.latency, w.wall / c.wall, w.tool.c_str(), c.wall, w.wall, 1000 * cf,
                    1000 * wf, wf > 0 ? cf / wf : 0, w.tool.c_str());
      }
    if (c.tool == "capture")
      for (const RunResult& b : runs)
        if (b.tool == "before" && b.ok && b.latency == c.latency && b.connections == c.connections && c.wall > 0) {
          const double cf = c.requests ? c.cpu / double(c.requests) : 0, bf = b.requests ? b.cpu / double(b.requests) : 0;
          std::printf("capture, %d connections, %d ms, against the build before: %.2f times as fast (%.2f s against "
                      "%.2f s); CPU a file %.3f ms against %.3f (%.2f of it); peak %.1f MB against %.1f\n",
                      c.connections, c.latency, b.wall / c.wall, c.wall, b.wall, 1000 * cf, 1000 * bf,
                      bf > 0 ? cf / bf : 0, c.peakKb / 1024.0, b.peakKb / 1024.0);
        }
    if (c.latency > 0) {
      const double limit = double(c.requests) * 2 * c.latency / 1000.0 / c.connections;
      std::printf("%s, %d connections, %d ms: %.2f s, %.2f times the latency limit of %.2f s "
                  "(%llu requests x 2 round trips / %d connections)\n",
                  name, c.connections, c.latency, c.wall, c.wall / limit, limit, (unsigned long long)c.requests,
                  c.connections);
    }
  }
}

// Every file below a folder, by relative name.
std::map<std::string, fs::path> FilesBelow(const fs::path& folder) {
  std::map<std::string, fs::path> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (it->is_regular_file()) files[fs::relative(it->path(), folder).string()] = it->path();
  return files;
}

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The text with the time of each date written as ",hh:mm:ss" blanked: the
// banner and the index pages name the moment of their capture, which is all
// that two captures of one site in one invocation may differ by.
std::string WithoutTimes(std::string text) {
  auto digit = [&](size_t i) { return text[i] >= '0' && text[i] <= '9'; };
  for (size_t at = text.find(','); at != std::string::npos && at + 9 <= text.size(); at = text.find(',', at + 1))
    if (digit(at + 1) && digit(at + 2) && text[at + 3] == ':' && digit(at + 4) && digit(at + 5) &&
        text[at + 6] == ':' && digit(at + 7) && digit(at + 8))
      text.replace(at + 1, 8, "--:--:--");
  return text;
}

// The same bytes, but for the times of the capture.
bool SameBytes(const fs::path& a, const fs::path& b) {
  const std::string x = ReadAll(a), y = ReadAll(b);
  return x == y || WithoutTimes(x) == WithoutTimes(y);
}

// The records of a capture folder, as our capture child lists them.
std::string Records(const fs::path& folder) {
  const fs::path list = folder / "records.txt";
  RunResult ignored;
  if (!RunChild({fs::read_symlink("/proc/self/exe").string(), "--records-child", folder.string()}, ignored, list))
    return {};
  return ReadAll(list);
}

// Where the capture file's tree begins, after its header area.
constexpr size_t kTreeStart = 5120;

// The captured folders of two builds: every file the same, byte for byte
// but for the times of the capture (the capture file aside, whose tree pages
// follow the order the requests ended in), and the same records in the
// capture file.
bool CompareCaptures(const RunResult& ours, const RunResult& theirs) {
  const auto a = FilesBelow(ours.folder / "capture"), b = FilesBelow(theirs.folder / "capture");
  size_t same = 0, differ = 0, only = 0;
  std::vector<std::string> shown;
  for (const auto& [name, path] : a) {
    if (name.rfind("local.web", 0) == 0) continue;
    const auto it = b.find(name);
    if (it == b.end()) {
      ++only;
      if (shown.size() < 5) shown.push_back("only ours: " + name);
    } else if (SameBytes(path, it->second)) {
      ++same;
    } else {
      ++differ;
      if (shown.size() < 5) shown.push_back("differs: " + name);
    }
  }
  for (const auto& [name, path] : b)
    if (name.rfind("local.web", 0) != 0 && !a.count(name)) {
      ++only;
      if (shown.size() < 5) shown.push_back("only the build before's: " + name);
    }
  const std::string ra = Records(ours.folder), rb = Records(theirs.folder);
  const size_t records = size_t(std::count(ra.begin(), ra.end(), '\n'));
  const bool sameRecords = !ra.empty() && ra == rb;
  // With one connection the requests end in one order: the capture files'
  // trees are then the same bytes too.
  std::string tree;
  if (ours.connections == 1) {
    const std::string x = ReadAll(ours.folder / "capture" / "local.web"),
                      y = ReadAll(theirs.folder / "capture" / "local.web");
    const bool same = x.size() > kTreeStart && x.compare(kTreeStart, std::string::npos, y, std::min(y.size(), kTreeStart)) == 0;
    tree = same ? "; the capture files' trees the same bytes" : "; the capture files' trees DIFFER";
    if (!same) differ++;
  }
  std::printf("%d connections, %d ms: %zu files the same, %zu differ, %zu in one folder only; %zu records, %s%s\n",
              ours.connections, ours.latency, same, differ, only, records, sameRecords ? "the same" : "NOT the same",
              tree.c_str());
  for (const std::string& line : shown) std::printf("  %s\n", line.c_str());
  return differ == 0 && only == 0 && sameRecords;
}

bool ParseArgs(int argc, char** argv, Config& c) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--pages")
      c.pages = std::atoi(next());
    else if (a == "--images")
      c.images = std::atoi(next());
    else if (a == "--latency")
      c.latency = std::atoi(next());
    else if (a == "--no-latency")
      c.slow = false;
    else if (a == "--only-latency")
      c.fast = false;
    else if (a == "--no-wget")
      c.wget = false;
    else if (a == "--no-capture")
      c.capture = false;
    else if (a == "--keep")
      c.keep = true;
    else if (a == "--serve")
      c.serve = true;
    else if (a == "--site-root")
      c.siteRoot = next();
    else if (a == "--before")
      c.before = next();
    else if (a == "--rounds")
      c.rounds = std::max(1, std::atoi(next()));
    else if (a == "--resolution")
      c.resolutionRounds = std::max(1, std::atoi(next()));
    else if (a == "--wget2")
      c.wget2Threads = std::max(1, std::atoi(next()));
    else if (a == "--resolve-threads")
      c.resolveThreads = std::atoi(next());
    else if (a == "--connections") {
      c.connections.clear();
      for (std::string list = next(); !list.empty();) {
        const size_t comma = list.find(',');
        c.connections.push_back(std::atoi(list.substr(0, comma).c_str()));
        list = comma == std::string::npos ? "" : list.substr(comma + 1);
      }
    } else {
      std::fprintf(stderr, "unknown argument %s\n", a.c_str());
      return false;
    }
  }
  return c.pages > 0 && c.images >= 0 && c.latency >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--capture-child") == 0) {
    CaptureChildOptions options;
    if (!ParseCaptureChildArgs(argc - 2, argv + 2, options)) {
      std::fprintf(stderr, "usage: %s --capture-child URL SOCKETS FOLDER [--resume] [--save-interval MS] "
                           "[--auto-save N] [--events] [--file-pool off|on]\n", argv[0]);
      return 2;
    }
    return RunCaptureChild(options);
  }
  if (argc == 7 && std::strcmp(argv[1], "--resolve-child") == 0)
    return RunResolveChild(argv[2], std::atoi(argv[3]), argv[4], std::atoi(argv[5]), std::atoi(argv[6]));
  if (argc == 3 && std::strcmp(argv[1], "--records-child") == 0) return RunRecordsChild(argv[2]);
  Config config;
  if (!ParseArgs(argc, argv, config)) return 2;
  SiteServer server;
  const bool folder = !config.siteRoot.empty();
  if (folder && !fs::is_regular_file(fs::path(config.siteRoot) / "index.html")) {
    std::fprintf(stderr, "%s holds no index.html\n", config.siteRoot.c_str());
    return 2;
  }
  if (!(folder ? server.StartFolder(config.siteRoot, config.threads)
               : server.Start(config.pages, config.images, config.threads)))
    return 1;
  if (folder)
    std::printf("Site on %s (other host %s): the files of %s\n", server.Origin().c_str(),
                server.ExternalOrigin().c_str(), config.siteRoot.c_str());
  else
    std::printf("Site on %s (other host %s): %d pages, %d images\n", server.Origin().c_str(),
                server.ExternalOrigin().c_str(), config.pages, config.images);
  if (config.serve) {
    std::printf("serving %s/index.html until interrupted\n", server.Origin().c_str());
    std::fflush(stdout);
    for (;;) ::pause();
  }
  const char* wgetName = config.wget2Threads > 0 ? "wget2" : "wget";
  const std::string wget = config.wget ? FindProgram(wgetName) : "";
  if (config.wget && wget.empty()) std::printf("%s not found: its runs are skipped\n", wgetName);
  std::vector<int> latencies;
  if (config.fast) latencies.push_back(0);
  if (config.slow && config.latency > 0) latencies.push_back(config.latency);

  // One round: Wget, then each capture, then each capture of the build
  // before; every other round in the reverse order.
  struct Turn {
    std::string tool;
    int connections = 0;
  };
  std::vector<Turn> turns;
  if (!wget.empty()) turns.push_back({"wget", 0});
  if (config.capture)
    for (int sockets : config.connections) turns.push_back({"capture", sockets});
  if (config.capture && !config.before.empty())
    for (int sockets : config.connections) turns.push_back({"before", sockets});

  std::vector<RunResult> runs;
  for (int latency : latencies)
    for (int round = 0; round < config.rounds; ++round) {
      std::vector<Turn> order = turns;
      if (round % 2) std::reverse(order.begin(), order.end());
      for (const Turn& turn : order) {
        std::printf("round %d: %s%s%s, latency %d ms ...\n", round + 1, turn.tool.c_str(),
                    turn.connections ? ", connections " : "",
                    turn.connections ? std::to_string(turn.connections).c_str() : "", latency);
        std::fflush(stdout);
        if (turn.tool == "wget")
          runs.push_back(RunWget(wget, config.wget2Threads, server, latency, config.keep));
        else
          runs.push_back(RunCapture(server, turn.connections, latency, config.keep,
                                    turn.tool == "before" ? config.before : std::string()));
      }
    }
  Site site(config.pages, config.images, server.Origin(), server.ExternalOrigin());
  int status = 0;
  if (!runs.empty()) {
    PrintTable(runs, folder ? nullptr : &site);
    if (config.rounds > 1) {
      std::map<std::string, std::string> spreads;
      const std::vector<RunResult> medians = Medians(runs, spreads);
      std::printf("\nMedians of %d rounds:", config.rounds);
      PrintTable(medians, nullptr);
      PrintRatios(medians);
    } else {
      PrintRatios(runs);
    }
    if (!config.before.empty()) {
      std::printf("\nThe captured folders against the build before's, round by round:\n");
      std::map<std::string, int> seen;
      for (const RunResult& ours : runs) {
        if (ours.tool != "capture" || !ours.ok) continue;
        const int nth = seen[ours.Key()]++;
        int count = 0;
        for (const RunResult& theirs : runs)
          if (theirs.tool == "before" && theirs.ok && theirs.connections == ours.connections &&
              theirs.latency == ours.latency && count++ == nth) {
            // With several connections the order in which requests end
            // decides which page a record is first found from (its link
            // level) and which of two equal names it gets, in either build.
            if (!CompareCaptures(ours, theirs) && ours.connections == 1) status = 6;
            break;
          }
      }
    }
  }
  if (config.resolutionRounds > 0 && CompareResolutions(server, config) != 0) status = 1;
  server.Stop();
  // Not between runs: ext4 without a journal scans past the inodes freed in
  // the last minutes for each file it creates, so a run right after a
  // removal of thousands of files would pay for the one before it.
  if (!config.keep)
    for (const RunResult& r : runs) fs::remove_all(r.folder);
  return status;
}
