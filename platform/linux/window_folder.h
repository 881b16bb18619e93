// The windows folder LX2D_RUNTIME_DIR/windows: one datagram socket
// <handle>.sock per window (handle as 8 lower-case hex digits) and beside it
// <handle>.info, lines "pid=", "class=", "title=", "parent=" describing it.
// A window is live while a socket is bound to its .sock; the files of windows
// whose process died are removed by whoever notices.
#pragma once

#include <string>
#include <vector>

#include "platform/window.h"
#include "window_wire.h"

namespace lx2d::platform {

struct WindowDescription {
  TWindowInfo info;
  HWND parent = 0;
};

// The folder, created when missing. ERROR_SUCCESS, ERROR_ACCESS_DENIED or
// ERROR_PATH_NOT_FOUND.
DWORD OpenWindowsFolder(std::string* folder);

std::string SocketPathOf(const std::string& folder, HWND window);

// Binds a new socket under a fresh handle (non-blocking, close-on-exec).
// ERROR_SUCCESS with *fd and *window, else ERROR_ACCESS_DENIED,
// ERROR_PATH_NOT_FOUND (folder path too long for a socket name) or
// ERROR_NOT_ENOUGH_MEMORY (no handle found).
DWORD BindWindowSocket(const std::string& folder, int* fd, HWND* window);

// Writes <handle>.info atomically so readers never see half of it.
DWORD PublishWindow(const std::string& folder, const WindowDescription& description);

// Removes both files of a window (description first, so lookups stop at once).
void UnpublishWindow(const std::string& folder, HWND window);

// Every live window with its description, in handle order; stale files are
// removed on the way.
std::vector<WindowDescription> ListWindowDescriptions();

// Sends one datagram to `window`'s socket, with `passFd` (when >= 0) attached
// for the reply. A full socket is waited on for room up to `roomWaitMs`
// (0: not at all). ERROR_SUCCESS; ERROR_INVALID_WINDOW_HANDLE when no live
// socket has that handle (stale files are removed); ERROR_NOT_ENOUGH_QUOTA
// when the socket stayed full.
DWORD SendToWindow(HWND window, const WireBytes& bytes, int passFd, int roomWaitMs);

}  // namespace lx2d::platform
