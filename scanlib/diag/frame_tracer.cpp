#include "frame_tracer.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

namespace lx2d {
namespace {

struct TraceName {
  uint8_t code;
  std::string_view text;
  bool control;
};

// Names are padded as the spy window has always shown them.
constexpr std::array<TraceName, 36> kTraceNames = {{
    {0x04, "ABDN", true},   {0x05, "RSND", true},   {0x06, "ACK ", true},   {0x0C, "SYDN", true},
    {0x15, "NAK ", true},   {0x16, "SYNC", true},   {0x18, "ABT ", true},   {0x1B, "BUSY", true},
    {0x40, "SR  ", false},  {0x41, "SW  ", false},  {0x42, "CCMD", false},  {0x43, "STR ", false},
    {0x44, "SPR ", false},  {0x45, "SPW ", false},  {0x46, "SRR ", false},  {0x47, "CRR ", false},
    {0x48, "STPR ", false}, {0x49, "STPW ", false}, {0x4A, "CPR ", false},  {0x4B, "CPW ", false},
    {0x50, "SRP ", false},  {0x51, "RSLT", false},  {0x53, "STRP", false},  {0x54, "SPRP", false},
    {0x55, "SRRP ", false}, {0x56, "CRRP", false},  {0x57, "STPRP", false}, {0x58, "CPRP", false},
    {0x60, "BCD ", false},  {0x61, "EVT ", false},  {0x62, "SBCD", false},  {0x63, "BCDEX2", false},
    {0x64, "BCDEX", false}, {0x70, "IDR ", false},  {0x71, "IDTA", false},  {0x72, "IDRP", false},
}};

const TraceName* FindTraceName(uint8_t code) {
  for (const TraceName& name : kTraceNames) {
    if (name.code == code) return &name;
  }
  return nullptr;
}

// Appends "%02X " of one byte.
void AppendHex(std::string& line, uint8_t byte) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  line.push_back(kDigits[byte >> 4]);
  line.push_back(kDigits[byte & 0x0F]);
  line.push_back(' ');
}

}  // namespace

std::string TraceKindName(uint8_t kind) {
  if (const TraceName* name = FindTraceName(kind)) return std::string(name->text);
  char text[8];
  std::snprintf(text, sizeof text, "x%02x?", kind);
  return text;
}

FrameTrace TraceFrame(const VscpFrame& frame, TraceDirection direction) {
  const TraceName* name = FindTraceName(frame.kind);
  const bool control = name != nullptr && name->control;
  const bool sent = direction == TraceDirection::kSent;

  std::string body = sent ? "Tx: (" : "Rx: (";
  body += TraceKindName(frame.kind);
  body += ") 02 ";
  AppendHex(body, frame.number);
  AppendHex(body, frame.kind);

  FrameTrace trace;
  if (control) {
    AppendHex(body, frame.payload.empty() ? 0 : frame.payload[0]);
    body += "03";
    trace.line = "      " + body;
    trace.colour = sent ? kTraceControlSent : kTraceControlReceived;
    return trace;
  }

  const size_t shown = std::min<size_t>(frame.length, frame.payload.size());
  body.reserve(body.size() + 3 * shown + 12);
  for (size_t i = 0; i < shown; ++i) AppendHex(body, frame.payload[i]);
  AppendHex(body, frame.flags);
  AppendHex(body, static_cast<uint8_t>(frame.checksum >> 8));
  AppendHex(body, static_cast<uint8_t>(frame.checksum));
  body += "03";

  trace.line = {frame.flags & kFlagLast ? 'L' : '.',
                frame.flags & kFlagFirst ? 'F' : '.',
                frame.flags & kFlagError ? 'E' : '.',
                frame.flags & kFlagRestart ? 'R' : '.',
                static_cast<char>('0' + (frame.flags & kFlagSequence)),
                ' '};
  trace.line += body;
  trace.colour = sent ? kTraceFullSent : kTraceFullReceived;
  return trace;
}

}  // namespace lx2d
