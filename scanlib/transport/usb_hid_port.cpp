// The HID library's transport: a CUsbHid for the reader's ids over the
// system's HID service (hidraw and virtual devices), and its dialog's choice.
#include "reader_dialog.h"
#include "usb_hid.h"

namespace lx2d {

std::unique_ptr<IReaderPort> MakeReaderPort(ILinkObserver* observer) {
  return std::make_unique<CUsbHid>(kReaderVendorId, kReaderProductId, platform::SystemHidService(),
                                   observer);
}

uint16_t ChooseReader(IReaderPort& port, std::string& description) {
  // The desktop dialog, else the terminal question, else as if cancelled.
  return ChooseReaderInDialog(port, description).value_or(kReaderChoiceCancelled);
}

}  // namespace lx2d
