#include "serial_transport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/fakes/temp_directory.h"

namespace lx2d {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class CRecordingObserver final : public ILinkObserver {
 public:
  void LogText(uint32_t recordId, std::string_view text) override {
    std::lock_guard lock(mutex);
    texts.emplace_back(recordId, std::string(text));
  }
  std::mutex mutex;
  std::vector<std::pair<uint32_t, std::string>> texts;
};

// A serial transport over the simulated ports of a temporary folder.
class SerialTransport : public ::testing::Test {
 protected:
  void SetUp() override {
    service = platform::MakeSerialService({false, temp.Path()});
    serial.BindSerialService(service.get());
    ASSERT_EQ(Publish("reader", "2D Barcode Reader", "SIM0000001", device), platform::kSerialOk);
  }

  uint32_t Publish(const std::string& name, std::string product, std::string serialNumber,
                   std::unique_ptr<platform::IPseudoTerminalPort>& port, uint16_t vendor = 0x0D2A) {
    return platform::CreatePseudoTerminalPort(
        temp.Path(), name, {vendor, 0x0801, std::move(product), std::move(serialNumber)}, port);
  }

  // The bytes the reader end receives, until `count` came or 5 s passed.
  std::vector<uint8_t> ReaderReceives(size_t count) {
    std::vector<uint8_t> got;
    const auto deadline = Clock::now() + 5s;
    while (got.size() < count && Clock::now() < deadline) {
      uint8_t buffer[256];
      const platform::SerialIoResult read = device->Read(buffer, 100);
      if (read.error == platform::kSerialOk) got.insert(got.end(), buffer, buffer + read.bytes);
    }
    return got;
  }

  platform::CTempDirectory temp;
  std::unique_ptr<platform::ISerialService> service;
  std::unique_ptr<platform::IPseudoTerminalPort> device;
  CRecordingObserver observer;
  CSerialTransport serial{nullptr, &observer};
};

TEST_F(SerialTransport, EnumAndFind_ReaderPortsInOrderWithTheirDescriptions) {
  std::unique_ptr<platform::IPseudoTerminalPort> noSerial, questionMark, stranger;
  ASSERT_EQ(Publish("b-plain", "Plain Reader", "", noSerial), platform::kSerialOk);
  ASSERT_EQ(Publish("c-anon", "Anonymous", "?", questionMark), platform::kSerialOk);
  ASSERT_EQ(Publish("a-other", "Modem", "M1", stranger, 0x1234), platform::kSerialOk);

  struct Case {
    int index;
    const char* description;  // null: no such reader
  };
  const Case cases[] = {
      {0, "Plain Reader "},  // an empty serial number still gets its blank
      {1, "Anonymous"},      // "?" means no serial number at all
      {2, "2D Barcode Reader SIM0000001"},
      {3, nullptr},
      {-1, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    std::string description = "untouched";
    EXPECT_EQ(serial.EnumDevices(c.index, &description), c.description != nullptr);
    EXPECT_EQ(description, c.description != nullptr ? c.description : "untouched");
  }

  std::string path;
  EXPECT_EQ(serial.FindDevice(path, "2D Barcode Reader SIM0000001"), 0);
  EXPECT_EQ(path, device->PortPath());
  EXPECT_EQ(serial.FindDevice(path, "Anonymous"), 0);
  EXPECT_EQ(path, questionMark->PortPath());
  path = "kept";
  EXPECT_EQ(serial.FindDevice(path, "2D Barcode Reader"), 1);  // whole text only
  EXPECT_EQ(serial.FindDevice(path, "Modem M1"), 1);           // not a reader's vendor
  EXPECT_EQ(serial.FindDevice(path, ""), 1);
  EXPECT_EQ(path, "kept");
}

TEST_F(SerialTransport, Open_Failures_GiveTheReasonAndAnErrorEntry) {
  CSerialTransport holder(service.get());
  ASSERT_EQ(holder.Open(device->PortPath()), 0);

  struct Case {
    const char* what;
    std::string path;
    uint32_t baudRate;
    uint32_t reason;
  };
  const Case cases[] = {
      {"held by another", device->PortPath(), 115200, platform::kSerialErrorSharingViolation},
      {"refused speed", device->PortPath(), 12345, platform::kSerialErrorInvalidParameter},
      {"no such port", temp.Path() + "/none", 115200, platform::kSerialErrorFileNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    serial.SetBaudRate(c.baudRate);
    EXPECT_EQ(serial.Open(c.path), -1);
    EXPECT_FALSE(serial.IsOpen());
    EXPECT_EQ(serial.LastOpenError(), c.reason);
  }
  ASSERT_EQ(observer.texts.size(), 3u);
  EXPECT_EQ(observer.texts[1].first, kSerialLogError);
  EXPECT_EQ(observer.texts[1].second, "Serial: open at 12345 bit/s FAILED(87)");

  holder.Close();
  serial.SetBaudRate(9600);
  EXPECT_EQ(serial.Open(device->PortPath()), 0);
  EXPECT_EQ(serial.LastOpenError(), platform::kSerialOk);
}

TEST_F(SerialTransport, ClosedTransport_FailsAtOnce) {
  uint8_t byte = 0;
  const uint8_t frame[] = {1, 2};
  EXPECT_EQ(serial.ReadByte(byte, 1000), kTransportNotOpen);
  EXPECT_FALSE(serial.PollInput(0));
  EXPECT_EQ(serial.WriteReports(frame, 2000), 0);
}

TEST_F(SerialTransport, WriteReports_SendsTheFrameAsItIs) {
  ASSERT_EQ(serial.Open(device->PortPath()), 0);
  std::vector<uint8_t> frame(300);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7);
  EXPECT_EQ(serial.WriteReports(frame, 2000), 1);
  EXPECT_EQ(ReaderReceives(frame.size()), frame);
  EXPECT_EQ(serial.WriteReports({}, 2000), 1);  // nothing to send
}

TEST_F(SerialTransport, ReadByte_HandsOutEveryByteThenTimesOut) {
  ASSERT_EQ(serial.Open(device->PortPath()), 0);
  std::vector<uint8_t> sent(600);  // more than one chunk of the receive buffer
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i);
  ASSERT_EQ(device->Write(sent), platform::kSerialOk);
  std::vector<uint8_t> got;
  uint8_t byte = 0;
  while (got.size() < sent.size() && serial.ReadByte(byte, 2000) == kTransportOk) {
    got.push_back(byte);
  }
  EXPECT_EQ(got, sent);
  const auto start = Clock::now();
  EXPECT_EQ(serial.ReadByte(byte, 100), kTransportTimeout);
  EXPECT_GE(Clock::now() - start, 100ms);
  EXPECT_FALSE(serial.PollInput(0));
  EXPECT_TRUE(serial.IsOpen());
}

TEST_F(SerialTransport, PollAndWaitForInput_SeeBytesAtHand) {
  ASSERT_EQ(serial.Open(device->PortPath()), 0);
  EXPECT_FALSE(serial.WaitForInput(20));
  const uint8_t two[] = {0x41, 0x42};
  ASSERT_EQ(device->Write(two), platform::kSerialOk);
  EXPECT_TRUE(serial.PollInput(5000));
  EXPECT_TRUE(serial.WaitForInput(0));
  uint8_t byte = 0;
  EXPECT_EQ(serial.ReadByte(byte, 0), kTransportOk);
  EXPECT_EQ(byte, 0x41);
}

TEST_F(SerialTransport, PortVanishesDuringRead_DisconnectedAtOnceAndClosed) {
  ASSERT_EQ(serial.Open(device->PortPath()), 0);
  std::thread unplug([&] {
    std::this_thread::sleep_for(100ms);
    device->Unplug();
  });
  uint8_t byte = 0;
  const auto start = Clock::now();
  EXPECT_EQ(serial.ReadByte(byte, 30000), kTransportDisconnected);
  EXPECT_LT(Clock::now() - start, 15s);
  unplug.join();
  EXPECT_FALSE(serial.IsOpen());
  EXPECT_EQ(serial.ReadByte(byte, 30000), kTransportNotOpen);
  ASSERT_FALSE(observer.texts.empty());
  EXPECT_EQ(observer.texts.back().second, "Serial: read FAILED(0x48F), closing the port");
  // The port is free for the next open.
  EXPECT_EQ(serial.Open(device->PortPath()), 0);
}

TEST_F(SerialTransport, CancelRead_WakesAWaitingRead) {
  ASSERT_EQ(serial.Open(device->PortPath()), 0);
  std::thread waker([&] {
    std::this_thread::sleep_for(50ms);
    serial.CancelRead();
  });
  uint8_t byte = 0;
  EXPECT_EQ(serial.ReadByte(byte, 30000), 995u);
  waker.join();
  EXPECT_TRUE(serial.IsOpen());
}

}  // namespace
}  // namespace lx2d
