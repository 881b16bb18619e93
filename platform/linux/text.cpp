#include "platform/text.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstring>

#include "platform/last_error.h"
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

// UTF-16 to the locale's character set; characters it lacks become '?'.
std::string EncodeAnsi(std::u16string_view text, bool* usedDefault) {
  std::string charset = AnsiCharacterSet();
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
  iconv(converter.Get(), nullptr, nullptr, &output, &outputLeft);  // shift back to the initial state
  out.append(buffer, static_cast<std::size_t>(output - buffer));
  return out;
}

// The locale's character set to UTF-16; undecodable bytes become U+FFFD.
std::u16string DecodeAnsi(std::string_view text, bool* invalid) {
  std::string charset = AnsiCharacterSet();
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

bool KnownCodePage(UINT codePage) {
  return codePage == CP_ACP || codePage == CP_THREAD_ACP || codePage == CP_UTF8;
}

// Copies `converted` into the caller's buffer with the Windows size rules.
template <typename Char>
int Deliver(const std::basic_string<Char>& converted, Char* target, int targetSize) {
  if (converted.size() > static_cast<std::size_t>(INT32_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int needed = static_cast<int>(converted.size());
  if (targetSize == 0) return needed;
  if (target == nullptr || targetSize < needed) {
    SetLastError(target == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(target, converted.data(), converted.size() * sizeof(Char));
  return needed;
}

}  // namespace

void UseEnvironmentLocale() { std::setlocale(LC_CTYPE, ""); }

std::string AnsiCharacterSet() {
  const char* codeset = nl_langinfo(CODESET);
  return (codeset != nullptr && *codeset != '\0') ? std::string(codeset) : "ANSI_X3.4-1968";
}

int WideCharToMultiByte(UINT codePage, DWORD flags, const char16_t* source, int sourceLength,
                        char* target, int targetSize, bool* usedDefaultChar) {
  if (usedDefaultChar != nullptr) *usedDefaultChar = false;
  if (flags != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  if (source == nullptr || sourceLength < -1 || sourceLength == 0 || targetSize < 0 ||
      !KnownCodePage(codePage)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::size_t length = sourceLength == -1 ? std::char_traits<char16_t>::length(source) + 1
                                          : static_cast<std::size_t>(sourceLength);
  std::u16string_view text(source, length);
  bool usedDefault = false;
  std::string converted;
  if (codePage == CP_UTF8) {
    converted = EncodeUtf8(text);
  } else {
    converted = EncodeAnsi(text, &usedDefault);
  }
  int result = Deliver(converted, target, targetSize);
  if (result != 0 && usedDefaultChar != nullptr) *usedDefaultChar = usedDefault;
  return result;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* source, int sourceLength,
                        char16_t* target, int targetSize) {
  if ((flags & ~MB_ERR_INVALID_CHARS) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  if (source == nullptr || sourceLength < -1 || sourceLength == 0 || targetSize < 0 ||
      !KnownCodePage(codePage)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::size_t length = sourceLength == -1 ? std::strlen(source) + 1
                                          : static_cast<std::size_t>(sourceLength);
  std::string_view text(source, length);
  bool invalid = false;
  std::u16string converted =
      codePage == CP_UTF8 ? DecodeUtf8(text, &invalid) : DecodeAnsi(text, &invalid);
  if (invalid && (flags & MB_ERR_INVALID_CHARS) != 0) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  return Deliver(converted, target, targetSize);
}

std::string Utf16ToUtf8(std::u16string_view text) { return EncodeUtf8(text); }

std::u16string Utf8ToUtf16(std::string_view text) { return DecodeUtf8(text); }

std::string Utf16ToAnsi(std::u16string_view text) {
  bool usedDefault = false;
  return EncodeAnsi(text, &usedDefault);
}

std::u16string AnsiToUtf16(std::string_view text) {
  bool invalid = false;
  return DecodeAnsi(text, &invalid);
}

}  // namespace lx2d::platform
