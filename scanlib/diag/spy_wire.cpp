// Encoding and decoding of the spy window's event lines.
#include "spy_wire.h"

#include <charconv>
#include <vector>

namespace lx2d {
namespace {

// Reads the next blank-separated number from `rest`; false when there is
// none or it does not fit.
template <class Number>
bool NextNumber(std::string_view& rest, Number& value) {
  const size_t end = rest.find(' ');
  const std::string_view field = rest.substr(0, end);
  const auto [stop, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (error != std::errc() || stop != field.data() + field.size() || field.empty()) return false;
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string EncodeTraceEvent(std::string_view text, uint32_t colour, int64_t tickMs) {
  std::string line = "T " + std::to_string(tickMs) + " " + std::to_string(colour) + " ";
  for (char c : text) line.push_back(c == '\n' || c == '\r' ? ' ' : c);
  line.push_back('\n');
  return line;
}

std::string EncodeMessageEvent(uint64_t window, bool report, uint8_t kind,
                               std::span<const uint8_t> data, uint64_t wParam, int64_t lParam) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string line = "M " + std::to_string(window) + (report ? " 1 " : " 0 ") +
                     std::to_string(kind) + " " + std::to_string(wParam) + " " +
                     std::to_string(lParam) + " ";
  line.reserve(line.size() + 2 * data.size() + 1);
  for (uint8_t byte : data) {
    line.push_back(kDigits[byte >> 4]);
    line.push_back(kDigits[byte & 15]);
  }
  line.push_back('\n');
  return line;
}

std::string EncodeRectEvent(const SpyRect& rect) {
  return "rect " + std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
         std::to_string(rect.right) + " " + std::to_string(rect.bottom) + "\n";
}

SpyEvent ApplySpyEvent(std::string_view line, CSpyModel& model) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (line.size() < 2 || line[1] != ' ') return SpyEvent::kMalformed;
  std::string_view rest = line.substr(2);
  if (line[0] == 'T') {
    int64_t tick = 0;
    uint32_t colour = 0;
    if (!NextNumber(rest, tick) || !NextNumber(rest, colour)) return SpyEvent::kMalformed;
    model.AddTraceLine(rest, colour, tick);
    return SpyEvent::kTrace;
  }
  if (line[0] == 'M') {
    uint64_t window = 0;
    int report = 0;
    unsigned kind = 0;
    uint64_t wParam = 0;
    int64_t lParam = 0;
    if (!NextNumber(rest, window) || !NextNumber(rest, report) || !NextNumber(rest, kind) ||
        !NextNumber(rest, wParam) || !NextNumber(rest, lParam) || rest.size() % 2 != 0 ||
        kind > 0xFF) {
      return SpyEvent::kMalformed;
    }
    std::vector<uint8_t> data;
    for (size_t i = 0; i < rest.size(); i += 2) {
      const int high = HexDigit(rest[i]);
      const int low = HexDigit(rest[i + 1]);
      if (high < 0 || low < 0) return SpyEvent::kMalformed;
      data.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    model.AddMessage(
        DescribeMessage(window, report != 0, static_cast<uint8_t>(kind), data, wParam, lParam));
    return SpyEvent::kMessage;
  }
  return SpyEvent::kMalformed;
}

std::optional<SpyRect> DecodeRectEvent(std::string_view line) {
  constexpr std::string_view kPrefix = "rect ";
  if (line.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  std::string_view rest = line.substr(kPrefix.size());
  SpyRect rect;
  if (!NextNumber(rest, rect.left) || !NextNumber(rest, rect.top) ||
      !NextNumber(rest, rect.right) || !NextNumber(rest, rect.bottom) || !rest.empty()) {
    return std::nullopt;
  }
  return rect;
}

}  // namespace lx2d
