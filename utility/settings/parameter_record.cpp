#include "parameter_record.h"

namespace lx2d {

void AppendSignMagnitude(std::vector<uint8_t>& record, int32_t value) {
  const uint32_t magnitude =
      value < 0 ? (static_cast<uint32_t>(-static_cast<int64_t>(value)) & 0x7FFF) | 0x8000
                : static_cast<uint32_t>(value);
  record.push_back(static_cast<uint8_t>(magnitude >> 8));
  record.push_back(static_cast<uint8_t>(magnitude));
}

std::vector<uint8_t> MakeTextRecord(uint8_t group, uint8_t parameter, std::string_view bytes) {
  std::vector<uint8_t> record{group, parameter};
  record.reserve(bytes.size() + 4);
  AppendSignMagnitude(record, static_cast<int32_t>(bytes.size()));
  record.insert(record.end(), bytes.begin(), bytes.end());
  return record;
}

std::string FormatHexPairs(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const uint8_t byte : bytes) {
    if (!text.empty()) text.push_back(' ');
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  return text;
}

}  // namespace lx2d
