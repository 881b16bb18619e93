// The VSCP frame record and the protocol's fixed values: framing bytes,
// flag bits, control codes, the kind table and the size limits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace lx2d {

// Bytes with a framing role; every other byte between STX and ETX that has
// one of these values is sent as DLE followed by the value with bit 6 set.
inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEtx = 0x03;
inline constexpr uint8_t kDle = 0x10;
inline constexpr uint8_t kEscapeBit = 0x40;

// True for the bytes that are escaped between STX and ETX.
constexpr bool IsFramingByte(uint8_t byte) { return byte == kStx || byte == kEtx || byte == kDle; }

// True for the bytes that may follow DLE: a framing byte with bit 6 set.
constexpr bool IsEscapedFramingByte(uint8_t byte) {
  return (byte & kEscapeBit) != 0 && IsFramingByte(byte & static_cast<uint8_t>(~kEscapeBit));
}

// Flag byte of a full frame.
inline constexpr uint8_t kFlagLast = 0x40;      // L: last frame of a message
inline constexpr uint8_t kFlagFirst = 0x20;     // F: first frame of a message
inline constexpr uint8_t kFlagError = 0x10;     // E: host's previous exchange failed
inline constexpr uint8_t kFlagRestart = 0x08;   // R: host not yet answered since start-up
inline constexpr uint8_t kFlagSequence = 0x07;  // sequence number 0..7

// Control codes (ASCII control characters).
inline constexpr uint8_t kCtlAbdn = 0x04;  // reader: answer to ABT
inline constexpr uint8_t kCtlRsnd = 0x05;  // host: answer to BUSY without priority
inline constexpr uint8_t kCtlAck = 0x06;   // both: frame accepted
inline constexpr uint8_t kCtlSydn = 0x0C;  // reader: answer to SYNC, or "send again"
inline constexpr uint8_t kCtlNak = 0x15;   // both: frame refused
inline constexpr uint8_t kCtlSync = 0x16;  // host: link handshake at connect
inline constexpr uint8_t kCtlAbt = 0x18;   // host: answer to BUSY with priority
inline constexpr uint8_t kCtlBusy = 0x1B;  // reader: busy sending

// Frame kinds the engine itself names.
inline constexpr uint8_t kKindSr = 0x40;
inline constexpr uint8_t kKindSw = 0x41;
inline constexpr uint8_t kKindCcmd = 0x42;
inline constexpr uint8_t kKindStr = 0x43;
inline constexpr uint8_t kKindSpr = 0x44;
inline constexpr uint8_t kKindSpw = 0x45;
inline constexpr uint8_t kKindSrr = 0x46;
inline constexpr uint8_t kKindCrr = 0x47;
inline constexpr uint8_t kKindStpr = 0x48;
inline constexpr uint8_t kKindStpw = 0x49;
inline constexpr uint8_t kKindCpr = 0x4A;
inline constexpr uint8_t kKindCpw = 0x4B;
inline constexpr uint8_t kKindSrp = 0x50;
inline constexpr uint8_t kKindRslt = 0x51;
inline constexpr uint8_t kKindBcd = 0x60;
inline constexpr uint8_t kKindEvt = 0x61;
inline constexpr uint8_t kKindSbcd = 0x62;
inline constexpr uint8_t kKindBcdex2 = 0x63;
inline constexpr uint8_t kKindBcdex = 0x64;
inline constexpr uint8_t kKindIdr = 0x70;
inline constexpr uint8_t kKindIdta = 0x71;
inline constexpr uint8_t kKindIdrp = 0x72;
inline constexpr uint8_t kKindGirq = 0xF0;
inline constexpr uint8_t kKindGirp = 0xF1;

// Size limits.
inline constexpr size_t kMaxFrameBytes = 71680;      // received frame, STX..ETX, unescaped
inline constexpr size_t kMaxMessageBytes = 640000;   // reassembled reply or report
inline constexpr size_t kMaxRequestPayload = 65535;  // payload of a request the host sends
inline constexpr size_t kFullFrameOverhead = 7;      // STX number kind flags sum sum ETX
inline constexpr size_t kControlFrameBytes = 5;      // STX number code data ETX
inline constexpr uint16_t kNoExtension = 0xFFFF;     // extension value meaning "none"

enum class KindClass : uint8_t { kRequest, kReply, kUnsolicited };

struct KindInfo {
  uint8_t kind;
  KindClass kindClass;
  uint8_t replyKind;  // the reply a request waits for; 0 for other classes
};

// Looks `kind` up in the 30-row kind table: its class and, for a request,
// its reply kind. std::nullopt when the byte is not a frame kind.
std::optional<KindInfo> FindKind(uint8_t kind);

// One decoded frame or one reassembled message.
struct VscpFrame {
  uint8_t number = 0;     // frame number
  uint8_t kind = 0;       // kind byte, or control code
  uint8_t flags = 0;      // flag byte; 0 for a control frame
  uint32_t length = 0;    // payload bytes; 1 for a control frame
  int32_t wireCount = 0;  // bytes read from STX to ETX, escape bytes included
  uint16_t checksum = 0;  // checksum of a full frame as received
  // The payload; holds `length` bytes. It grows on demand, up to
  // kMaxMessageBytes for a reassembled message, and keeps its capacity when
  // the record is reused so a busy link does not allocate per frame.
  std::vector<uint8_t> payload;
};

}  // namespace lx2d
