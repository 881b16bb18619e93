#include "link_clock.h"

#include <chrono>

namespace lx2d {
namespace {

class CSteadyClock final : public ILinkClock {
 public:
  uint64_t NowMs() override {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  }
};

}  // namespace

ILinkClock& MonotonicClock() {
  static CSteadyClock clock;
  return clock;
}

}  // namespace lx2d
