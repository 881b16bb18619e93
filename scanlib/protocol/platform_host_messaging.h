// The engine's host messaging on the platform layer: registered window
// messages, PostMessage (HWND_BROADCAST included) and message boxes.
#pragma once

#include "host_messaging.h"

namespace lx2d {

class CPlatformHostMessaging final : public IHostMessaging {
 public:
  uint32_t RegisterMessage(std::string_view name) override;
  bool PostMessage(HostWindow window, uint32_t message, uint64_t wParam, int64_t lParam) override;
  void MessageBox(std::string_view text, std::string_view caption, uint32_t style) override;
};

}  // namespace lx2d
