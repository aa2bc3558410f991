#pragma once
// What the tests that run a real server as a child process share: the
// process started with its output in a file, a loopback port free a moment
// ago, the wait until the server accepts there, and its end.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qlon::test {

// Runs args (args[0] looked up on PATH) with standard output and error
// appended to `output` (nowhere when empty) and no input; the pid, -1 when
// it could not start.
pid_t SpawnProcess(const std::vector<std::string>& args, const std::string& output);
// Waits for the process; its exit code, -1 when it did not exit normally.
int WaitExitCode(pid_t pid);
// A loopback port nothing listened on a moment ago; 0 when none was found.
std::uint16_t FreeLoopbackPort();
// Whether something accepts connections on the loopback port.
bool LoopbackAccepts(std::uint16_t port);
// Waits up to `seconds` for the process to accept on the port. False when
// it ended first (pid is then -1: its port was taken, or it could not run)
// or did not listen in time.
bool WaitListening(pid_t& pid, std::uint16_t port, int seconds);
// Ends the process (SIGTERM, then SIGKILL after two seconds) and waits for
// it; pid is -1 after. Nothing when it is -1 already.
void StopProcess(pid_t& pid);

}  // namespace qlon::test
