// The spy window on screen: the three lists and the two buttons of its
// layout, fed by event lines on standard input, reporting "ready" and its
// moves on standard output.
#pragma once

#include "spy_model.h"

namespace lx2d::view {

// Shows the window at `rect` and runs until standard input ends or the
// window is closed. `openTickMs` is the library's clock at opening.
int RunSpyWindow(const SpyRect& rect, int64_t openTickMs);

}  // namespace lx2d::view
