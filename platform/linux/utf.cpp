#include "utf.h"

#include <cstdint>

namespace lx2d::platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string* out, char32_t c) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void AppendUtf16(std::u16string* out, char32_t c) {
  if (c < 0x10000) {
    out->push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

}  // namespace

std::string EncodeUtf8(std::u16string_view text, bool* invalid, char32_t replacement) {
  std::string out;
  out.reserve(text.size());
  bool bad = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = replacement;
      bad = true;
    }
    AppendUtf8(&out, c);
  }
  if (invalid != nullptr) *invalid = bad;
  return out;
}

std::u16string DecodeUtf8(std::string_view text, bool* invalid) {
  std::u16string out;
  out.reserve(text.size());
  bool bad = false;
  std::size_t i = 0;
  while (i < text.size()) {
    auto byte = static_cast<std::uint8_t>(text[i]);
    if (byte < 0x80) {
      out.push_back(byte);
      ++i;
      continue;
    }
    int length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (byte >= 0xC2 && byte <= 0xDF) {
      length = 2, c = byte & 0x1F, minimum = 0x80;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
      length = 3, c = byte & 0x0F, minimum = 0x800;
    } else if (byte >= 0xF0 && byte <= 0xF4) {
      length = 4, c = byte & 0x07, minimum = 0x10000;
    }
    std::size_t consumed = 1;
    bool ok = length > 0;
    for (int k = 1; ok && k < length; ++k) {
      if (i + k >= text.size()) {
        ok = false;
        break;
      }
      auto next = static_cast<std::uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      c = (c << 6) | (next & 0x3F);
      consumed = k + 1;
      // Reject overlong forms, surrogates and values past U+10FFFF as soon as
      // the second byte shows them, so the bad subpart stays short.
      if (k == 1) {
        char32_t top = c << (6 * (length - 2));
        if (top < minimum || (top >= 0xD800 && top <= 0xDFFF) || top > 0x10FFFF) {
          ok = false;
          consumed = 1;
        }
      }
    }
    if (ok) {
      AppendUtf16(&out, c);
      i += length;
    } else {
      out.push_back(static_cast<char16_t>(kReplacement));
      bad = true;
      i += consumed;
    }
  }
  if (invalid != nullptr) *invalid = bad;
  return out;
}

}  // namespace lx2d::platform
