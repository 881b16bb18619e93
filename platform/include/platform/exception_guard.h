// Structured exception handling for the library's exports: a body runs under
// a per-thread guard that turns a processor fault or an escaping C++
// exception into an exception record shaped as on Windows, instead of ending
// the process.
//
// Faults are caught by handlers for SIGSEGV, SIGBUS, SIGILL, SIGFPE and
// SIGTRAP, installed once per process (thread-safely) by the first guard and
// run on an alternate signal stack, so that a stack overflow is caught too.
// A fault on a thread with no active guard goes on to the handler that was
// installed before ours (or to the default action), so a host's own crash
// handling is unchanged. A host that replaces these handlers after the first
// guard ran takes the faults over entirely. When the code holding the guard
// is unloaded (a library closed with dlclose), the handlers that were there
// before are put back.
//
// Up to 1024 threads that ran a guard may live at the same time; a thread
// beyond them has its bodies guarded against C++ exceptions only.
//
// A fault leaves the body at once: the body's automatic objects are not
// destroyed and whatever it had changed stays changed (locks it holds stay
// held). The caller repairs what must be repaired.
//
// Under AddressSanitizer the tool's own SIGSEGV handler must let ours be
// installed: ASAN_OPTIONS=allow_user_segv_handler=1 (the default of current
// toolchains).
#pragma once

#include <cstdint>
#include <memory>
#include <type_traits>

namespace lx2d::platform {

// Exception codes as on Windows (the NTSTATUS values of the same names).
inline constexpr std::uint32_t EXCEPTION_DATATYPE_MISALIGNMENT = 0x80000002;
inline constexpr std::uint32_t EXCEPTION_BREAKPOINT = 0x80000003;
inline constexpr std::uint32_t EXCEPTION_SINGLE_STEP = 0x80000004;
inline constexpr std::uint32_t EXCEPTION_ACCESS_VIOLATION = 0xC0000005;
inline constexpr std::uint32_t EXCEPTION_IN_PAGE_ERROR = 0xC0000006;
inline constexpr std::uint32_t EXCEPTION_ILLEGAL_INSTRUCTION = 0xC000001D;
inline constexpr std::uint32_t EXCEPTION_NONCONTINUABLE_EXCEPTION = 0xC0000025;
inline constexpr std::uint32_t EXCEPTION_INVALID_DISPOSITION = 0xC0000026;
inline constexpr std::uint32_t EXCEPTION_ARRAY_BOUNDS_EXCEEDED = 0xC000008C;
inline constexpr std::uint32_t EXCEPTION_FLT_DENORMAL_OPERAND = 0xC000008D;
inline constexpr std::uint32_t EXCEPTION_FLT_DIVIDE_BY_ZERO = 0xC000008E;
inline constexpr std::uint32_t EXCEPTION_FLT_INEXACT_RESULT = 0xC000008F;
inline constexpr std::uint32_t EXCEPTION_FLT_INVALID_OPERATION = 0xC0000090;
inline constexpr std::uint32_t EXCEPTION_FLT_OVERFLOW = 0xC0000091;
inline constexpr std::uint32_t EXCEPTION_FLT_STACK_CHECK = 0xC0000092;
inline constexpr std::uint32_t EXCEPTION_FLT_UNDERFLOW = 0xC0000093;
inline constexpr std::uint32_t EXCEPTION_INT_DIVIDE_BY_ZERO = 0xC0000094;
inline constexpr std::uint32_t EXCEPTION_INT_OVERFLOW = 0xC0000095;
inline constexpr std::uint32_t EXCEPTION_PRIV_INSTRUCTION = 0xC0000096;
inline constexpr std::uint32_t EXCEPTION_STACK_OVERFLOW = 0xC00000FD;
// A C++ exception (the code Microsoft's compiler raises for `throw`).
inline constexpr std::uint32_t EXCEPTION_CPLUSPLUS = 0xE06D7363;

// Exception flags: the exception cannot be continued (set for C++ exceptions;
// processor faults carry 0, as on Windows).
inline constexpr std::uint32_t EXCEPTION_NONCONTINUABLE = 1;

inline constexpr std::uint32_t EXCEPTION_MAXIMUM_PARAMETERS = 15;

// One exception record, codes as on Windows (0xC0000005 ...).
//
// | Code                  | Parameters                                              |
// |-----------------------|---------------------------------------------------------|
// | ACCESS_VIOLATION,     | 2: 0 read, 1 write, 8 instruction fetch; the address    |
// | STACK_OVERFLOW        |    that could not be reached                            |
// | IN_PAGE_ERROR         | 2: as above                                             |
// | BREAKPOINT            | 1: 0                                                    |
// | C++ exception         | 0 (address 0: the throw site is not known)              |
// | any other             | 0                                                       |
//
// `address` is the address of the faulting instruction (of the breakpoint
// instruction itself for a debug break).
struct ExceptionRecord {
  std::uint32_t code;
  std::uint32_t flags;
  std::uintptr_t address;
  std::uint32_t numberParameters;  // 0..15
  std::uintptr_t parameters[EXCEPTION_MAXIMUM_PARAMETERS];
};

// Runs body(context) on the calling thread under a per-thread guard; guards
// nest (a fault goes to the innermost one). Results: true when the body
// returned; false when a processor fault or a C++ exception escaped it, and
// then `record` describes it (`record` is left untouched on true).
bool RunGuarded(void (*body)(void*), void* context, ExceptionRecord& record) noexcept;

// The same for any callable taking no argument.
template <class F>
bool RunGuarded(F&& body, ExceptionRecord& record) {
  using Body = std::remove_reference_t<F>;
  return RunGuarded([](void* context) { (*static_cast<Body*>(context))(); },
                    const_cast<void*>(static_cast<const volatile void*>(std::addressof(body))),
                    record);
}

}  // namespace lx2d::platform
