#include <charconv>
#include <cstdio>

#include "hid_internal.h"

namespace lx2d::platform {
namespace {

bool ParseNumber(std::string_view text, int base, uint32_t limit, uint32_t& out) {
  if (base == 16) {
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return false;
    text.remove_prefix(2);
  }
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size() || value > limit) return false;
  out = value;
  return true;
}

}  // namespace

bool ValidVirtualHidName(std::string_view name) {
  if (name.empty() || name.front() == '.' || name.size() > 64) return false;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '_' || c == '.';
    if (!ok) return false;
  }
  return true;
}

std::string VirtualHidPath(const VirtualHidInfo& info, std::string_view name) {
  std::string instance = "vhid&";
  instance += name;
  return BuildInterfacePath(info.vendorId, info.productId, info.collection, instance);
}

std::string FormatVirtualHidInfo(const VirtualHidInfo& info) {
  char numbers[160];
  std::snprintf(numbers, sizeof numbers, "vendor=0x%04x\nproduct=0x%04x\nversion=0x%04x\n",
                info.vendorId, info.productId, info.versionNumber);
  std::string text = numbers;
  text += "product_string=" + info.productString + "\n";
  text += "serial=" + info.serial + "\n";
  std::snprintf(numbers, sizeof numbers,
                "input_report_length=%u\noutput_report_length=%u\ncollection=%d\n",
                info.inputReportLength, info.outputReportLength, info.collection);
  return text + numbers;
}

bool ParseVirtualHidInfo(std::string_view text, VirtualHidInfo& info) {
  // Bit per required key, in the order of kKeys.
  struct Key {
    std::string_view name;
    int base;  // 16, 10, or 0 for text
    uint32_t limit;
  };
  static constexpr Key kKeys[] = {
      {"vendor", 16, 0xFFFF},
      {"product", 16, 0xFFFF},
      {"version", 16, 0xFFFF},
      {"product_string", 0, 0},
      {"serial", 0, 0},
      {"input_report_length", 10, 0xFFFF},
      {"output_report_length", 10, 0xFFFF},
      {"collection", 10, 99},
  };
  unsigned seen = 0;
  VirtualHidInfo parsed;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    for (unsigned i = 0; i < std::size(kKeys); ++i) {
      if (kKeys[i].name != key) continue;
      uint32_t number = 0;
      if (kKeys[i].base != 0 && !ParseNumber(value, kKeys[i].base, kKeys[i].limit, number)) {
        return false;
      }
      switch (i) {
        case 0:
          parsed.vendorId = static_cast<uint16_t>(number);
          break;
        case 1:
          parsed.productId = static_cast<uint16_t>(number);
          break;
        case 2:
          parsed.versionNumber = static_cast<uint16_t>(number);
          break;
        case 3:
          parsed.productString = value;
          break;
        case 4:
          parsed.serial = value;
          break;
        case 5:
          parsed.inputReportLength = static_cast<uint16_t>(number);
          break;
        case 6:
          parsed.outputReportLength = static_cast<uint16_t>(number);
          break;
        case 7:
          parsed.collection = static_cast<int>(number);
          break;
      }
      seen |= 1u << i;
    }
  }
  if (seen != (1u << std::size(kKeys)) - 1) return false;
  info = parsed;
  return true;
}

}  // namespace lx2d::platform
