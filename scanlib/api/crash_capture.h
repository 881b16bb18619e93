// Crash capture: a plain-text description of each exception caught by an
// export's guard, appended to the crash-information file ExInfo.dat in the
// state folder (LX2D_STATE_DIR), so that a field failure leaves a trace even
// though the host only sees result 12.
//
// One record per exception, lines ending in CR LF on disk:
//
//   2026 12 10, 04:31:07          local date and time
//   Code   = ACCESS_VIOLATION     name of the code, else "Unknown (<signed code>)"
//   Addr   = 0x401a2c             address of the faulting instruction
//   Flags  = 0
//   NbPrms = 2
//   Prm 0  = 1                    one line per parameter, hexadecimal
//   Prm 1  = 0
//                                 an empty line
#pragma once

#include <string>
#include <string_view>

#include "platform/exception_guard.h"

namespace lx2d {

// The name of an exception code as the record shows it: "ACCESS_VIOLATION",
// ..., or "Unknown (-529697949)" for a code without a name.
std::string ExceptionName(std::uint32_t code);

// The record's text without its date line: code, address, flags, parameter
// count and parameters, then the empty line ("\n" line ends).
std::string FormatExceptionRecord(const platform::ExceptionRecord& record);

// Appends the record of `record` to ExInfo.dat. Never fails towards the
// caller: a crash file that cannot be written is simply not written.
void ReportException(const platform::ExceptionRecord& record);

// Appends the date line and `text` to the file `fileName` in the state
// folder (created on demand), each "\n" written as CR LF, in one write so
// that records of several processes do not interleave. Results: true when
// everything was written; false, having written nothing, when the folder or
// the file cannot be created or opened for appending.
bool AppendExceptionFile(std::string_view text, const char* fileName);

}  // namespace lx2d
