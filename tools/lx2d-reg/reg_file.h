// Registry files in the text format of "Windows Registry Editor Version 5.00":
// export of a key with its subtree, import of a file.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Korvane\LX2D_B_SET]
//   "AfterWakeupWait"=dword:000005dc
//   "Name"="text with \"quotes\" and \\ backslashes"
//   @="the default value"
//   "Raw"=hex:01,02,ff
//   "Other"=hex(7):61,00,00,00,00,00     (type number in hex, then the bytes)
//   "Gone"=-                             (import: delete the value)
//   [-HKEY_CURRENT_USER\SOFTWARE\Old]    (import: delete the key and its subtree)
#pragma once

#include <string>
#include <string_view>

#include "platform/registry.h"
#include "reg_key_path.h"

namespace lx2d::reg {

// Writes `key` and its subkeys, depth first in name order, as file text
// (UTF-8, lines ending in "\r\n" as reg.exe writes them). A REG_SZ value is
// written as a quoted string only when that gives back the same bytes on
// import (UTF-16 text with one terminator); otherwise as hex(1), so nothing
// is lost. Results: ERROR_SUCCESS with *text set; ERROR_INVALID_DATA when a
// key or value name holds a line break, which the format cannot carry
// (*badName, may be null, then names it); or the registry's error for a key
// or its listing. *text is untouched unless the whole export succeeded.
platform::LSTATUS ExportKey(platform::IRegistry& registry, const KeyPath& key, std::string* text,
                            std::string* badName = nullptr);

struct ImportResult {
  platform::LSTATUS status = platform::ERROR_SUCCESS;  // registry error, if any
  int line = 0;                                        // 1-based line of the failure
  std::string error;                                   // empty on success
  platform::HKEY root = 0;  // the hive the failed change was for, when one was
};

// Applies the file `text` (UTF-8, with or without byte-order mark, or
// UTF-16LE with its byte-order mark, whose lone surrogates are kept) to the
// registry, in file order, as one change group. A line ending in '\' after
// hex data continues on the next line; a comment (';') never continues.
// Stops at the first line it cannot parse or apply; changes before it stay.
ImportResult ImportText(platform::IRegistry& registry, std::string_view text);

}  // namespace lx2d::reg
