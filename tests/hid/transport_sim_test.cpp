// CUsbHid and the protocol engine against the simulated reader over a
// virtual HID device.
#include <gtest/gtest.h>

#include <chrono>

#include "frame_codec.h"
#include "in_process_reader.h"
#include "protocol.h"

namespace lx2d::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::vector<uint8_t> Payload(const VscpFrame& frame) {
  return {frame.payload.begin(), frame.payload.begin() + frame.length};
}

class TransportSim : public ::testing::Test {
 protected:
  void Start(sim::LinkFaults faults = {}) {
    reader = std::make_unique<CInProcessReader>(faults);
    ASSERT_EQ(reader->created, platform::kHidOk);
    hid = std::make_unique<CUsbHid>(kReaderVendorId, kReaderProductId, reader->service.get());
    ASSERT_EQ(hid->FindDevice(path, "2D Barcode Reader SIM0000001"), 0);
    ASSERT_EQ(hid->Open(path), 0);
    protocol = std::make_unique<CProtocol>(*hid, host);
  }

  void TearDown() override {
    protocol.reset();
    hid.reset();
    reader.reset();
  }

  // Reads bytes from the transport into the decoder until a frame of an
  // accepted class completes; false after `limit`.
  bool ReadFrame(CFrameDecoder& decoder, std::chrono::milliseconds limit = 5s) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      uint8_t byte;
      if (hid->ReadByte(byte, 50) != kTransportOk) continue;
      const DecodeStatus status = decoder.Feed(byte);
      if (status == DecodeStatus::kFrameAccepted || status == DecodeStatus::kControlAccepted) {
        return true;
      }
    }
    return false;
  }

  CQuietHost host;
  std::unique_ptr<CInProcessReader> reader;
  std::unique_ptr<CUsbHid> hid;
  std::unique_ptr<CProtocol> protocol;
  std::string path;
};

TEST_F(TransportSim, Open_ReaderFoundWithReportId2AndSize64) {
  Start();
  EXPECT_EQ(
      path,
      "\\\\?\\hid#vid_0d2a&pid_0801&col02#vhid&reader#{4d1e55b2-f16f-11cf-88cb-001111000030}");
  EXPECT_EQ(hid->ReportId(), 2);
  EXPECT_EQ(hid->ReportSize(), 64);
  // Held open here, the reader is neither listed nor opened a second time.
  EXPECT_FALSE(hid->EnumDevices(0, nullptr));
  CUsbHid other(kReaderVendorId, kReaderProductId, reader->service.get());
  EXPECT_EQ(other.Open(path), -1);
}

TEST_F(TransportSim, CodecDriven_RequestAckReplyAck) {
  Start();
  std::vector<uint8_t> wire;
  EncodeFrame(1, kKindSw, kNoExtension, kNoExtension, std::vector<uint8_t>{0x72, 0x43, 0x02},
              kFlagFirst | kFlagLast | kFlagRestart, wire);
  hid->WriteReports(wire, 2000);
  CFrameDecoder decoder(kAcceptControl);
  ASSERT_TRUE(ReadFrame(decoder));
  EXPECT_EQ(decoder.Frame().kind, kCtlAck);
  EXPECT_EQ(decoder.Frame().number, 1);
  decoder.SetAccept(kAcceptFull);
  ASSERT_TRUE(ReadFrame(decoder));
  const VscpFrame reply = decoder.Frame();
  EXPECT_EQ(reply.kind, kKindRslt);
  EXPECT_EQ(Payload(reply), std::vector<uint8_t>{0});
  EncodeControl(reply.number, kCtlAck, 0, wire);
  hid->WriteReports(wire, 2000);
}

TEST_F(TransportSim, Protocol_SyncWriteReadAndFactoryDefaults) {
  Start();
  std::lock_guard lock(protocol->CommandMutex());
  EXPECT_EQ(protocol->ControlExchange(kCtlSync, 0, kCtlSydn), 0);
  // A long text record spans several reports.
  std::vector<uint8_t> prefix = {0x60, 0xC0, 0x00, 100};
  for (int i = 0; i < 100; ++i) prefix.push_back(static_cast<uint8_t>('A' + i % 26));
  ASSERT_EQ(protocol->Transact(kKindSw, prefix, kNoExtension, kNoExtension), kTransactOk);
  EXPECT_EQ(Payload(protocol->Reply()), std::vector<uint8_t>{0});
  ASSERT_EQ(
      protocol->Transact(kKindSr, std::vector<uint8_t>{0x60, 0xC0}, kNoExtension, kNoExtension),
      kTransactOk);
  EXPECT_EQ(protocol->Reply().kind, kKindSrp);
  EXPECT_EQ(Payload(protocol->Reply()), prefix);
  ASSERT_EQ(
      protocol->Transact(kKindCcmd, std::vector<uint8_t>{0x40, 0x02}, kNoExtension, kNoExtension),
      kTransactOk);
  ASSERT_EQ(
      protocol->Transact(kKindSr, std::vector<uint8_t>{0x60, 0xC0}, kNoExtension, kNoExtension),
      kTransactOk);
  EXPECT_EQ(Payload(protocol->Reply()), (std::vector<uint8_t>{0x60, 0xC0, 0x00, 0x00}));
}

TEST_F(TransportSim, Protocol_FaultsOfTheReaderHandledByTheLink) {
  Start({.busy = 1, .sydn = 0, .nak = 1, .duplicateReplies = true, .replyFrameBytes = 3});
  std::lock_guard lock(protocol->CommandMutex());
  // BUSY: RSND, the waiting report is taken, the request goes again; then
  // NAK: sent once more; the split, doubled reply is joined once.
  ASSERT_EQ(protocol->Transact(kKindStr, std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7}, kNoExtension,
                               kNoExtension),
            kTransactOk);
  EXPECT_EQ(Payload(protocol->Reply()), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7}));
  ASSERT_EQ(protocol->Messages().Records().size(), 1u);
  EXPECT_EQ(protocol->Messages().Records()[0].kind, kKindBcd);
}

TEST_F(TransportSim, Protocol_UnsolicitedBarcodeReceivedAndBuffered) {
  Start();
  reader->Command("bcd 4711");
  std::lock_guard lock(protocol->CommandMutex());
  const auto end = Clock::now() + 5s;
  while (protocol->Messages().Records().empty() && Clock::now() < end) {
    if (hid->PollInput(10)) protocol->ReceiveAndDispatch();
  }
  ASSERT_EQ(protocol->Messages().Records().size(), 1u);
  EXPECT_EQ(protocol->Messages().Records()[0].data,
            (std::vector<uint8_t>{0, 4, '4', '7', '1', '1'}));
}

TEST_F(TransportSim, Unplug_DuringARead_DisconnectedThenClosed) {
  Start();
  // The unplug must come while the read waits; a read that starts after it
  // fails at once instead (1460, closed), and then the attempt is repeated.
  uint32_t result = kTransportTimeout;
  for (int attempt = 0; attempt < 3 && result != kTransportDisconnected; ++attempt) {
    if (!hid->IsOpen()) ASSERT_EQ(hid->Open(path), 0);
    std::thread unplug([this] {
      std::this_thread::sleep_for(200ms);
      reader->Command("unplug");
    });
    uint8_t byte;
    const auto start = Clock::now();
    result = hid->ReadByte(byte, 10000);
    unplug.join();
    EXPECT_LT(Clock::now() - start, 8s);
  }
  ASSERT_EQ(result, kTransportDisconnected);
  EXPECT_TRUE(hid->IsOpen());
  uint8_t byte;
  EXPECT_EQ(hid->ReadByte(byte, 100), kTransportTimeout);  // failed at once: closed
  EXPECT_FALSE(hid->IsOpen());
  EXPECT_EQ(hid->ReadByte(byte, 100), kTransportNotOpen);
  // The reader takes a new connection.
  EXPECT_EQ(hid->Open(path), 0);
}

}  // namespace
}  // namespace lx2d::test
