#pragma once
// One capture of the benchmark, in a process of its own: the run over the
// request client with `sockets` connections, then the link resolution that
// makes the folder readable offline, as the main window does after a run.
// Prints one line "RESULT retrieved notFound errors runSeconds resolveSeconds
// cpuSeconds peakKb" on standard output; the return value is the exit code.
#include <filesystem>
#include <string>

namespace qlon::bench {

int RunCaptureChild(const std::string& startUrl, int sockets, const std::filesystem::path& folder);
// The capture alone, then link resolution on fresh copies of the captured
// folder, taking turns with one thread and with `threads`, `rounds` times
// each: a line "RESOLVE threads seconds" each, then "SAME yes|no files"
// (every file of every copy, the capture file included, against the first).
int RunResolveChild(const std::string& startUrl, int sockets, const std::filesystem::path& folder, int threads,
                    int rounds);

}  // namespace qlon::bench
