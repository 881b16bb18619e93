// Questions on the controlling terminal, for dialogs of a program without a
// display.
#pragma once

#include <string>
#include <string_view>

namespace lx2d::platform {

enum class TerminalAnswer {
  kLine,        // a line was read (without its "\n")
  kEndOfFile,   // the terminal gave end of file (Ctrl-D) or an error
  kNoTerminal,  // the process has no controlling terminal
};

// Writes `prompt` to the controlling terminal (/dev/tty) and reads one line
// from it. The terminal is opened for this call only; standard input and
// output are left alone, so a host's redirections do not matter.
TerminalAnswer AskTerminal(std::string_view prompt, std::string& line);

// True when the process has a controlling terminal that it may open.
bool HasTerminal();

}  // namespace lx2d::platform
