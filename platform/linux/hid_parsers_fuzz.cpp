// libFuzzer target: the report descriptor parser and the virtual device
// description parser, the two readers of bytes the HID service does not
// control.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "hid_descriptor.h"
#include "hid_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<lx2d::platform::HidCollection> collections;
  if (lx2d::platform::ParseReportDescriptor({data, size}, collections) == lx2d::platform::kHidOk &&
      collections.empty()) {
    __builtin_trap();  // success promises at least one collection
  }
  lx2d::platform::VirtualHidInfo info;
  lx2d::platform::ParseVirtualHidInfo({reinterpret_cast<const char*>(data), size}, info);
  return 0;
}
