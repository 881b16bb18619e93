// The windows and window classes of this process, and the message queue of
// each thread. Internal to the message system (window.cpp, end_session.cpp).
#pragma once

#include <vector>

#include "platform/window.h"

namespace lx2d::platform {

// The top-level windows of this process, for the end-of-session signal.
std::vector<HWND> ProcessTopLevelWindows();

// Arranges, once per process, that SIGTERM and SIGHUP arrive as a posted
// WM_QUERYENDSESSION at every top-level window (end_session.cpp).
void WatchEndOfSession();

}  // namespace lx2d::platform
