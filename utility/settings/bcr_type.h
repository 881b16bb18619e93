// The identification section: which reader type a settings file is for, and
// whether the utility uses the file at all.
#pragma once

#include <array>
#include <filesystem>

#include "key_rule.h"
#include "setting_reader.h"

namespace lx2d {

inline constexpr std::u16string_view kIdentificationSection = u"INI_FILE_ID";

extern const std::array<SETTING_VALUE_NAME, 8> kBcrTypeNames;

// BCR_TYPE: a one-byte number written by name (or in hexadecimal).
extern const KeyRule kBcrTypeKey;

// The BCR_TYPE value of the file: 0 when the key is missing, empty, invalid
// or the file unreadable.
int32_t ReadBcrType(const CSettingReader& reader, const std::filesystem::path& file);

// Only VELTRIX_QM20_2D (2), VELTRIX_QM20_2D_WITHOUT_FACTORY_DEF (3),
// VELTRIX_QM20_2D_TYPE_A (7) and VELTRIX_QM70_2D_USB_HID_TYPE_B (8) let the
// file be used.
bool IsUsableBcrType(int32_t value);

}  // namespace lx2d
