#include "platform/text.h"

#include <langinfo.h>

#include <clocale>
#include <cstring>

#include "charset_codec.h"
#include "platform/last_error.h"
#include "utf.h"

namespace lx2d::platform {

namespace {

std::string EncodeAnsi(std::u16string_view text, bool* usedDefault) {
  return EncodeCharset(AnsiCharacterSet(), text, usedDefault);
}

std::u16string DecodeAnsi(std::string_view text, bool* invalid) {
  return DecodeCharset(AnsiCharacterSet(), text, invalid);
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
  std::size_t length =
      sourceLength == -1 ? std::strlen(source) + 1 : static_cast<std::size_t>(sourceLength);
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
