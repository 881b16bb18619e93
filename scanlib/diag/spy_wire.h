// The lines the library and the spy window's view process exchange: one
// event per line, fields separated by blanks, the free text last.
//
// Library to view:  "T <tick ms> <colour> <text>"            a trace line
//                   "M <window> <report> <kind> <wParam> <lParam> <hex bytes>"
//                                                            a posted message
// View to library:  "ready"                                  the window shows
//                   "rect <left> <top> <right> <bottom>"     the window moved
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "spy_model.h"

namespace lx2d {

inline constexpr std::string_view kSpyReady = "ready";

// Line breaks inside `text` become blanks, so a line stays one event.
std::string EncodeTraceEvent(std::string_view text, uint32_t colour, int64_t tickMs);
std::string EncodeMessageEvent(uint64_t window, bool report, uint8_t kind,
                               std::span<const uint8_t> data, uint64_t wParam, int64_t lParam);
std::string EncodeRectEvent(const SpyRect& rect);

enum class SpyEvent { kTrace, kMessage, kMalformed };

// Applies one event line from the library (with or without its "\n") to
// `model`; a malformed line changes nothing.
SpyEvent ApplySpyEvent(std::string_view line, CSpyModel& model);

// The rectangle of a "rect" line; nothing for any other line.
std::optional<SpyRect> DecodeRectEvent(std::string_view line);

}  // namespace lx2d
