// The buttons each message box type offers, in the order Windows shows them.
#pragma once

#include "platform/message_box.h"

namespace lx2d::platform {

struct MessageBoxButton {
  int id;
  const char* label;
};

struct MessageBoxButtons {
  UINT type;  // style & MB_TYPEMASK
  int count;
  MessageBoxButton buttons[3];
};

// The buttons of `style`'s type; an unknown type shows a plain OK button.
const MessageBoxButtons& ButtonsOf(UINT style);

}  // namespace lx2d::platform
