#include "platform_host_messaging.h"

#include "platform/message_box.h"
#include "platform/window.h"

namespace lx2d {

uint32_t CPlatformHostMessaging::RegisterMessage(std::string_view name) {
  return platform::RegisterWindowMessage(name);
}

bool CPlatformHostMessaging::PostMessage(HostWindow window, uint32_t message, uint64_t wParam,
                                         int64_t lParam) {
  return platform::PostMessage(static_cast<platform::HWND>(window), message, wParam, lParam) !=
         platform::FALSE;
}

void CPlatformHostMessaging::MessageBox(std::string_view text, std::string_view caption,
                                        uint32_t style) {
  platform::MessageBox(0, text, caption, style);
}

}  // namespace lx2d
