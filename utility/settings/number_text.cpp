#include "number_text.h"

namespace lx2d {
namespace {

constexpr int64_t kSaturated = INT64_MAX / 16;

bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

int DigitValue(char16_t c, int base) {
  int digit = -1;
  if (c >= u'0' && c <= u'9') digit = c - u'0';
  if (c >= u'a' && c <= u'f') digit = c - u'a' + 10;
  if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
  return digit < base ? digit : -1;
}

std::optional<int64_t> Scan(std::u16string_view text, int base) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  if (base == 16 && HasHexPrefix(text.substr(i)) && i + 2 < text.size() &&
      DigitValue(text[i + 2], 16) >= 0) {
    i += 2;
  }
  int64_t value = 0;
  bool any = false;
  for (; i < text.size() && DigitValue(text[i], base) >= 0; ++i) {
    any = true;
    value = value >= kSaturated ? kSaturated : value * base + DigitValue(text[i], base);
  }
  if (!any) return std::nullopt;
  return negative ? -value : value;
}

}  // namespace

bool HasHexPrefix(std::u16string_view text) {
  return text.size() >= 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X');
}

std::optional<int64_t> ScanDecimal(std::u16string_view text) { return Scan(text, 10); }

std::optional<int64_t> ScanHex(std::u16string_view text) { return Scan(text, 16); }

}  // namespace lx2d
