#include "scripted_reader.h"

#include <chrono>
#include <cstdio>

namespace lx2d::testing {
namespace {

// How long the peer waits for a frame the script expects before it reports
// the host silent; generous for a loaded machine.
constexpr auto kExpectWait = std::chrono::seconds(10);

std::string Describe(const VscpFrame& frame) {
  char text[96];
  std::snprintf(text, sizeof text, "kind 0x%02X number 0x%02X flags 0x%02X data 0x%02X", frame.kind,
                frame.number, frame.flags, frame.payload.empty() ? 0 : frame.payload[0]);
  return text;
}

bool Matches(const ExpectedFrame& expected, const VscpFrame& frame) {
  return expected.kind == frame.kind && (expected.flags < 0 || expected.flags == frame.flags) &&
         (expected.number < 0 || expected.number == frame.number) &&
         (expected.data < 0 || (frame.length == 1 && expected.data == frame.payload[0]));
}

}  // namespace

std::vector<uint8_t> ControlBytes(uint8_t code, uint8_t number, uint8_t data) {
  std::vector<uint8_t> out;
  EncodeControl(number, code, data, out);
  return out;
}

std::vector<uint8_t> FrameBytes(uint8_t kind, std::span<const uint8_t> payload, uint8_t flags,
                                uint8_t number) {
  // Built here rather than with EncodeFrame: the reader's frames may carry
  // more than a request's 65535 bytes.
  std::vector<uint8_t> body = {number, kind};
  body.insert(body.end(), payload.begin(), payload.end());
  body.push_back(flags);
  const uint16_t sum = VscpChecksum(body);
  body.push_back(static_cast<uint8_t>(sum >> 8));
  body.push_back(static_cast<uint8_t>(sum));
  std::vector<uint8_t> out = {kStx};
  for (uint8_t byte : body) {
    if (IsFramingByte(byte)) {
      out.push_back(kDle);
      out.push_back(byte | kEscapeBit);
    } else {
      out.push_back(byte);
    }
  }
  out.push_back(kEtx);
  return out;
}

std::vector<uint8_t> CorruptFrameBytes(uint8_t kind, std::span<const uint8_t> payload,
                                       uint8_t flags, uint8_t number) {
  std::vector<uint8_t> out = FrameBytes(kind, payload, flags, number);
  // The flag byte sits before the two checksum bytes; none of the values
  // used here needs escaping, so flipping a sequence bit breaks the sum.
  out[out.size() - 4] ^= 0x04;
  return out;
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const std::vector<uint8_t>& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

PeerStep Expect(ExpectedFrame frame, std::vector<uint8_t> answer, int delayMs) {
  return PeerStep{frame, std::move(answer), delayMs};
}

PeerStep Send(std::vector<uint8_t> bytes, int delayMs) {
  return PeerStep{std::nullopt, std::move(bytes), delayMs};
}

CScriptedReader::~CScriptedReader() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void CScriptedReader::Start(std::vector<PeerStep> script) {
  if (thread_.joinable()) thread_.join();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = true;
  }
  thread_ = std::thread([this, steps = std::move(script)]() mutable { Run(std::move(steps)); });
}

void CScriptedReader::Run(std::vector<PeerStep> script) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (size_t i = 0; i < script.size() && !stopping_; ++i) {
    const PeerStep& step = script[i];
    if (step.expect) {
      const bool arrived = changed_.wait_for(
          lock, kExpectWait, [this] { return stopping_ || consumed_ < written_.size(); });
      if (stopping_) break;
      if (!arrived) {
        errors_.push_back("step " + std::to_string(i) + ": host sent nothing");
        break;
      }
      const VscpFrame& frame = written_[consumed_++];
      if (!Matches(*step.expect, frame)) {
        errors_.push_back("step " + std::to_string(i) + ": host sent " + Describe(frame));
        break;
      }
    }
    if (step.delayMs > 0) {
      changed_.wait_for(lock, std::chrono::milliseconds(step.delayMs),
                        [this] { return stopping_; });
    }
    input_.insert(input_.end(), step.send.begin(), step.send.end());
    changed_.notify_all();
  }
  running_ = false;
  changed_.notify_all();
}

bool CScriptedReader::WaitDone(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !running_; });
}

std::vector<std::string> CScriptedReader::Errors() {
  std::lock_guard<std::mutex> lock(mutex_);
  return errors_;
}

std::vector<VscpFrame> CScriptedReader::Written() {
  std::lock_guard<std::mutex> lock(mutex_);
  return written_;
}

size_t CScriptedReader::Pending() {
  std::lock_guard<std::mutex> lock(mutex_);
  return input_.size();
}

int CScriptedReader::WriteReports(std::span<const uint8_t> data, uint32_t /*timeoutMs*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (uint8_t byte : data) {
    const DecodeStatus status = decoder_.Feed(byte);
    if (status == DecodeStatus::kFrameAccepted || status == DecodeStatus::kControlAccepted) {
      written_.push_back(decoder_.Frame());
    }
  }
  changed_.notify_all();
  return 1;
}

bool CScriptedReader::WaitForInputLocked(std::unique_lock<std::mutex>& lock, uint32_t timeoutMs) {
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [this] { return !input_.empty(); });
}

uint32_t CScriptedReader::ReadByte(uint8_t& out, uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!WaitForInputLocked(lock, timeoutMs)) return kTransportTimeout;
  out = input_.front();
  input_.pop_front();
  return kTransportOk;
}

bool CScriptedReader::PollInput(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return WaitForInputLocked(lock, timeoutMs);
}

bool CScriptedReader::WaitForInput(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return WaitForInputLocked(lock, timeoutMs);
}

}  // namespace lx2d::testing
