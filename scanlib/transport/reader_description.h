// The text that names a reader to hosts (HIDEnumDevices, the device
// selection, the configuration dialog's list), the same for HID and serial
// readers.
#pragma once

#include <string>
#include <string_view>

namespace lx2d {

// The product string in the ANSI code page, then, unless the serial number
// string is exactly "?", a blank and the serial number (also when that is
// empty). Each part is cut to 259 bytes, the room of the exports' buffers.
std::string ReaderDescription(std::u16string_view product, std::u16string_view serial);

}  // namespace lx2d
