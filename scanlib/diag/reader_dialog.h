// The configuration dialog's choice of reader for a transport library: the
// readers the port lists, shown in the desktop dialog (or asked for on the
// terminal when no dialog can be shown).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "reader_port.h"

namespace lx2d {

// 0 with the chosen reader's description in `description`; the dialog's
// cancel code (11) when the user cancelled; nothing when neither a display
// nor a terminal could ask anybody.
std::optional<uint16_t> ChooseReaderInDialog(IReaderPort& port, std::string& description);

}  // namespace lx2d
