#include "reg.h"

#include <gtest/gtest.h>

#include "platform/fakes/memory_registry.h"

namespace lx2d {
namespace {

using namespace platform;

constexpr char kEmulatorKey[] = "SOFTWARE\\Korvane\\LX2D_EMU";

std::vector<uint8_t> Utf16Le(std::u16string_view text, bool terminator) {
  std::vector<uint8_t> bytes;
  for (const char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  if (terminator) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

class RegTest : public ::testing::Test {
 protected:
  CMemoryRegistry registry;
  CReg reg{registry};
};

TEST_F(RegTest, Writes_StoreExactBytesUnderMachineRoot) {
  const std::vector<uint8_t> text = Utf16Le(u"ab", false);
  EXPECT_TRUE(reg.WriteStringValue(u"SOFTWARE\\Korvane\\LX2D_EMU", u"PrefixCode", text));
  EXPECT_TRUE(reg.WriteStringValue(u"SOFTWARE\\Korvane\\LX2D_EMU", u"SuffixCode", {}));
  EXPECT_TRUE(reg.WriteDwordValue(u"SOFTWARE\\Korvane\\LX2D_EMU", u"UseExitMenu", 0x01020304));
  DWORD type = 0;
  std::vector<uint8_t> data;
  ASSERT_TRUE(registry.GetRaw(HKEY_LOCAL_MACHINE, kEmulatorKey, "PrefixCode", &type, &data));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(data, text);
  ASSERT_TRUE(registry.GetRaw(HKEY_LOCAL_MACHINE, kEmulatorKey, "SuffixCode", &type, &data));
  EXPECT_TRUE(data.empty());
  ASSERT_TRUE(registry.GetRaw(HKEY_LOCAL_MACHINE, kEmulatorKey, "UseExitMenu", &type, &data));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(data, (std::vector<uint8_t>{4, 3, 2, 1}));
  EXPECT_EQ(reg.ReadDwordValue(u"SOFTWARE\\Korvane\\LX2D_EMU", u"UseExitMenu"), 0x01020304u);
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(RegTest, ReadOnlyHive_WritesFail) {
  registry.SetReadOnly(HKEY_LOCAL_MACHINE, true);
  EXPECT_FALSE(reg.WriteDwordValue(u"SOFTWARE\\Korvane\\LX2D_EMU", u"UseExitMenu", 1));
  EXPECT_FALSE(reg.WriteStringValue(u"SOFTWARE\\Korvane\\LX2D_EMU", u"PrefixCode", {}));
}

TEST_F(RegTest, DwordRead_OnlyRegDwordCounts) {
  registry.SetRaw(HKEY_CURRENT_USER, "SOFTWARE\\Korvane\\LX2D_B_SET", "AfterWakeupWait", REG_DWORD,
                  {0xDC, 0x05, 0, 0});
  registry.SetRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\LX2D_B_SET", "AfterWakeupWait", REG_SZ,
                  Utf16Le(u"1", true));
  EXPECT_EQ(
      reg.ReadDwordValue(HKEY_CURRENT_USER, u"SOFTWARE\\Korvane\\LX2D_B_SET", u"AfterWakeupWait"),
      1500u);
  EXPECT_FALSE(
      reg.ReadDwordValue(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Korvane\\LX2D_B_SET", u"AfterWakeupWait"));
  EXPECT_FALSE(reg.ReadDwordValue(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Absent", u"X"));
}

TEST_F(RegTest, EmulatorKeyPath_StringTypesOnly) {
  EXPECT_FALSE(reg.ReadEmulatorKeyPath());
  registry.SetRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\LX2D_B_SET", "LX2D_EMU_AccessRegKeyInfo",
                  REG_BINARY, Utf16Le(u"SOFTWARE\\Other", true));
  EXPECT_FALSE(reg.ReadEmulatorKeyPath());
  registry.SetRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\LX2D_B_SET", "LX2D_EMU_AccessRegKeyInfo",
                  REG_EXPAND_SZ, Utf16Le(u"SOFTWARE\\Other", true));
  EXPECT_EQ(reg.ReadEmulatorKeyPath(), u"SOFTWARE\\Other");
  registry.SetRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\LX2D_B_SET", "LX2D_EMU_AccessRegKeyInfo",
                  REG_SZ, Utf16Le(std::u16string(600, u'k'), true));
  EXPECT_FALSE(reg.ReadEmulatorKeyPath());
}

}  // namespace
}  // namespace lx2d
