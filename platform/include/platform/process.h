// Starting and stopping a helper program given as a shell command line.
#pragma once

#include <memory>
#include <string>

#include "platform/win_types.h"

namespace lx2d::platform {

// A running command. Destroying it stops it (Stop).
class IProcess {
 public:
  virtual ~IProcess() = default;

  // Ends the command and everything it started: SIGTERM to its process
  // group, SIGKILL after 5 s, then reaps it. Nothing happens when it has
  // already been stopped.
  virtual void Stop() = 0;

  // Whether the command still runs (false once it has ended by itself).
  virtual bool Running() = 0;
};

// Runs `command` with /bin/sh -c in a process group of its own, with this
// process's environment and standard streams. ERROR_SUCCESS;
// ERROR_INVALID_PARAMETER for an empty command; ERROR_GEN_FAILURE when no
// process could be started.
DWORD StartShellCommand(const std::string& command, std::unique_ptr<IProcess>& process);

}  // namespace lx2d::platform
