#include "profile_text.h"

#include <algorithm>
#include <cstdint>

#include "platform/text.h"

namespace lx2d {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? c - u'A' + u'a' : c; }

std::u16string DecodeUtf16(std::string_view bytes, bool bigEndian) {
  std::u16string out;
  out.reserve(bytes.size() / 2 + 1);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<uint8_t>(bytes[i]);
    const auto second = static_cast<uint8_t>(bytes[i + 1]);
    out.push_back(static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
  }
  if (bytes.size() % 2 != 0) out.push_back(kReplacement);
  return out;
}

}  // namespace

std::u16string DecodeProfileBytes(std::string_view bytes, const IAnsiCodePage& codePage) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return platform::Utf8ToUtf16(bytes.substr(3));
  if (bytes.starts_with("\xFF\xFE")) return DecodeUtf16(bytes.substr(2), false);
  if (bytes.starts_with("\xFE\xFF")) return DecodeUtf16(bytes.substr(2), true);
  return codePage.ToWide(bytes);
}

bool EqualsIgnoringCase(std::u16string_view left, std::u16string_view right) {
  return std::equal(left.begin(), left.end(), right.begin(), right.end(),
                    [](char16_t a, char16_t b) { return FoldAscii(a) == FoldAscii(b); });
}

std::vector<ProfileSection> ParseProfile(std::u16string_view text) {
  std::vector<ProfileSection> sections;
  int lineNumber = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of(u"\r\n", start);
    if (end == std::u16string_view::npos) end = text.size();
    const std::u16string_view line = Trim(text.substr(start, end - start));
    ++lineNumber;
    // A CR LF pair ends one line, not two.
    const bool pair = end + 1 < text.size() && text[end] == u'\r' && text[end + 1] == u'\n';
    start = end + (pair ? 2 : 1);
    if (line.empty() || line.front() == u';') continue;
    if (line.front() == u'[') {
      const std::size_t close = line.rfind(u']');
      if (close != std::u16string_view::npos) {
        sections.push_back({std::u16string(Trim(line.substr(1, close - 1))), {}, lineNumber});
      }
    } else if (!sections.empty()) {
      const std::size_t equals = line.find(u'=');
      ProfileEntry entry{std::u16string(Trim(line.substr(0, equals))),
                         {},
                         equals != std::u16string_view::npos,
                         lineNumber};
      if (entry.hasValue) entry.value = std::u16string(Trim(line.substr(equals + 1)));
      sections.back().entries.push_back(std::move(entry));
    }
  }
  return sections;
}

std::u16string LookupProfileString(const std::vector<ProfileSection>& sections,
                                   std::u16string_view section, std::u16string_view key,
                                   std::u16string_view defaultText) {
  const auto found = std::find_if(sections.begin(), sections.end(), [&](const ProfileSection& s) {
    return EqualsIgnoringCase(s.name, section);
  });
  if (found == sections.end()) return std::u16string(defaultText);
  for (const ProfileEntry& entry : found->entries) {
    if (!EqualsIgnoringCase(entry.key, key)) continue;
    if (!entry.hasValue) return std::u16string(defaultText);
    std::u16string_view value = entry.value;
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    value = value.substr(0, value.find(u'\0'));
    return std::u16string(value.substr(0, kMaxProfileValue));
  }
  return std::u16string(defaultText);
}

}  // namespace lx2d
