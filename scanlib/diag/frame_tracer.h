// The one-line text of a frame for the spy window, and its colour.
#pragma once

#include <cstdint>
#include <string>

#include "vscp_frame.h"

namespace lx2d {

enum class TraceDirection : uint8_t { kSent, kReceived };

// Line colours (COLORREF, 0x00BBGGRR).
inline constexpr uint32_t kTraceControlSent = 0x00007F;      // dark red
inline constexpr uint32_t kTraceFullSent = 0x0000FF;         // red
inline constexpr uint32_t kTraceControlReceived = 0x7F0000;  // dark blue
inline constexpr uint32_t kTraceFullReceived = 0xFF0000;     // blue
inline constexpr uint32_t kTraceText = 0;                    // "timeout" and I/O control texts

struct FrameTrace {
  std::string line;
  uint32_t colour;
};

// Renders a frame record sent or accepted, e.g.
//   "LF.R0 Tx: (SR  ) 02 05 40 02 10 68 01 A7 03"   (full frame)
//   "      Rx: (ACK ) 02 05 06 00 03"                 (control frame)
// Control codes use the control layout, every other kind the full layout;
// bytes appear unescaped and extension bytes are not shown.
FrameTrace TraceFrame(const VscpFrame& frame, TraceDirection direction);

// The padded trace name of a kind or control code, or "x%02x?" when the
// byte has none (GIRQ and GIRP included).
std::string TraceKindName(uint8_t kind);

}  // namespace lx2d
