// lx2d-reg: provision and inspect registry values in the manner of reg.exe.
//
//   lx2d-reg query  KEY [/v NAME | /ve] [/bytes]
//   lx2d-reg add    KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]
//   lx2d-reg delete KEY [/v NAME | /ve | /va] [/f]
//   lx2d-reg export KEY FILE
//   lx2d-reg import FILE
//   lx2d-reg /?              (the usage text, on standard output)
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace lx2d::reg {

// Exit statuses.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailed = 1;  // key or value missing, access denied, file unusable
inline constexpr int kExitUsage = 2;   // bad command line

// The file behind a root's hive, for messages about a damaged hive.
using HiveFileNamer = std::function<std::string(platform::HKEY root)>;

// "<meaning> (registry error <n>)", or "registry error <n>" for a result
// without a known meaning.
std::string DescribeStatus(platform::LSTATUS status);

// Runs one command (`args` without the program name) against `registry`.
// `query` prints the key's full name, then per value four spaces, name, four
// spaces, type, four spaces, data; then the full names of its subkeys. Errors,
// bad usage included, are one line on `err` starting with "lx2d-reg: ".
// Without /f, `add` over an existing value and `delete` ask through a Yes/No
// message box (No unless someone answers on the terminal). Every failure of
// the registry is reported with its meaning; an enumeration that fails part
// way fails the command. `hiveFile` (may be empty) names the file of a hive
// that cannot be read.
int RunRegCommand(const std::vector<std::string>& args, platform::IRegistry& registry,
                  std::ostream& out, std::ostream& err, const HiveFileNamer& hiveFile = {});

}  // namespace lx2d::reg
