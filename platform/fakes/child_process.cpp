#include "platform/fakes/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/module.h"

extern char** environ;

namespace lx2d::platform {

CChildProcess::~CChildProcess() {
  CloseInput();
  if (pid <= 0) return;
  kill(static_cast<pid_t>(pid), SIGKILL);
  int status = 0;
  waitpid(static_cast<pid_t>(pid), &status, 0);
}

bool CChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                          const std::vector<std::pair<std::string, std::string>>& environment) {
  return Spawn(program, args, environment, false);
}

bool CChildProcess::StartWithInput(
    const std::string& program, const std::vector<std::string>& args,
    const std::vector<std::pair<std::string, std::string>>& environment) {
  // A child that stopped reading must fail WriteInput, not end the test.
  signal(SIGPIPE, SIG_IGN);
  return Spawn(program, args, environment, true);
}

bool CChildProcess::WriteInput(std::string_view text) {
  while (inputFd >= 0 && !text.empty()) {
    const ssize_t written = write(inputFd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text.remove_prefix(static_cast<size_t>(written));
  }
  return inputFd >= 0;
}

void CChildProcess::CloseInput() {
  if (inputFd >= 0) close(inputFd);
  inputFd = -1;
}

bool CChildProcess::Spawn(const std::string& program, const std::vector<std::string>& args,
                          const std::vector<std::pair<std::string, std::string>>& environment,
                          bool withInput) {
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
  int input[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (withInput) {
    if (pipe2(input, O_CLOEXEC) != 0) {
      posix_spawn_file_actions_destroy(&actions);
      return false;
    }
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
  }
  pid_t child = 0;
  const int spawned =
      posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (withInput) close(input[0]);
  if (spawned != 0) {
    if (withInput) close(input[1]);
    return false;
  }
  pid = child;
  inputFd = withInput ? input[1] : -1;
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
      CloseInput();
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return 128 + WTERMSIG(status);
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string TestProgramDirectory() { return GetModuleDirectory(); }

}  // namespace lx2d::platform
