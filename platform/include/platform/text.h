// Text conversions between UTF-16 (the utility's wide text, std::u16string),
// UTF-8 and the ANSI code page, which on Linux is the character set of the
// calling thread's locale (nl_langinfo(CODESET)). The conversions report
// lengths as WideCharToMultiByte and MultiByteToWideChar do.
#pragma once

#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace lx2d::platform {

// Code pages.
inline constexpr UINT CP_ACP = 0;         // the locale's character set
inline constexpr UINT CP_THREAD_ACP = 3;  // the same: locales are per thread already
inline constexpr UINT CP_UTF8 = 65001;

// Flags.
inline constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;  // fail on undecodable input

// Makes the process use the character set (LC_CTYPE) named by the environment
// (LC_ALL, LC_CTYPE, LANG) instead of the "C" locale's ASCII. Programs call it
// once at start, before other threads exist.
void UseEnvironmentLocale();

// The name of the ANSI character set of the calling thread ("UTF-8",
// "ANSI_X3.4-1968", "EUC-JP", ...).
std::string AnsiCharacterSet();

// Converts `sourceLength` UTF-16 units at `source` (-1: up to and including
// the terminating 0) into `codePage`. With `targetSize` 0 nothing is written
// and the needed byte count is returned; otherwise at most `targetSize` bytes
// are written to `target`. Characters the code page lacks become '?', and
// *usedDefaultChar (may be null) tells whether that happened; unpaired
// surrogates count as lacking. Results: the byte count (including the
// terminator when sourceLength was -1); 0 with ERROR_INSUFFICIENT_BUFFER when
// targetSize is too small, ERROR_INVALID_PARAMETER for a null source, a
// sourceLength of 0 or below -1, a negative targetSize, a null target with
// targetSize > 0 or an unknown code page, ERROR_INVALID_FLAGS
// for flags other than 0.
int WideCharToMultiByte(UINT codePage, DWORD flags, const char16_t* source, int sourceLength,
                        char* target, int targetSize, bool* usedDefaultChar = nullptr);

// Converts `sourceLength` bytes at `source` (-1: up to and including the
// terminating 0) from `codePage` into UTF-16, with the same size rules.
// Undecodable bytes become U+FFFD, or fail the call with
// ERROR_NO_UNICODE_TRANSLATION under MB_ERR_INVALID_CHARS. Results: the unit
// count; 0 with ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_PARAMETER,
// ERROR_INVALID_FLAGS (flags other than 0 and MB_ERR_INVALID_CHARS) or
// ERROR_NO_UNICODE_TRANSLATION.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* source, int sourceLength,
                        char16_t* target, int targetSize);

// Whole-string forms. Invalid input becomes U+FFFD (UTF-8 / UTF-16 side) or
// '?' (ANSI side); they never fail.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToAnsi(std::u16string_view text);
std::u16string AnsiToUtf16(std::string_view text);

}  // namespace lx2d::platform
