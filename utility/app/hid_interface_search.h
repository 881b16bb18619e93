// FindHidInterfacePath: the reader search. The reader is the first present
// interface whose path begins, without regard to case, with a search prefix
// such as "\\?\hid#VID_0D2A&PID_0801&COL02".
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "device_interface_set.h"

namespace lx2d {

// The reader's patterns, in search order.
inline constexpr std::array<std::u16string_view, 2> kHidPatterns = {
    u"VID_0D2A&PID_0801&COL02",
    u"VID_0D2A&PID_0809",
};

// What comes before a pattern in a search prefix.
inline constexpr std::u16string_view kHidPathStart = u"\\\\?\\hid#";

// Search results. Callers treat every result but kHidSearchNotFound as a
// hit (an empty path after kHidSearchOutOfMemory).
inline constexpr int kHidSearchFound = 1;
inline constexpr int kHidSearchNotFound = -1;
inline constexpr int kHidSearchOutOfMemory = 0;

// Interfaces beyond this many indexes are never examined.
inline constexpr uint32_t kHidSearchIndexes = 200;

struct THidSearchResult {
  int result = kHidSearchNotFound;
  std::u16string path;  // lower case; set with kHidSearchFound
};

// Searches indexes 0 to 199 of the set `open` gives for the class and flags;
// an index that cannot be enumerated, or whose size query does not answer
// ERROR_INSUFFICIENT_BUFFER, or whose detail cannot be read, is skipped. An
// empty prefix or a set that cannot be opened is not found; a detail buffer
// that cannot be allocated ends the search with kHidSearchOutOfMemory.
THidSearchResult FindHidInterfacePath(const DeviceInterfaceSetOpener& open,
                                      std::u16string_view interfaceClass, uint32_t flags,
                                      std::u16string_view prefix);

// kHidPathStart followed by `pattern`.
std::u16string HidSearchPrefix(std::u16string_view pattern);

}  // namespace lx2d
