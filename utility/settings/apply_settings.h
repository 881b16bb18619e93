// ApplySettingsFile: one settings file becomes a fixed sequence of control
// commands and setup writes on a connected reader. The order is the
// program's, not the file's; the file only decides what each step sends.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>

#include "key_rule.h"
#include "setting_reader.h"
#include "setup_channel.h"

namespace lx2d {

// A key read by the sequence outside the identification, symbology and
// scenario sections.
struct SequenceKey {
  std::u16string_view section;
  KeyRule rule;
  uint8_t group;
  uint8_t parameter;
};

extern const std::array<SequenceKey, 14> kSequenceKeys;

// Returns 1 when the file was accepted (BCR_TYPE 2, 3, 7 or 8), whatever
// the library answered; 0 when it was not, and then nothing was sent. A
// direct-data section that is present ends the run after its one call.
int ApplySettingsFile(const CSettingReader& reader, const std::filesystem::path& file,
                      ISetupChannel& channel);

}  // namespace lx2d
