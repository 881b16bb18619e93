// The reader's side of the VSCP link: it takes the bytes the host sends,
// acknowledges request frames, answers them with their reply kinds, answers
// SYNC with SYDN, and sends unsolicited reports and raw data on command.
// Faults can be injected for tests and demos.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "frame_codec.h"
#include "parameter_table.h"

namespace lx2d::sim {

// Injected faults. Counts apply to the next requests in arrival order; a
// request meets at most one of them, tested in the order below.
struct LinkFaults {
  int busy = 0;                   // answered with BUSY (a BCD report waits for RSND)
  int sydn = 0;                   // answered with SYDN
  int nak = 0;                    // answered with NAK
  int dropAcks = 0;               // not acknowledged and not answered, as if lost
  uint32_t ackDelayMs = 0;        // before each ACK
  uint32_t replyDelayMs = 0;      // between a request's ACK and its reply
  bool duplicateReplies = false;  // every reply frame is sent twice
  bool ignoreSync = false;        // SYNC goes unanswered, as from a reader that hangs
  size_t replyFrameBytes = 0;     // replies split into frames of this payload size; 0: one frame
  uint32_t answerAfterMs = 0;     // what the host sends this long from the link's start is
                                  // ignored, as by a reader still coming up
};

// Where the link's output goes: whole wire byte sequences (a frame, or a
// chunk of raw data) and pauses.
class ILinkOutput {
 public:
  virtual ~ILinkOutput() = default;
  virtual void Send(std::span<const uint8_t> bytes) = 0;
  virtual void Pause(uint32_t ms) = 0;
};

class CReaderLink {
 public:
  // `record` (may be null) receives one JSON object per request frame.
  CReaderLink(ILinkOutput& output, LinkFaults faults, std::ostream* record);

  // Feeds bytes the host sent (the payload of its output reports).
  void Receive(std::span<const uint8_t> bytes);

  // The host went away: a frame it was sending is forgotten.
  void Disconnected();

  // Unsolicited messages.
  void SendReport(uint8_t kind, std::span<const uint8_t> payload);
  void SendBarcode(uint8_t kind, std::string_view text);  // BCD or SBCD: length, data
  void SendRaw(std::span<const uint8_t> bytes);

  const CParameterTable& Parameters() const { return parameters_; }
  int RequestsSeen() const { return requests_; }
  int AcksSeen() const { return acks_; }
  int NaksSeen() const { return naks_; }

 private:
  void OnRequest(const VscpFrame& frame);
  void OnControl(const VscpFrame& frame);
  void Reply(const VscpFrame& request, uint8_t kind, std::span<const uint8_t> payload);
  void SendFrames(uint8_t number, uint8_t kind, uint16_t extension1, uint16_t extension2,
                  std::span<const uint8_t> payload, bool isReply);
  void SendControl(uint8_t number, uint8_t code, uint8_t data);
  void Record(const VscpFrame& frame);

  ILinkOutput& output_;
  LinkFaults faults_;
  std::chrono::steady_clock::time_point deafUntil_;
  std::ostream* record_;
  CFrameDecoder decoder_{kAcceptBoth};
  CParameterTable parameters_;
  uint8_t txSequence_ = 0;
  std::vector<uint8_t> pendingReport_;  // the BCD payload a BUSY announced
  std::vector<uint8_t> wire_;
  int requests_ = 0;
  int acks_ = 0;
  int naks_ = 0;
};

// The name of a frame kind for records ("SW", "GIRQ"); "x%02x" when unknown.
std::string KindName(uint8_t kind);

}  // namespace lx2d::sim
