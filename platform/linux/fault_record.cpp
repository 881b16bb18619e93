#include "fault_record.h"

namespace lx2d::platform {

namespace {

constexpr std::uintptr_t kStackOverflowReach = 64 * 1024;  // stack pointer this close to the end
constexpr std::uintptr_t kStackGuardReach = 1024 * 1024;   // fault this far below the end at most
constexpr std::uintptr_t kPageFaultWrite = 0x2;            // x86-64 page-fault error code bits
constexpr std::uintptr_t kPageFaultInstructionFetch = 0x10;

constexpr std::uintptr_t kAccessRead = 0;
constexpr std::uintptr_t kAccessWrite = 1;
constexpr std::uintptr_t kAccessExecute = 8;  // as Windows reports a data-execution fault

struct CodeBySiCode {
  int siCode;
  std::uint32_t code;
};

constexpr CodeBySiCode kFloatingPointCodes[] = {
    {FPE_INTDIV, EXCEPTION_INT_DIVIDE_BY_ZERO},    {FPE_INTOVF, EXCEPTION_INT_OVERFLOW},
    {FPE_FLTDIV, EXCEPTION_FLT_DIVIDE_BY_ZERO},    {FPE_FLTOVF, EXCEPTION_FLT_OVERFLOW},
    {FPE_FLTUND, EXCEPTION_FLT_UNDERFLOW},         {FPE_FLTRES, EXCEPTION_FLT_INEXACT_RESULT},
    {FPE_FLTSUB, EXCEPTION_ARRAY_BOUNDS_EXCEEDED},
};

std::uint32_t FloatingPointCode(int siCode) {
  for (const CodeBySiCode& entry : kFloatingPointCodes) {
    if (entry.siCode == siCode) return entry.code;
  }
  return EXCEPTION_FLT_INVALID_OPERATION;
}

std::uintptr_t InstructionAddress(const ucontext_t& context) {
#if defined(__x86_64__)
  return static_cast<std::uintptr_t>(context.uc_mcontext.gregs[REG_RIP]);
#else
  (void)context;
  return 0;
#endif
}

std::uintptr_t StackPointer(const ucontext_t& context) {
#if defined(__x86_64__)
  return static_cast<std::uintptr_t>(context.uc_mcontext.gregs[REG_RSP]);
#else
  (void)context;
  return 0;
#endif
}

std::uintptr_t AccessKind(const ucontext_t& context) {
#if defined(__x86_64__)
  auto error = static_cast<std::uintptr_t>(context.uc_mcontext.gregs[REG_ERR]);
  if ((error & kPageFaultInstructionFetch) != 0) return kAccessExecute;
  if ((error & kPageFaultWrite) != 0) return kAccessWrite;
#else
  (void)context;
#endif
  return kAccessRead;
}

// The address that could not be reached. A signal sent by a process carries
// none; a general-protection fault (a non-canonical address) reports all
// ones, as Windows does.
std::uintptr_t FaultAddress(const siginfo_t& info) {
  if (info.si_code <= 0) return 0;
  if (info.si_code == SI_KERNEL) return ~std::uintptr_t{0};
  return reinterpret_cast<std::uintptr_t>(info.si_addr);
}

bool IsStackOverflow(std::uintptr_t address, const ucontext_t& context, const ThreadStack& stack) {
  if (stack.size == 0 || address == ~std::uintptr_t{0}) return false;
  std::uintptr_t stackPointer = StackPointer(context);
  return stackPointer < stack.lowest + kStackOverflowReach &&
         address < stack.lowest + kStackOverflowReach && address + kStackGuardReach >= stack.lowest;
}

void SetAccessParameters(const siginfo_t& info, const ucontext_t& context,
                         ExceptionRecord& record) {
  record.numberParameters = 2;
  record.parameters[0] = info.si_code == SI_KERNEL ? kAccessRead : AccessKind(context);
  record.parameters[1] = FaultAddress(info);
}

}  // namespace

void DescribeFault(int signal, const siginfo_t& info, const ucontext_t& context,
                   const ThreadStack& stack, ExceptionRecord& record) {
  record = ExceptionRecord{};
  record.address = InstructionAddress(context);
  switch (signal) {
    case SIGSEGV:
      record.code = IsStackOverflow(FaultAddress(info), context, stack)
                        ? EXCEPTION_STACK_OVERFLOW
                        : EXCEPTION_ACCESS_VIOLATION;
      SetAccessParameters(info, context, record);
      break;
    case SIGBUS:
      if (info.si_code == BUS_ADRALN) {
        record.code = EXCEPTION_DATATYPE_MISALIGNMENT;
      } else {
        record.code = EXCEPTION_IN_PAGE_ERROR;
        SetAccessParameters(info, context, record);
      }
      break;
    case SIGILL:
      record.code = info.si_code == ILL_PRVOPC || info.si_code == ILL_PRVREG
                        ? EXCEPTION_PRIV_INSTRUCTION
                        : EXCEPTION_ILLEGAL_INSTRUCTION;
      break;
    case SIGFPE:
      record.code = FloatingPointCode(info.si_code);
      break;
    case SIGTRAP:
      if (info.si_code == TRAP_TRACE || info.si_code == TRAP_HWBKPT) {
        record.code = EXCEPTION_SINGLE_STEP;
      } else {
        record.code = EXCEPTION_BREAKPOINT;
        record.numberParameters = 1;  // BREAKPOINT_BREAK
        // int3 leaves the instruction pointer behind it; Windows names the
        // breakpoint instruction itself.
        if (info.si_code == SI_KERNEL && record.address != 0) --record.address;
      }
      break;
    default:
      break;
  }
}

}  // namespace lx2d::platform
