// What the protocol engine needs of the host's windowing: registered window
// messages, posting, and the few message boxes it shows. The library binds it
// to the platform layer; tests use recording fakes.
#pragma once

#include <cstdint>
#include <string_view>

namespace lx2d {

using HostWindow = uint64_t;  // a window handle as the host passed it

inline constexpr HostWindow kHostBroadcast = 0xFFFF;  // HWND_BROADCAST

// Message box styles the engine uses.
inline constexpr uint32_t kBoxOk = 0x00000000;             // MB_OK
inline constexpr uint32_t kBoxSetForeground = 0x00010000;  // MB_SETFOREGROUND

class IHostMessaging {
 public:
  virtual ~IHostMessaging() = default;

  // The message number registered for `name`, the same in every process;
  // 0 when registration failed (such a message is never posted).
  virtual uint32_t RegisterMessage(std::string_view name) = 0;

  // Posts without waiting for the receiver. False when the message could
  // not be queued (window gone, queue full).
  virtual bool PostMessage(HostWindow window, uint32_t message, uint64_t wParam,
                           int64_t lParam) = 0;

  // Shows a message box without owner window and waits until it is closed.
  virtual void MessageBox(std::string_view text, std::string_view caption, uint32_t style) = 0;
};

}  // namespace lx2d
