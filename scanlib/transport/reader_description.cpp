#include "reader_description.h"

#include "platform/text.h"

namespace lx2d {
namespace {

// Room the description parts get, as in the ANSI buffers the exports use.
constexpr size_t kMaxPartBytes = 259;

}  // namespace

std::string ReaderDescription(std::u16string_view product, std::u16string_view serial) {
  std::string text = platform::Utf16ToAnsi(product).substr(0, kMaxPartBytes);
  if (serial != u"?") text += " " + platform::Utf16ToAnsi(serial).substr(0, kMaxPartBytes);
  return text;
}

}  // namespace lx2d
