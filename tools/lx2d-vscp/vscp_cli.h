// lx2d-vscp: encodes VSCP frames into wire bytes and decodes captured wire
// bytes into trace lines, for people who debug the reader link.
#pragma once

#include <iosfwd>
#include <span>
#include <string_view>

namespace lx2d {

// Exit statuses.
inline constexpr int kCliOk = 0;
// Bad usage or bad input: nothing more on standard output (decode has printed
// what came before the bad token).
inline constexpr int kCliBadInput = 2;

// Runs one command: `args` are the words after the program name. `decode`
// reads `in` line by line and prints as it goes, with bounded memory.
int RunVscpCli(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
               std::ostream& err);

}  // namespace lx2d
