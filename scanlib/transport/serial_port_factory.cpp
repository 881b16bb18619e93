// The serial library's transport: a CSerialTransport over the system's
// serial ports (udev's reader ttys and simulated ports), and its dialog's
// choice, made without a display.
#include "platform/terminal_prompt.h"
#include "reader_choice.h"
#include "serial_transport.h"

namespace lx2d {

std::unique_ptr<IReaderPort> MakeReaderPort(ILinkObserver* observer) {
  return std::make_unique<CSerialTransport>(platform::SystemSerialService(), observer);
}

uint16_t ChooseReader(IReaderPort& port, std::string& description) {
  return ChooseReaderWithoutDisplay(port, description, platform::AskOnTerminal);
}

}  // namespace lx2d
