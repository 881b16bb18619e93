// How a signal that reports a processor fault becomes an exception record
// with the Windows code of the same name. Called from a signal handler:
// async-signal-safe, no allocation.
#pragma once

#include <signal.h>
#include <ucontext.h>

#include <cstddef>
#include <cstdint>

#include "platform/exception_guard.h"

namespace lx2d::platform {

// The faulting thread's stack (lowest usable address and size; 0 when
// unknown), to tell a stack overflow from another access violation.
struct ThreadStack {
  std::uintptr_t lowest;
  std::size_t size;
};

// Fills `record` for `signal` as the handler received it:
//
// | Signal  | si_code                          | Code                             |
// |---------|----------------------------------|----------------------------------|
// | SIGSEGV | address at the stack's low end   | STACK_OVERFLOW                   |
// | SIGSEGV | any other                        | ACCESS_VIOLATION                 |
// | SIGBUS  | BUS_ADRALN                       | DATATYPE_MISALIGNMENT            |
// | SIGBUS  | any other                        | IN_PAGE_ERROR                    |
// | SIGILL  | ILL_PRVOPC, ILL_PRVREG           | PRIV_INSTRUCTION                 |
// | SIGILL  | any other                        | ILLEGAL_INSTRUCTION              |
// | SIGFPE  | FPE_INTDIV / FPE_INTOVF          | INT_DIVIDE_BY_ZERO / INT_OVERFLOW|
// | SIGFPE  | FPE_FLTDIV, _FLTOVF, _FLTUND,    | FLT_DIVIDE_BY_ZERO, _OVERFLOW,   |
// |         | _FLTRES, _FLTSUB                 | _UNDERFLOW, _INEXACT_RESULT,     |
// |         |                                  | ARRAY_BOUNDS_EXCEEDED            |
// | SIGFPE  | any other (FPE_FLTINV ...)       | FLT_INVALID_OPERATION            |
// | SIGTRAP | TRAP_TRACE, TRAP_HWBKPT          | SINGLE_STEP                      |
// | SIGTRAP | any other (int3, raise)          | BREAKPOINT                       |
//
// Parameters as the table in exception_guard.h says; the read/write flag
// comes from the x86-64 page-fault error code.
void DescribeFault(int signal, const siginfo_t& info, const ucontext_t& context,
                   const ThreadStack& stack, ExceptionRecord& record);

}  // namespace lx2d::platform
