#include "thread_code_page.h"

#include "platform/text.h"

namespace lx2d {

std::string CThreadCodePage::FromWide(std::u16string_view text) const {
  return platform::Utf16ToAnsi(text);
}

std::u16string CThreadCodePage::ToWide(std::string_view bytes) const {
  return platform::AnsiToUtf16(bytes);
}

}  // namespace lx2d
