// Report descriptor parsing: the top-level collections of a descriptor and
// their report lengths, computed as HidP_GetCaps computes them.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/hid.h"

namespace lx2d::platform {

// One top-level collection: its caps and the report ids its input reports
// use (empty when the descriptor numbers no reports).
struct HidCollection {
  HidCaps caps;
  std::vector<uint8_t> inputReportIds;
};

// Parses `descriptor` into its top-level collections, in descriptor order.
// Per collection and report type, every report id's length is the sum of
// its main items' Report Size x Report Count bits (constant padding
// included), rounded up to bytes; the caps length is the largest of them
// plus one byte for the report id, 0 without a report of that type. Data
// items outside any collection belong to no interface and are not counted.
// kHidOk, or kHidErrorInvalidData for: a truncated item, End Collection
// without a collection, a collection left open, Pop without Push, Report ID
// 0, a report longer than 65534 bytes, or no top-level collection at all.
uint32_t ParseReportDescriptor(std::span<const uint8_t> descriptor,
                               std::vector<HidCollection>& collections);

// Whether the system keeps this top-level collection for its own exclusive
// use (mice, keyboards, pens, touch screens), as Windows does: a program's
// read/write open of it is refused with access denied. A reader's keyboard
// collection is thus never taken for its data collection.
bool HeldBySystem(const HidCaps& caps);

}  // namespace lx2d::platform
