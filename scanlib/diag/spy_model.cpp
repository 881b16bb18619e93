// The spy window's lists and their texts.
#include "spy_model.h"

#include <cinttypes>
#include <cstdio>
#include <fstream>

#include "vscp_frame.h"

namespace lx2d {
namespace {

struct KindText {
  uint8_t kind;
  const char* text;
};

// Data-list texts of the reports that have one; every other kind shows an
// empty line.
constexpr KindText kDataTexts[] = {
    {kKindEvt, "Event"},
    {kKindSbcd, "Setup Barcode Data"},
    {kKindBcdex2, "Barcode DataEx"},
};

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%" PRIx64, value);
  return text;
}

}  // namespace

TraceItemLook TraceItemColours(uint32_t colour, bool selected) {
  if (!selected)
    return {colour == 0 ? std::nullopt : std::optional<uint32_t>(colour), std::nullopt};
  if (colour == 0) return {std::nullopt, colour};
  return {colour ^ 0xFFFFFFu, colour};
}

MessageEntry DescribeMessage(uint64_t window, bool report, uint8_t kind,
                             std::span<const uint8_t> raw, uint64_t wParam, int64_t lParam) {
  MessageEntry entry;
  if (report) {
    for (const KindText& known : kDataTexts) {
      if (known.kind == kind) entry.dataText = known.text;
    }
  } else {
    for (uint8_t byte : raw) {
      char text[4];
      std::snprintf(text, sizeof text, "%02X ", byte);
      entry.dataText += text;
    }
  }
  entry.row.handle = window == 0 ? "HWND_BROADCAST" : Hex(window);
  entry.row.message = report ? "WM_VSCP_FRAME" : "WM_RAW_DATA";
  entry.row.wParam = Hex(wParam);
  // lParam is 32 bits wide on the wire of the window messages.
  const auto low = static_cast<uint32_t>(lParam);
  char text[96];
  std::snprintf(text, sizeof text, "0x%x (DLL ID:0x%04x VSCP frame size:0x%04x)", low, low >> 16,
                low & 0xFFFF);
  entry.row.lParam = text;
  return entry;
}

CSpyModel::CSpyModel(int64_t openTickMs, Measure measure, int borderWidth)
    : lastTickMs_(openTickMs), measure_(std::move(measure)), borderWidth_(borderWidth) {
  if (!measure_) measure_ = [](std::string_view text) { return static_cast<int>(text.size()); };
}

bool CSpyModel::AddTraceLine(std::string_view text, uint32_t colour, int64_t tickMs) {
  char elapsed[24];
  std::snprintf(elapsed, sizeof elapsed, "%05d, ", static_cast<int>(tickMs - lastTickMs_));
  lastTickMs_ = tickMs;
  TraceItem item{elapsed + std::string(text), colour};
  const int width = measure_(item.text) + borderWidth_;
  trace_.push_back(std::move(item));
  if (width <= extent_) return false;
  extent_ = width;
  return true;
}

void CSpyModel::AddMessage(MessageEntry entry) {
  data_.push_back(std::move(entry.dataText));
  rows_.push_back(std::move(entry.row));
}

void CSpyModel::Clear() {
  trace_.clear();
  data_.clear();
  rows_.clear();
}

std::string CSpyModel::Save(const std::string& path) const {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (file) {
    for (const TraceItem& item : trace_) file << item.text << '\n';
    file.close();
  }
  if (!file) return "Error with file " + path;
  return "";
}

}  // namespace lx2d
