#include "setting_reader.h"

#include <string>

#include "number_text.h"
#include "parameter_record.h"
#include "profile_text.h"

namespace lx2d {
namespace {

// Characters of the path as the wide original counted them: UTF-16 units of
// its UTF-8 bytes (continuation bytes count nothing, four-byte sequences two).
std::size_t WideLength(const std::filesystem::path& path) {
  std::size_t units = 0;
  for (const char c : path.native()) {
    const auto byte = static_cast<uint8_t>(c);
    if ((byte & 0xC0) != 0x80) ++units;
    if (byte >= 0xF0) ++units;
  }
  return units;
}

struct Range {
  int64_t low;
  int64_t high;
};

Range DecimalRange(int width) { return width == 1 ? Range{0, 255} : Range{-32768, 32767}; }
Range HexRange(int width) { return width == 1 ? Range{0, 255} : Range{0, 65535}; }

std::optional<int64_t> NamedValue(std::u16string_view text,
                                  std::span<const SETTING_VALUE_NAME> names) {
  for (const SETTING_VALUE_NAME& entry : names) {
    if (EqualsIgnoringCase(text, entry.name)) return entry.value;
  }
  return std::nullopt;
}

std::optional<int64_t> ByteListValue(std::u16string_view text) {
  const std::optional<int64_t> value =
      HasHexPrefix(text) ? ScanHex(text.substr(2)) : ScanDecimal(text);
  if (!value || *value < 0 || *value > 255) return std::nullopt;
  return value;
}

}  // namespace

CSettingItem CSettingReader::ReadKey(const std::filesystem::path& file, std::u16string_view section,
                                     std::u16string_view key) const {
  CSettingItem item;
  item.filePath = file;
  if (WideLength(file) >= kMaxSettingsPath || !files.Exists(file)) return item;
  std::string bytes;
  files.ReadAll(file, bytes);  // an unreadable file answers every key with the sentinel
  const std::u16string value =
      LookupProfileString(Parse(std::move(bytes)), section, key, kAbsentKeySentinel);
  if (value == kAbsentKeySentinel) {
    item.status = SETTING_MISSING;
  } else {
    item.status = SETTING_OK;
    item.rawText = value;
  }
  return item;
}

const std::vector<ProfileSection>& CSettingReader::Parse(std::string bytes) const {
  if (!parsed || parsed->bytes != bytes) {
    std::vector<ProfileSection> sections = ParseProfile(DecodeProfileBytes(bytes, codePage));
    parsed = ParsedFile{std::move(bytes), std::move(sections)};
  }
  return parsed->sections;
}

CSettingItem CSettingReader::ReadNumber(const std::filesystem::path& file,
                                        std::u16string_view section, const SETTING_KEY& key,
                                        int width,
                                        std::span<const SETTING_VALUE_NAME> names) const {
  CSettingItem item = ReadKey(file, section, key.name);
  item.width = width;
  if (item.status != SETTING_OK) return item;
  const std::u16string_view text = item.rawText;
  item.status = SETTING_EMPTY;
  std::optional<int64_t> value;
  Range range = DecimalRange(width);
  if (HasHexPrefix(text)) {
    if (text.size() > 2) {
      value = ScanHex(text.substr(2));
      range = HexRange(width);
      item.status = SETTING_INVALID;
    }
  } else if (!text.empty()) {
    value = names.empty() ? ScanDecimal(text) : NamedValue(text, names);
    item.status = SETTING_INVALID;
  }
  if (value && *value >= range.low && *value <= range.high) {
    item.status = SETTING_OK;
    item.value = static_cast<int32_t>(*value);
  }
  if (item.IsOkOrEmpty()) {
    std::vector<uint8_t> record{key.group, key.parameter};
    if (width == 1) {
      record.push_back(static_cast<uint8_t>(item.value));
    } else {
      AppendSignMagnitude(record, item.value);
    }
    item.record = std::move(record);
  }
  return item;
}

CSettingItem CSettingReader::ReadByteList(const std::filesystem::path& file,
                                          std::u16string_view section,
                                          std::u16string_view baseKey) const {
  CSettingItem item = ReadKey(file, section, baseKey);
  if (item.status == SETTING_UNREADABLE) return item;
  std::vector<uint8_t> bytes;
  while (bytes.size() < static_cast<std::size_t>(kMaxByteListBytes)) {
    std::u16string key(baseKey);
    for (const char c : std::to_string(bytes.size() + 1)) key.push_back(static_cast<char16_t>(c));
    const CSettingItem entry = ReadKey(file, section, key);
    if (entry.status != SETTING_OK) break;
    const std::optional<int64_t> value = ByteListValue(entry.rawText);
    if (!value) break;
    bytes.push_back(static_cast<uint8_t>(*value));
    item.status = SETTING_OK;
  }
  item.record = std::move(bytes);
  return item;
}

CSettingItem CSettingReader::ReadText(const std::filesystem::path& file,
                                      std::u16string_view section, const SETTING_KEY& key) const {
  CSettingItem item = ReadKey(file, section, key.name);
  if (item.status != SETTING_OK) return item;
  const std::string bytes = codePage.FromWide(item.rawText);
  item.status = bytes.empty() ? SETTING_EMPTY : SETTING_OK;
  item.record = MakeTextRecord(key.group, key.parameter, bytes);
  return item;
}

bool IsOutOfRange(const CSettingItem& item, std::span<const SETTING_VALUE_NAME> names) {
  const std::u16string_view text = item.rawText;
  if (HasHexPrefix(text)) return ScanHex(text.substr(2)).has_value();
  if (!names.empty()) return NamedValue(text, names).has_value();
  return ScanDecimal(text).has_value();
}

}  // namespace lx2d
