// The call frame as a host meets it: state checks, the version text, the
// life cycle of a connection, data capture and the reader list.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <span>
#include <string>

#include "library_host.h"

namespace lx2d::test {
namespace {

class LibraryState : public ::testing::Test {
 protected:
  CLibraryTest host;
  CScannerLibrary& lib = host.Library();
};

// One export with an output count, called with `count` as that count.
struct CountedCall {
  const char* name;
  std::function<RDLK_RESULT(CScannerLibrary&, uint32_t*)> call;
};

const unsigned char kRequest[] = {0x72, 0x43, 0x02};
unsigned char replyBuffer[64];

const CountedCall kConnectionCalls[] = {
    {"SetupRead",
     [](CScannerLibrary& l, uint32_t* n) { return l.SetupRead(kRequest, 3, replyBuffer, 64, n); }},
    {"SetupWrite",
     [](CScannerLibrary& l, uint32_t* n) { return l.SetupWrite(kRequest, 3, replyBuffer, 64, n); }},
    {"ControlCommand",
     [](CScannerLibrary& l, uint32_t* n) {
       return l.ControlCommand(kRequest, 3, replyBuffer, 64, n);
     }},
    {"ImageDataRead", [](CScannerLibrary& l,
                         uint32_t* n) { return l.ImageDataRead(kRequest, 3, replyBuffer, 64, n); }},
    {"GenericVSCPRequest",
     [](CScannerLibrary& l, uint32_t* n) {
       return l.GenericVSCPRequest(1, 2, kRequest, 3, replyBuffer, 64, n);
     }},
    {"GetBarcodeData",
     [](CScannerLibrary& l, uint32_t* n) { return l.GetBarcodeData(replyBuffer, 64, n); }},
    {"GetEventNotification",
     [](CScannerLibrary& l, uint32_t* n) { return l.GetEventNotification(replyBuffer, 64, n); }},
    {"GetRawData",
     [](CScannerLibrary& l, uint32_t* n) { return l.GetRawData(replyBuffer, 64, n); }},
};

const CountedCall kInitializedCalls[] = {
    {"GetDllVersion",
     [](CScannerLibrary& l, uint32_t* n) {
       return l.GetDllVersion(reinterpret_cast<char*>(replyBuffer), 64, n);
     }},
    {"GetLibraryVersion",
     [](CScannerLibrary& l, uint32_t* n) {
       return l.GetLibraryVersion(reinterpret_cast<char*>(replyBuffer), 64, n);
     }},
    {"DeviceIOControl",
     [](CScannerLibrary& l, uint32_t* n) {
       const uint32_t value = 7;
       return l.DeviceIOControl(RDLK_IOCTL_ECHO, &value, 4, replyBuffer, 64, n);
     }},
};

constexpr uint32_t kUntouched = 0xA5A5A5A5;

TEST_F(LibraryState, BeforeInitialize_Result7AndCountUntouched) {
  for (const std::span<const CountedCall> table :
       {std::span<const CountedCall>(kConnectionCalls),
        std::span<const CountedCall>(kInitializedCalls)}) {
    for (const CountedCall& entry : table) {
      uint32_t count = kUntouched;
      EXPECT_EQ(entry.call(lib, &count), RDLK_NOT_INITIALIZED) << entry.name;
      EXPECT_EQ(count, kUntouched) << entry.name;
    }
  }
  EXPECT_EQ(lib.Connect(), RDLK_NOT_INITIALIZED);
  EXPECT_EQ(lib.ConfigurationDialog(), RDLK_NOT_INITIALIZED);
  EXPECT_EQ(lib.MessageIdentify(0, 1), RDLK_NOT_INITIALIZED);
  // No state needed for these.
  EXPECT_EQ(lib.Disconnect(), RDLK_SUCCESS);
  EXPECT_EQ(lib.Deinitialize(), RDLK_SUCCESS);
}

TEST_F(LibraryState, InitializedNotConnected_RequestsAndReads8) {
  ASSERT_TRUE(host.InitializeUserKey());
  for (const CountedCall& entry : kConnectionCalls) {
    uint32_t count = kUntouched;
    EXPECT_EQ(entry.call(lib, &count), RDLK_NO_DEVICE) << entry.name;
    EXPECT_EQ(count, kUntouched) << entry.name;
  }
  for (const CountedCall& entry : kInitializedCalls) {
    uint32_t count = kUntouched;
    EXPECT_EQ(entry.call(lib, &count), RDLK_SUCCESS) << entry.name;
  }
  EXPECT_EQ(lib.MessageIdentify(0x12345, 1), RDLK_SUCCESS);
  // No dialog can be shown here, and no reader is attached.
  EXPECT_EQ(lib.ConfigurationDialog(), Target().dialogWithoutReader);
}

TEST_F(LibraryState, VersionText_NeedsCapacity18) {
  ASSERT_TRUE(host.InitializeUserKey());
  struct Case {
    uint32_t capacity;
    RDLK_RESULT result;
    uint32_t length;
  };
  for (const Case& c : {Case{0, RDLK_BUFFER_TOO_SMALL, 0}, Case{17, RDLK_BUFFER_TOO_SMALL, 0},
                        Case{18, RDLK_SUCCESS, 16}, Case{64, RDLK_SUCCESS, 16}}) {
    char text[64];
    std::memset(text, 'x', sizeof text);
    uint32_t length = kUntouched;
    EXPECT_EQ(lib.GetDllVersion(text, c.capacity, &length), c.result) << c.capacity;
    EXPECT_EQ(length, c.length) << c.capacity;
    if (c.result == RDLK_SUCCESS) {
      EXPECT_STREQ(text, "RDLK_HID:1.0.9.0");
    } else {
      EXPECT_EQ(text[0], 'x') << "nothing written with capacity " << c.capacity;
    }
  }
  char text[32] = {};
  uint32_t length = 0;
  EXPECT_EQ(lib.GetLibraryVersion(text, sizeof text, &length), RDLK_SUCCESS);
  EXPECT_STREQ(text, "RDLK_HID:1.0.9.0");
}

TEST_F(LibraryState, DeinitializeWhileConnected_Requests7AndDisconnectStillWorks) {
  ASSERT_TRUE(host.Connected());
  uint32_t length = 0;
  ASSERT_EQ(lib.SetupWrite(kRequest, 3, replyBuffer, 64, &length), RDLK_SUCCESS);
  EXPECT_EQ(lib.Deinitialize(), RDLK_SUCCESS);
  length = kUntouched;
  EXPECT_EQ(lib.SetupWrite(kRequest, 3, replyBuffer, 64, &length), RDLK_NOT_INITIALIZED);
  EXPECT_EQ(length, kUntouched);
  EXPECT_EQ(lib.Disconnect(), RDLK_SUCCESS);
  // The reader is free again: listed, as it cannot be while held open.
  char description[520] = {};
  EXPECT_EQ(lib.HIDEnumDevices(0, description), 1);
  EXPECT_EQ(description, Target().readerDescription);
}

TEST_F(LibraryState, DisconnectTwice_BothSucceedAndRequestsFailWith10) {
  ASSERT_TRUE(host.Connected());
  EXPECT_EQ(lib.Disconnect(), RDLK_SUCCESS);
  EXPECT_EQ(lib.Disconnect(), RDLK_SUCCESS);
  // Still counted as connected: the request passes the state check and
  // fails in the exchange.
  uint32_t length = kUntouched;
  EXPECT_EQ(lib.SetupWrite(kRequest, 3, replyBuffer, 64, &length), RDLK_CONNECTION_LOST);
  EXPECT_EQ(length, 0u);
  // And it connects again.
  EXPECT_EQ(lib.Connect(), RDLK_SUCCESS);
  EXPECT_EQ(lib.SetupWrite(kRequest, 3, replyBuffer, 64, &length), RDLK_SUCCESS);
}

TEST_F(LibraryState, ConnectWhileConnected_ReconnectsCleanly) {
  ASSERT_TRUE(host.Connected());
  EXPECT_EQ(lib.Connect(), RDLK_SUCCESS);
  uint32_t length = 0;
  EXPECT_EQ(lib.SetupWrite(kRequest, 3, replyBuffer, 64, &length), RDLK_SUCCESS);
  EXPECT_EQ(length, 1u);
}

std::atomic<int> firstCalls{0};
std::atomic<int> secondCalls{0};
int32_t FirstCapture(unsigned char*, uint32_t) { return ++firstCalls; }
int32_t SecondCapture(unsigned char*, uint32_t) { return ++secondCalls; }

TEST_F(LibraryState, DataCapture_NullKeepsCallbackAndDisableForgetsIt) {
  // Allowed before Initialize, and always 1.
  EXPECT_EQ(lib.StartDataCapture(1, FirstCapture), 1);
  EXPECT_EQ(lib.StartDataCapture(1, nullptr), 1);
  ASSERT_TRUE(host.Connected());
  ASSERT_TRUE(host.Reader().Command("bcd ONE"));
  ASSERT_TRUE(WaitUntil([] { return firstCalls.load() == 1; }));

  // Disabled: the callback is forgotten; enabling with null does not bring
  // it back.
  EXPECT_EQ(lib.StartDataCapture(0, SecondCapture), 1);
  EXPECT_EQ(lib.StartDataCapture(1, nullptr), 1);
  ASSERT_TRUE(host.Reader().Command("bcd TWO"));
  uint32_t length = 0;
  unsigned char data[16];
  ASSERT_TRUE(WaitUntil([&] {
    lib.GetBarcodeData(data, sizeof data, &length);
    return length == 5 && std::memcmp(data + 2, "TWO", 3) == 0;
  }));
  EXPECT_EQ(firstCalls.load(), 1);
  EXPECT_EQ(secondCalls.load(), 0);

  EXPECT_EQ(lib.StartDataCapture(1, SecondCapture), 1);
  ASSERT_TRUE(host.Reader().Command("bcd THREE"));
  EXPECT_TRUE(WaitUntil([] { return secondCalls.load() == 1; }));
  EXPECT_EQ(firstCalls.load(), 1);
}

TEST_F(LibraryState, ReaderList_IndexPastEndLeavesOutputAlone) {
  ASSERT_TRUE(host.Reader().Start());
  char description[520];
  std::memset(description, 'x', sizeof description);
  EXPECT_EQ(lib.HIDEnumDevices(0, description), 1);
  EXPECT_EQ(description, Target().readerDescription);
  EXPECT_EQ(lib.HIDEnumDevices(0, nullptr), 1);
  std::memset(description, 'x', sizeof description);
  EXPECT_EQ(lib.HIDEnumDevices(1, description), 0);
  EXPECT_EQ(description[0], 'x');
  EXPECT_EQ(lib.HIDEnumDevices(-1, description), 0);
}

}  // namespace
}  // namespace lx2d::test
