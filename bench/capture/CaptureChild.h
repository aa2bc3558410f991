#pragma once
// One capture of the benchmark, in a process of its own, along the road the
// main window takes: the capture file created (or, to resume, opened as the
// program opens it), the queues prepared, the run over the request client
// with `sockets` connections and the program's cookie store, the save at
// the run's end, then the link resolution that makes the folder readable
// offline, and a last save.
//
// The folder holds "platform" (the settings, win.ini and registry of the
// run, kept between runs) and "capture" (the capture folder, "local.web").
// Prints one line "RESULT retrieved notFound errors runSeconds
// resolveSeconds cpuSeconds peakKb" on standard output, after one line
// "REFUSED site connections lost reply" for each server that refused
// connections (the connections it was left, the records lost to its
// refusals, its last refusal); with `events`, also
// one line per event as it happens, written at once (so that a process
// killed at any moment has told everything before): "RUN ms", "KEPT ms url"
// for each record retrieved, "SAVED ms" after each save of the capture
// file, "RESOLVING ms", where ms is CLOCK_MONOTONIC in milliseconds.
#include <filesystem>
#include <optional>
#include <string>

namespace qlon::bench {

struct CaptureChildOptions {
  std::string startUrl;
  int sockets = 5;
  std::filesystem::path folder;
  bool resume = false;    // open the folder's capture instead of creating it
  int saveIntervalMs = 0;  // 0: the run's own
  int autoSaveCount = 0;   // 0: the settings'
  bool events = false;
  // --file-pool off|on: -1, 0 (see TCapture::SetFilePoolStart); else the run's own.
  std::optional<double> poolStart;
};

// The options from the arguments after "--capture-child": URL SOCKETS
// FOLDER [--resume] [--save-interval MS] [--auto-save N] [--events]
// [--file-pool off|on]; false
// when they do not parse.
bool ParseCaptureChildArgs(int argc, char** argv, CaptureChildOptions& options);
// The return value is the exit code.
int RunCaptureChild(const CaptureChildOptions& options);

// The capture alone, then link resolution on fresh copies of the captured
// folder, taking turns with one thread and with `threads`, `rounds` times
// each: a line "RESOLVE threads seconds" each, then "SAME yes|no files"
// (every file of every copy, the capture file included, against the first).
int RunResolveChild(const std::string& startUrl, int sockets, const std::filesystem::path& folder, int threads,
                    int rounds);

// Every record of the capture file in folder/capture, one line each, sorted:
// the URL, the record's fields (flags, state, MIME index, marks, levels,
// identity, date, width, height) in hexadecimal and its second string. Two
// captures of one site hold the same records exactly when the lines are
// the same, whatever order their requests ended in.
int RunRecordsChild(const std::filesystem::path& folder);

// The clock of the events.
long long MonotonicMs();

}  // namespace qlon::bench
