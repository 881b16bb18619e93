// DeviceIOControl: its input checks, the codes that only answer, and the
// byte-level I/O a host brackets with the receive thread's hold.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "library_host.h"

namespace lx2d::test {
namespace {

class LibraryIoControl : public ::testing::Test {
 protected:
  // Runs `code` with `input` and an output of `capacity` bytes; the output
  // as stored.
  RDLK_RESULT Call(uint32_t code, const std::vector<unsigned char>& input,
                   std::vector<unsigned char>* output = nullptr, uint32_t capacity = 64) {
    unsigned char buffer[64];
    std::memset(buffer, 0xEE, sizeof buffer);
    uint32_t length = 0xFFFF;
    const RDLK_RESULT result =
        lib.DeviceIOControl(code, input.empty() ? nullptr : input.data(),
                            static_cast<uint32_t>(input.size()), buffer, capacity, &length);
    if (output != nullptr) output->assign(buffer, buffer + (length == 0xFFFF ? 0 : length));
    return result;
  }

  CLibraryTest host;
  CScannerLibrary& lib = host.Library();
};

// A 32-bit value, little-endian, followed by `more`.
std::vector<unsigned char> Le32(uint32_t value, const std::vector<unsigned char>& more = {}) {
  std::vector<unsigned char> bytes;
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
  for (unsigned char byte : more) bytes.push_back(byte);
  return bytes;
}

TEST_F(LibraryIoControl, InputChecks_RefusedBeforeAnythingHappens) {
  ASSERT_TRUE(host.InitializeUserKey());
  struct Case {
    const char* what;
    uint32_t code;
    std::vector<unsigned char> input;
    uint32_t capacity;
    RDLK_RESULT result;
  };
  const std::vector<unsigned char> longPath(260, 'a');
  const Case kCases[] = {
      {"hold with 2", RDLK_IOCTL_RECEIVE_THREAD, {2}, 64, RDLK_INVALID_INPUT},
      {"hold, 2 bytes", RDLK_IOCTL_RECEIVE_THREAD, {0, 0}, 64, RDLK_INVALID_INPUT},
      {"spy window with 2", RDLK_IOCTL_SPY_WINDOW, {2}, 64, RDLK_SUCCESS},
      {"echo of 3 bytes", RDLK_IOCTL_ECHO, {1, 2, 3}, 64, RDLK_INVALID_INPUT},
      {"path, empty input", RDLK_IOCTL_SET_DEVICE_PATH, {}, 64, RDLK_INVALID_INPUT},
      {"path without its zero", RDLK_IOCTL_SET_DEVICE_PATH, {'a', 'b'}, 64, RDLK_INVALID_INPUT},
      {"path of 260 bytes", RDLK_IOCTL_SET_DEVICE_PATH, longPath, 64, RDLK_INVALID_INPUT},
      {"read byte, 3 bytes", RDLK_IOCTL_READ_BYTE, {1, 2, 3}, 64, RDLK_INVALID_INPUT},
      {"write byte without value", RDLK_IOCTL_WRITE_BYTE, Le32(10), 64, RDLK_INVALID_INPUT},
      {"write word, 1 value byte", RDLK_IOCTL_WRITE_WORD, Le32(10, {1}), 64, RDLK_INVALID_INPUT},
      {"write buffer without data", RDLK_IOCTL_WRITE_BUFFER, Le32(10), 64, RDLK_INVALID_INPUT},
      {"control exchange, 2 bytes",
       RDLK_IOCTL_CONTROL_EXCHANGE,
       {0x16, 0x0C},
       64,
       RDLK_INVALID_INPUT},
      {"read byte into 4 bytes", RDLK_IOCTL_READ_BYTE, Le32(10), 4, RDLK_BUFFER_TOO_SMALL},
      {"echo into 3 bytes", RDLK_IOCTL_ECHO, Le32(10), 3, RDLK_BUFFER_TOO_SMALL},
      {"code 259", 259, Le32(0), 64, RDLK_UNKNOWN_CONTROL_CODE},
      {"code 521", 521, {1}, 64, RDLK_UNKNOWN_CONTROL_CODE},
      {"code 523", 523, Le32(0), 64, RDLK_UNKNOWN_CONTROL_CODE},
      {"code 0", 0, {}, 64, RDLK_UNKNOWN_CONTROL_CODE},
  };
  for (const Case& c : kCases) {
    std::vector<unsigned char> output;
    EXPECT_EQ(Call(c.code, c.input, &output, c.capacity), c.result) << c.what;
    EXPECT_TRUE(output.empty()) << c.what << ": output length 0";
  }
  uint32_t length = 0xFFFF;
  unsigned char output[8];
  EXPECT_EQ(lib.DeviceIOControl(RDLK_IOCTL_ECHO, nullptr, 4, output, 8, &length),
            RDLK_INVALID_INPUT);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(lib.DeviceIOControl(RDLK_IOCTL_ECHO, "abcd", 4, nullptr, 8, &length),
            RDLK_INVALID_INPUT);
  EXPECT_EQ(lib.DeviceIOControl(RDLK_IOCTL_ECHO, "abcd", 4, output, 8, nullptr),
            RDLK_INVALID_INPUT);
}

TEST_F(LibraryIoControl, AnsweringCodes_FixedOutputs) {
  ASSERT_TRUE(host.InitializeUserKey());
  struct Case {
    uint32_t code;
    std::vector<unsigned char> input;
    std::vector<unsigned char> output;
  };
  const Case kCases[] = {
      {RDLK_IOCTL_READ_WORD, Le32(100), {0, 0, 0, 0, 0, 0}},
      {RDLK_IOCTL_READ_LONG, Le32(100), {0, 0, 0, 0, 0, 0, 0, 0}},
      {RDLK_IOCTL_WRITE_BYTE, Le32(100, {0x12}), {0, 0, 0, 0}},
      {RDLK_IOCTL_WRITE_WORD, Le32(100, {0x12, 0x34}), {0, 0, 0, 0}},
      {RDLK_IOCTL_WRITE_LONG, Le32(100, {1, 2, 3, 4}), {0, 0, 0, 0}},
      {RDLK_IOCTL_ECHO, Le32(0x12345678), Le32(0x12345678)},
      {RDLK_IOCTL_ECHO, Le32(0), Le32(0)},
      {RDLK_IOCTL_SPY_WINDOW, {1}, {}},
      {RDLK_IOCTL_SPY_WINDOW, {0}, {}},
  };
  for (const Case& c : kCases) {
    std::vector<unsigned char> output;
    EXPECT_EQ(Call(c.code, c.input, &output), RDLK_SUCCESS) << c.code;
    EXPECT_EQ(output, c.output) << c.code;
  }
}

TEST_F(LibraryIoControl, NoReaderOpen_WriteAnswersNonZeroAndReadFails) {
  ASSERT_TRUE(host.InitializeUserKey());
  std::vector<unsigned char> output;
  EXPECT_EQ(Call(RDLK_IOCTL_WRITE_BUFFER, Le32(100, {1, 2, 3}), &output), RDLK_SUCCESS);
  ASSERT_EQ(output.size(), 4u);
  EXPECT_NE(output, Le32(0)) << "nothing was written";
  EXPECT_EQ(Call(RDLK_IOCTL_READ_BYTE, Le32(10), &output), RDLK_SUCCESS);
  ASSERT_EQ(output.size(), 5u);
  EXPECT_EQ(output, (std::vector<unsigned char>{255, 0, 0, 0, 0}));
  // Holding and releasing with nothing connected does no harm.
  EXPECT_EQ(Call(RDLK_IOCTL_RECEIVE_THREAD, {0}), RDLK_SUCCESS);
  EXPECT_EQ(Call(RDLK_IOCTL_RECEIVE_THREAD, {1}), RDLK_SUCCESS);
}

TEST_F(LibraryIoControl, ByteIoWhileReceiveThreadHeld_SyncAnsweredBySydn) {
  ASSERT_TRUE(host.Connected());
  ASSERT_EQ(Call(RDLK_IOCTL_RECEIVE_THREAD, {0}), RDLK_SUCCESS);
  // A SYNC control frame written as raw bytes: STX, number, code, data, ETX.
  std::vector<unsigned char> output;
  ASSERT_EQ(Call(RDLK_IOCTL_WRITE_BUFFER, Le32(2000, {0x02, 0x07, 0x16, 0x00, 0x03}), &output),
            RDLK_SUCCESS);
  EXPECT_EQ(output, Le32(0)) << "every byte written";
  std::vector<unsigned char> answer;
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(Call(RDLK_IOCTL_READ_BYTE, Le32(2000), &output), RDLK_SUCCESS);
    ASSERT_EQ(output.size(), 5u);
    EXPECT_EQ(std::vector<unsigned char>(output.begin(), output.begin() + 4), Le32(0));
    answer.push_back(output[4]);
  }
  EXPECT_EQ(answer, (std::vector<unsigned char>{0x02, 0x07, 0x0C, 0x00, 0x03}));
  // Nothing more: the read times out with its status.
  ASSERT_EQ(Call(RDLK_IOCTL_READ_BYTE, Le32(50), &output), RDLK_SUCCESS);
  EXPECT_NE(std::vector<unsigned char>(output.begin(), output.begin() + 4), Le32(0));
  EXPECT_EQ(Call(RDLK_IOCTL_RECEIVE_THREAD, {1}), RDLK_SUCCESS);
}

TEST_F(LibraryIoControl, ControlExchange_ZeroOnlyForTheExpectedAnswer) {
  ASSERT_TRUE(host.Connected());
  std::vector<unsigned char> output;
  // SYNC is answered by SYDN, never by ACK.
  EXPECT_EQ(Call(RDLK_IOCTL_CONTROL_EXCHANGE, {0x16, 0x0C, 0x00}, &output), RDLK_SUCCESS);
  EXPECT_EQ(output, Le32(0));
  EXPECT_EQ(Call(RDLK_IOCTL_CONTROL_EXCHANGE, {0x16, 0x06, 0x00}, &output), RDLK_SUCCESS);
  EXPECT_EQ(output, Le32(1));
}

}  // namespace
}  // namespace lx2d::test
