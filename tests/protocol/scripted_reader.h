// A scripted reader: a fake transport whose other end runs on a thread of its
// own and follows a table of steps. Each step may wait for the host to send
// a frame of a given kind (and flags, number, data byte), then pauses and
// hands bytes to the host: acknowledgements, replies, reports, raw text,
// corrupt frames, or nothing at all (a lost frame).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "frame_codec.h"
#include "transport.h"
#include "vscp_frame.h"

namespace lx2d::testing {

// A frame the host is expected to send; -1 matches any value.
struct ExpectedFrame {
  uint8_t kind;  // kind byte or control code
  int flags = -1;
  int number = -1;
  int data = -1;  // data byte of a control frame
};

struct PeerStep {
  std::optional<ExpectedFrame> expect;  // wait for this host frame first
  std::vector<uint8_t> send;            // then hand these wire bytes to the host
  int delayMs = 0;                      // after this pause
};

// Wire bytes the peer sends.
std::vector<uint8_t> ControlBytes(uint8_t code, uint8_t number = 0, uint8_t data = 0);
std::vector<uint8_t> FrameBytes(uint8_t kind, std::span<const uint8_t> payload, uint8_t flags,
                                uint8_t number = 0);
// A frame whose checksum does not match its contents.
std::vector<uint8_t> CorruptFrameBytes(uint8_t kind, std::span<const uint8_t> payload,
                                       uint8_t flags, uint8_t number = 0);
std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts);

// Shorthands for script rows.
PeerStep Expect(ExpectedFrame frame, std::vector<uint8_t> answer = {}, int delayMs = 0);
PeerStep Send(std::vector<uint8_t> bytes, int delayMs = 0);

class CScriptedReader final : public ITransport {
 public:
  CScriptedReader() = default;
  ~CScriptedReader() override;

  // Runs `script` on the peer's thread (after any script still running).
  void Start(std::vector<PeerStep> script);

  // Waits until the script has run to its end; false after `ms`.
  bool WaitDone(int ms);

  // Mismatches between the script and what the host sent.
  std::vector<std::string> Errors();

  // Every frame the host has written so far, decoded.
  std::vector<VscpFrame> Written();

  // Input bytes the host has not read yet.
  size_t Pending();

  int WriteReports(std::span<const uint8_t> data, uint32_t timeoutMs) override;
  uint32_t ReadByte(uint8_t& out, uint32_t timeoutMs) override;
  bool PollInput(uint32_t timeoutMs) override;
  bool WaitForInput(uint32_t timeoutMs) override;

 private:
  void Run(std::vector<PeerStep> script);
  bool WaitForInputLocked(std::unique_lock<std::mutex>& lock, uint32_t timeoutMs);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<uint8_t> input_;       // bytes on their way to the host
  std::vector<VscpFrame> written_;  // frames the host sent
  size_t consumed_ = 0;             // frames of written_ the script has looked at
  std::vector<std::string> errors_;
  bool running_ = false;
  bool stopping_ = false;
  CFrameDecoder decoder_{kAcceptBoth};
  std::thread thread_;
};

}  // namespace lx2d::testing
