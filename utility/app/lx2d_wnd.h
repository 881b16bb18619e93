// CLX2D_Wnd: the hidden worker window that does the utility's work as three
// commands it posts to itself: connect (power the reader on through the
// emulator or the driver channel, find it, connect), apply (the settings
// file and the emulator preferences) and finish (disconnect, ask the
// emulator to restore the power state, close). Its destruction ends the
// message loop with the run's exit code. Main thread only: every wait
// blocks the loop, as the sends to the emulator do.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "barcode_dll.h"
#include "device_interface_set.h"
#include "platform/window.h"
#include "power_channel.h"
#include "preference_registry.h"
#include "reg.h"
#include "setting_reader.h"
#include "string_table.h"

namespace lx2d {

// Commands, as WM_COMMAND wParam with lParam 0.
inline constexpr platform::WPARAM IDC_STEP_CONNECT = 0x8003;
inline constexpr platform::WPARAM IDC_STEP_APPLY = 0x8004;
inline constexpr platform::WPARAM IDC_STEP_FINISH = 0x8005;

// The companion emulator's window class and messages.
inline constexpr std::string_view kEmulatorWindowClass = "Korvane_LX2D_Emu_Class";
inline constexpr std::string_view kForcePowerOnMessage = "WM_KORV_FORCE_POWERON";
inline constexpr std::string_view kRestorePowerStateMessage = "WM_KORV_RESTORE_POWERSTATE";

// The worker window's class and style (pop-up, border, system menu).
inline constexpr std::string_view kWorkerWindowClass = "LX2D_B_SET_Worker";
inline constexpr platform::DWORD kWorkerWindowStyle = 0x80880000;

// Exit codes the window sets.
inline constexpr int kExitConnectFailed = -10;
inline constexpr int kExitApplyFailed = -2;

// Waits of the connect step.
inline constexpr std::chrono::milliseconds kDefaultWakeWait{1000};
inline constexpr int kEmulatorConnectRetries = 50;
inline constexpr std::chrono::milliseconds kEmulatorRetryPause{200};

// The value that leaves a stored "AfterWakeupWait" unused.
inline constexpr uint32_t kWakeWaitUnset = 0xFFFFFFFF;

// Style of the window's message boxes: OK, topmost.
inline constexpr platform::UINT kErrorBoxStyle = 0x40000;

// What the window works with besides the binding.
struct TWorkerWindowServices {
  CReg& reg;                         // "AfterWakeupWait"
  IPreferenceRegistry& preferences;  // the emulator preferences
  const CSettingReader& reader;
  DeviceInterfaceSetOpener openInterfaces;  // the reader search
  Sleeper sleep;                            // wake wait and retry pauses
  UiLanguage language = UiLanguage::kEnglish;
  std::u16string title;  // caption of every box
};

class CLX2D_Wnd {
 public:
  // Opens `powerChannel` and, for a driver of 1.0.8 or later, starts its
  // session; the channel is usable when both succeed (or the version is
  // older and no session is started).
  CLX2D_Wnd(TWorkerWindowServices services, std::unique_ptr<IPowerChannel> powerChannel);
  // Closes the window if it still exists, then the driver channel.
  ~CLX2D_Wnd();
  CLX2D_Wnd(const CLX2D_Wnd&) = delete;
  CLX2D_Wnd& operator=(const CLX2D_Wnd&) = delete;

  // Stores the three values and reads the wake wait, only while no binding
  // and no settings path are set. `binding` must outlive the window.
  void SetupWorkerWindow(const std::filesystem::path& settingsPath, CBarcodeDll* binding,
                         std::u16string emulatorKey);

  // Registers the class and creates the hidden window, which posts the
  // connect command. False (no window) when the class cannot be registered,
  // the window cannot be made, or the settings path or binding is missing.
  bool Create();

  platform::HWND Handle() const { return window; }
  int ExitCode() const { return exitCode; }
  std::chrono::milliseconds WakeWait() const { return wakeWait; }
  // 0 when the driver channel can be used; else its first failure.
  int DriverChannelStatus() const { return driverChannelStatus; }

 private:
  static platform::LRESULT WindowProc(platform::HWND window, platform::UINT message,
                                      platform::WPARAM wParam, platform::LPARAM lParam);
  platform::LRESULT OnMessage(platform::UINT message, platform::WPARAM wParam,
                              platform::LPARAM lParam);
  platform::LRESULT OnCreate();
  platform::LRESULT OnQueryEndSession(platform::WPARAM wParam, platform::LPARAM lParam);
  void OnDestroy();
  void ConnectStep();
  void ApplyStep();
  void FinishStep();
  void PowerOnThroughDriver();
  void SearchReader();
  void ShowLibraryResult();
  void Post(platform::UINT message, platform::WPARAM wParam);

  TWorkerWindowServices services;
  std::filesystem::path settingsPath;
  CBarcodeDll* binding = nullptr;
  std::u16string emulatorKey;
  bool connected = false;
  std::unique_ptr<IPowerChannel> powerChannel;
  int driverChannelStatus = 0;
  int exitCode = 0;
  std::chrono::milliseconds wakeWait = kDefaultWakeWait;
  platform::UINT forcePowerOnMessage;
  platform::UINT restorePowerStateMessage;
  platform::HWND window = 0;
};

}  // namespace lx2d
