// What the spy window shows, without a display: the coloured trace list with
// its widest extent, the data list, the message list, Clear Window and Save.
// The view draws it; tests read it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lx2d {

// The window rectangle as the library's configuration keeps it.
struct SpyRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 620;
  int32_t bottom = 676;
  bool operator==(const SpyRect&) const = default;
};

struct TraceItem {
  std::string text;  // "%05d, %s": milliseconds since the line before, the line
  uint32_t colour;   // COLORREF 0x00BBGGRR; 0 is the window text colour
};

// How a trace item is drawn: its text colour and, when selected, its
// background fill (COLORREF); nothing means the system's colour for that
// state (window text, highlight text, highlight).
struct TraceItemLook {
  std::optional<uint32_t> text;
  std::optional<uint32_t> background;
};

// A selected item is filled with its colour (black for 0); its text is then
// drawn in the inverse colour (red, green and blue each XOR 0xFF), or for
// colour 0 in the highlight text colour. Unselected, the text is drawn in
// the item's colour, or for 0 in the window text colour.
TraceItemLook TraceItemColours(uint32_t colour, bool selected);

// One row of the message list, its columns in order.
struct MessageRowTexts {
  std::string handle;   // "0x%x" of the host window, or "HWND_BROADCAST" for 0
  std::string message;  // "WM_VSCP_FRAME" or "WM_RAW_DATA"
  std::string wParam;   // "0x%x"
  std::string lParam;   // "0x%x (DLL ID:0x%04x VSCP frame size:0x%04x)"
};

// What one posted message adds: its data-list line and its row.
struct MessageEntry {
  std::string dataText;
  MessageRowTexts row;
};

// The texts of a message posted for received data: `report` true for a
// frame of `kind` (its data-list text from the kind), false for the raw
// bytes `raw` (each "%02X ").
MessageEntry DescribeMessage(uint64_t window, bool report, uint8_t kind,
                             std::span<const uint8_t> raw, uint64_t wParam, int64_t lParam);

// The message list's column headers, in order.
inline constexpr const char* kMessageColumns[] = {"Handle", "Message", "wParam", "lParam"};

class CSpyModel {
 public:
  // Width of a text in the trace list's font (the view measures; the
  // default counts characters) and the border added to it.
  using Measure = std::function<int(std::string_view)>;
  explicit CSpyModel(int64_t openTickMs, Measure measure = nullptr, int borderWidth = 3);

  // Adds one trace line at `tickMs` (a millisecond clock shared with
  // openTickMs). Results: true when the line widened the list's extent.
  bool AddTraceLine(std::string_view text, uint32_t colour, int64_t tickMs);
  void AddMessage(MessageEntry entry);

  // Clear Window: empties all three lists.
  void Clear();

  // Save: writes every trace line followed by "\n" to a new or truncated
  // file. Results: "" when written; "Error with file <path>" when the file
  // could not be created or written.
  std::string Save(const std::string& path) const;

  const std::vector<TraceItem>& TraceLines() const { return trace_; }
  const std::vector<std::string>& DataLines() const { return data_; }
  const std::vector<MessageRowTexts>& MessageRows() const { return rows_; }
  int HorizontalExtent() const { return extent_; }

 private:
  int64_t lastTickMs_;
  Measure measure_;
  int borderWidth_;
  int extent_ = 0;
  std::vector<TraceItem> trace_;
  std::vector<std::string> data_;
  std::vector<MessageRowTexts> rows_;
};

}  // namespace lx2d
