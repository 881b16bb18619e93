// The HID library's transport: a CUsbHid for the reader's ids over the
// system's HID service (hidraw and virtual devices).
#include "usb_hid.h"

namespace lx2d {

std::unique_ptr<IReaderPort> MakeReaderPort(ILinkObserver* observer) {
  return std::make_unique<CUsbHid>(kReaderVendorId, kReaderProductId, platform::SystemHidService(),
                                   observer);
}

}  // namespace lx2d
