// lx2d-win: look at and talk to the windows of the message system.
//
//   lx2d-win list
//       one line per top-level window: handle, class, process id, title
//   lx2d-win spy [--class NAME] [--count N]
//       creates a window (class Lx2dSpy unless named), prints its handle on
//       the first line, then one line per message received: the message's
//       name (registered or standard) or number, wParam and lParam in hex;
//       ends on SIGTERM/SIGHUP or after N messages
//   lx2d-win send CLASS MESSAGE [WPARAM] [LPARAM]
//       SendMessage to the first window of CLASS and prints the answer;
//       MESSAGE is a registered name, a standard name (WM_CLOSE) or a number;
//       WPARAM and LPARAM are 64-bit numbers, decimal (negative ones as their
//       two's complement) or 0x hex; anything else is refused
//   lx2d-win --help
//       the usage, on standard output; errors are one line on standard error
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "platform/window.h"

namespace lx2d::win {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailed = 1;  // no such window, send failed, window not created
inline constexpr int kExitUsage = 2;

// How spy names a message: a registered name, a standard WM_ name, or 0x%04x.
std::string MessageName(platform::UINT message);

// A message given on the command line: a standard name, a number (decimal or
// 0x hex, 0..0xFFFFFFFF) or else a name to register. 0 for an empty text and
// for a text that starts like a number (digit, sign, blank) but is not one
// that fits.
platform::UINT MessageNumber(const std::string& text);

// One spy line: "<name> 0x<wParam> 0x<lParam>" (lower-case hex, lParam as
// its 64-bit pattern).
std::string SpyLine(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam);

int RunWinCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace lx2d::win
