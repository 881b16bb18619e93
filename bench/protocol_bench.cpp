// Software time of the protocol engine against an in-memory reader that
// answers at once: one SetupWrite-sized transaction, and a 640000-byte reply
// in the largest frames.
#include <benchmark/benchmark.h>

#include <vector>

#include "frame_codec.h"
#include "protocol.h"

namespace {

// Wire bytes of a reader frame; payloads may exceed a request's 65535 bytes.
std::vector<uint8_t> ReaderFrame(uint8_t kind, const std::vector<uint8_t>& payload, uint8_t flags) {
  std::vector<uint8_t> body = {0x01, kind};
  body.insert(body.end(), payload.begin(), payload.end());
  body.push_back(flags);
  const uint16_t sum = lx2d::VscpChecksum(body);
  body.push_back(static_cast<uint8_t>(sum >> 8));
  body.push_back(static_cast<uint8_t>(sum));
  std::vector<uint8_t> wire = {lx2d::kStx};
  for (uint8_t byte : body) {
    if (byte == lx2d::kStx || byte == lx2d::kEtx || byte == lx2d::kDle) {
      wire.push_back(lx2d::kDle);
      wire.push_back(byte | lx2d::kEscapeBit);
    } else {
      wire.push_back(byte);
    }
  }
  wire.push_back(lx2d::kEtx);
  return wire;
}

// Answers every request with ACK and a reply of `frames` payloads, sending
// the next reply frame as soon as the host acknowledges the previous one.
// Reply frames are encoded once per sequence number, so the peer's own
// work stays out of the figures.
class CInstantReader final : public lx2d::ITransport {
 public:
  static constexpr size_t kReportPayload = 62;

  CInstantReader(uint8_t replyKind, const std::vector<std::vector<uint8_t>>& frames) {
    lx2d::EncodeControl(0x01, lx2d::kCtlAck, 0, ack_);
    for (size_t i = 0; i < frames.size(); ++i) {
      const uint8_t position = static_cast<uint8_t>((i == 0 ? lx2d::kFlagFirst : 0) |
                                                    (i + 1 == frames.size() ? lx2d::kFlagLast : 0));
      for (uint8_t sequence = 0; sequence < 8; ++sequence) {
        encoded_[sequence].push_back(ReaderFrame(replyKind, frames[i], position | sequence));
      }
    }
  }

  int WriteReports(std::span<const uint8_t> data, uint32_t) override {
    for (uint8_t byte : data) {
      const lx2d::DecodeStatus status = decoder_.Feed(byte);
      if (status == lx2d::DecodeStatus::kFrameAccepted) {
        Queue(ack_);
        next_ = 0;
        SendNext();
      } else if (status == lx2d::DecodeStatus::kControlAccepted &&
                 decoder_.Frame().kind == lx2d::kCtlAck) {
        SendNext();
      }
    }
    return 1;
  }
  uint32_t ReadByte(uint8_t& out, uint32_t) override {
    if (cursor_ == input_.size()) return lx2d::kTransportTimeout;
    out = input_[cursor_++];
    return lx2d::kTransportOk;
  }
  // Input comes in reports of 62 payload bytes, as from a 64-byte HID
  // reader.
  uint32_t ReadReportByte(uint8_t& out, uint32_t timeoutMs, bool& newReport) override {
    newReport = cursor_ % kReportPayload == 0;
    return ReadByte(out, timeoutMs);
  }
  bool PollInput(uint32_t) override { return cursor_ < input_.size(); }
  bool WaitForInput(uint32_t) override { return cursor_ < input_.size(); }

 private:
  void Queue(const std::vector<uint8_t>& bytes) {
    if (cursor_ == input_.size()) {
      input_.clear();
      cursor_ = 0;
    }
    input_.insert(input_.end(), bytes.begin(), bytes.end());
  }
  void SendNext() {
    if (next_ == encoded_[0].size()) return;
    Queue(encoded_[sequence_][next_++]);
    sequence_ = (sequence_ + 1) & lx2d::kFlagSequence;
  }

  lx2d::CFrameDecoder decoder_{lx2d::kAcceptBoth};
  std::vector<uint8_t> ack_;
  std::vector<std::vector<uint8_t>> encoded_[8];  // by sequence number, then frame
  std::vector<uint8_t> input_;
  size_t cursor_ = 0;
  size_t next_ = 0;
  uint8_t sequence_ = 0;
};

class CSilentHost final : public lx2d::IHostMessaging {
 public:
  uint32_t RegisterMessage(std::string_view) override { return 0xC000; }
  bool PostMessage(lx2d::HostWindow, uint32_t, uint64_t, int64_t) override { return true; }
  void MessageBox(std::string_view, std::string_view, uint32_t) override {}
};

void RunTransactions(benchmark::State& state, uint8_t kind, uint8_t replyKind,
                     const std::vector<std::vector<uint8_t>>& frames,
                     const std::vector<uint8_t>& request, size_t replyBytes) {
  CInstantReader reader(replyKind, frames);
  CSilentHost host;
  lx2d::CProtocol engine(reader, host);
  std::lock_guard<lx2d::CCommandMutex> lock(engine.CommandMutex());
  for (auto _ : state) {
    const int result = engine.Transact(kind, request, lx2d::kNoExtension, lx2d::kNoExtension);
    if (result != lx2d::kTransactOk || engine.Reply().length != replyBytes) {
      state.SkipWithError("transaction failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * replyBytes));
}

// A setup write of a few parameter records, answered by RSLT 0.
void BM_SetupWriteTransaction(benchmark::State& state) {
  const std::vector<uint8_t> request = {0x42, 0x01, 0x01, 0x42, 0x02, 0x00, 0x43, 0x81,
                                        0x00, 0x20, 0x44, 0x01, 0x03, 0x45, 0x01, 0x01};
  RunTransactions(state, lx2d::kKindSw, lx2d::kKindRslt, {{0x00}}, request, 1);
}
BENCHMARK(BM_SetupWriteTransaction)->Repetitions(9)->ReportAggregatesOnly(true);

// 640000 bytes in frames of the largest payload a received frame can carry.
void BM_LargestReply640000(benchmark::State& state) {
  const size_t largest = lx2d::kMaxFrameBytes - lx2d::kFullFrameOverhead;
  std::vector<std::vector<uint8_t>> frames;
  for (size_t left = lx2d::kMaxMessageBytes; left > 0; left -= frames.back().size()) {
    std::vector<uint8_t> payload(std::min(left, largest));
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 7);
    frames.push_back(std::move(payload));
  }
  const std::vector<uint8_t> request = {0x01, 0x00};
  RunTransactions(state, lx2d::kKindSr, lx2d::kKindSrp, frames, request, lx2d::kMaxMessageBytes);
}
BENCHMARK(BM_LargestReply640000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
