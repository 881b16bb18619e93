#include "charset_codec.h"

#include <iconv.h>
#include <strings.h>

#include <cerrno>
#include <cstring>

#include "utf.h"

namespace lx2d::platform {

namespace {

constexpr char kDefaultChar = '?';
constexpr char16_t kReplacementChar = 0xFFFD;

bool IsUtf8(const std::string& charset) {
  return strcasecmp(charset.c_str(), "UTF-8") == 0 || strcasecmp(charset.c_str(), "UTF8") == 0;
}

class CIconv {
 public:
  CIconv(const char* to, const char* from) : handle(iconv_open(to, from)) {}
  ~CIconv() {
    if (Valid()) iconv_close(handle);
  }
  CIconv(const CIconv&) = delete;
  CIconv& operator=(const CIconv&) = delete;
  bool Valid() const { return handle != reinterpret_cast<iconv_t>(-1); }
  iconv_t Get() const { return handle; }

 private:
  iconv_t handle;
};

}  // namespace

std::string EncodeCharset(const std::string& charset, std::u16string_view text, bool* usedDefault) {
  if (IsUtf8(charset)) {
    // Unpaired surrogates have no UTF-8 form: they are unmappable here.
    bool invalid = false;
    std::string out = EncodeUtf8(text, &invalid, static_cast<char32_t>(kDefaultChar));
    *usedDefault = invalid;
    return out;
  }
  *usedDefault = false;
  CIconv converter(charset.c_str(), "UTF-16LE");
  std::string out;
  if (!converter.Valid()) {
    // A character set iconv does not know: keep ASCII, the rest is unmappable.
    for (char16_t c : text) {
      if (c >= 0xDC00 && c <= 0xDFFF) continue;  // second half of a pair counted once
      out.push_back(c < 0x80 ? static_cast<char>(c) : kDefaultChar);
      *usedDefault = *usedDefault || c >= 0x80;
    }
    return out;
  }
  auto* input = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
  std::size_t inputLeft = text.size() * sizeof(char16_t);
  char buffer[256];
  while (inputLeft > 0) {
    char* output = buffer;
    std::size_t outputLeft = sizeof(buffer);
    std::size_t result = iconv(converter.Get(), &input, &inputLeft, &output, &outputLeft);
    int error = errno;
    out.append(buffer, static_cast<std::size_t>(output - buffer));
    if (result != static_cast<std::size_t>(-1) || error == E2BIG) continue;
    // EILSEQ (no mapping, or an unpaired surrogate) or EINVAL (a lone high
    // surrogate at the end): one default character for the unit or pair.
    char16_t unit;
    std::memcpy(&unit, input, sizeof(unit));
    std::size_t skip = sizeof(char16_t);
    if (unit >= 0xD800 && unit <= 0xDBFF && inputLeft >= 4) {
      char16_t low;
      std::memcpy(&low, input + 2, sizeof(low));
      if (low >= 0xDC00 && low <= 0xDFFF) skip = 2 * sizeof(char16_t);
    }
    out.push_back(kDefaultChar);
    *usedDefault = true;
    input += skip;
    inputLeft -= skip;
    iconv(converter.Get(), nullptr, nullptr, nullptr, nullptr);
  }
  char* output = buffer;
  std::size_t outputLeft = sizeof(buffer);
  iconv(converter.Get(), nullptr, nullptr, &output,
        &outputLeft);  // shift back to the initial state
  out.append(buffer, static_cast<std::size_t>(output - buffer));
  return out;
}

std::u16string DecodeCharset(const std::string& charset, std::string_view text, bool* invalid) {
  if (IsUtf8(charset)) return DecodeUtf8(text, invalid);
  *invalid = false;
  CIconv converter("UTF-16LE", charset.c_str());
  std::u16string out;
  if (!converter.Valid()) {
    for (char c : text) {
      bool ascii = static_cast<unsigned char>(c) < 0x80;
      out.push_back(ascii ? static_cast<char16_t>(c) : kReplacementChar);
      *invalid = *invalid || !ascii;
    }
    return out;
  }
  auto* input = const_cast<char*>(text.data());
  std::size_t inputLeft = text.size();
  char16_t buffer[128];
  while (inputLeft > 0) {
    char* output = reinterpret_cast<char*>(buffer);
    std::size_t outputLeft = sizeof(buffer);
    std::size_t result = iconv(converter.Get(), &input, &inputLeft, &output, &outputLeft);
    int error = errno;
    out.append(buffer, static_cast<std::size_t>(output - reinterpret_cast<char*>(buffer)) /
                           sizeof(char16_t));
    if (result != static_cast<std::size_t>(-1) || error == E2BIG) continue;
    out.push_back(kReplacementChar);
    *invalid = true;
    ++input;
    --inputLeft;
    iconv(converter.Get(), nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

}  // namespace lx2d::platform
