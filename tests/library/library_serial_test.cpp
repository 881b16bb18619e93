// What only the serial library meets: reader ports and their choice, a
// port another program holds, a port that vanishes, the line speed from
// the registry.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "library_host.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace lx2d::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr char kKey[] = "Software\\Lx2dTest";
const unsigned char kRequest[] = {0x72, 0x43, 0x02};

class LibrarySerial : public ::testing::Test {
 protected:
  void SetUp() override {
    // Nobody answers the dialog's question here, not even when the suite
    // is run by hand from a terminal.
    ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr);
  }

  std::string PortPath(const std::string& name) const {
    return std::string(std::getenv("LX2D_RUNTIME_DIR")) + "/serial/" + name;
  }

  void SetNumber(std::string_view name, uint32_t value) {
    platform::HKEY key = 0;
    ASSERT_EQ(platform::DefaultRegistry().OpenKey(platform::HKEY_CURRENT_USER, kKey,
                                                  platform::KEY_ALL_ACCESS, &key),
              platform::ERROR_SUCCESS);
    EXPECT_EQ(
        platform::DefaultRegistry().SetValue(
            key, name, platform::REG_DWORD, reinterpret_cast<const uint8_t*>(&value), sizeof value),
        platform::ERROR_SUCCESS);
    platform::DefaultRegistry().CloseKey(key);
  }

  // The value's type and bytes; type 0 when it cannot be read.
  std::pair<platform::DWORD, std::vector<uint8_t>> Value(std::string_view name) {
    platform::HKEY key = 0;
    std::vector<uint8_t> data(1024);
    platform::DWORD type = 0;
    platform::DWORD size = static_cast<platform::DWORD>(data.size());
    if (platform::DefaultRegistry().OpenKey(platform::HKEY_CURRENT_USER, kKey,
                                            platform::KEY_ALL_ACCESS,
                                            &key) != platform::ERROR_SUCCESS) {
      return {0, {}};
    }
    if (platform::DefaultRegistry().QueryValue(key, name, &type, data.data(), &size) !=
        platform::ERROR_SUCCESS) {
      type = 0;
      size = 0;
    }
    platform::DefaultRegistry().CloseKey(key);
    data.resize(size);
    return {type, data};
  }

  std::vector<uint8_t> TextValue(const std::string& text) {
    const std::u16string wide = platform::Utf8ToUtf16(text);
    std::vector<uint8_t> bytes;
    for (char16_t c : wide) {
      bytes.push_back(static_cast<uint8_t>(c & 0xFF));
      bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
  }

  CLibraryTest host;
  CScannerLibrary& lib = host.Library();
};

TEST_F(LibrarySerial, PortsListed_DialogWithoutTerminalTakesTheFirstAndKeepsIt) {
  ASSERT_TRUE(host.InitializeUserKey());
  EXPECT_EQ(Value("BaudRate"), (std::pair<platform::DWORD, std::vector<uint8_t>>{
                                   platform::REG_DWORD, {0x00, 0xC2, 0x01, 0x00}}));  // 115200
  ASSERT_TRUE(host.Reader().Start());
  CSimulatedReader second;
  ASSERT_TRUE(second.Start({"--name", "a-reader", "--serial-number", "SIM0000002"}));
  ASSERT_TRUE(WaitUntil([&] { return lib.HIDEnumDevices(1, nullptr) == 1; }));

  // Listed by port name: a-reader before lx2d-reader.
  char description[520] = {};
  ASSERT_EQ(lib.HIDEnumDevices(0, description), 1);
  EXPECT_STREQ(description, "2D Barcode Reader SIM0000002");
  ASSERT_EQ(lib.HIDEnumDevices(1, description), 1);
  EXPECT_STREQ(description, "2D Barcode Reader SIM0000001");
  EXPECT_EQ(lib.HIDEnumDevices(2, description), 0);

  // The utility's way with an empty device path: the dialog, then Connect.
  ASSERT_EQ(lib.ConfigurationDialog(), RDLK_SUCCESS);
  ASSERT_EQ(lib.Connect(), RDLK_SUCCESS);
  // The other reader going away does not matter to this connection.
  host.Reader().Stop();
  uint32_t length = 0;
  unsigned char reply[16];
  EXPECT_EQ(lib.SetupWrite(kRequest, 3, reply, sizeof reply, &length), RDLK_SUCCESS);
  // The choice is kept next to the library's values.
  EXPECT_EQ(Value("Port"), (std::pair<platform::DWORD, std::vector<uint8_t>>{
                               platform::REG_SZ, TextValue(PortPath("a-reader"))}));
  // Held here, the port is still listed.
  EXPECT_EQ(lib.HIDEnumDevices(0, nullptr), 1);
}

TEST_F(LibrarySerial, PortHeldByAnotherProgram_Result9UntilItLetsGo) {
  ASSERT_TRUE(host.InitializeUserKey());
  ASSERT_TRUE(host.Reader().Start());
  lib.UsbSettings(Target().readerDescription.c_str());
  const std::string ready = host.Folder() + "/held";
  platform::CChildProcess holder;
  ASSERT_TRUE(holder.StartWithInput(LX2D_TEST_PORT_HOLDER, {PortPath("lx2d-reader"), ready}));
  ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(ready); }));
  EXPECT_EQ(lib.Connect(), RDLK_PORT_NOT_AVAILABLE);
  holder.Terminate();
  ASSERT_TRUE(holder.Wait(10s).has_value());
  EXPECT_EQ(lib.Connect(), RDLK_SUCCESS);
}

TEST_F(LibrarySerial, PortVanishesMidRequest_Result10WithoutHanging) {
  // The reader takes requests but never acknowledges them, and each ACK is
  // awaited 5 s: the request is still waiting when its port goes away, and
  // waiting out its three sends would take 15 s.
  ASSERT_TRUE(host.InitializeUserKey());
  SetNumber("Timeout", 5000);
  ASSERT_TRUE(host.Connected({"--drop-acks", "1000"}));
  std::thread unplug([this] {
    std::this_thread::sleep_for(100ms);
    host.Reader().Stop();
  });
  uint32_t length = 0;
  unsigned char reply[16];
  const auto start = Clock::now();
  EXPECT_EQ(lib.SetupWrite(kRequest, 3, reply, sizeof reply, &length), RDLK_CONNECTION_LOST);
  EXPECT_LT(Clock::now() - start, 10s);
  unplug.join();
  EXPECT_EQ(lib.SetupWrite(kRequest, 3, reply, sizeof reply, &length), RDLK_CONNECTION_LOST);
  EXPECT_EQ(lib.HIDEnumDevices(0, nullptr), 0);
  EXPECT_EQ(lib.Disconnect(), RDLK_SUCCESS);
}

TEST_F(LibrarySerial, LineSpeedFromTheRegistry_ARefusedOneFailsTheConnect) {
  ASSERT_TRUE(host.InitializeUserKey());
  ASSERT_TRUE(host.Reader().Start());
  lib.UsbSettings(Target().readerDescription.c_str());
  struct Case {
    uint32_t baudRate;
    RDLK_RESULT result;
  };
  const Case cases[] = {
      {12345, RDLK_PORT_NOT_AVAILABLE},  // no such line speed
      {0, RDLK_PORT_NOT_AVAILABLE},      // would hang up the line
      {9600, RDLK_SUCCESS},
      {115200, RDLK_SUCCESS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.baudRate);
    SetNumber("BaudRate", c.baudRate);
    ASSERT_TRUE(host.InitializeUserKey());  // same version: the stored values are taken
    EXPECT_EQ(lib.Connect(), c.result);
    EXPECT_EQ(lib.Disconnect(), RDLK_SUCCESS);
  }
}

}  // namespace
}  // namespace lx2d::test
