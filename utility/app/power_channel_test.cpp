#include "power_channel.h"

#include <gtest/gtest.h>

namespace lx2d {
namespace {

TEST(DriverVersionGate, FromOneZeroEight_SupportsSession) {
  struct Case {
    DriverVersion version;
    bool supported;
  };
  const Case cases[] = {
      {{0, 0, 0, 0}, false}, {{0, 9, 99, 0}, false},  {{1, 0, 7, 999}, false},
      {{1, 0, 8, 0}, true},  {{1, 0, 9, 0}, true},    {{1, 1, 0, 0}, true},
      {{2, 0, 0, 0}, true},  {{1, -1, 50, 0}, false}, {{-1, 9, 9, 9}, false},
  };
  for (const Case& c : cases) {
    const DriverVersion& v = c.version;
    EXPECT_EQ(SupportsSession(v), c.supported)
        << v.major << '.' << v.minor << '.' << v.build << '.' << v.revision;
  }
}

TEST(UnavailablePowerChannel, Open_FailsAndPowerCallsDoNothing) {
  auto channel = MakePowerChannel();
  EXPECT_NE(channel->OpenDriver(), 0);
  uint8_t status = 0xFF;
  EXPECT_NE(channel->SetPowerState(kPowerItemReader, 1, status), 0);
  EXPECT_FALSE(channel->ErrorText().empty());
  channel->CloseDriver();
  channel->CloseDriver();
}

}  // namespace
}  // namespace lx2d
