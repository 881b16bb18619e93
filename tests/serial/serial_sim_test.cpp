// CSerialTransport and the protocol engine against the simulated reader on
// a pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>

#include "in_process_reader.h"
#include "in_process_serial_reader.h"
#include "protocol.h"
#include "serial_transport.h"

namespace lx2d::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::vector<uint8_t> Payload(const VscpFrame& frame) {
  return {frame.payload.begin(), frame.payload.begin() + frame.length};
}

class SerialSim : public ::testing::Test {
 protected:
  void Start(sim::LinkFaults faults = {}) {
    reader = std::make_unique<CInProcessSerialReader>(faults);
    ASSERT_EQ(reader->created, platform::kSerialOk);
    serial = std::make_unique<CSerialTransport>(reader->service.get());
    ASSERT_EQ(serial->FindDevice(path, "2D Barcode Reader SIM0000001"), 0);
    ASSERT_EQ(serial->Open(path), 0);
    protocol = std::make_unique<CProtocol>(*serial, host);
  }

  void TearDown() override {
    protocol.reset();
    serial.reset();
    reader.reset();
  }

  CQuietHost host;
  std::unique_ptr<CInProcessSerialReader> reader;
  std::unique_ptr<CSerialTransport> serial;
  std::unique_ptr<CProtocol> protocol;
  std::string path;
};

TEST_F(SerialSim, Protocol_SyncWriteAndReadBack) {
  Start();
  EXPECT_EQ(path, reader->port->PortPath());
  std::lock_guard lock(protocol->CommandMutex());
  EXPECT_EQ(protocol->ControlExchange(kCtlSync, 0, kCtlSydn), 0);
  // A record longer than the transport's receive chunk comes back whole.
  std::vector<uint8_t> prefix = {0x60, 0xC0, 0x01, 0x2C};
  for (int i = 0; i < 300; ++i) prefix.push_back(static_cast<uint8_t>('A' + i % 26));
  ASSERT_EQ(protocol->Transact(kKindSw, prefix, kNoExtension, kNoExtension), kTransactOk);
  EXPECT_EQ(Payload(protocol->Reply()), std::vector<uint8_t>{0});
  ASSERT_EQ(
      protocol->Transact(kKindSr, std::vector<uint8_t>{0x60, 0xC0}, kNoExtension, kNoExtension),
      kTransactOk);
  EXPECT_EQ(protocol->Reply().kind, kKindSrp);
  EXPECT_EQ(Payload(protocol->Reply()), prefix);
}

TEST_F(SerialSim, Protocol_FaultsOfTheReaderHandledByTheLink) {
  Start({.busy = 1, .sydn = 0, .nak = 1, .duplicateReplies = true, .replyFrameBytes = 3});
  std::lock_guard lock(protocol->CommandMutex());
  ASSERT_EQ(protocol->Transact(kKindStr, std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7}, kNoExtension,
                               kNoExtension),
            kTransactOk);
  EXPECT_EQ(Payload(protocol->Reply()), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7}));
}

TEST_F(SerialSim, ReceiveThread_BuffersAnUnsolicitedBarcode) {
  Start();
  ASSERT_TRUE(protocol->StartReceiveThread());
  reader->Command("bcd 4711");
  const auto end = Clock::now() + 10s;
  bool buffered = false;
  while (!buffered && Clock::now() < end) {
    std::this_thread::sleep_for(10ms);
    std::lock_guard lock(protocol->CommandMutex());
    buffered = !protocol->Messages().Records().empty();
  }
  protocol->StopReceiveThread();
  ASSERT_TRUE(buffered);
  EXPECT_EQ(protocol->Messages().Records()[0].data,
            (std::vector<uint8_t>{0, 4, '4', '7', '1', '1'}));
}

TEST_F(SerialSim, PortVanishesMidTransaction_FailsWithoutWaitingOutTheRetries) {
  // The reader never acknowledges, so the transaction would send three
  // times and wait 5 s for each ACK; the port goes away during the first
  // wait.
  Start({.dropAcks = 1000});
  protocol->SetReplyTimeout(5000);
  std::lock_guard lock(protocol->CommandMutex());
  std::thread unplug([this] {
    std::this_thread::sleep_for(100ms);
    reader->Command("unplug");
  });
  const auto start = Clock::now();
  const int result = protocol->Transact(kKindSw, std::vector<uint8_t>{0x72, 0x43, 0x02},
                                        kNoExtension, kNoExtension);
  const auto took = Clock::now() - start;
  unplug.join();
  EXPECT_EQ(result, kTransactNoAnswer);
  EXPECT_FALSE(serial->IsOpen());
  EXPECT_LT(took, 10s);
  // The next request fails at once; the reader is back for a new open.
  EXPECT_EQ(protocol->Transact(kKindSw, std::vector<uint8_t>{0x72, 0x43, 0x02}, kNoExtension,
                               kNoExtension),
            kTransactNoAnswer);
  EXPECT_EQ(serial->Open(path), 0);
}

}  // namespace
}  // namespace lx2d::test
