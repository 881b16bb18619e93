#include "reader_dialog.h"

#include <vector>

#include "setup_dialog.h"
#include "spy_window.h"

namespace lx2d {

std::optional<uint16_t> ChooseReaderInDialog(IReaderPort& port, std::string& description) {
  std::vector<std::string> entries;
  for (std::string entry; port.EnumDevices(static_cast<int>(entries.size()), &entry);) {
    entries.push_back(entry);
  }
  SetupResult result = RunSetupDialog(FindViewProgram(), std::move(entries));
  switch (result.outcome) {
    case SetupOutcome::kOk:
      description = std::move(result.selection);
      return uint16_t{0};
    case SetupOutcome::kCancelled:
      return kReaderChoiceCancelled;
    case SetupOutcome::kNoUserFound:
      break;
  }
  return std::nullopt;
}

}  // namespace lx2d
