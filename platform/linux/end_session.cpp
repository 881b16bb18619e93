// SIGTERM and SIGHUP as WM_QUERYENDSESSION: the signal handler only writes
// the signal number into a pipe; a watcher thread turns it into messages, so
// no window code runs in signal context.
#include "end_session.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace lx2d::platform {

namespace {

constexpr int kWatchedSignals[] = {SIGTERM, SIGHUP};

int signalPipe[2] = {-1, -1};
std::atomic<bool> queryPending{false};

void EndAsTheSignalWould(int signalNumber) {
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

void OnSignal(int signalNumber) {
  int savedErrno = errno;
  auto byte = static_cast<unsigned char>(signalNumber);
  ssize_t ignored = write(signalPipe[1], &byte, 1);
  (void)ignored;
  errno = savedErrno;
}

void Watch() {
  unsigned char byte;
  while (true) {
    ssize_t got = read(signalPipe[0], &byte, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    std::vector<HWND> windows = ProcessTopLevelWindows();
    // Nobody left to ask, or nobody answered the last question.
    if (windows.empty() || queryPending.exchange(true)) {
      EndAsTheSignalWould(byte);
      continue;
    }
    for (HWND window : windows) PostMessage(window, WM_QUERYENDSESSION, 0, 0);
  }
}

}  // namespace

void NoteEndOfSessionDelivered() { queryPending = false; }

void WatchEndOfSession() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (pipe2(signalPipe, O_CLOEXEC) != 0) return;
    fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);  // a flood of signals must not block the handler
    bool installed = false;
    for (int signalNumber : kWatchedSignals) {
      struct sigaction current {};
      sigaction(signalNumber, nullptr, &current);
      // A program that handles (or ignores) the signal itself keeps its choice.
      if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
      struct sigaction action {};
      action.sa_handler = OnSignal;
      sigemptyset(&action.sa_mask);
      action.sa_flags = SA_RESTART;
      sigaction(signalNumber, &action, nullptr);
      installed = true;
    }
    if (installed) std::thread(Watch).detach();
  });
}

}  // namespace lx2d::platform
