// The ANSI code page of the calling thread, as the settings engine needs it:
// texts for the reader are sent in it, files without a byte-order mark are
// read in it, and emulator texts make the round trip through it.
#pragma once

#include <string>
#include <string_view>

namespace lx2d {

class IAnsiCodePage {
 public:
  virtual ~IAnsiCodePage() = default;

  // Wide text to the code page; characters it lacks become its default
  // character ("?").
  virtual std::string FromWide(std::u16string_view text) const = 0;

  // Code-page bytes to wide text; byte sequences it cannot decode become
  // U+FFFD.
  virtual std::u16string ToWide(std::string_view bytes) const = 0;
};

}  // namespace lx2d
