// Conversions between UTF-16 and a named character set through iconv (UTF-8
// directly), the working part of the ANSI code page conversions in text.h.
#pragma once

#include <string>
#include <string_view>

namespace lx2d::platform {

// Characters the character set lacks, and unpaired surrogates, become '?';
// *usedDefault tells whether any did. An unknown character set keeps ASCII.
std::string EncodeCharset(const std::string& charset, std::u16string_view text, bool* usedDefault);

// Bytes that do not decode become U+FFFD; *invalid tells whether any did.
std::u16string DecodeCharset(const std::string& charset, std::string_view text, bool* invalid);

}  // namespace lx2d::platform
