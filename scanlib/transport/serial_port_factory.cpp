// The serial library's transport: a CSerialTransport over the system's
// serial ports (udev's reader ttys and simulated ports), and its dialog's
// choice: the desktop dialog, or without a display the terminal or the
// first port.
#include "platform/helper_process.h"
#include "platform/terminal_prompt.h"
#include "reader_choice.h"
#include "reader_dialog.h"
#include "serial_transport.h"

namespace lx2d {

std::unique_ptr<IReaderPort> MakeReaderPort(ILinkObserver* observer) {
  return std::make_unique<CSerialTransport>(platform::SystemSerialService(), observer);
}

uint16_t ChooseReader(IReaderPort& port, std::string& description) {
  // With a display the desktop dialog serves both libraries alike; without
  // one the port is asked for on the terminal, or the first one is taken.
  if (platform::DisplayAvailable()) {
    if (const auto chosen = ChooseReaderInDialog(port, description)) return *chosen;
  }
  return ChooseReaderWithoutDisplay(port, description, platform::AskOnTerminal);
}

}  // namespace lx2d
