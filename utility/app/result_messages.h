// The texts a caller shows for a failed binding, connect or disconnect.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "string_table.h"

namespace lx2d {

// The text for a library result: string 230 + result (results 70 to 73
// read strings 300 to 303), or a text naming the number when the tables
// have none.
std::u16string LibraryResultText(UiLanguage language, uint16_t result);

// The text for a LoadBarcodeDll result: 80 string 280 followed by the
// library file name; 83 string 283, a line feed and the text of the last
// library result; any other string 200 + result.
std::u16string BindingFailureText(UiLanguage language, int bindingResult, uint16_t lastResult,
                                  std::u16string_view libraryFileName);

}  // namespace lx2d
