#include "platform/process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

extern char** environ;

namespace lx2d::platform {
namespace {

constexpr auto kStopGrace = std::chrono::seconds(5);

class CProcess final : public IProcess {
 public:
  explicit CProcess(pid_t pid) : pid_(pid) {}
  ~CProcess() override { Stop(); }
  CProcess(const CProcess&) = delete;
  CProcess& operator=(const CProcess&) = delete;

  void Stop() override {
    if (pid_ <= 0) return;
    // The group: a shell may have started the real program as its child.
    kill(-pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
    while (!Reaped()) {
      if (std::chrono::steady_clock::now() >= deadline) {
        kill(-pid_, SIGKILL);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
  }

  bool Running() override {
    if (pid_ <= 0) return false;
    if (!Reaped()) return true;
    pid_ = -1;
    return false;
  }

 private:
  bool Reaped() {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    return done == pid_ || (done < 0 && errno == ECHILD);
  }

  pid_t pid_;
};

}  // namespace

DWORD StartShellCommand(const std::string& command, std::unique_ptr<IProcess>& process) {
  if (command.empty()) return ERROR_INVALID_PARAMETER;
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return ERROR_GEN_FAILURE;
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::string shell = "/bin/sh";
  std::string dashC = "-c";
  std::string line = command;
  char* argv[] = {shell.data(), dashC.data(), line.data(), nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, shell.c_str(), nullptr, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) return ERROR_GEN_FAILURE;
  process = std::make_unique<CProcess>(pid);
  return ERROR_SUCCESS;
}

}  // namespace lx2d::platform
