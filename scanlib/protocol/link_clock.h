// The clock the link layer measures its time-outs with.
#pragma once

#include <cstdint>

namespace lx2d {

class ILinkClock {
 public:
  virtual ~ILinkClock() = default;
  // Milliseconds on a clock that never goes backwards.
  virtual uint64_t NowMs() = 0;
};

// The monotonic system clock (std::chrono::steady_clock); shared, stateless.
ILinkClock& MonotonicClock();

}  // namespace lx2d
