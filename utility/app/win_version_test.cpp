#include "win_version.h"

#include <gtest/gtest.h>

#include "platform/fakes/memory_registry.h"
#include "platform/fakes/recording_message_box.h"

namespace lx2d {
namespace {

using platform::TOsVersionData;

TOsVersionData Version(uint32_t platformId, uint32_t major, uint32_t minor,
                       uint8_t productType = platform::VER_NT_WORKSTATION,
                       uint16_t architecture = platform::PROCESSOR_ARCHITECTURE_INTEL) {
  TOsVersionData data;
  data.versionKnown = true;
  data.extendedKnown = true;
  data.nativeInfoKnown = true;
  data.platformId = platformId;
  data.major = major;
  data.minor = minor;
  data.productType = productType;
  data.nativeArchitecture = architecture;
  return data;
}

TEST(WinVersion, Classification_FollowsTheTable) {
  constexpr uint8_t kWorkstation = platform::VER_NT_WORKSTATION;
  constexpr uint8_t kServer = platform::VER_NT_SERVER;
  constexpr uint16_t kX64 = platform::PROCESSOR_ARCHITECTURE_AMD64;
  constexpr uint16_t kIa64 = platform::PROCESSOR_ARCHITECTURE_IA64;
  TOsVersionData noExtended = Version(2, 6, 1);
  noExtended.extendedKnown = false;
  TOsVersionData ntFourNoExtended = Version(2, 4, 0);
  ntFourNoExtended.extendedKnown = false;
  TOsVersionData failed = Version(2, 6, 1);
  failed.versionKnown = false;
  TOsVersionData xpX64NoNativeInfo = Version(2, 5, 2, kWorkstation, kX64);
  xpX64NoNativeInfo.nativeInfoKnown = false;
  struct Case {
    const char* what;
    TOsVersionData data;
    int16_t code;
  };
  const Case cases[] = {
      {"query failed", failed, 0},
      {"Win32s", Version(0, 3, 10), 1},
      {"95", Version(1, 4, 0), 2},
      {"98 minor 10", Version(1, 4, 10), 3},
      {"98 minor 89", Version(1, 4, 89), 3},
      {"Me minor 90", Version(1, 4, 90), 7},
      {"NT 3.51", Version(2, 3, 51), 4},
      {"NT 4 without extended query", ntFourNoExtended, 4},
      {"2000", Version(2, 5, 0), 5},
      {"XP", Version(2, 5, 1, kServer), 6},
      {"XP x64 workstation", Version(2, 5, 2, kWorkstation, kX64), 6},
      {"5.2 workstation without native info", xpX64NoNativeInfo, 10},
      {"5.2 workstation IA-64", Version(2, 5, 2, kWorkstation, kIa64), 10},
      {"Server 2003 x64", Version(2, 5, 2, kServer, kX64), 10},
      {"5.3", Version(2, 5, 3), 10},
      {"Vista", Version(2, 6, 0), 8},
      {"Server 2008", Version(2, 6, 0, kServer), 9},
      {"7", Version(2, 6, 1), 11},
      {"Server 2008 R2", Version(2, 6, 1, platform::VER_NT_DOMAIN_CONTROLLER), 12},
      {"8", Version(2, 6, 2), 13},
      {"6.3 server", Version(2, 6, 3, kServer), 14},
      {"6.9", Version(2, 6, 9), 13},
      {"major 7", Version(2, 7, 0), kOsVersionNewer},
      {"major 10", Version(2, 10, 0, kServer), kOsVersionNewer},
      {"extended query failed", noExtended, 0},
      {"unknown platform", Version(3, 6, 1), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ClassifyOsVersion(c.data), c.code) << c.what;
}

TEST(WinVersion, Fields_ArchitectureEditionsServicePack) {
  struct Case {
    bool nativeInfoKnown;
    uint16_t architecture;
    uint8_t architectureClass;
  };
  const Case cases[] = {
      {true, platform::PROCESSOR_ARCHITECTURE_INTEL, 1},
      {true, platform::PROCESSOR_ARCHITECTURE_IA64, 2},
      {true, platform::PROCESSOR_ARCHITECTURE_AMD64, 2},
      {true, platform::PROCESSOR_ARCHITECTURE_IA32_ON_WIN64, 2},
      {true, platform::PROCESSOR_ARCHITECTURE_ARM64, 0},
      {false, platform::PROCESSOR_ARCHITECTURE_INTEL, 0},
  };
  for (const Case& c : cases) {
    TOsVersionData data = Version(2, 6, 1, platform::VER_NT_WORKSTATION, c.architecture);
    data.nativeInfoKnown = c.nativeInfoKnown;
    EXPECT_EQ(CWinVersion(data).ArchitectureClass(), c.architectureClass) << c.architecture;
  }

  TOsVersionData data = Version(2, 6, 1);
  data.tabletPc = true;
  data.starter = true;
  data.servicePackMajor = 1;
  data.servicePackText = std::u16string(200, u'S');
  data.productInfoKnown = true;
  data.productInfo = 0x30;
  const CWinVersion version(data);
  EXPECT_EQ(version.EditionFlags(), kEditionTabletPc | kEditionStarter);
  EXPECT_EQ(version.ServicePackMajor(), 1);
  EXPECT_EQ(version.ServicePackText(), std::u16string(kServicePackTextSize - 1, u'S'));
  EXPECT_EQ(version.ProductType(), 0x30u);

  data.major = 5;  // product info is only asked from 6 on
  EXPECT_EQ(CWinVersion(data).ProductType(), 0u);
}

TEST(WinVersion, LinuxHost_ReportsWorkstationSixTwo) {
  EXPECT_EQ(CWinVersion(platform::QueryOsVersion()).OsVersionCode(), 13);
}

class ConfirmFutureOsTest : public testing::Test {
 protected:
  void SetWarningSetting(platform::DWORD type, std::vector<uint8_t> data) {
    registry.SetRaw(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Common",
                    "DisableFutureOSWarning", type, std::move(data));
  }

  platform::CMemoryRegistry registry;
  CReg reg{registry};
  platform::CRecordingMessageBox boxes;
};

TEST_F(ConfirmFutureOsTest, DisabledByDwordOne_GoesOnWithoutAsking) {
  SetWarningSetting(platform::REG_DWORD, {1, 0, 0, 0});
  EXPECT_TRUE(ConfirmFutureOs(reg, u"text", u"LX2D_SET"));
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(ConfirmFutureOsTest, OtherSettings_AskAndFollowTheAnswer) {
  struct Case {
    const char* what;
    platform::DWORD type;  // REG_NONE: no value
    std::vector<uint8_t> data;
    int answer;
    bool goOn;
  };
  const Case cases[] = {
      {"no value, No", platform::REG_NONE, {}, platform::IDNO, false},
      {"no value, Yes", platform::REG_NONE, {}, platform::IDYES, true},
      {"string \"1\"", platform::REG_SZ, {'1', 0, 0, 0}, platform::IDNO, false},
      {"DWORD 2", platform::REG_DWORD, {2, 0, 0, 0}, platform::IDNO, false},
  };
  for (const Case& c : cases) {
    if (c.type != platform::REG_NONE) SetWarningSetting(c.type, c.data);
    boxes.QueueAnswer(c.answer);
    EXPECT_EQ(ConfirmFutureOs(reg, u"Do you want to continue?", u"LX2D_SET"), c.goOn) << c.what;
  }
  const auto shown = boxes.Boxes();
  ASSERT_EQ(shown.size(), std::size(cases));
  EXPECT_EQ(shown[0].text, "Do you want to continue?");
  EXPECT_EQ(shown[0].caption, "LX2D_SET");
  EXPECT_EQ(shown[0].owner, 0u);
  EXPECT_EQ(shown[0].style, 0x40104u);
}

TEST_F(ConfirmFutureOsTest, NobodyToAsk_DefaultIsNo) {
  EXPECT_FALSE(ConfirmFutureOs(reg, u"text", u"LX2D_SET"));
}

TEST_F(ConfirmFutureOsTest, NoTextOrCaption_GoesOnWithoutAsking) {
  EXPECT_TRUE(ConfirmFutureOs(reg, u"", u"LX2D_SET"));
  EXPECT_TRUE(ConfirmFutureOs(reg, u"text", u""));
  EXPECT_TRUE(boxes.Boxes().empty());
}

}  // namespace
}  // namespace lx2d
