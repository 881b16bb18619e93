// The simulated driver facing requests no honest host sends: it refuses
// them and stays usable, without reading past what came in.
#include "driver_sim.h"

#include <gtest/gtest.h>

#include <vector>

#include "auth_key.h"
#include "in_process_driver.h"
#include "misc_common.h"
#include "platform/fakes/temp_directory.h"
#include "platform/win_types.h"

namespace lx2d::test {
namespace {

using namespace lx2d::power;

TEST(PowerDriverSim, ShortCapsulesInASession_RefusedAndTheSessionServesOn) {
  platform::CTempDirectory temp;
  temp.UseForAllDirectories();  // no key file: both sides use the development key
  sim::DriverSimConfig config;
  ASSERT_TRUE(DevelopmentAuthKey(config.authKey));
  CInProcessDriver driver(config);
  char16_t errorText[MiscCommon::kErrorTextChars] = {};
  MiscCommon::CMiscCommon channel(errorText, &driver);
  ASSERT_EQ(channel.OpenDriver(), 0);
  ASSERT_EQ(channel._Initialize(), 0);
  ASSERT_TRUE(driver.sim.InSession());

  for (const size_t size : {0, 4, 8, 11}) {
    SCOPED_TRACE(size);
    // Its own allocation, so that a read past it is caught.
    const std::vector<uint8_t> shortCapsule(size, 0x5A);
    const sim::DriverAnswer answer = driver.sim.Handle(kIoctlCapsule, 32, shortCapsule);
    EXPECT_FALSE(answer.success);
    EXPECT_EQ(answer.lastError, platform::ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(answer.output.empty());
  }
  EXPECT_TRUE(driver.sim.InSession());
  uint8_t status = 0xFF;
  EXPECT_EQ(channel.SetPowerState(0, 1, status), 0);
  EXPECT_EQ(driver.sim.Item(0), 1);
}

}  // namespace
}  // namespace lx2d::test
