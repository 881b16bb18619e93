// A program started by a test, for cross-process tests: start with extra
// environment variables, end it with SIGTERM, wait for it with a bound.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lx2d::platform {

class CChildProcess {
 public:
  CChildProcess() = default;
  ~CChildProcess();  // kills (SIGKILL) and reaps a child still running
  CChildProcess(const CChildProcess&) = delete;
  CChildProcess& operator=(const CChildProcess&) = delete;

  // Starts `program` with `args` (without the program name) and the test's
  // environment plus `environment` (NAME, value pairs). False when it cannot
  // be started.
  bool Start(const std::string& program, const std::vector<std::string>& args,
             const std::vector<std::pair<std::string, std::string>>& environment = {});

  // Sends SIGTERM.
  void Terminate();

  // Sends SIGKILL, as a crash would end it.
  void Kill();

  // Waits at most `limit` for the child to end. Its exit status, or 128 + the
  // signal number when a signal ended it; nullopt when it still runs.
  std::optional<int> Wait(std::chrono::milliseconds limit);

  long Id() const { return pid; }

 private:
  long pid = -1;
};

// The directory of the running test program (programs built beside it).
std::string TestProgramDirectory();

}  // namespace lx2d::platform
