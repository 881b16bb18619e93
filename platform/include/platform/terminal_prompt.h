// A question put to the person at the controlling terminal, for choices that
// a desktop dialog makes when there is a display.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lx2d::platform {

// Writes `question` to the controlling terminal and reads one line of
// answer from it (without its line feed). nullopt when nobody is at a
// terminal: standard input is not one (a service, a test, a pipe), there is
// no controlling terminal, or the input ended before a line came.
std::optional<std::string> AskOnTerminal(std::string_view question);

}  // namespace lx2d::platform
