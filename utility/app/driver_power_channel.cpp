// The program's power channel: CMiscCommon, the channel to the machine's
// power-control driver, with the error-text buffer the window gives it.
#include <memory>

#include "misc_common.h"
#include "power_channel.h"

namespace lx2d {
namespace {

class CDriverPowerChannel final : public IPowerChannel {
 public:
  CDriverPowerChannel()
      : errorText(std::make_unique<char16_t[]>(MiscCommon::kErrorTextChars)),
        channel(errorText.get()) {}

  int OpenDriver() override { return channel.OpenDriver(); }

  DriverVersion Version() const override {
    return {channel.VersionMajor(), channel.VersionMinor(), channel.VersionBuild(),
            channel.VersionRevision()};
  }

  int Initialize() override { return channel._Initialize(); }

  int SetPowerState(uint8_t item, uint8_t value, uint8_t& status) override {
    return channel.SetPowerState(item, value, status);
  }

  void CloseDriver() override { channel.CloseDriver(); }

  std::u16string_view ErrorText() const override { return channel.ErrorText(); }

 private:
  std::unique_ptr<char16_t[]> errorText;  // before the channel, which writes into it
  MiscCommon::CMiscCommon channel;
};

}  // namespace

std::unique_ptr<IPowerChannel> MakePowerChannel() {
  return std::make_unique<CDriverPowerChannel>();
}

}  // namespace lx2d
