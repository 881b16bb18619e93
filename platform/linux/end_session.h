// SIGTERM and SIGHUP as end of session, between the window table
// (window.cpp) and the signal watcher (end_session.cpp).
#pragma once

#include <vector>

#include "platform/window.h"

namespace lx2d::platform {

// The top-level windows of this process, for the end-of-session signal.
std::vector<HWND> ProcessTopLevelWindows();

// Arranges, once per process, that SIGTERM and SIGHUP arrive as a posted
// WM_QUERYENDSESSION at every top-level window (end_session.cpp). A second
// signal that comes before any window procedure has seen the first one ends
// the process as the signal normally does, so a program whose message loop
// is stuck can still be stopped.
void WatchEndOfSession();

// Tells the watcher that a window procedure received WM_QUERYENDSESSION.
void NoteEndOfSessionDelivered();

}  // namespace lx2d::platform
