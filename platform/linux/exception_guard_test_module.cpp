// A shared library with a copy of the exception guard of its own, loaded
// and unloaded by exception_guard_test like a host loads the scanner
// library.
#include <cstdint>

#include "platform/exception_guard.h"

extern "C" __attribute__((visibility("default"))) int CatchWriteToAddressZero() {
  static std::uintptr_t volatile zero = 0;
  lx2d::platform::ExceptionRecord record{};
  const bool returned = lx2d::platform::RunGuarded(
      [] {
        auto* target = reinterpret_cast<int*>(zero);
        __asm__ volatile("movl $1, (%0)" : : "r"(target) : "memory");
      },
      record);
  return !returned && record.code == lx2d::platform::EXCEPTION_ACCESS_VIOLATION ? 1 : 0;
}
