// The debugger output (OutputDebugString): silent unless LX2D_DEBUG_OUTPUT
// names a destination: "stderr" for standard error, any other value is a file
// that each text is appended to (one write per text, so lines of several
// processes do not interleave). The variable is read at every call.
#pragma once

#include <string_view>

namespace lx2d::platform {

// Writes `text` as it is (8-bit text, no line feed added).
void OutputDebugString(std::string_view text);

// Writes `text` converted to UTF-8.
void OutputDebugString(std::u16string_view text);

}  // namespace lx2d::platform
