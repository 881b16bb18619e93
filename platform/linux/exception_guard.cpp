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

// The guard state of one thread, found by the signal handler through its
// thread id. A table in static memory rather than thread-local storage:
// thread-local data of a library loaded at run time may be allocated on
// first touch, which a signal handler must not cause, and initial-exec
// thread-local data would claim static TLS the loader may not have.
struct GuardedThread {
  std::atomic<pthread_t> owner;        // 0: free
  std::atomic<GuardFrame*> innermost;  // the active guard, null between guards
  ThreadStack stack;                   // written by the owner once it claimed the entry
  void* alternateStack;                // ours, or null when the thread had one
};

// Threads that ran a guard and still live; beyond these a thread's bodies
// are guarded against C++ exceptions only.
constexpr std::size_t kMaxGuardedThreads = 1024;
GuardedThread guardedThreads[kMaxGuardedThreads];

// The calling thread's entry, or null. Async-signal-safe.
GuardedThread* FindGuardedThread() {
  const pthread_t self = pthread_self();
  for (GuardedThread& entry : guardedThreads) {
    if (entry.owner.load(std::memory_order_acquire) == self) return &entry;
  }
  return nullptr;
}

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
  GuardedThread* thread = FindGuardedThread();
  GuardFrame* frame =
      thread != nullptr ? thread->innermost.load(std::memory_order_relaxed) : nullptr;
  if (frame == nullptr) {
    ChainToPrevious(signal, info, context);
    return;
  }
  auto* machine = static_cast<ucontext_t*>(context);
  DescribeFault(signal, *info, *machine, thread->stack, *frame->record);
  frame->faultMask = machine->uc_sigmask;
  // The innermost guard is done; an outer one (if any) takes later faults.
  thread->innermost.store(frame->previous, std::memory_order_relaxed);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  siglongjmp(frame->jump, 1);
}

// Room for a host's handler that we chain to, not only for our own.
constexpr std::size_t kAlternateStackSize = 128 * 1024;

// Gives the calling thread an alternate signal stack unless it has one (a
// stack overflow can only be handled on another stack). Ours, or null.
void* AddAlternateStack() {
  stack_t current{};
  if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) return nullptr;
  void* memory = mmap(nullptr, kAlternateStackSize, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return nullptr;
  stack_t ours{};
  ours.ss_sp = memory;
  ours.ss_size = kAlternateStackSize;
  if (sigaltstack(&ours, nullptr) != 0) {
    munmap(memory, kAlternateStackSize);
    return nullptr;
  }
  return memory;
}

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

// A thread that ran a guard ends: its alternate stack and its entry go.
void ReleaseThread(void* value) {
  auto* entry = static_cast<GuardedThread*>(value);
  if (entry->alternateStack != nullptr) {
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && current.ss_sp == entry->alternateStack) {
      stack_t off{};
      off.ss_flags = SS_DISABLE;
      sigaltstack(&off, nullptr);
    }
    munmap(entry->alternateStack, kAlternateStackSize);
  }
  entry->owner.store(pthread_t{}, std::memory_order_release);
}

// The handlers and the per-thread entries, made by the first guard of the
// process. A thread's entry hangs on a thread-specific key rather than on
// a C++ thread_local object, whose destructor would keep the library from
// being unloaded; unloading deletes the key and puts the host's handlers
// back, so no signal ever lands in code that is gone.
class CGuardRegistry {
 public:
  CGuardRegistry() {
    keyMade_ = pthread_key_create(&key_, ReleaseThread) == 0;
    struct sigaction action {};
    action.sa_sigaction = OnFault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : kGuardedSignals) sigaction(signal, &action, &previousActions[signal]);
  }
  ~CGuardRegistry() {
    for (int signal : kGuardedSignals) {
      struct sigaction current {};
      // A handler the host installed over ours stays.
      if (sigaction(signal, nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) != 0 &&
          current.sa_sigaction == OnFault) {
        sigaction(signal, &previousActions[signal], nullptr);
      }
    }
    if (keyMade_) pthread_key_delete(key_);
  }
  CGuardRegistry(const CGuardRegistry&) = delete;
  CGuardRegistry& operator=(const CGuardRegistry&) = delete;

  // The calling thread's entry, claimed on its first guard; null when the
  // table is full. Kept out of RunGuarded, whose locals must not live
  // across its sigsetjmp (GCC warns of clobbered loop variables).
  [[gnu::noinline]] GuardedThread* ThreadEntry() {
    if (!keyMade_) return nullptr;
    if (void* known = pthread_getspecific(key_)) return static_cast<GuardedThread*>(known);
    const pthread_t self = pthread_self();
    for (GuardedThread& candidate : guardedThreads) {
      pthread_t none{};
      if (!candidate.owner.compare_exchange_strong(none, self, std::memory_order_acq_rel)) continue;
      // Only this thread's own handler reads these, and only once a guard
      // is active.
      candidate.stack = CurrentThreadStack();
      candidate.alternateStack = AddAlternateStack();
      candidate.innermost.store(nullptr, std::memory_order_relaxed);
      pthread_setspecific(key_, &candidate);
      return &candidate;
    }
    return nullptr;
  }

 private:
  pthread_key_t key_{};
  bool keyMade_ = false;
};

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
  static CGuardRegistry registry;
  GuardedThread* thread = registry.ThreadEntry();
  if (thread == nullptr) return CallBody(body, context, record);  // table full: C++ exceptions only

  GuardFrame frame;
  frame.previous = thread->innermost.load(std::memory_order_relaxed);
  frame.record = &record;
  // No signal mask saved here (that would cost a system call per guard):
  // the mask at the fault comes from the handler's context instead.
  if (sigsetjmp(frame.jump, 0) != 0) {
    pthread_sigmask(SIG_SETMASK, &frame.faultMask, nullptr);
    return false;
  }
  thread->innermost.store(&frame, std::memory_order_relaxed);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  const bool returned = CallBody(body, context, record);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  thread->innermost.store(frame.previous, std::memory_order_relaxed);
  return returned;
}

}  // namespace lx2d::platform
