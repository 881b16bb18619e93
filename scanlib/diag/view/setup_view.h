// The reader-selection dialog on screen. Writes "ok <index>" (the chosen
// entry's place in the sorted list, -1 for an empty list) or "cancel" on
// standard output.
#pragma once

#include <string>
#include <vector>

namespace lx2d::view {

int RunSetupDialog(std::vector<std::string> entries);

}  // namespace lx2d::view
