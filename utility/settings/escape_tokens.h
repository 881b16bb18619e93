// Escape tokens in text values: "<#CR>" and its kin stand for control bytes
// that a settings file cannot hold.
#pragma once

#include <cstdint>
#include <string_view>

#include "setting_item.h"

namespace lx2d {

struct EscapeToken {
  std::string_view token;
  uint8_t byte;
};

// Eighteen tokens; none for 0x0C nor for 0x0E to 0x1A.
inline constexpr EscapeToken kEscapeTokens[] = {
    {"<#NUL>", 0x00}, {"<#SOH>", 0x01}, {"<#STX>", 0x02}, {"<#ETX>", 0x03}, {"<#EOT>", 0x04},
    {"<#ENQ>", 0x05}, {"<#ACK>", 0x06}, {"<#BEL>", 0x07}, {"<#BS>", 0x08},  {"<#TAB>", 0x09},
    {"<#LF>", 0x0A},  {"<#VT>", 0x0B},  {"<#CR>", 0x0D},  {"<#ESC>", 0x1B}, {"<#FS>", 0x1C},
    {"<#GS>", 0x1D},  {"<#RS>", 0x1E},  {"<#US>", 0x1F},
};

// Replaces the tokens in the text of a text item's record (tokens compare
// without regard to ASCII case; an unknown or unterminated token stays as
// written), rewrites the record's length and sets the item's value to 1.
// Does nothing when the item has no record, a record shorter than 4 bytes,
// or its tokens were replaced already.
void ReplaceEscapeTokens(CSettingItem& item);

}  // namespace lx2d
