// Registry values as lx2d-reg shows and takes them: type names, the data
// column of `query`, and the /d argument of `add`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace lx2d::reg {

using Bytes = std::vector<std::uint8_t>;

// "REG_SZ", "REG_DWORD", ...; "REG_UNKNOWN(<n>)" for other numbers.
std::string TypeName(platform::DWORD type);

// The type of a name accepted by /t (upper or lower case); nullopt when unknown.
std::optional<platform::DWORD> TypeFromName(std::string_view name);

// The data column of `query`: REG_SZ and REG_EXPAND_SZ as text (up to the
// first NUL), REG_DWORD as 0x + lower-case hex, REG_MULTI_SZ items joined by
// the two characters \0, anything else as upper-case hex digits.
std::string FormatData(platform::DWORD type, const Bytes& data);

// The data column with /bytes: upper-case hex pairs separated by spaces.
std::string FormatBytes(const Bytes& data);

// The bytes stored for /d `text` of `type`: strings as UTF-16LE with a
// terminator (REG_MULTI_SZ items split at \0, ending with an empty item),
// REG_DWORD from decimal or 0x hex (0 to 0xFFFFFFFF), REG_BINARY and
// REG_NONE from an even number of hex digits. Text must be UTF-8 (a lone
// surrogate written as its three bytes stands for itself), and a multi-string
// holds no empty item: an empty string inside one would end the list. nullopt
// when `text` does not fit the type, with the reason in *why (may be null).
std::optional<Bytes> ParseData(platform::DWORD type, std::string_view text,
                               std::string* why = nullptr);

// UTF-16LE bytes of UTF-8 text, without terminator; malformed bytes become
// U+FFFD, lone surrogates written as three bytes stay themselves.
Bytes Utf16Bytes(std::string_view text);

// The UTF-16 units of UTF-8 text as Utf16Bytes reads it; nullopt when any
// bytes are malformed.
std::optional<std::u16string> UnitsOfUtf8(std::string_view text);

// UTF-8 of UTF-16 units that keeps every unit: a lone surrogate becomes its
// three-byte form, which UnitsOfUtf8 gives back.
std::string Utf8KeepingUnits(std::u16string_view units);

// UTF-8 text of UTF-16LE bytes (an odd last byte is ignored).
std::string TextOfUtf16(const Bytes& data);

}  // namespace lx2d::reg
