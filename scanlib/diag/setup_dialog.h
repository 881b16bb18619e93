// Runs the reader-selection dialog where the user can answer it: as a
// window when a display is named, else on the controlling terminal.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lx2d {

enum class SetupOutcome {
  kOk,           // the user confirmed an entry (the selection may be "")
  kCancelled,    // Cancel, closing the window, "q" or end of file
  kNoUserFound,  // neither a display nor a terminal to ask on
};

struct SetupResult {
  SetupOutcome outcome;
  std::string selection;  // with kOk: the chosen entry's text
};

// Shows `entries` (sorted, the first selected) through the view program
// `viewProgram`; when no display is named, or the view cannot be started or
// ends without an answer, asks on the terminal instead.
SetupResult RunSetupDialog(const std::string& viewProgram, std::vector<std::string> entries);

}  // namespace lx2d
