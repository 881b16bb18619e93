// The library's settings in the registry as a host and an administrator see
// them: defaults written to a new key, the version stamp, and the stored
// "Timeout" taken as the reply time-out.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "library_host.h"
#include "platform/registry.h"

namespace lx2d::test {
namespace {

namespace pf = lx2d::platform;

bool Read(pf::HKEY root, const std::string& key, const char* name, pf::DWORD* type,
          std::vector<uint8_t>* data) {
  pf::HKEY handle = 0;
  if (pf::DefaultRegistry().OpenKey(root, key, pf::KEY_READ, &handle) != pf::ERROR_SUCCESS)
    return false;
  uint8_t bytes[64];
  pf::DWORD size = sizeof bytes;
  const bool read =
      pf::DefaultRegistry().QueryValue(handle, name, type, bytes, &size) == pf::ERROR_SUCCESS;
  if (read) data->assign(bytes, bytes + size);
  pf::DefaultRegistry().CloseKey(handle);
  return read;
}

int32_t Dword(pf::HKEY root, const std::string& key, const char* name) {
  pf::DWORD type = 0;
  std::vector<uint8_t> data;
  if (!Read(root, key, name, &type, &data) || type != pf::REG_DWORD || data.size() != 4) return -1;
  int32_t value = 0;
  std::memcpy(&value, data.data(), 4);
  return value;
}

void Write(pf::HKEY root, const std::string& key, const char* name, pf::DWORD type,
           const void* data, pf::DWORD size) {
  pf::HKEY handle = 0;
  ASSERT_EQ(pf::DefaultRegistry().CreateKey(root, key, pf::REG_OPTION_NON_VOLATILE,
                                            pf::KEY_ALL_ACCESS, &handle, nullptr),
            pf::ERROR_SUCCESS);
  EXPECT_EQ(
      pf::DefaultRegistry().SetValue(handle, name, type, static_cast<const uint8_t*>(data), size),
      pf::ERROR_SUCCESS);
  pf::DefaultRegistry().CloseKey(handle);
}

void WriteDword(pf::HKEY root, const std::string& key, const char* name, int32_t value) {
  Write(root, key, name, pf::REG_DWORD, &value, 4);
}

class LibrarySettings : public ::testing::Test {
 protected:
  RDLK_RESULT Initialize(const std::string& path) {
    unsigned char flag = 0xEE;
    const RDLK_RESULT result = lib.Initialize(path.c_str(), &flag);
    EXPECT_EQ(flag, result == RDLK_SUCCESS ? 1 : 0) << path;
    return result;
  }

  CLibraryTest host;
  CScannerLibrary& lib = host.Library();
};

const char kKey[] = "SOFTWARE\\Korvane\\LX2D_B_SET";

struct Default {
  const char* name;
  int32_t value;
};
constexpr Default kDefaults[] = {
    {"Debug Mode", 0},       {"Timeout", 500},           {"Wait Contention", 0},
    {"Wait Duration", 2000}, {"Host Takes Priority", 1}, {"Spy Window", 0},
    {"SpyRectLeft", 0},      {"SpyRectTop", 0},          {"SpyRectRight", 620},
    {"SpyRectBottom", 676},
};

void ExpectDefaultsAndStamp(pf::HKEY root, const std::string& key) {
  for (const Default& value : kDefaults) {
    EXPECT_EQ(Dword(root, key, value.name), value.value) << value.name;
  }
  pf::DWORD type = 0;
  std::vector<uint8_t> version;
  ASSERT_TRUE(Read(root, key, "Version", &type, &version));
  EXPECT_EQ(type, pf::REG_BINARY);
  const char kStamp[] = "RDLK_HID:1.0.9.0";
  EXPECT_EQ(version, std::vector<uint8_t>(kStamp, kStamp + sizeof kStamp));
}

TEST_F(LibrarySettings, NewKey_CreatedWithDefaultsAndStamp) {
  // No prefix: the machine's hive.
  ASSERT_EQ(Initialize(kKey), RDLK_SUCCESS);
  ExpectDefaultsAndStamp(pf::HKEY_LOCAL_MACHINE, kKey);
  // Either prefix in any letter case chooses the hive.
  ASSERT_EQ(Initialize(std::string("hkcu\\") + kKey), RDLK_SUCCESS);
  ExpectDefaultsAndStamp(pf::HKEY_CURRENT_USER, kKey);
  ASSERT_EQ(Initialize("HkLm\\Software\\Other"), RDLK_SUCCESS);
  ExpectDefaultsAndStamp(pf::HKEY_LOCAL_MACHINE, "Software\\Other");
}

TEST_F(LibrarySettings, OtherVersionStamp_DefaultsOverwriteEveryValue) {
  const char kOld[] = "RDLK_HID:1.0.8.0";
  Write(pf::HKEY_CURRENT_USER, kKey, "Version", pf::REG_BINARY, kOld, sizeof kOld);
  for (const Default& value : kDefaults) WriteDword(pf::HKEY_CURRENT_USER, kKey, value.name, 77);
  ASSERT_EQ(Initialize(std::string("HKCU\\") + kKey), RDLK_SUCCESS);
  ExpectDefaultsAndStamp(pf::HKEY_CURRENT_USER, kKey);
}

TEST_F(LibrarySettings, SameVersion_ValuesKeptAsStored) {
  ASSERT_EQ(Initialize(std::string("HKCU\\") + kKey), RDLK_SUCCESS);
  WriteDword(pf::HKEY_CURRENT_USER, kKey, "SpyRectLeft", 33);
  ASSERT_EQ(lib.Deinitialize(), RDLK_SUCCESS);
  ASSERT_EQ(Initialize(std::string("HKCU\\") + kKey), RDLK_SUCCESS);
  EXPECT_EQ(Dword(pf::HKEY_CURRENT_USER, kKey, "SpyRectLeft"), 33);
}

TEST_F(LibrarySettings, UnusableKeyOrArguments_InitializeFailsAndStaysUninitialized) {
  ASSERT_EQ(Initialize(std::string("HKCU\\") + kKey), RDLK_SUCCESS);
  // An empty path component names no key that can be created.
  EXPECT_EQ(Initialize("HKCU\\Software\\\\Broken"), RDLK_REGISTRY_ERROR);
  char version[32];
  uint32_t length = 0;
  EXPECT_EQ(lib.GetDllVersion(version, sizeof version, &length), RDLK_NOT_INITIALIZED);
  unsigned char flag = 0xEE;
  EXPECT_EQ(lib.Initialize(nullptr, &flag), RDLK_INVALID_INPUT);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(lib.Initialize(kKey, nullptr), RDLK_INVALID_INPUT);
}

// The simulated reader answers 800 ms after its ACK: in time for a stored
// "Timeout" of 3000, too late for the default of 500 ms.
TEST_F(LibrarySettings, StoredTimeout_BecomesTheReplyTimeOut) {
  ASSERT_TRUE(host.InitializeUserKey());
  WriteDword(pf::HKEY_CURRENT_USER, "Software\\Lx2dTest", "Timeout", 3000);
  ASSERT_TRUE(host.Connected({"--reply-delay", "800"}));
  const unsigned char request[] = {0x72, 0x43, 0x02};
  unsigned char reply[8];
  uint32_t length = 0;
  EXPECT_EQ(lib.SetupWrite(request, 3, reply, sizeof reply, &length), RDLK_SUCCESS);

  // Out of range: the default again.
  WriteDword(pf::HKEY_CURRENT_USER, "Software\\Lx2dTest", "Timeout", 0);
  ASSERT_TRUE(host.InitializeUserKey());
  EXPECT_EQ(lib.SetupWrite(request, 3, reply, sizeof reply, &length), RDLK_CONNECTION_LOST);
}

}  // namespace
}  // namespace lx2d::test
