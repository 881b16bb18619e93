#include "platform/system_info.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <ctime>

namespace lx2d::platform {

DWORD GetTickCount() {
  // The coarse clock costs no system call and has the Windows counter's
  // resolution; the boot-time clock would stop nothing we need.
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  auto milliseconds = static_cast<unsigned long long>(now.tv_sec) * 1000ULL +
                      static_cast<unsigned long long>(now.tv_nsec) / 1000000ULL;
  return static_cast<DWORD>(milliseconds);
}

namespace {

// Bumped in the child of a fork, whose one thread has a new id but inherits
// the parent thread's cached one.
std::atomic<unsigned> forkGeneration{1};

void OnFork() { forkGeneration.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

DWORD GetCurrentThreadId() {
  // Asking the kernel each time would cost a system call per record.
  static const bool registered = pthread_atfork(nullptr, nullptr, OnFork) == 0;
  (void)registered;
  thread_local DWORD id = 0;
  thread_local unsigned generation = 0;
  unsigned current = forkGeneration.load(std::memory_order_relaxed);
  if (generation != current) {
    id = static_cast<DWORD>(syscall(SYS_gettid));
    generation = current;
  }
  return id;
}

}  // namespace lx2d::platform
