#include "frame_tracer.h"

#include <gtest/gtest.h>

#include <vector>

namespace lx2d {
namespace {

VscpFrame Full(uint8_t number, uint8_t kind, std::vector<uint8_t> payload, uint8_t flags,
               uint16_t checksum) {
  VscpFrame frame;
  frame.number = number;
  frame.kind = kind;
  frame.flags = flags;
  frame.length = static_cast<uint32_t>(payload.size());
  frame.checksum = checksum;
  frame.payload = std::move(payload);
  return frame;
}

VscpFrame Control(uint8_t number, uint8_t code, uint8_t data) {
  VscpFrame frame;
  frame.number = number;
  frame.kind = code;
  frame.length = 1;
  frame.payload = {data};
  return frame;
}

struct TraceCase {
  const char* name;
  VscpFrame frame;
  TraceDirection direction;
  const char* line;
  uint32_t colour;
};

TEST(TraceFrame, Cases_ExactLineAndColour) {
  const TraceCase cases[] = {
      {"SR request sent", Full(0x05, 0x40, {0x02, 0x10}, 0x68, 0x01A7), TraceDirection::kSent,
       "LF.R0 Tx: (SR  ) 02 05 40 02 10 68 01 A7 03", kTraceFullSent},
      {"ACK received", Control(0x05, 0x06, 0x00), TraceDirection::kReceived,
       "      Rx: (ACK ) 02 05 06 00 03", kTraceControlReceived},
      {"NAK sent with reason", Control(0x07, 0x15, 0x20), TraceDirection::kSent,
       "      Tx: (NAK ) 02 07 15 20 03", kTraceControlSent},
      {"empty payload: flags follow the kind", Full(0x01, 0x51, {}, 0x60, 0x00E5),
       TraceDirection::kReceived, "LF..0 Rx: (RSLT) 02 01 51 60 00 E5 03", kTraceFullReceived},
      {"flag byte 0x48", Full(0x02, 0x41, {0xAA}, 0x48, 0x1234), TraceDirection::kSent,
       "L..R0 Tx: (SW  ) 02 02 41 AA 48 12 34 03", kTraceFullSent},
      {"E flag and sequence 7", Full(0x02, 0x42, {}, 0x77, 0x0000), TraceDirection::kSent,
       "LFE.7 Tx: (CCMD) 02 02 42 77 00 00 03", kTraceFullSent},
      {"GIRP: unnamed, extension not shown", Full(0x03, 0xF1, {0xAB}, 0x60, 0x0BCD),
       TraceDirection::kReceived, "LF..0 Rx: (xf1?) 02 03 F1 AB 60 0B CD 03", kTraceFullReceived},
      {"five-letter name", Full(0x04, 0x57, {}, 0x40, 0x0102), TraceDirection::kReceived,
       "L...0 Rx: (STPRP) 02 04 57 40 01 02 03", kTraceFullReceived},
  };
  for (const TraceCase& c : cases) {
    SCOPED_TRACE(c.name);
    const FrameTrace trace = TraceFrame(c.frame, c.direction);
    EXPECT_EQ(trace.line, c.line);
    EXPECT_EQ(trace.colour, c.colour);
  }
}

TEST(TraceKindName, UnknownByte_FormattedLowerHex) {
  EXPECT_EQ(TraceKindName(0xF0), "xf0?");
  EXPECT_EQ(TraceKindName(0x00), "x00?");
  EXPECT_EQ(TraceKindName(0x63), "BCDEX2");
  EXPECT_EQ(TraceKindName(0x1B), "BUSY");
}

}  // namespace
}  // namespace lx2d
