// The program's power channel until the driver channel is built in: it
// behaves like a machine without the power-control driver, so the worker
// window skips the driver power-on and only waits the wake time.
#include <memory>

#include "power_channel.h"

namespace lx2d {
namespace {

class CUnavailablePowerChannel final : public IPowerChannel {
 public:
  int OpenDriver() override { return kNoDriver; }
  DriverVersion Version() const override { return {}; }
  int Initialize() override { return kNoDriver; }
  int SetPowerState(uint8_t /*item*/, uint8_t /*value*/, uint8_t& status) override {
    status = 0;
    return kNotOpen;
  }
  void CloseDriver() override {}
  std::u16string_view ErrorText() const override {
    return u"The power-control driver channel is not available.";
  }

 private:
  static constexpr int kNoDriver = 6;
  static constexpr int kNotOpen = 8;
};

}  // namespace

std::unique_ptr<IPowerChannel> MakePowerChannel() {
  return std::make_unique<CUnavailablePowerChannel>();
}

}  // namespace lx2d
