#include "lx2d_wnd.h"

#include <utility>

#include "apply_settings.h"
#include "emulator_preferences.h"
#include "hid_interface_search.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "result_messages.h"

namespace lx2d {

using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::UINT;
using platform::WPARAM;

CLX2D_Wnd::CLX2D_Wnd(TWorkerWindowServices windowServices, std::unique_ptr<IPowerChannel> channel)
    : services(std::move(windowServices)),
      powerChannel(std::move(channel)),
      forcePowerOnMessage(platform::RegisterWindowMessage(kForcePowerOnMessage)),
      restorePowerStateMessage(platform::RegisterWindowMessage(kRestorePowerStateMessage)) {
  driverChannelStatus = powerChannel->OpenDriver();
  if (driverChannelStatus == 0 && SupportsSession(powerChannel->Version()))
    driverChannelStatus = powerChannel->Initialize();
}

CLX2D_Wnd::~CLX2D_Wnd() {
  if (window != 0) platform::DestroyWindow(window);
  powerChannel->CloseDriver();
}

void CLX2D_Wnd::SetupWorkerWindow(const std::filesystem::path& path, CBarcodeDll* library,
                                  std::u16string key) {
  if (binding != nullptr || !settingsPath.empty()) return;
  settingsPath = path;
  binding = library;
  emulatorKey = std::move(key);
  // The machine's value first, so a user's own value wins.
  for (platform::HKEY root : {platform::HKEY_LOCAL_MACHINE, platform::HKEY_CURRENT_USER}) {
    const std::optional<uint32_t> wait =
        services.reg.ReadDwordValue(root, kUtilityKey, u"AfterWakeupWait");
    if (wait && *wait != kWakeWaitUnset) wakeWait = std::chrono::milliseconds(*wait);
  }
}

bool CLX2D_Wnd::Create() {
  static const platform::ATOM registered = platform::RegisterClass(platform::WNDCLASS{
      .style = 0, .lpfnWndProc = WindowProc, .lpszClassName = std::string(kWorkerWindowClass)});
  if (registered == 0) return false;
  // Never shown: not visible and of no size.
  const platform::DWORD style = kWorkerWindowStyle & ~platform::WS_VISIBLE;
  return platform::CreateWindowEx(0, kWorkerWindowClass, "", style, 0, 0, 0, 0, 0, 0, this) != 0;
}

LRESULT CLX2D_Wnd::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == platform::WM_CREATE) {
    const auto* create = reinterpret_cast<const platform::CREATESTRUCT*>(lParam);
    auto* self = static_cast<CLX2D_Wnd*>(create->lpCreateParams);
    self->window = window;
    platform::SetWindowLongPtr(window, platform::GWLP_USERDATA,
                               reinterpret_cast<std::intptr_t>(self));
  }
  auto* self =
      reinterpret_cast<CLX2D_Wnd*>(platform::GetWindowLongPtr(window, platform::GWLP_USERDATA));
  if (self == nullptr) return platform::DefWindowProc(window, message, wParam, lParam);
  return self->OnMessage(message, wParam, lParam);
}

LRESULT CLX2D_Wnd::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case platform::WM_CREATE:
      return OnCreate();
    case platform::WM_COMMAND:
      if (lParam != 0) break;
      switch (wParam & 0xFFFF) {
        case IDC_STEP_CONNECT:
          ConnectStep();
          return 0;
        case IDC_STEP_APPLY:
          ApplyStep();
          return 0;
        case IDC_STEP_FINISH:
          FinishStep();
          return 0;
        default:
          break;
      }
      break;
    case platform::WM_QUERYENDSESSION:
      return OnQueryEndSession(wParam, lParam);
    case platform::WM_DESTROY:
      OnDestroy();
      return 0;
    default:
      break;
  }
  return platform::DefWindowProc(window, message, wParam, lParam);
}

LRESULT CLX2D_Wnd::OnCreate() {
  if (platform::DefWindowProc(window, platform::WM_CREATE, 0, 0) == -1 || settingsPath.empty() ||
      binding == nullptr) {
    window = 0;
    return -1;
  }
  Post(platform::WM_COMMAND, IDC_STEP_CONNECT);
  return 0;
}

LRESULT CLX2D_Wnd::OnQueryEndSession(WPARAM wParam, LPARAM lParam) {
  const LRESULT answer =
      platform::DefWindowProc(window, platform::WM_QUERYENDSESSION, wParam, lParam);
  if (answer == 0) return answer;
  Post(platform::WM_SYSCOMMAND, platform::SC_CLOSE);
  return platform::TRUE;
}

void CLX2D_Wnd::OnDestroy() {
  // A session that ends during the run still leaves the reader disconnected
  // and the emulator's power state restored.
  if (binding->State() == BarcodeDllState::kConnected) FinishStep();
  powerChannel->CloseDriver();
  window = 0;
  platform::PostQuitMessage(exitCode);
}

void CLX2D_Wnd::ConnectStep() {
  const HWND emulator = platform::FindWindow(kEmulatorWindowClass);
  const bool emulatorPresent = emulator != 0;
  if (emulatorPresent) {
    // When the send returns the emulator has powered the reader on, or has
    // begun to: the retries below cover a reader that comes up late.
    platform::SendMessage(emulator, forcePowerOnMessage, 0, 0);
  } else {
    PowerOnThroughDriver();
    services.sleep(wakeWait);
  }
  SearchReader();
  int result = binding->ConnectReader();
  for (int retry = 0; result != 0 && emulatorPresent && retry < kEmulatorConnectRetries; ++retry) {
    services.sleep(kEmulatorRetryPause);
    result = binding->ConnectReader();
  }
  if (result == 0) {
    connected = true;
  } else {
    ShowLibraryResult();
    exitCode = kExitConnectFailed;
    Post(platform::WM_SYSCOMMAND, platform::SC_CLOSE);
  }
  // After a failure the close request comes first: the window is gone
  // before this command could be handled.
  Post(platform::WM_COMMAND, IDC_STEP_APPLY);
}

void CLX2D_Wnd::PowerOnThroughDriver() {
  if (driverChannelStatus != 0) return;
  uint8_t status = 0;
  powerChannel->SetPowerState(kPowerItemReader, 1, status);
  if (driverChannelStatus != 0) return;
  powerChannel->SetPowerState(kPowerItemAfterReader, 0, status);
}

void CLX2D_Wnd::SearchReader() {
  // Both patterns: a hit for the second wins over one for the first.
  for (std::u16string_view pattern : kHidPatterns) {
    const THidSearchResult found =
        FindHidInterfacePath(services.openInterfaces, kHidInterfaceClassGuid,
                             kDigcfPresentInterfaces, HidSearchPrefix(pattern));
    if (found.result != kHidSearchNotFound)
      binding->SetDevicePath(platform::Utf16ToAnsi(found.path));
  }
}

void CLX2D_Wnd::ApplyStep() {
  if (connected && ApplySettingsFile(services.reader, settingsPath, *binding) == 0)
    exitCode = kExitApplyFailed;
  WriteEmulatorPreferences(services.reader, settingsPath, emulatorKey, services.preferences);
  Post(platform::WM_COMMAND, IDC_STEP_FINISH);
}

void CLX2D_Wnd::FinishStep() {
  if (binding->DisconnectReader() != 0) ShowLibraryResult();
  connected = false;
  // The emulator as it is now: one that has gone since the power-on gets
  // nothing.
  const HWND emulator = platform::FindWindow(kEmulatorWindowClass);
  if (emulator != 0) platform::SendMessage(emulator, restorePowerStateMessage, 0, 0);
  Post(platform::WM_SYSCOMMAND, platform::SC_CLOSE);
}

void CLX2D_Wnd::ShowLibraryResult() {
  platform::MessageBox(window, LibraryResultText(services.language, binding->LastResult()),
                       services.title, kErrorBoxStyle);
}

void CLX2D_Wnd::Post(UINT message, WPARAM wParam) {
  platform::PostMessage(window, message, wParam, 0);
}

}  // namespace lx2d
