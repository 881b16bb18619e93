// A command line run through the shell (/bin/sh -c) as a child process in a
// process group of its own, so that stopping it also stops what it started.
// For tools that start a helper on request and stop it later.
#pragma once

#include <chrono>
#include <string>

namespace lx2d::platform {

class CShellCommand {
 public:
  CShellCommand() = default;
  ~CShellCommand();  // stops a command still running
  CShellCommand(const CShellCommand&) = delete;
  CShellCommand& operator=(const CShellCommand&) = delete;

  // Starts `command`, which inherits the standard streams and environment.
  // False when it is empty, one is running already, or no process can be
  // made.
  bool Start(const std::string& command);

  // SIGTERM to the command's process group; after `grace` without its end,
  // SIGKILL. Reaps it. Nothing when none runs.
  void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));

  // True from a successful Start until Stop, or until the command has ended
  // by itself (then reaped).
  bool Running();

 private:
  long pid = -1;
};

}  // namespace lx2d::platform
