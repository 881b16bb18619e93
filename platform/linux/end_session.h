// SIGTERM and SIGHUP as end of session, between the window table
// (window.cpp) and the signal watcher (end_session.cpp).
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
