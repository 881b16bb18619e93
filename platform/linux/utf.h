// UTF-8 and UTF-16 codecs of our own (no locale involved).
#pragma once

#include <string>
#include <string_view>

namespace lx2d::platform {

// Unpaired surrogates become `replacement`; *invalid (may be null) tells
// whether any did.
std::string EncodeUtf8(std::u16string_view text, bool* invalid = nullptr,
                       char32_t replacement = 0xFFFD);

// Malformed sequences (bad lead or continuation bytes, overlong forms,
// surrogates, values past U+10FFFF, truncated ends) become one U+FFFD per
// maximal bad subpart; *invalid (may be null) tells whether any did.
std::u16string DecodeUtf8(std::string_view text, bool* invalid = nullptr);

}  // namespace lx2d::platform
