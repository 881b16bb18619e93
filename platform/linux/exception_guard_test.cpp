// The exception guard: real faults inside guarded bodies become records, the
// thread lives on, and faults outside any guard still reach the host.
#include "platform/exception_guard.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

#include "fault_record.h"

namespace lx2d::platform {
namespace {

// The faults are raised with machine instructions, so that neither the
// compiler nor UndefinedBehaviorSanitizer turns them into something else.
std::uintptr_t volatile gZero = 0;

void WriteToAddressZero() {
  auto* target = reinterpret_cast<int*>(gZero);
  __asm__ volatile("movl $1, (%0)" : : "r"(target) : "memory");
}

void ReadFromAddress0x10() {
  auto* source = reinterpret_cast<int*>(gZero + 0x10);
  int value;
  __asm__ volatile("movl (%1), %0" : "=r"(value) : "r"(source) : "memory");
  (void)value;
}

void DivideByZero() {
  int dividend = 7;
  int divisor = static_cast<int>(gZero);
  __asm__ volatile("cltd; idivl %1" : "+a"(dividend) : "r"(divisor) : "edx");
}

void DebugBreak() { __asm__ volatile("int3"); }

void IllegalInstruction() { __asm__ volatile("ud2"); }

void ThrowCppException() { throw std::runtime_error("escaped"); }

struct FaultCase {
  const char* name;
  void (*body)();
  std::uint32_t code;
  std::uint32_t flags;
  std::uint32_t numberParameters;
  std::uintptr_t parameter0;
  std::uintptr_t parameter1;
};

const FaultCase kFaultCases[] = {
    {"write to 0", WriteToAddressZero, EXCEPTION_ACCESS_VIOLATION, 0, 2, 1, 0},
    {"read from 0x10", ReadFromAddress0x10, EXCEPTION_ACCESS_VIOLATION, 0, 2, 0, 0x10},
    {"integer division by zero", DivideByZero, EXCEPTION_INT_DIVIDE_BY_ZERO, 0, 0, 0, 0},
    {"debug break", DebugBreak, EXCEPTION_BREAKPOINT, 0, 1, 0, 0},
    {"ud2", IllegalInstruction, EXCEPTION_ILLEGAL_INSTRUCTION, 0, 0, 0, 0},
    {"C++ exception", ThrowCppException, EXCEPTION_CPLUSPLUS, EXCEPTION_NONCONTINUABLE, 0, 0, 0},
};

TEST(ExceptionGuardTest, FaultInBody_ReturnsFalseWithItsRecord) {
  for (const FaultCase& fault : kFaultCases) {
    SCOPED_TRACE(fault.name);
    ExceptionRecord record;
    std::memset(&record, 0xAB, sizeof record);
    bool afterFault = false;
    bool returned = RunGuarded(
        [&] {
          fault.body();
          afterFault = true;
        },
        record);
    EXPECT_FALSE(returned);
    EXPECT_FALSE(afterFault);
    EXPECT_EQ(record.code, fault.code);
    EXPECT_EQ(record.flags, fault.flags);
    EXPECT_EQ(record.numberParameters, fault.numberParameters);
    if (fault.numberParameters >= 1) {
      EXPECT_EQ(record.parameters[0], fault.parameter0);
    }
    if (fault.numberParameters >= 2) {
      EXPECT_EQ(record.parameters[1], fault.parameter1);
    }
    if (fault.code != EXCEPTION_CPLUSPLUS) {
      EXPECT_NE(record.address, 0u);
    }
  }
}

TEST(ExceptionGuardTest, DebugBreak_AddressIsTheBreakInstruction) {
  ExceptionRecord record{};
  ASSERT_FALSE(RunGuarded([] { DebugBreak(); }, record));
  // The record points at the int3 byte (0xCC) itself, not behind it.
  EXPECT_EQ(*reinterpret_cast<const unsigned char*>(record.address), 0xCC);
}

TEST(ExceptionGuardTest, BodyThatReturns_TrueAndRecordUntouched) {
  ExceptionRecord record;
  std::memset(&record, 0x5A, sizeof record);
  ExceptionRecord before = record;
  int calls = 0;
  EXPECT_TRUE(RunGuarded([&] { ++calls; }, record));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
}

TEST(ExceptionGuardTest, FunctionPointerForm_PassesContext) {
  int value = 0;
  ExceptionRecord record{};
  EXPECT_TRUE(RunGuarded([](void* context) { *static_cast<int*>(context) = 42; }, &value, record));
  EXPECT_EQ(value, 42);
  EXPECT_FALSE(RunGuarded([](void*) { WriteToAddressZero(); }, nullptr, record));
  EXPECT_EQ(record.code, EXCEPTION_ACCESS_VIOLATION);
}

TEST(ExceptionGuardTest, ManyFaultsInARow_EachCaught) {
  // The signal must be unblocked again after each catch, or the second
  // fault would end the process.
  for (int round = 0; round < 5; ++round) {
    ExceptionRecord record{};
    EXPECT_FALSE(RunGuarded([] { WriteToAddressZero(); }, record));
    EXPECT_FALSE(RunGuarded([] { DivideByZero(); }, record));
    EXPECT_EQ(record.code, EXCEPTION_INT_DIVIDE_BY_ZERO);
  }
}

TEST(ExceptionGuardTest, NestedGuards_InnermostCatchesAndOuterGoesOn) {
  ExceptionRecord outer{};
  ExceptionRecord inner{};
  bool innerReturned = true;
  bool outerResumed = false;
  EXPECT_FALSE(RunGuarded(
      [&] {
        innerReturned = RunGuarded([] { WriteToAddressZero(); }, inner);
        outerResumed = true;
        DivideByZero();
      },
      outer));
  EXPECT_FALSE(innerReturned);
  EXPECT_TRUE(outerResumed);
  EXPECT_EQ(inner.code, EXCEPTION_ACCESS_VIOLATION);
  EXPECT_EQ(outer.code, EXCEPTION_INT_DIVIDE_BY_ZERO);
}

// Deep enough recursion to overrun a small thread stack.
int Recurse(int depth) {
  if (depth == -1) return 0;  // never: keeps the compiler from seeing an endless loop
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  return Recurse(depth + 1) + frame[0];
}

void* OverflowOnThisThread(void* result) {
  auto* record = static_cast<ExceptionRecord*>(result);
  if (RunGuarded([] { Recurse(0); }, *record)) record->code = 0;
  return nullptr;
}

TEST(ExceptionGuardTest, StackOverflow_CaughtOnTheAlternateStack) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, 256 * 1024);
  ExceptionRecord record{};
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attributes, OverflowOnThisThread, &record), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
  EXPECT_EQ(record.code, EXCEPTION_STACK_OVERFLOW);
  EXPECT_EQ(record.numberParameters, 2u);
  EXPECT_EQ(record.parameters[0], 1u);  // the call's push is a write
}

TEST(ExceptionGuardTest, GuardsOnSeveralThreads_EachCatchesItsOwn) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 50;
  std::atomic<int> caught{0};
  std::atomic<int> returned{0};
  std::vector<std::thread> threads;
  for (int index = 0; index < kThreads; ++index) {
    threads.emplace_back([&, index] {
      for (int round = 0; round < kRounds; ++round) {
        ExceptionRecord record{};
        bool faulty = (round + index) % 2 == 0;
        bool ok = RunGuarded(
            [faulty] {
              if (faulty) WriteToAddressZero();
            },
            record);
        if (!ok && record.code == EXCEPTION_ACCESS_VIOLATION) caught.fetch_add(1);
        if (ok) returned.fetch_add(1);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(caught.load(), kThreads * kRounds / 2);
  EXPECT_EQ(returned.load(), kThreads * kRounds / 2);
}

TEST(ExceptionGuardTest, ThreadsThatEnded_GiveTheirPlaceToNewOnes) {
  // More threads one after the other than may live with a guard at once:
  // every one still has its fault caught.
  int caught = 0;
  for (int index = 0; index < 1100; ++index) {
    std::thread([&caught] {
      ExceptionRecord record{};
      if (!RunGuarded([] { WriteToAddressZero(); }, record)) ++caught;
    }).join();
  }
  EXPECT_EQ(caught, 1100);
}

bool SameAction(const struct sigaction& a, const struct sigaction& b) {
  return a.sa_flags == b.sa_flags &&
         ((a.sa_flags & SA_SIGINFO) != 0 ? a.sa_sigaction == b.sa_sigaction
                                         : a.sa_handler == b.sa_handler);
}

TEST(ExceptionGuardTest, LibraryWithAGuard_UnloadsAndPutsTheHandlersBack) {
  ExceptionRecord record{};
  RunGuarded([] {}, record);  // this program's own guard is in place first
  struct sigaction before {};
  sigaction(SIGSEGV, nullptr, &before);

  void* module = dlopen(LX2D_GUARD_TEST_MODULE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  auto catchFault = reinterpret_cast<int (*)()>(dlsym(module, "CatchWriteToAddressZero"));
  ASSERT_NE(catchFault, nullptr);
  EXPECT_EQ(catchFault(), 1);
  std::thread([catchFault] { EXPECT_EQ(catchFault(), 1); }).join();
  struct sigaction during {};
  sigaction(SIGSEGV, nullptr, &during);
  EXPECT_FALSE(SameAction(during, before));  // the library's handler is on top
  ASSERT_EQ(dlclose(module), 0);

  // Nothing of the guard keeps the library loaded, and no handler points
  // into it any more: this program's guard works as before.
  EXPECT_EQ(dlopen(LX2D_GUARD_TEST_MODULE, RTLD_NOW | RTLD_NOLOAD), nullptr);
  struct sigaction after {};
  sigaction(SIGSEGV, nullptr, &after);
  EXPECT_TRUE(SameAction(after, before));
  EXPECT_FALSE(RunGuarded([] { WriteToAddressZero(); }, record));
  EXPECT_EQ(record.code, EXCEPTION_ACCESS_VIOLATION);
}

// --- Faults outside any guard, in a child process ---------------------------

void HostSigInfoHandler(int, siginfo_t*, void*) {
  constexpr char kText[] = "host handler\n";
  (void)!write(STDERR_FILENO, kText, sizeof kText - 1);
  _exit(3);
}

void HostPlainHandler(int) {
  constexpr char kText[] = "host handler\n";
  (void)!write(STDERR_FILENO, kText, sizeof kText - 1);
  _exit(3);
}

void InstallHostHandler(bool withSigInfo) {
  struct sigaction action {};
  if (withSigInfo) {
    action.sa_sigaction = HostSigInfoHandler;
    action.sa_flags = SA_SIGINFO;
  } else {
    action.sa_handler = HostPlainHandler;
  }
  sigemptyset(&action.sa_mask);
  sigaction(SIGSEGV, &action, nullptr);
}

// A host handler installed before the library's guard, a guard that ran (and
// caught a fault of its own), then a fault of the host's.
void HostFaultsAfterAGuard(bool withSigInfo) {
  InstallHostHandler(withSigInfo);
  ExceptionRecord record{};
  if (RunGuarded([] { WriteToAddressZero(); }, record)) _exit(10);
  WriteToAddressZero();
  _exit(0);
}

TEST(ExceptionGuardDeathTest, FaultOutsideGuard_ReachesTheHostsHandler) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(HostFaultsAfterAGuard(true), testing::ExitedWithCode(3), "host handler");
  EXPECT_EXIT(HostFaultsAfterAGuard(false), testing::ExitedWithCode(3), "host handler");
}

TEST(ExceptionGuardDeathTest, FaultOutsideGuardWithoutHostHandler_EndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ExceptionRecord record{};
        RunGuarded([] {}, record);
        WriteToAddressZero();
        _exit(0);
      },
      [](int status) { return !(WIFEXITED(status) && WEXITSTATUS(status) == 0); }, "");
}

TEST(ExceptionGuardDeathTest, FaultOnThreadWithoutGuard_NotCaughtByAnotherThreadsGuard) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        InstallHostHandler(true);
        ExceptionRecord record{};
        RunGuarded(
            [] {
              // Another thread faults while this one is inside a guard.
              std::thread([] { WriteToAddressZero(); }).join();
            },
            record);
        _exit(0);
      },
      testing::ExitedWithCode(3), "host handler");
}

// --- The signal-to-record table, with signals as the kernel describes them --

struct SignalCase {
  int signal;
  int siCode;
  std::uint32_t code;
};

const SignalCase kSignalCases[] = {
    {SIGSEGV, SEGV_MAPERR, EXCEPTION_ACCESS_VIOLATION},
    {SIGSEGV, SEGV_ACCERR, EXCEPTION_ACCESS_VIOLATION},
    {SIGBUS, BUS_ADRALN, EXCEPTION_DATATYPE_MISALIGNMENT},
    {SIGBUS, BUS_ADRERR, EXCEPTION_IN_PAGE_ERROR},
    {SIGBUS, BUS_OBJERR, EXCEPTION_IN_PAGE_ERROR},
    {SIGILL, ILL_ILLOPC, EXCEPTION_ILLEGAL_INSTRUCTION},
    {SIGILL, ILL_PRVOPC, EXCEPTION_PRIV_INSTRUCTION},
    {SIGILL, ILL_PRVREG, EXCEPTION_PRIV_INSTRUCTION},
    {SIGFPE, FPE_INTDIV, EXCEPTION_INT_DIVIDE_BY_ZERO},
    {SIGFPE, FPE_INTOVF, EXCEPTION_INT_OVERFLOW},
    {SIGFPE, FPE_FLTDIV, EXCEPTION_FLT_DIVIDE_BY_ZERO},
    {SIGFPE, FPE_FLTOVF, EXCEPTION_FLT_OVERFLOW},
    {SIGFPE, FPE_FLTUND, EXCEPTION_FLT_UNDERFLOW},
    {SIGFPE, FPE_FLTRES, EXCEPTION_FLT_INEXACT_RESULT},
    {SIGFPE, FPE_FLTINV, EXCEPTION_FLT_INVALID_OPERATION},
    {SIGFPE, FPE_FLTSUB, EXCEPTION_ARRAY_BOUNDS_EXCEEDED},
    {SIGTRAP, TRAP_BRKPT, EXCEPTION_BREAKPOINT},
    {SIGTRAP, TRAP_TRACE, EXCEPTION_SINGLE_STEP},
    {SIGTRAP, TRAP_HWBKPT, EXCEPTION_SINGLE_STEP},
};

TEST(FaultRecordTest, SignalAndCode_NameTheWindowsException) {
  for (const SignalCase& entry : kSignalCases) {
    SCOPED_TRACE(testing::Message() << "signal " << entry.signal << " si_code " << entry.siCode);
    siginfo_t info{};
    info.si_signo = entry.signal;
    info.si_code = entry.siCode;
    info.si_addr = reinterpret_cast<void*>(0x1000);
    ucontext_t context{};
    ExceptionRecord record{};
    DescribeFault(entry.signal, info, context, ThreadStack{0, 0}, record);
    EXPECT_EQ(record.code, entry.code);
  }
}

TEST(FaultRecordTest, AccessViolation_KindFromThePageFaultErrorCode) {
  struct Case {
    long long errorCode;
    int siCode;
    std::uintptr_t kind;
    std::uintptr_t address;
  };
  const Case cases[] = {
      {0x4, SEGV_MAPERR, 0, 0x1000},            // user read of an unmapped page
      {0x6, SEGV_MAPERR, 1, 0x1000},            // user write
      {0x15, SEGV_ACCERR, 8, 0x1000},           // instruction fetch from a no-execute page
      {0x0, SI_KERNEL, 0, ~std::uintptr_t{0}},  // general protection: no address known
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.errorCode);
    siginfo_t info{};
    info.si_code = entry.siCode;
    info.si_addr = entry.siCode == SI_KERNEL ? nullptr : reinterpret_cast<void*>(0x1000);
    ucontext_t context{};
    context.uc_mcontext.gregs[REG_ERR] = entry.errorCode;
    ExceptionRecord record{};
    DescribeFault(SIGSEGV, info, context, ThreadStack{0, 0}, record);
    ASSERT_EQ(record.numberParameters, 2u);
    EXPECT_EQ(record.parameters[0], entry.kind);
    EXPECT_EQ(record.parameters[1], entry.address);
  }
}

TEST(FaultRecordTest, FaultBelowTheStackWithStackPointerThere_IsStackOverflow) {
  constexpr std::uintptr_t kLowest = 0x7f0000100000;
  const ThreadStack stack{kLowest, 0x100000};
  struct Case {
    std::uintptr_t stackPointer;
    std::uintptr_t address;
    std::uint32_t code;
  };
  const Case cases[] = {
      {kLowest + 0x10, kLowest - 0x8, EXCEPTION_STACK_OVERFLOW},
      {kLowest + 0x80000, kLowest - 0x8, EXCEPTION_ACCESS_VIOLATION},  // stack pointer far away
      {kLowest + 0x10, 0x10, EXCEPTION_ACCESS_VIOLATION},              // a null pointer instead
  };
  for (const Case& entry : cases) {
    siginfo_t info{};
    info.si_code = SEGV_MAPERR;
    info.si_addr = reinterpret_cast<void*>(entry.address);
    ucontext_t context{};
    context.uc_mcontext.gregs[REG_RSP] = static_cast<long long>(entry.stackPointer);
    ExceptionRecord record{};
    DescribeFault(SIGSEGV, info, context, stack, record);
    EXPECT_EQ(record.code, entry.code);
  }
}

}  // namespace
}  // namespace lx2d::platform
