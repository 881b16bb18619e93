// Feeds arbitrary input reports through the engine's receive path, as the
// receive thread runs it (any kind expected), and checks what it buffers.
// Input: a first byte choosing the link state, then reports, each a count
// byte followed by that many payload bytes (at most 62, as in a 64-byte
// HID report). Time is simulated: a read that finds no input takes its
// whole time-out, every byte read takes 1 ms.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>

#include "protocol.h"

namespace {

constexpr size_t kReportPayload = 62;

class CFuzzClock final : public lx2d::ILinkClock {
 public:
  uint64_t NowMs() override { return now; }
  uint64_t now = 0;
};

class CFuzzTransport final : public lx2d::ITransport {
 public:
  CFuzzTransport(CFuzzClock& clock, const uint8_t* data, size_t size, bool leadingAck)
      : clock_(clock) {
    if (leadingAck) input_ = {lx2d::kStx, 0x01, lx2d::kCtlAck, 0x00, lx2d::kEtx};
    while (size > 0) {
      const size_t count = std::min<size_t>({data[0], kReportPayload, size - 1});
      input_.insert(input_.end(), data + 1, data + 1 + count);
      data += 1 + count;
      size -= 1 + count;
    }
  }
  int WriteReports(std::span<const uint8_t>, uint32_t) override { return 1; }
  uint32_t ReadByte(uint8_t& out, uint32_t timeoutMs) override {
    if (input_.empty()) {
      clock_.now += timeoutMs + 1;
      return lx2d::kTransportTimeout;
    }
    clock_.now += 1;
    out = input_.front();
    input_.pop_front();
    return lx2d::kTransportOk;
  }
  bool PollInput(uint32_t) override { return !input_.empty(); }
  bool WaitForInput(uint32_t) override { return !input_.empty(); }
  size_t Remaining() const { return input_.size(); }

 private:
  CFuzzClock& clock_;
  std::deque<uint8_t> input_;
};

class CQuietHost final : public lx2d::IHostMessaging {
 public:
  uint32_t RegisterMessage(std::string_view) override { return 0xC000; }
  bool PostMessage(lx2d::HostWindow, uint32_t, uint64_t, int64_t) override { return true; }
  void MessageBox(std::string_view, std::string_view, uint32_t) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  CFuzzClock clock;
  // Odd modes start from a link where the reader has answered once (R
  // clear), so the sequence test runs too.
  const bool answered = (mode & 1) != 0;
  CFuzzTransport transport(clock, data + 1, size - 1, answered);
  CQuietHost host;
  lx2d::CProtocol engine(transport, host, nullptr, &clock);
  std::lock_guard<lx2d::CCommandMutex> lock(engine.CommandMutex());
  if (answered && engine.ControlExchange(lx2d::kCtlSync, 0, lx2d::kCtlAck) != 0) std::abort();
  while (transport.Remaining() > 0) {
    const size_t before = transport.Remaining();
    engine.ReceiveAndDispatch();
    if (transport.Remaining() >= before) std::abort();  // no progress: it would hang
  }
  size_t stored = engine.RawData().size();
  for (const lx2d::TStructVscpBuffer& record : engine.Messages().Records()) {
    if (record.length < 0 || static_cast<size_t>(record.length) != record.data.size() ||
        record.data.size() > lx2d::kMaxMessageBytes) {
      std::abort();
    }
    stored += record.data.size();
  }
  // Nothing is invented: everything buffered came from the input.
  if (stored > size) std::abort();
  return 0;
}
