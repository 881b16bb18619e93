// The text of a settings file as the profile functions of the original
// platform see it: decoding by byte-order mark, sections of name=value lines,
// and the lookup of one value.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "ansi_code_page.h"

namespace lx2d {

// The longest value a lookup returns (the 256-character buffer of the
// original, less its terminator).
inline constexpr std::size_t kMaxProfileValue = 255;

// File bytes to wide text: a UTF-8 (EF BB BF) or UTF-16 (FF FE, FE FF)
// byte-order mark selects that encoding and is dropped; a file without one
// is in the ANSI code page. Malformed sequences become U+FFFD.
std::u16string DecodeProfileBytes(std::string_view bytes, const IAnsiCodePage& codePage);

struct ProfileEntry {
  std::u16string key;    // blanks around it removed
  std::u16string value;  // blanks around it removed, quotes still there
  bool hasValue;         // false for a line without "=", which the lookup skips
  int line;              // 1-based
};

struct ProfileSection {
  std::u16string name;  // the text between the brackets, blanks removed
  std::vector<ProfileEntry> entries;
  int line;
};

// Splits the text into sections. Lines before the first section, blank
// lines and lines whose first non-blank character is ";" belong to no
// section. A line "[" without "]" starts no section and is no key.
std::vector<ProfileSection> ParseProfile(std::u16string_view text);

// The value of `key` in the first section named `section` (names compare
// without regard to ASCII case), with one pair of enclosing quotes (' or ")
// removed, cut at the first NUL and at kMaxProfileValue characters.
// `defaultText` when the section or key is absent or the key has no "=";
// later sections of the same name are not consulted.
std::u16string LookupProfileString(const std::vector<ProfileSection>& sections,
                                   std::u16string_view section, std::u16string_view key,
                                   std::u16string_view defaultText);

// ASCII case-insensitive equality, as names in the file are compared.
bool EqualsIgnoringCase(std::u16string_view left, std::u16string_view right);

}  // namespace lx2d
