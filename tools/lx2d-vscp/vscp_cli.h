// lx2d-vscp: encodes VSCP frames into wire bytes and decodes captured wire
// bytes into trace lines, for people who debug the reader link.
#pragma once

#include <iosfwd>
#include <span>
#include <string_view>

namespace lx2d {

// Exit statuses.
inline constexpr int kCliOk = 0;
inline constexpr int kCliBadInput = 2;  // bad usage or bad input; nothing on standard output

// Runs one command: `args` are the words after the program name.
int RunVscpCli(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
               std::ostream& err);

}  // namespace lx2d
