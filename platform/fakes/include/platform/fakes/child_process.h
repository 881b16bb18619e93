// A program started by a test, for cross-process tests: start with extra
// environment variables, end it with SIGTERM, wait for it with a bound.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
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

  // As Start, with the child's standard input a pipe that WriteInput feeds
  // (closed when the child is reaped or this object goes). SIGPIPE is
  // ignored in the test process from then on.
  bool StartWithInput(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::pair<std::string, std::string>>& environment = {});

  // Writes all of `text` to the child's standard input. False when it was
  // not started with input or the child no longer reads.
  bool WriteInput(std::string_view text);

  // Sends SIGTERM.
  void Terminate();

  // Sends SIGKILL, as a crash would end it.
  void Kill();

  // Waits at most `limit` for the child to end. Its exit status, or 128 + the
  // signal number when a signal ended it; nullopt when it still runs.
  std::optional<int> Wait(std::chrono::milliseconds limit);

  long Id() const { return pid; }

 private:
  bool Spawn(const std::string& program, const std::vector<std::string>& args,
             const std::vector<std::pair<std::string, std::string>>& environment, bool withInput);
  void CloseInput();

  long pid = -1;
  int inputFd = -1;  // write end of the child's standard input
};

// The directory of the running test program (programs built beside it).
std::string TestProgramDirectory();

}  // namespace lx2d::platform
