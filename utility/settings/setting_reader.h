// Reads single keys of a settings file into CSettingItem objects: plain
// keys, numbers, byte lists and texts. The file is consulted afresh for every
// key, nothing is cached; every problem ends in the item's status.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ansi_code_page.h"
#include "file_source.h"
#include "profile_text.h"
#include "setting_item.h"

namespace lx2d {

// The text that stands for an absent key. A value that literally reads so
// counts as absent too.
inline constexpr std::u16string_view kAbsentKeySentinel =
    u"KorvaneBarcodeSettingUtilityDummyStrings";

// Paths of this many characters or more are refused.
inline constexpr std::size_t kMaxSettingsPath = 260;

// Most DATAn keys a byte list reads.
inline constexpr int kMaxByteListBytes = 128;

// Not for use from several threads at once: it keeps the parse of the last
// file content it read.
class CSettingReader {
 public:
  CSettingReader(const IFileSource& fileSource, const IAnsiCodePage& ansiCodePage)
      : files(fileSource), codePage(ansiCodePage) {}

  // Raw text and status: SETTING_OK, SETTING_MISSING (raw text empty) or
  // SETTING_UNREADABLE (path too long, file absent).
  CSettingItem ReadKey(const std::filesystem::path& file, std::u16string_view section,
                       std::u16string_view key) const;

  // A number of `width` bytes (1: 0 to 255; 2: -32768 to 32767 in decimal,
  // 0 to 0xFFFF in hexadecimal). "0x..." is read as hexadecimal for every
  // key; otherwise a key with `names` takes only those names (without regard
  // to ASCII case), one without takes decimal. SETTING_OK and SETTING_EMPTY
  // come with the record group, parameter, value (an empty value writes 0).
  CSettingItem ReadNumber(const std::filesystem::path& file, std::u16string_view section,
                          const SETTING_KEY& key, int width,
                          std::span<const SETTING_VALUE_NAME> names = {}) const;

  // The base key's status, then bytes from baseKey1, baseKey2, ... up to the
  // first absent key, the first value that is no number from 0 to 255, or
  // kMaxByteListBytes bytes. The record is the bytes alone; any byte read
  // makes the status SETTING_OK.
  CSettingItem ReadByteList(const std::filesystem::path& file, std::u16string_view section,
                            std::u16string_view baseKey) const;

  // A text in the ANSI code page: SETTING_OK with at least one byte,
  // SETTING_EMPTY with none; both come with a text record.
  CSettingItem ReadText(const std::filesystem::path& file, std::u16string_view section,
                        const SETTING_KEY& key) const;

  const IAnsiCodePage& CodePage() const { return codePage; }

 private:
  // The file is read for every key; its parse is reused while the bytes
  // stay the same, which changes nothing a caller can observe.
  struct ParsedFile {
    std::string bytes;
    std::vector<ProfileSection> sections;
  };

  const std::vector<ProfileSection>& Parse(std::string bytes) const;

  const IFileSource& files;
  const IAnsiCodePage& codePage;
  mutable std::optional<ParsedFile> parsed;
};

// Whether a SETTING_INVALID number was refused for its range or its form;
// used to explain the status to people.
bool IsOutOfRange(const CSettingItem& item, std::span<const SETTING_VALUE_NAME> names);

}  // namespace lx2d
