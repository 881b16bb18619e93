#include "platform/shell_command.h"

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace lx2d::platform {

namespace {

// Reaps `pid` if it has ended; true when it has.
bool Reaped(pid_t pid) {
  int status = 0;
  const pid_t result = waitpid(pid, &status, WNOHANG);
  return result == pid || (result < 0 && errno == ECHILD);
}

}  // namespace

CShellCommand::~CShellCommand() { Stop(); }

bool CShellCommand::Start(const std::string& command) {
  if (command.empty() || Running()) return false;
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    setpgid(0, 0);
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // Also here, so a Stop right after Start finds the group.
  setpgid(child, child);
  pid = child;
  return true;
}

void CShellCommand::Stop(std::chrono::milliseconds grace) {
  if (!Running()) return;
  const auto child = static_cast<pid_t>(pid);
  kill(-child, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + grace;
  while (!Reaped(child)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(-child, SIGKILL);
      waitpid(child, nullptr, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid = -1;
}

bool CShellCommand::Running() {
  if (pid < 0) return false;
  if (Reaped(static_cast<pid_t>(pid))) pid = -1;
  return pid >= 0;
}

}  // namespace lx2d::platform
