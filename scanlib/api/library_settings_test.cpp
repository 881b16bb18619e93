// Initialize and the settings under the host's key, on an in-memory
// registry: the values a load falls back to, hives that refuse writes, and
// the spy window's rectangle.
#include "library_settings.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/fakes/memory_registry.h"
#include "platform/fakes/temp_directory.h"
#include "vscp_communication.h"

namespace lx2d {
namespace {

namespace pf = lx2d::platform;

class LibrarySettingsTest : public ::testing::Test {
 protected:
  LibrarySettingsTest() {
    folders.UseForAllDirectories();
    previous = pf::SetDefaultRegistry(&registry);
  }
  ~LibrarySettingsTest() override { pf::SetDefaultRegistry(previous); }

  uint16_t Initialize(const char* path) {
    uint8_t flag = 0xEE;
    const uint16_t result = library.Initialize(path, &flag);
    EXPECT_EQ(flag, result == kResultOk ? 1 : 0);
    return result;
  }

  int32_t Stored(pf::HKEY root, const char* key, const char* name) {
    std::vector<uint8_t> data;
    pf::DWORD type = 0;
    if (!registry.GetRaw(root, key, name, &type, &data) || data.size() != 4) return -1;
    int32_t value = 0;
    std::memcpy(&value, data.data(), 4);
    return value;
  }

  void Store(pf::HKEY root, const char* key, const char* name, int32_t value) {
    std::vector<uint8_t> data(4);
    std::memcpy(data.data(), &value, 4);
    registry.SetRaw(root, key, name, pf::REG_DWORD, data);
  }

  pf::CTempDirectory folders;
  pf::CMemoryRegistry registry;
  pf::IRegistry* previous = nullptr;
  CVscpCommunication library;
};

constexpr char kKey[] = "Software\\Lx2d";

TEST_F(LibrarySettingsTest, MissingValuesAtLoad_TakeTheirFallbackNotTheDefault) {
  ASSERT_EQ(Initialize("HKCU\\Software\\Lx2d"), kResultOk);
  for (const char* name : {"Spy Window", "Timeout", "Host Takes Priority", "SpyRectRight"}) {
    std::vector<uint8_t> ignored;
    pf::HKEY key = 0;
    ASSERT_EQ(registry.OpenKey(pf::HKEY_CURRENT_USER, kKey, pf::KEY_ALL_ACCESS, &key),
              pf::ERROR_SUCCESS);
    registry.DeleteValue(key, name);
    registry.CloseKey(key);
  }
  Store(pf::HKEY_CURRENT_USER, kKey, "SpyRectTop", 12);
  ASSERT_EQ(Initialize("HKCU\\Software\\Lx2d"), kResultOk);
  const LibrarySettings& settings = library.Settings();
  EXPECT_EQ(settings.spyWindow, 1);
  EXPECT_EQ(settings.timeout, 0);
  EXPECT_EQ(settings.hostTakesPriority, 0);
  EXPECT_EQ(settings.spyRectRight, 0);
  EXPECT_EQ(settings.spyRectTop, 12);
  EXPECT_EQ(settings.spyRectBottom, 676);
  EXPECT_EQ(settings.waitDuration, 2000);
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(LibrarySettingsTest, ReadOnlyHive_Result3AndNotInitialized) {
  registry.SetReadOnly(pf::HKEY_LOCAL_MACHINE, true);
  EXPECT_EQ(Initialize("SOFTWARE\\Korvane\\LX2D_B_SET"), kResultRegistryError);
  EXPECT_FALSE(library.initialized);
  // A key that exists but cannot be written fails the same way.
  registry.SetReadOnly(pf::HKEY_LOCAL_MACHINE, false);
  ASSERT_EQ(Initialize("SOFTWARE\\Korvane\\LX2D_B_SET"), kResultOk);
  EXPECT_TRUE(library.initialized);
  registry.SetReadOnly(pf::HKEY_LOCAL_MACHINE, true);
  EXPECT_EQ(Initialize("SOFTWARE\\Korvane\\LX2D_B_SET"), kResultRegistryError);
  EXPECT_FALSE(library.initialized);
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(LibrarySettingsTest, LongerOrForeignVersionValue_DefaultsWritten) {
  for (const char* stamp : {"RDLK_HID:1.0.9.0.1", "RDLK_HID:1.0.9", ""}) {
    registry.SetRaw(pf::HKEY_CURRENT_USER, kKey, "Version", pf::REG_BINARY,
                    std::vector<uint8_t>(stamp, stamp + std::strlen(stamp) + 1));
    Store(pf::HKEY_CURRENT_USER, kKey, "Timeout", 1234);
    ASSERT_EQ(Initialize("HKCU\\Software\\Lx2d"), kResultOk) << stamp;
    EXPECT_EQ(Stored(pf::HKEY_CURRENT_USER, kKey, "Timeout"), 500) << stamp;
  }
  // The stamp without its terminator still reads as this version.
  const char kStamp[] = "RDLK_HID:1.0.9.0";
  registry.SetRaw(pf::HKEY_CURRENT_USER, kKey, "Version", pf::REG_BINARY,
                  std::vector<uint8_t>(kStamp, kStamp + sizeof kStamp - 1));
  Store(pf::HKEY_CURRENT_USER, kKey, "Timeout", 1234);
  ASSERT_EQ(Initialize("HKCU\\Software\\Lx2d"), kResultOk);
  EXPECT_EQ(library.Settings().timeout, 1234);
}

TEST_F(LibrarySettingsTest, SecondInitializeWithAnotherKey_MovesThere) {
  ASSERT_EQ(Initialize("HKCU\\Software\\First"), kResultOk);
  ASSERT_EQ(Initialize("Software\\Second"), kResultOk);
  EXPECT_EQ(library.RegistryRoot(), pf::HKEY_LOCAL_MACHINE);
  EXPECT_EQ(library.RegistrySubkey(), "Software\\Second");
  library.StoreSpyRect(10, 20, 30, 40);
  EXPECT_EQ(Stored(pf::HKEY_LOCAL_MACHINE, "Software\\Second", "SpyRectTop"), 10);
  EXPECT_EQ(Stored(pf::HKEY_LOCAL_MACHINE, "Software\\Second", "SpyRectBottom"), 20);
  EXPECT_EQ(Stored(pf::HKEY_LOCAL_MACHINE, "Software\\Second", "SpyRectLeft"), 30);
  EXPECT_EQ(Stored(pf::HKEY_LOCAL_MACHINE, "Software\\Second", "SpyRectRight"), 40);
  EXPECT_EQ(Stored(pf::HKEY_CURRENT_USER, "Software\\First", "SpyRectTop"), 0);
}

}  // namespace
}  // namespace lx2d
