// Windows and their messages, in the manner of the Windows user interface
// functions: window classes, windows with a window procedure, a message queue
// per thread, posting and sending across processes, lookup by class name,
// registered message numbers and broadcast.
//
// A window is a datagram socket LX2D_RUNTIME_DIR/windows/<handle>.sock with a
// description file beside it; docs/window-messages.md gives the protocol, so
// programs written in other languages can own windows too. A window belongs to
// the thread that created it: its procedure runs on that thread, inside
// DispatchMessage for posted messages and inside GetMessage/PeekMessage (or a
// SendMessage of that thread) for messages sent from other threads or
// processes. A background thread of the process collects what arrives for a
// thread's windows into that thread's queue at once, so messages wait there
// (up to 10000 posted ones per thread, as on Windows) while the thread is
// busy. Names (class, title, registered messages) are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace lx2d::platform {

// A window handle: a number that names the same window in every process.
// 0 is no window; real handles lie in 0x10000..0x7FFFFFFF.
using HWND = std::uintptr_t;
using ATOM = std::uint16_t;
using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// PostMessage to every top-level window of every process.
inline constexpr HWND HWND_BROADCAST = 0xFFFF;

// Messages.
inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_MOVE = 0x0003;
inline constexpr UINT WM_SIZE = 0x0005;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUERYENDSESSION = 0x0011;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_ENDSESSION = 0x0016;
inline constexpr UINT WM_NCDESTROY = 0x0082;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_SYSCOMMAND = 0x0112;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_APP = 0x8000;
// RegisterWindowMessage answers numbers in this range.
inline constexpr UINT kFirstRegisteredMessage = 0xC000;
inline constexpr UINT kLastRegisteredMessage = 0xFFFF;

// WM_SYSCOMMAND wParam values.
inline constexpr WPARAM SC_CLOSE = 0xF060;

// Window styles (kept and reported; nothing is drawn).
inline constexpr DWORD WS_OVERLAPPED = 0x00000000;
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_BORDER = 0x00800000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;
inline constexpr DWORD WS_CHILD = 0x40000000;

// PeekMessage options.
inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;

// GetWindowLongPtr/SetWindowLongPtr index.
inline constexpr int GWLP_USERDATA = -21;

struct WNDCLASS {
  UINT style = 0;
  WNDPROC lpfnWndProc = nullptr;
  std::string lpszClassName;
};

// lParam of WM_CREATE points at this record (in the creating process only).
struct CREATESTRUCT {
  void* lpCreateParams = nullptr;
  HWND hwndParent = 0;
  DWORD style = 0;
  std::string lpszName;
  std::string lpszClass;
  DWORD dwExStyle = 0;
};

struct MSG {
  HWND hwnd = 0;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// Registers a window class for this process. Results: a nonzero atom; 0 with
// the last error ERROR_CLASS_ALREADY_EXISTS when the name is taken (names
// compare case-insensitively), ERROR_INVALID_PARAMETER for an empty name or a
// null procedure.
ATOM RegisterClass(const WNDCLASS& windowClass);

// Creates a window of a class registered in this process, owned by the
// calling thread; it becomes visible to FindWindow and reachable by
// PostMessage/SendMessage from every process. Its procedure first receives
// WM_CREATE with lParam pointing at a CREATESTRUCT holding `param`; an answer
// of -1 destroys the window again. A window with `parent` 0 is top-level and
// receives broadcasts. The first top-level window makes SIGTERM and SIGHUP
// arrive as a posted WM_QUERYENDSESSION at every top-level window of the
// process (unless the program has its own handler for the signal; a signal
// that finds no window, or comes again before any window procedure received
// the last WM_QUERYENDSESSION, ends the process as usual). Position and size are kept
// only. Results: the handle; 0 with the last error
// ERROR_CANNOT_FIND_WND_CLASS, ERROR_INVALID_WINDOW_HANDLE (WM_CREATE
// refused), ERROR_ACCESS_DENIED or ERROR_PATH_NOT_FOUND (runtime directory),
// ERROR_NOT_ENOUGH_MEMORY (no socket, handle or background thread to be had).
HWND CreateWindowEx(DWORD exStyle, std::string_view className, std::string_view windowName,
                    DWORD style, int x, int y, int width, int height, HWND parent, UINT id,
                    void* param);

// Destroys a window of the calling thread: sends it WM_DESTROY then
// WM_NCDESTROY and removes it from the system; messages still queued for it
// are dropped and a SendMessage waiting on it returns 0. Results: TRUE;
// FALSE with ERROR_INVALID_WINDOW_HANDLE for a window that does not exist or
// ERROR_ACCESS_DENIED for one of another thread.
BOOL DestroyWindow(HWND window);

// TRUE when `window` exists (in any process).
BOOL IsWindow(HWND window);

// The default reactions: WM_SYSCOMMAND SC_CLOSE sends WM_CLOSE; WM_CLOSE
// destroys the window; WM_QUERYENDSESSION answers TRUE; anything else 0.
LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The pointer-sized user value of a window of this process (GWLP_USERDATA
// only); Set returns the previous value. 0 for other indexes or windows.
std::intptr_t GetWindowLongPtr(HWND window, int index);
std::intptr_t SetWindowLongPtr(HWND window, int index, std::intptr_t value);

// The first live top-level window (lowest handle) whose class is
// `className` (case-insensitive) and, when `windowName` is not null, whose
// title equals it; windows of every process count. Stale windows of dead
// processes are removed on the way. Results: the handle, or 0 (last error
// ERROR_FILE_NOT_FOUND) when none matches.
HWND FindWindow(std::string_view className, const std::string* windowName = nullptr);

// Queues a message for `window` (any process) and returns without waiting
// for it to be handled; only when the window's socket is full does it wait
// for room, at most half a second. With HWND_BROADCAST the message goes to
// every live top-level window and the result is TRUE even when there is none.
// Results: TRUE; FALSE with ERROR_INVALID_WINDOW_HANDLE when the window does
// not exist (any more), ERROR_NOT_ENOUGH_QUOTA when its queue is full (10000
// posted messages wait for the owning thread).
BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Queues a message for the calling thread itself (hwnd 0 in the MSG).
BOOL PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam);

// Calls the window's procedure and returns its answer. A window of the
// calling thread is called directly; any other is reached through its socket
// and the caller waits, without time-out, until the owner has run the
// procedure; while waiting, messages sent to the caller's own windows are
// handled so two threads sending to each other do not deadlock. Results: the
// procedure's answer; 0 with ERROR_INVALID_WINDOW_HANDLE when the window does
// not exist or disappears before answering; 0 with ERROR_INVALID_PARAMETER for
// HWND_BROADCAST (a synchronous broadcast could wait on every window; nothing
// here needs it).
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Waits for the next message of the calling thread whose window matches
// `filter` (0: any) and whose number lies in min..max (both 0: any); sent
// messages are handled while waiting. Results: 1 with *msg set; 0 when the
// message is WM_QUIT (its wParam is PostQuitMessage's exit code); -1 with
// ERROR_INVALID_WINDOW_HANDLE for a filter window that is not this thread's.
BOOL GetMessage(MSG* msg, HWND filter, UINT min, UINT max);

// As GetMessage without waiting: TRUE with *msg when a matching message is
// queued (removed with PM_REMOVE), FALSE when none is.
BOOL PeekMessage(MSG* msg, HWND filter, UINT min, UINT max, UINT removeFlags);

// Nothing to translate without a keyboard: FALSE.
BOOL TranslateMessage(const MSG* msg);

// Calls the procedure of msg->hwnd (a window of this thread) and returns its
// answer; 0 for thread messages and windows that are gone.
LRESULT DispatchMessage(const MSG* msg);

// Makes the calling thread's GetMessage return 0 with `exitCode` in wParam
// once the messages queued before it have been retrieved.
void PostQuitMessage(int exitCode);

// The message number of `name`: the same number in every process and for
// every spelling of the name in other letter case, in 0xC000..0xFFFF,
// computed from the name (docs/window-messages.md). The numbers of this
// system's message names do not collide. The name is also recorded in
// LX2D_RUNTIME_DIR/messages so tools can show it. Results: the number; 0 with
// ERROR_INVALID_PARAMETER for an empty name.
UINT RegisterWindowMessage(std::string_view name);

// The name registered for `message` in any process, or "" when unknown.
std::string GetRegisteredMessageName(UINT message);

// One window as FindWindow and lx2d-win list see it.
struct TWindowInfo {
  HWND handle = 0;
  std::string className;
  std::string title;
  std::int64_t processId = 0;
};

// Every live top-level window of every process, in handle order. Stale
// windows of dead processes are removed on the way.
std::vector<TWindowInfo> ListWindows();

}  // namespace lx2d::platform
