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

Bytes Utf16Bytes(std::string_view text) {
  Bytes bytes;
  AppendUnits(&bytes, platform::Utf8ToUtf16(text));
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

std::optional<Bytes> ParseData(DWORD type, std::string_view text) {
  switch (type) {
    case platform::REG_SZ:
    case platform::REG_EXPAND_SZ: {
      Bytes bytes = Utf16Bytes(text);
      bytes.insert(bytes.end(), {0, 0});
      return bytes;
    }
    case platform::REG_MULTI_SZ: {
      Bytes bytes;
      std::size_t start = 0;
      while (start < text.size()) {
        std::size_t end = text.find("\\0", start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) {
          AppendUnits(&bytes, platform::Utf8ToUtf16(text.substr(start, end - start)));
          bytes.insert(bytes.end(), {0, 0});
        }
        start = end + 2;
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
      if (errno == ERANGE || value > 0xFFFFFFFFull) return std::nullopt;
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
