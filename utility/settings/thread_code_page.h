// The ANSI code page of the calling thread: the locale's character set.
#pragma once

#include "ansi_code_page.h"

namespace lx2d {

class CThreadCodePage final : public IAnsiCodePage {
 public:
  std::string FromWide(std::u16string_view text) const override;
  std::u16string ToWide(std::string_view bytes) const override;
};

}  // namespace lx2d
