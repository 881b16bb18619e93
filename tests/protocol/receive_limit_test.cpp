// Receive limits hold however the reader paces its bytes: a reader that
// sends one byte per input report, on a clock the test controls, cannot
// stretch a receive past its limit by more than one report interval, and a
// silent reader not at all.
#include <gtest/gtest.h>

#include <vector>

#include "protocol.h"
#include "recording_host.h"

namespace lx2d::testing {
namespace {

// One byte per input report, a report every `intervalMs` on the shared
// clock; a read that would wait past its time-out moves the clock by the
// time-out instead. After `bytes` the reader falls silent.
class CTricklingReader final : public ITransport, public ILinkClock {
 public:
  CTricklingReader(std::vector<uint8_t> bytes, uint64_t intervalMs)
      : bytes_(std::move(bytes)), intervalMs_(intervalMs), nextReportAt_(intervalMs) {}

  uint64_t NowMs() override { return now_; }

  uint32_t ReadReportByte(uint8_t& out, uint32_t timeoutMs, bool& newReport) override {
    newReport = true;
    waits.push_back(timeoutMs);
    if (next_ == bytes_.size() || nextReportAt_ > now_ + timeoutMs) {
      now_ += timeoutMs;
      return kTransportTimeout;
    }
    now_ = nextReportAt_;
    nextReportAt_ += intervalMs_;
    out = bytes_[next_++];
    return kTransportOk;
  }
  uint32_t ReadByte(uint8_t& out, uint32_t timeoutMs) override {
    bool newReport = false;
    return ReadReportByte(out, timeoutMs, newReport);
  }
  int WriteReports(std::span<const uint8_t>, uint32_t) override { return 1; }
  bool PollInput(uint32_t) override { return next_ < bytes_.size(); }
  bool WaitForInput(uint32_t) override { return next_ < bytes_.size(); }

  size_t Consumed() const { return next_; }
  std::vector<uint32_t> waits;

 private:
  std::vector<uint8_t> bytes_;
  uint64_t intervalMs_;
  uint64_t nextReportAt_;
  size_t next_ = 0;
  uint64_t now_ = 0;
};

std::vector<uint8_t> Repeat(uint8_t first, uint8_t rest, size_t count) {
  std::vector<uint8_t> bytes(count, rest);
  bytes[0] = first;
  return bytes;
}

TEST(ReceiveLimitTest, TrickledOrSilentReader_EndsWithinOneReportIntervalOfTheLimit) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    uint64_t intervalMs;
    uint32_t timeoutMs;
    uint64_t limitMs;
  };
  const Case cases[] = {
      // A frame that never ends gets four times the time-out.
      {"endless frame, a byte per 30 ms", Repeat(kStx, 'A', 1000), 30, 100, 400},
      {"endless frame, a byte per 49 ms", Repeat(kStx, 'A', 1000), 49, 500, 2000},
      {"endless frame, a byte per 5 ms", Repeat(kStx, 'A', 5000), 5, 100, 400},
      // Raw bytes end 50 ms after the receive began.
      {"raw bytes, one per 7 ms", Repeat('r', 'r', 1000), 7, 2000, 50},
      {"frame begun, then silence", Repeat(kStx, 'A', 3), 20, 100, 400},
      {"silence", {}, 10, 120, 120},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    CTricklingReader reader(entry.bytes, entry.intervalMs);
    CRecordingHost host;
    CProtocol engine(reader, host, nullptr, &reader);
    VscpFrame record;
    EXPECT_EQ(engine.ReceiveFrame(kAcceptFull, record, entry.timeoutMs), kReceiveTimeout);
    EXPECT_GT(reader.NowMs(), entry.limitMs);
    EXPECT_LE(reader.NowMs(), entry.limitMs + entry.intervalMs);
    for (uint32_t wait : reader.waits) EXPECT_LE(wait, kByteWaitMs);
  }
}

TEST(ReceiveLimitTest, SilentReader_LastWaitCutToTheLimit) {
  CTricklingReader reader({}, 10);
  CRecordingHost host;
  CProtocol engine(reader, host, nullptr, &reader);
  VscpFrame record;
  EXPECT_EQ(engine.ReceiveFrame(kAcceptControl, record, 120), kReceiveTimeout);
  EXPECT_EQ(reader.waits, (std::vector<uint32_t>{50, 50, 21}));
  EXPECT_EQ(reader.NowMs(), 121u);
}

TEST(ReceiveLimitTest, TrickledReplyAfterAck_TransactionEndsOnTime) {
  // ACK, then a reply frame that never ends, a byte every 40 ms: the reply
  // wait is four times the reply time-out of 100 ms, counted from the ACK.
  std::vector<uint8_t> bytes;
  EncodeControl(1, kCtlAck, 0, bytes);
  const size_t ackBytes = bytes.size();
  const std::vector<uint8_t> endless = Repeat(kStx, 'A', 1000);
  bytes.insert(bytes.end(), endless.begin(), endless.end());
  CTricklingReader reader(bytes, 40);
  CRecordingHost host;
  CProtocol engine(reader, host, nullptr, &reader);
  engine.SetReplyTimeout(100);
  const std::vector<uint8_t> request = {0x42, 0x01, 0x00};
  EXPECT_EQ(engine.Transact(kKindSr, request, kNoExtension, kNoExtension), kTransactNoAnswer);
  const uint64_t ackAt = 40 * ackBytes;
  EXPECT_GT(reader.NowMs(), ackAt + 400);
  EXPECT_LE(reader.NowMs(), ackAt + 400 + 40);
}

}  // namespace
}  // namespace lx2d::testing
