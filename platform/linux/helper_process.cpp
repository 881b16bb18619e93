// Helper processes over a socket pair (not pipes: a send can refuse with
// EPIPE instead of raising SIGPIPE in the host), and the display test.
#include "platform/helper_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace lx2d::platform {
namespace {

bool Named(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && value[0] != '\0';
}

// Milliseconds left until `deadline`, for poll; -1 without a deadline.
int Remaining(std::chrono::steady_clock::time_point deadline, bool limited) {
  if (!limited) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

bool DisplayAvailable() { return Named("DISPLAY") || Named("WAYLAND_DISPLAY"); }

std::unique_ptr<CHelperProcess> CHelperProcess::Start(const std::string& program,
                                                      const std::vector<std::string>& args) {
  int input[2];
  int output[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) != 0) return nullptr;
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, output) != 0) {
    close(input[0]);
    close(input[1]);
    return nullptr;
  }
  // Our ends stay with us; the child gets the other ends as 0 and 1.
  shutdown(input[0], SHUT_RD);
  shutdown(output[0], SHUT_WR);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[1], 0);
  posix_spawn_file_actions_adddup2(&actions, output[1], 1);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(input[1]);
  close(output[1]);
  if (failed != 0) {
    close(input[0]);
    close(output[0]);
    return nullptr;
  }
  return std::unique_ptr<CHelperProcess>(new CHelperProcess(pid, input[0], output[0]));
}

CHelperProcess::~CHelperProcess() {
  Finish(0);
  CloseFd(output_);
}

bool CHelperProcess::Write(std::string_view bytes, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!bytes.empty()) {
    if (input_ < 0) return false;
    const ssize_t sent = send(input_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<size_t>(sent));
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    pollfd room{input_, POLLOUT, 0};
    const int left = Remaining(deadline, true);
    if (left == 0 || poll(&room, 1, left) == 0) return false;
  }
  return true;
}

void CHelperProcess::CloseInput() { CloseFd(input_); }

int CHelperProcess::ReadLine(std::string& line, int timeoutMs) {
  const bool limited = timeoutMs >= 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return 1;
    }
    if (output_ < 0) {
      if (pending_.empty()) return -1;
      line.swap(pending_);
      pending_.clear();
      return 1;
    }
    pollfd ready{output_, POLLIN, 0};
    const int polled = poll(&ready, 1, Remaining(deadline, limited));
    if (polled < 0 && errno == EINTR) continue;
    if (polled == 0) return 0;
    char chunk[4096];
    const ssize_t got = polled < 0 ? -1 : read(output_, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      CloseFd(output_);
      continue;
    }
    pending_.append(chunk, static_cast<size_t>(got));
  }
}

int CHelperProcess::Finish(int graceMs) {
  CloseInput();
  if (reaped_) return status_;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
  pid_t done = waitpid(pid_, &status, WNOHANG);
  while (done == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    done = waitpid(pid_, &status, WNOHANG);
  }
  if (done == 0) {
    kill(pid_, SIGKILL);
    done = waitpid(pid_, &status, 0);
  }
  reaped_ = true;
  status_ = (done == pid_ && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
  return status_;
}

}  // namespace lx2d::platform
