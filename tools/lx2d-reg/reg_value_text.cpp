#include "reg_value_text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/text.h"

namespace lx2d::reg {

using platform::DWORD;

namespace {

struct TypeInfo {
  DWORD type;
  const char* name;
};

constexpr TypeInfo kTypes[] = {
    {platform::REG_NONE, "REG_NONE"},           {platform::REG_SZ, "REG_SZ"},
    {platform::REG_EXPAND_SZ, "REG_EXPAND_SZ"}, {platform::REG_BINARY, "REG_BINARY"},
    {platform::REG_DWORD, "REG_DWORD"},         {platform::REG_MULTI_SZ, "REG_MULTI_SZ"},
};

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::u16string UnitsOf(const Bytes& data) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  return units;
}

// One code point of UTF-8 at text[*at], advancing *at; -1 for malformed
// bytes (one byte is then skipped). Surrogates in three-byte form are taken.
long DecodeOne(std::string_view text, std::size_t* at) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(*at);
  std::size_t length = lead < 0x80                   ? 1
                       : lead >= 0xC2 && lead < 0xE0 ? 2
                       : lead >= 0xE0 && lead < 0xF0 ? 3
                       : lead >= 0xF0 && lead < 0xF5 ? 4
                                                     : 0;
  if (length == 0 || *at + length > text.size()) {
    ++*at;
    return -1;
  }
  long value = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(*at + i) & 0xC0) != 0x80) {
      ++*at;
      return -1;
    }
    value = (value << 6) | (byte(*at + i) & 0x3F);
  }
  static constexpr long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF) {
    ++*at;
    return -1;
  }
  *at += length;
  return value;
}

// UTF-16 units of UTF-8 text; malformed bytes become U+FFFD and set *malformed.
std::u16string DecodeUnits(std::string_view text, bool* malformed) {
  std::u16string units;
  for (std::size_t at = 0; at < text.size();) {
    long value = DecodeOne(text, &at);
    if (value < 0) {
      if (malformed != nullptr) *malformed = true;
      value = 0xFFFD;
    }
    if (value >= 0x10000) {
      units.push_back(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(value));
    }
  }
  return units;
}

void AppendUnits(Bytes* bytes, std::u16string_view units) {
  for (char16_t unit : units) {
    bytes->push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes->push_back(static_cast<std::uint8_t>(unit >> 8));
  }
}

}  // namespace

std::string TypeName(DWORD type) {
  for (const TypeInfo& info : kTypes) {
    if (info.type == type) return info.name;
  }
  return "REG_UNKNOWN(" + std::to_string(type) + ")";
}

std::optional<DWORD> TypeFromName(std::string_view name) {
  for (const TypeInfo& info : kTypes) {
    std::string_view known = info.name;
    if (known.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i) {
      char c = name[i];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      same = c == known[i];
    }
    if (same) return info.type;
  }
  return std::nullopt;
}

std::string Utf8KeepingUnits(std::u16string_view units) {
  std::string text;
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t value = units[i];
    bool high = value >= 0xD800 && value < 0xDC00;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      value = 0x10000 + ((value - 0xD800) << 10) + (units[++i] - 0xDC00);
    }
    if (value < 0x80) {
      text.push_back(static_cast<char>(value));
    } else if (value < 0x800) {
      text.push_back(static_cast<char>(0xC0 | (value >> 6)));
      text.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else if (value < 0x10000) {
      text.push_back(static_cast<char>(0xE0 | (value >> 12)));
      text.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
      text.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else {
      text.push_back(static_cast<char>(0xF0 | (value >> 18)));
      text.push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
      text.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
      text.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    }
  }
  return text;
}

std::optional<std::u16string> UnitsOfUtf8(std::string_view text) {
  bool malformed = false;
  std::u16string units = DecodeUnits(text, &malformed);
  if (malformed) return std::nullopt;
  return units;
}

Bytes Utf16Bytes(std::string_view text) {
  Bytes bytes;
  AppendUnits(&bytes, DecodeUnits(text, nullptr));
  return bytes;
}

std::string TextOfUtf16(const Bytes& data) { return platform::Utf16ToUtf8(UnitsOf(data)); }

std::string FormatData(DWORD type, const Bytes& data) {
  switch (type) {
    case platform::REG_SZ:
    case platform::REG_EXPAND_SZ: {
      std::u16string units = UnitsOf(data);
      return platform::Utf16ToUtf8(units.substr(0, units.find(u'\0')));
    }
    case platform::REG_DWORD:
      if (data.size() == 4) {
        char text[24];
        std::snprintf(text, sizeof(text), "0x%x",
                      static_cast<unsigned>(data[0] | (data[1] << 8) | (data[2] << 16) |
                                            (static_cast<unsigned>(data[3]) << 24)));
        return text;
      }
      break;
    case platform::REG_MULTI_SZ: {
      std::u16string units = UnitsOf(data);
      // Items end with NUL; the list ends with an empty item.
      std::string joined;
      std::size_t start = 0;
      while (start < units.size()) {
        std::size_t end = units.find(u'\0', start);
        if (end == std::u16string::npos) end = units.size();
        if (end == start) break;
        if (!joined.empty()) joined += "\\0";
        joined += platform::Utf16ToUtf8(units.substr(start, end - start));
        start = end + 1;
      }
      return joined;
    }
    default:
      break;
  }
  std::string hex;
  for (std::uint8_t byte : data) {
    hex.push_back(kHexDigits[byte >> 4]);
    hex.push_back(kHexDigits[byte & 0xF]);
  }
  return hex;
}

std::string FormatBytes(const Bytes& data) {
  std::string hex;
  for (std::uint8_t byte : data) {
    if (!hex.empty()) hex.push_back(' ');
    hex.push_back(kHexDigits[byte >> 4]);
    hex.push_back(kHexDigits[byte & 0xF]);
  }
  return hex;
}

std::optional<Bytes> ParseData(DWORD type, std::string_view text, std::string* why) {
  auto refuse = [why](const char* reason) -> std::optional<Bytes> {
    if (why != nullptr) *why = reason;
    return std::nullopt;
  };
  switch (type) {
    case platform::REG_SZ:
    case platform::REG_EXPAND_SZ: {
      std::optional<std::u16string> units = UnitsOfUtf8(text);
      if (!units) return refuse("text that is not valid UTF-8");
      Bytes bytes;
      AppendUnits(&bytes, *units);
      bytes.insert(bytes.end(), {0, 0});
      return bytes;
    }
    case platform::REG_MULTI_SZ: {
      Bytes bytes;
      std::size_t start = 0;
      while (start < text.size()) {
        std::size_t end = text.find("\\0", start);
        if (end == std::string_view::npos) end = text.size();
        if (end == start) return refuse("an empty item, which a multi-string cannot hold");
        std::optional<std::u16string> units = UnitsOfUtf8(text.substr(start, end - start));
        if (!units) return refuse("text that is not valid UTF-8");
        AppendUnits(&bytes, *units);
        bytes.insert(bytes.end(), {0, 0});
        start = end + 2;  // a separator at the very end closes the last item
      }
      bytes.insert(bytes.end(), {0, 0});
      return bytes;
    }
    case platform::REG_DWORD: {
      bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
      std::string digits(text.substr(hex ? 2 : 0));
      // Digits only: strtoull alone would also take blanks, a sign or a second "0x".
      for (char c : digits) {
        if (hex ? HexValue(c) < 0 : (c < '0' || c > '9')) return std::nullopt;
      }
      if (digits.empty()) return std::nullopt;
      errno = 0;
      unsigned long long value = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
      if (errno == ERANGE || value > 0xFFFFFFFFull) return refuse("a number past 0xFFFFFFFF");
      return Bytes{static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                   static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    }
    default: {
      if (text.size() % 2 != 0) return std::nullopt;
      Bytes bytes;
      for (std::size_t i = 0; i < text.size(); i += 2) {
        int high = HexValue(text[i]);
        int low = HexValue(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
      }
      return bytes;
    }
  }
}

}  // namespace lx2d::reg
