#pragma once
// What the tests need to run a real server as a child process: start it
// with its output in a log, find a free loopback port for it, wait until it
// accepts connections, and end it.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace qlon::test {

// Runs args[0] (looked up on PATH) with standard output and error appended
// to `output` (or dropped when empty); the pid, -1 when it could not start.
pid_t SpawnLogged(const std::vector<std::string>& args, const std::string& output);
// Waits for the child to end; its exit code, -1 when it did not exit.
int WaitExit(pid_t pid);
// A port of 127.0.0.1 free now (0 when none): another program may take it
// before the server binds, so a server that fails to start tries another.
std::uint16_t FreeLoopbackPort();
// Whether 127.0.0.1:port takes a connection now (closed at once).
bool AcceptsOn(std::uint16_t port);
// Waits until the child accepts on the port; false when it ended (pid set
// to -1) or the time ran out.
bool WaitListening(pid_t& pid, std::uint16_t port, std::chrono::milliseconds timeout);
// Ends the child (SIGTERM, then SIGKILL after two seconds) and waits for it.
void EndProcess(pid_t& pid);

}  // namespace qlon::test
