// Turns one symbology section into parameter records and writes them.
#pragma once

#include <filesystem>

#include "setting_reader.h"
#include "setup_channel.h"
#include "symbology_table.h"

namespace lx2d {

// Reads the section's keys in table order (nothing after an unreadable
// ACTIVATE), then writes one record per key whose rule allows it. Failed
// writes do not stop the section.
void TranslateSymbology(const CSettingReader& reader, const std::filesystem::path& file,
                        const SymbologySection& section, ISetupChannel& channel);

}  // namespace lx2d
