#include "platform/exception_guard.h"

#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>

#include "fault_record.h"

namespace lx2d::platform {

namespace {

// One active guard on this thread; guards nest through `previous`.
struct GuardFrame {
  sigjmp_buf jump;
  GuardFrame* previous;
  ExceptionRecord* record;
  sigset_t faultMask;  // the thread's signal mask when the fault came
};

// Read by the signal handler: initial-exec keeps the access a plain
// thread-pointer offset (no allocation) even inside a dlopen()ed library.
__thread GuardFrame* tCurrentFrame __attribute__((tls_model("initial-exec"))) = nullptr;
__thread ThreadStack tStack __attribute__((tls_model("initial-exec"))) = {0, 0};

constexpr int kGuardedSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP};
constexpr int kSignalSlots = 32;  // every guarded signal number is below this
struct sigaction previousActions[kSignalSlots];

void ChainToPrevious(int signal, siginfo_t* info, void* context) {
  const struct sigaction& previous = previousActions[signal];
  if ((previous.sa_flags & SA_SIGINFO) != 0) {
    if (previous.sa_sigaction != nullptr) previous.sa_sigaction(signal, info, context);
    return;
  }
  if (previous.sa_handler == SIG_IGN) return;
  if (previous.sa_handler == SIG_DFL) {
    // Back to the default action, raised again: it is delivered when this
    // handler returns (a processor fault would also recur on its own).
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    sigaction(signal, &defaultAction, nullptr);
    raise(signal);
    return;
  }
  previous.sa_handler(signal);
}

void OnFault(int signal, siginfo_t* info, void* context) {
  GuardFrame* frame = tCurrentFrame;
  if (frame == nullptr) {
    ChainToPrevious(signal, info, context);
    return;
  }
  auto* machine = static_cast<ucontext_t*>(context);
  DescribeFault(signal, *info, *machine, tStack, *frame->record);
  frame->faultMask = machine->uc_sigmask;
  // The innermost guard is done; an outer one (if any) takes later faults.
  tCurrentFrame = frame->previous;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  siglongjmp(frame->jump, 1);
}

void InstallHandlers() {
  struct sigaction action {};
  action.sa_sigaction = OnFault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int signal : kGuardedSignals) sigaction(signal, &action, &previousActions[signal]);
}

// The alternate signal stack of this thread, when it is ours: a stack
// overflow can only be handled on another stack.
class AlternateStack {
 public:
  AlternateStack() {
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) return;
    std::size_t size = kSize;
    void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return;
    stack_t ours{};
    ours.ss_sp = memory;
    ours.ss_size = size;
    if (sigaltstack(&ours, nullptr) != 0) {
      munmap(memory, size);
      return;
    }
    memory_ = memory;
  }
  ~AlternateStack() {
    if (memory_ == nullptr) return;
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && current.ss_sp == memory_) {
      stack_t off{};
      off.ss_flags = SS_DISABLE;
      sigaltstack(&off, nullptr);
    }
    munmap(memory_, kSize);
  }
  AlternateStack(const AlternateStack&) = delete;
  AlternateStack& operator=(const AlternateStack&) = delete;

 private:
  // Room for a host's handler that we chain to, not only for our own.
  static constexpr std::size_t kSize = 128 * 1024;
  void* memory_ = nullptr;
};

ThreadStack CurrentThreadStack() {
  ThreadStack stack{0, 0};
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) return stack;
  void* lowest = nullptr;
  std::size_t size = 0;
  if (pthread_attr_getstack(&attributes, &lowest, &size) == 0) {
    stack.lowest = reinterpret_cast<std::uintptr_t>(lowest);
    stack.size = size;
  }
  pthread_attr_destroy(&attributes);
  return stack;
}

// Once per thread: an alternate stack, and the stack bounds that tell a
// stack overflow from another access violation.
void PrepareThread() {
  thread_local AlternateStack alternateStack;
  thread_local bool prepared = false;
  if (prepared) return;
  tStack = CurrentThreadStack();
  prepared = true;
}

bool CallBody(void (*body)(void*), void* context, ExceptionRecord& record) noexcept {
  try {
    body(context);
    return true;
  } catch (...) {
    record = ExceptionRecord{};
    record.code = EXCEPTION_CPLUSPLUS;
    record.flags = EXCEPTION_NONCONTINUABLE;
    return false;
  }
}

}  // namespace

bool RunGuarded(void (*body)(void*), void* context, ExceptionRecord& record) noexcept {
  static const bool installed = (InstallHandlers(), true);
  (void)installed;
  PrepareThread();

  GuardFrame frame;
  frame.previous = tCurrentFrame;
  frame.record = &record;
  // No signal mask saved here (that would cost a system call per guard):
  // the mask at the fault comes from the handler's context instead.
  if (sigsetjmp(frame.jump, 0) != 0) {
    pthread_sigmask(SIG_SETMASK, &frame.faultMask, nullptr);
    return false;
  }
  tCurrentFrame = &frame;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  bool returned = CallBody(body, context, record);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  tCurrentFrame = frame.previous;
  return returned;
}

}  // namespace lx2d::platform
