#include "platform/fakes/child_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "platform/module.h"

extern char** environ;

namespace lx2d::platform {

CChildProcess::~CChildProcess() {
  if (pid <= 0) return;
  kill(static_cast<pid_t>(pid), SIGKILL);
  int status = 0;
  waitpid(static_cast<pid_t>(pid), &status, 0);
}

bool CChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                          const std::vector<std::pair<std::string, std::string>>& environment) {
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string variable = *entry;
    bool replaced = false;
    for (const auto& [name, value] : environment) {
      replaced = replaced || variable.rfind(name + "=", 0) == 0;
    }
    if (!replaced) variables.push_back(variable);
  }
  for (const auto& [name, value] : environment) variables.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStrings{program};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argStrings) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) {
    return false;
  }
  pid = child;
  return true;
}

void CChildProcess::Terminate() {
  if (pid > 0) kill(static_cast<pid_t>(pid), SIGTERM);
}

void CChildProcess::Kill() {
  if (pid > 0) kill(static_cast<pid_t>(pid), SIGKILL);
}

std::optional<int> CChildProcess::Wait(std::chrono::milliseconds limit) {
  if (pid <= 0) return std::nullopt;
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (true) {
    int status = 0;
    pid_t done = waitpid(static_cast<pid_t>(pid), &status, WNOHANG);
    if (done == static_cast<pid_t>(pid)) {
      pid = -1;
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return 128 + WTERMSIG(status);
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string TestProgramDirectory() { return GetModuleDirectory(); }

}  // namespace lx2d::platform
