#include "bcr_type.h"

namespace lx2d {

const std::array<SETTING_VALUE_NAME, 8> kBcrTypeNames = {{
    {1, u"MARLOW_LK310_1D"},
    {2, u"VELTRIX_QM20_2D"},
    {3, u"VELTRIX_QM20_2D_WITHOUT_FACTORY_DEF"},
    {4, u"VELTRIX_QM20_2D_FOR_KX-T1"},
    {5, u"VELTRIX_QM20_2D_FOR_KX-T2"},
    {6, u"MARLOW_LK310_1D_FOR_KX-T2"},
    {7, u"VELTRIX_QM20_2D_TYPE_A"},
    {8, u"VELTRIX_QM70_2D_USB_HID_TYPE_B"},
}};

const KeyRule kBcrTypeKey = {u"BCR_TYPE", KeyForm::kNumber1, 0, 255, kBcrTypeNames};

int32_t ReadBcrType(const CSettingReader& reader, const std::filesystem::path& file) {
  return ReadRuleKey(reader, file, kIdentificationSection, kBcrTypeKey).value;
}

bool IsUsableBcrType(int32_t value) { return value == 2 || value == 3 || value == 7 || value == 8; }

}  // namespace lx2d
