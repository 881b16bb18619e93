// Numbers in settings values, read the way the scanf conversions "%d" and
// "%x" read them: leading white space, an optional sign, then as many digits
// as there are; whatever follows the digits is ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace lx2d {

// "%d": decimal digits. No digit gives no number. Magnitudes beyond the
// 64-bit range saturate, which every caller's range check then refuses.
std::optional<int64_t> ScanDecimal(std::u16string_view text);

// "%x": hexadecimal digits, after an optional "0x" or "0X" of its own. A
// minus sign negates the value (so "-1" is a negative number, which callers
// refuse). No digit gives no number.
std::optional<int64_t> ScanHex(std::u16string_view text);

// True when the text starts with "0x" or "0X".
bool HasHexPrefix(std::u16string_view text);

}  // namespace lx2d
