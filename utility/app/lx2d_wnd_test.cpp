#include "lx2d_wnd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

#include "file_source.h"
#include "listed_interface_set.h"
#include "platform/fakes/memory_registry.h"
#include "platform/fakes/recording_message_box.h"
#include "platform/fakes/temp_directory.h"
#include "platform/text.h"
#include "recording_library.h"
#include "result_messages.h"
#include "thread_code_page.h"

namespace lx2d {
namespace {

using namespace std::chrono_literals;
using platform::HWND;
using std::chrono::milliseconds;

// A driver channel that records what the window asks of it.
class CFakePowerChannel final : public IPowerChannel {
 public:
  struct Script {
    int openResult = 0;
    DriverVersion version{1, 0, 8, 0};
    int initializeResult = 0;
  };
  CFakePowerChannel(Script answers, std::vector<std::string>& record)
      : script(answers), calls(record) {}

  int OpenDriver() override {
    calls.push_back("OpenDriver");
    return script.openResult;
  }
  DriverVersion Version() const override { return script.version; }
  int Initialize() override {
    calls.push_back("Initialize");
    return script.initializeResult;
  }
  int SetPowerState(uint8_t item, uint8_t value, uint8_t& status) override {
    calls.push_back("SetPowerState " + std::to_string(item) + " " + std::to_string(value));
    status = 0;
    return 0;
  }
  void CloseDriver() override { calls.push_back("CloseDriver"); }
  std::u16string_view ErrorText() const override { return {}; }

 private:
  Script script;
  std::vector<std::string>& calls;
};

// A stand-in for the companion emulator: a window of its class on the test's
// thread, so the window's sends reach it directly.
class CFakeEmulator {
 public:
  CFakeEmulator() {
    static const platform::ATOM registered = platform::RegisterClass(
        {.lpfnWndProc = Procedure, .lpszClassName = std::string(kEmulatorWindowClass)});
    EXPECT_NE(registered, 0);
    handle = platform::CreateWindowEx(0, kEmulatorWindowClass, "emu", 0, 0, 0, 0, 0, 0, 0, this);
    EXPECT_NE(handle, 0u);
  }
  ~CFakeEmulator() { Close(); }
  void Close() {
    if (handle != 0) platform::DestroyWindow(handle);
    handle = 0;
  }

  std::vector<std::string> received;  // the message names, in order
  std::function<void()> onPowerOn;

 private:
  static platform::LRESULT Procedure(HWND window, platform::UINT message, platform::WPARAM wParam,
                                     platform::LPARAM lParam) {
    if (message == platform::WM_CREATE) {
      auto* create = reinterpret_cast<const platform::CREATESTRUCT*>(lParam);
      platform::SetWindowLongPtr(window, platform::GWLP_USERDATA,
                                 reinterpret_cast<std::intptr_t>(create->lpCreateParams));
      return 0;
    }
    auto* self = reinterpret_cast<CFakeEmulator*>(
        platform::GetWindowLongPtr(window, platform::GWLP_USERDATA));
    const std::string name = platform::GetRegisteredMessageName(message);
    if (self != nullptr && name.starts_with("WM_KORV_")) {
      self->received.push_back(name);
      if (name == kForcePowerOnMessage && self->onPowerOn) self->onPowerOn();
      return 0;
    }
    return platform::DefWindowProc(window, message, wParam, lParam);
  }

  HWND handle = 0;
};

constexpr char kSettings[] =
    "[INI_FILE_ID]\nBCR_TYPE=VELTRIX_QM20_2D\n[NOT_FORCE_DEFAULT]\nACTIVATE=1\n"
    "[Code39]\nACTIVATE=1\n[Initial_Connection]\nSTATUS=2\n";
constexpr char kEmulatorKey[] = "SOFTWARE\\Korvane\\LX2D_EMU";

class WorkerWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    temp.UseForAllDirectories();
    WriteSettings(kSettings);
    ASSERT_EQ(binding.LoadBarcodeDll(false), kBindOk);
    library.calls.clear();
  }

  void WriteSettings(const std::string& text) { std::ofstream(settingsPath) << text; }

  TWorkerWindowServices Services() {
    return {.reg = reg,
            .preferences = reg,
            .reader = reader,
            .openInterfaces =
                [this](std::u16string_view, uint32_t) {
                  return std::make_unique<CListedInterfaceSet>(interfaces);
                },
            .sleep = [this](milliseconds wait) { OnSleep(wait); },
            .language = UiLanguage::kEnglish,
            .title = u"LX2D_SET"};
  }

  std::unique_ptr<CLX2D_Wnd> MakeWindow(CFakePowerChannel::Script script = {}) {
    auto window = std::make_unique<CLX2D_Wnd>(
        Services(), std::make_unique<CFakePowerChannel>(script, driverCalls));
    window->SetupWorkerWindow(settingsPath, &binding, platform::Utf8ToUtf16(kEmulatorKey));
    return window;
  }

  std::unique_ptr<CLX2D_Wnd> MakeWindowWith(CBarcodeDll* withBinding, std::filesystem::path path) {
    auto window = std::make_unique<CLX2D_Wnd>(
        Services(), std::make_unique<CFakePowerChannel>(CFakePowerChannel::Script{}, driverCalls));
    window->SetupWorkerWindow(path, withBinding, u"");
    return window;
  }

  // Runs the message loop until the window's quit, with a generous bound.
  int RunLoop() {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    platform::MSG message;
    while (std::chrono::steady_clock::now() < deadline) {
      if (!platform::PeekMessage(&message, 0, 0, 0, platform::PM_REMOVE)) {
        std::this_thread::sleep_for(1ms);
        continue;
      }
      if (message.message == platform::WM_QUIT) return static_cast<int>(message.wParam);
      platform::DispatchMessage(&message);
    }
    ADD_FAILURE() << "no quit message";
    return 1;
  }

  int RunWindow(CFakePowerChannel::Script script = {}) {
    auto window = MakeWindow(script);
    if (!window->Create()) {
      ADD_FAILURE() << "window not created";
      return 1;
    }
    handle = window->Handle();
    const int exitCode = RunLoop();
    EXPECT_EQ(exitCode, window->ExitCode());
    return exitCode;
  }

  void OnSleep(milliseconds wait) {
    sleeps.push_back(wait);
    if (onSleep) onSleep();
  }

  size_t CountCalls(std::string_view prefix) const {
    return std::ranges::count_if(library.calls,
                                 [&](const std::string& call) { return call.starts_with(prefix); });
  }

  bool PreferenceWritten() const {
    return registry.GetRaw(platform::HKEY_LOCAL_MACHINE, kEmulatorKey, "InitialConnectMode",
                           nullptr, nullptr);
  }

  platform::CTempDirectory temp;
  std::filesystem::path settingsPath = std::filesystem::path(temp.Path()) / "settings.ini";
  platform::CMemoryRegistry registry;
  CReg reg{registry};
  CDiskFileSource files;
  CThreadCodePage codePage;
  CSettingReader reader{files, codePage};
  CRecordingLibrary library;
  CBarcodeDll binding{library, [](milliseconds) {}};
  platform::CRecordingMessageBox boxes;
  std::vector<std::u16string> interfaces;
  std::vector<std::string> driverCalls;
  std::vector<milliseconds> sleeps;
  std::function<void()> onSleep;
  HWND handle = 0;
};

TEST_F(WorkerWindowTest, NoEmulator_DriverPowersOnThenOneConnectAfterTheWakeWait) {
  interfaces = {u"\\\\?\\HID#VID_0D2A&PID_0801&COL02#1#{4D1E55B2-F16F-11CF-88CB-001111000030}"};
  EXPECT_EQ(RunWindow(), 0);
  EXPECT_EQ(driverCalls,
            (std::vector<std::string>{"OpenDriver", "Initialize", "SetPowerState 0 1",
                                      "SetPowerState 3 0", "CloseDriver", "CloseDriver"}));
  EXPECT_EQ(sleeps, (std::vector<milliseconds>{1000ms}));
  ASSERT_GE(library.calls.size(), 2u);
  EXPECT_EQ(library.calls[0],
            "DeviceIOControl 260 \\\\?\\hid#vid_0d2a&pid_0801&col02#1#{4d1e55b2-f16f-11cf-88cb-"
            "001111000030}");
  EXPECT_EQ(CountCalls("Connect"), 1u);
  EXPECT_EQ(CountCalls("SetupWrite 42"), 1u);  // Code39
  EXPECT_EQ(library.calls.back(), "Disconnect");
  EXPECT_TRUE(PreferenceWritten());
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_FALSE(platform::IsWindow(handle));
}

TEST_F(WorkerWindowTest, DriverChannel_PowerOnOnlyWhenOpenAndSessionSucceed) {
  struct Case {
    const char* what;
    CFakePowerChannel::Script script;
    std::vector<std::string> calls;  // up to the first CloseDriver
    int status;
  };
  const Case cases[] = {
      {"no driver", {.openResult = 6}, {"OpenDriver"}, 6},
      {"session refused", {.initializeResult = 6}, {"OpenDriver", "Initialize"}, 6},
      {"driver 1.0.7: no session, still usable",
       {.version = {1, 0, 7, 99}},
       {"OpenDriver", "SetPowerState 0 1", "SetPowerState 3 0"},
       0},
  };
  for (const Case& c : cases) {
    driverCalls.clear();
    sleeps.clear();
    auto window = MakeWindow(c.script);
    EXPECT_EQ(window->DriverChannelStatus(), c.status) << c.what;
    ASSERT_TRUE(window->Create());
    EXPECT_EQ(RunLoop(), 0);
    std::vector<std::string> beforeClose(driverCalls.begin(),
                                         std::ranges::find(driverCalls, "CloseDriver"));
    EXPECT_EQ(beforeClose, c.calls) << c.what;
    EXPECT_EQ(sleeps, (std::vector<milliseconds>{1000ms})) << c.what;
    binding.SetDevicePath("");
  }
}

TEST_F(WorkerWindowTest, SearchAfterPowerOn_SecondPatternWinsAndNoHitKeepsThePath) {
  interfaces = {u"\\\\?\\hid#vid_0d2a&pid_0801&col02#a#{x}", u"\\\\?\\hid#VID_0D2A&PID_0809#b#{x}"};
  EXPECT_EQ(RunWindow(), 0);
  EXPECT_EQ(binding.DevicePath(), "\\\\?\\hid#vid_0d2a&pid_0809#b#{x}");

  interfaces.clear();
  library.calls.clear();
  EXPECT_EQ(RunWindow(), 0);
  EXPECT_EQ(library.calls.at(0), "DeviceIOControl 260 \\\\?\\hid#vid_0d2a&pid_0809#b#{x}");
}

TEST_F(WorkerWindowTest, ConnectFailure_OneBoxExitMinus10NothingApplied) {
  library.results["Connect"] = 5;
  EXPECT_EQ(RunWindow(), kExitConnectFailed);
  EXPECT_EQ(CountCalls("Connect"), 1u);
  EXPECT_EQ(CountCalls("SetupWrite"), 0u);
  EXPECT_EQ(CountCalls("Disconnect"), 0u);
  EXPECT_FALSE(PreferenceWritten());
  const auto shown = boxes.Boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, platform::Utf16ToUtf8(LibraryResultText(UiLanguage::kEnglish, 5)));
  EXPECT_EQ(shown[0].caption, "LX2D_SET");
  EXPECT_EQ(shown[0].style, kErrorBoxStyle);
  EXPECT_EQ(shown[0].owner, handle);
}

TEST_F(WorkerWindowTest, ApplyRefused_ExitMinus2PreferencesStillTriedDisconnectStillDone) {
  WriteSettings("[INI_FILE_ID]\nBCR_TYPE=MARLOW_LK310_1D\n[Initial_Connection]\nSTATUS=2\n");
  CFakeEmulator emulator;
  EXPECT_EQ(RunWindow(), kExitApplyFailed);
  EXPECT_EQ(CountCalls("SetupWrite"), 0u);
  EXPECT_EQ(library.calls.back(), "Disconnect");
  EXPECT_EQ(emulator.received, (std::vector<std::string>{std::string(kForcePowerOnMessage),
                                                         std::string(kRestorePowerStateMessage)}));
}

TEST_F(WorkerWindowTest, DisconnectFailure_BoxesButTheRunEndsWithItsCode) {
  library.results["Disconnect"] = 3;
  EXPECT_EQ(RunWindow(), 0);
  // The reader stays connected after the failure, so the destruction tries
  // once more.
  EXPECT_EQ(CountCalls("Disconnect"), 2u);
  const auto shown = boxes.Boxes();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, platform::Utf16ToUtf8(LibraryResultText(UiLanguage::kEnglish, 3)));
  EXPECT_EQ(shown[0].owner, handle);
}

TEST_F(WorkerWindowTest, Emulator_PowerOnRetriesEvery200msAndRestoreAtFinish) {
  CFakeEmulator emulator;
  library.results["Connect"] = 5;
  onSleep = [this] {
    if (sleeps.size() == 3) library.results["Connect"] = 0;
  };
  EXPECT_EQ(RunWindow(), 0);
  EXPECT_EQ(CountCalls("Connect"), 4u);
  EXPECT_EQ(sleeps, (std::vector<milliseconds>(3, 200ms)));  // no wake wait
  EXPECT_EQ(emulator.received, (std::vector<std::string>{std::string(kForcePowerOnMessage),
                                                         std::string(kRestorePowerStateMessage)}));
  EXPECT_EQ(std::ranges::count(driverCalls, "SetPowerState 0 1"), 0);
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(WorkerWindowTest, Emulator_ReaderNeverAnswers_FiftyOneTriesAndNoRestore) {
  CFakeEmulator emulator;
  library.results["Connect"] = 5;
  EXPECT_EQ(RunWindow(), kExitConnectFailed);
  EXPECT_EQ(CountCalls("Connect"), 51u);
  EXPECT_EQ(sleeps, (std::vector<milliseconds>(50, 200ms)));
  EXPECT_EQ(emulator.received, (std::vector<std::string>{std::string(kForcePowerOnMessage)}));
  EXPECT_EQ(boxes.Boxes().size(), 1u);
}

TEST_F(WorkerWindowTest, Emulator_GoneByTheFinish_NoRestore) {
  CFakeEmulator emulator;
  emulator.onPowerOn = [&emulator] { emulator.Close(); };
  EXPECT_EQ(RunWindow(), 0);
  EXPECT_EQ(emulator.received, (std::vector<std::string>{std::string(kForcePowerOnMessage)}));
  EXPECT_EQ(library.calls.back(), "Disconnect");
}

TEST_F(WorkerWindowTest, Emulator_StartedDuringTheRun_GetsTheRestore) {
  std::unique_ptr<CFakeEmulator> emulator;
  onSleep = [&emulator] { emulator = std::make_unique<CFakeEmulator>(); };  // the wake wait
  EXPECT_EQ(RunWindow(), 0);
  ASSERT_NE(emulator, nullptr);
  EXPECT_EQ(emulator->received, (std::vector<std::string>{std::string(kRestorePowerStateMessage)}));
}

TEST_F(WorkerWindowTest, SessionEndWhileConnected_DisconnectsAndRestoresOnDestruction) {
  CFakeEmulator emulator;
  emulator.onPowerOn = [this] {
    platform::PostMessage(handle, platform::WM_QUERYENDSESSION, 0, 0);
  };
  EXPECT_EQ(RunWindow(), 0);
  EXPECT_EQ(CountCalls("Disconnect"), 1u);
  EXPECT_EQ(emulator.received, (std::vector<std::string>{std::string(kForcePowerOnMessage),
                                                         std::string(kRestorePowerStateMessage)}));
  EXPECT_EQ(binding.State(), BarcodeDllState::kInitialized);
}

TEST_F(WorkerWindowTest, WakeWait_UserValueWinsUnsetAndOtherTypesIgnored) {
  struct Value {
    platform::HKEY root;
    platform::DWORD type;
    uint32_t value;
  };
  struct Case {
    const char* what;
    std::vector<Value> values;
    milliseconds wakeWait;
  };
  constexpr auto kMachine = platform::HKEY_LOCAL_MACHINE;
  constexpr auto kUser = platform::HKEY_CURRENT_USER;
  const Case cases[] = {
      {"none", {}, 1000ms},
      {"machine", {{kMachine, platform::REG_DWORD, 30}}, 30ms},
      {"user over machine",
       {{kMachine, platform::REG_DWORD, 30}, {kUser, platform::REG_DWORD, 0}},
       0ms},
      {"both unset",
       {{kMachine, platform::REG_DWORD, kWakeWaitUnset},
        {kUser, platform::REG_DWORD, kWakeWaitUnset}},
       1000ms},
      {"user unset keeps machine",
       {{kMachine, platform::REG_DWORD, 40}, {kUser, platform::REG_DWORD, kWakeWaitUnset}},
       40ms},
      {"user binary ignored",
       {{kMachine, platform::REG_DWORD, 40}, {kUser, platform::REG_BINARY, 5}},
       40ms},
  };
  for (const Case& c : cases) {
    platform::CMemoryRegistry values;
    for (const Value& v : c.values) {
      values.SetRaw(v.root, "SOFTWARE\\Korvane\\LX2D_B_SET", "AfterWakeupWait", v.type,
                    {uint8_t(v.value), uint8_t(v.value >> 8), uint8_t(v.value >> 16),
                     uint8_t(v.value >> 24)});
    }
    CReg valuesReg(values);
    TWorkerWindowServices services = Services();
    CLX2D_Wnd window({.reg = valuesReg,
                      .preferences = reg,
                      .reader = reader,
                      .openInterfaces = services.openInterfaces,
                      .sleep = services.sleep,
                      .language = UiLanguage::kEnglish,
                      .title = u"LX2D_SET"},
                     std::make_unique<CFakePowerChannel>(CFakePowerChannel::Script{}, driverCalls));
    window.SetupWorkerWindow(settingsPath, &binding, u"");
    EXPECT_EQ(window.WakeWait(), c.wakeWait) << c.what;
  }
}

TEST_F(WorkerWindowTest, MissingPathOrBinding_CreationFails) {
  auto noBinding = MakeWindowWith(nullptr, settingsPath);
  EXPECT_FALSE(noBinding->Create());
  auto noPath = MakeWindowWith(&binding, {});
  EXPECT_FALSE(noPath->Create());
  EXPECT_EQ(platform::FindWindow(kWorkerWindowClass), 0u);
}

}  // namespace
}  // namespace lx2d
