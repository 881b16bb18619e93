#include "settings_utility.h"

#include <new>
#include <optional>
#include <system_error>

#include "file_source.h"
#include "hid_interface_search.h"
#include "lx2d_wnd.h"
#include "platform/message_box.h"
#include "platform/single_instance.h"
#include "platform/text.h"
#include "platform/window.h"
#include "reg.h"
#include "result_messages.h"
#include "setting_reader.h"
#include "thread_code_page.h"
#include "win_version.h"

namespace lx2d {

namespace {

// Holds the single-instance mutex for the program's life.
class CMultipleInstancePreventer {
 public:
  // False when the mutex cannot be made or another instance holds it.
  bool Acquire() { return mutex.Create(kSingleInstanceName) == platform::ERROR_SUCCESS; }

 private:
  platform::CNamedMutex mutex;
};

// Longest settings path accepted, terminator included.
constexpr std::size_t kMaxPathSize = 260;

// Capacity of the application title, terminator included.
constexpr std::size_t kTitleSize = 260;

// The argument came in the locale's character set; back in it, it names the
// same file.
std::filesystem::path FileSystemPath(const std::u16string& path) {
  return platform::Utf16ToAnsi(path);
}

bool SettingsFileUsable(const std::u16string& path) {
  if (path.size() >= kMaxPathSize) return false;
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(FileSystemPath(path), error);
  return !error && std::filesystem::exists(full, error) && !error;
}

// The reader kind: HID when an interface of either pattern is present, and
// then the binding knows its path.
bool FindHidReader(const DeviceInterfaceSetOpener& openInterfaces, CBarcodeDll& binding) {
  for (std::u16string_view pattern : kHidPatterns) {
    const THidSearchResult found = FindHidInterfacePath(
        openInterfaces, kHidInterfaceClassGuid, kDigcfPresentInterfaces, HidSearchPrefix(pattern));
    if (found.result != kHidSearchNotFound) {
      binding.SetDevicePath(platform::Utf16ToAnsi(found.path));
      return true;
    }
  }
  return false;
}

int RunMessageLoop() {
  platform::MSG message;
  while (platform::GetMessage(&message, 0, 0, 0) > 0) {
    platform::TranslateMessage(&message);
    platform::DispatchMessage(&message);
  }
  return static_cast<int>(message.wParam);
}

// The part of the run that allocates: the binding, the window and the loop.
// They are handed back through `binding` and `window` so that the caller
// tears them down also after an allocation failure.
int RunWithWindow(const std::u16string& settingsPath, std::u16string_view title,
                  std::u16string emulatorKey, TUtilityServices& services,
                  std::unique_ptr<CBarcodeDll>& binding, std::unique_ptr<CLX2D_Wnd>& window,
                  CReg& reg, const CSettingReader& reader) {
  binding = std::make_unique<CBarcodeDll>(services.loader, services.sleep);
  window =
      std::make_unique<CLX2D_Wnd>(TWorkerWindowServices{.reg = reg,
                                                        .preferences = reg,
                                                        .reader = reader,
                                                        .openInterfaces = services.openInterfaces,
                                                        .sleep = services.sleep,
                                                        .language = services.language,
                                                        .title = std::u16string(title)},
                                  services.makePowerChannel());

  const bool serialReader = !FindHidReader(services.openInterfaces, *binding);
  const int bindResult = binding->LoadBarcodeDll(serialReader);
  if (bindResult != kBindOk) {
    platform::MessageBox(
        0,
        BindingFailureText(services.language, bindResult, binding->LastResult(),
                           platform::AnsiToUtf16(CBarcodeDll::LibraryFileName(serialReader))),
        title, kErrorBoxStyle);
    return kExitLibraryFailed;
  }

  window->SetupWorkerWindow(FileSystemPath(settingsPath), binding.get(), std::move(emulatorKey));
  if (!window->Create()) return kExitStopped;
  return RunMessageLoop();
}

}  // namespace

std::u16string ResolveSettingsPath(std::u16string_view argument) {
  if (argument.find_first_of(u"/:\\") != std::u16string_view::npos) return std::u16string(argument);
  return u"./" + std::u16string(argument);
}

int RunSettingsUtility(const std::vector<std::u16string>& arguments, TUtilityServices& services) {
  CMultipleInstancePreventer instance;
  if (!instance.Acquire()) return kExitAlreadyRunning;
  if (arguments.size() != 2) return kExitBadArguments;

  const std::u16string settingsPath = ResolveSettingsPath(arguments[1]);
  if (!SettingsFileUsable(settingsPath)) return kExitBadSettingsFile;

  CReg reg(services.registry);
  const CWinVersion version(services.osVersion);
  const std::u16string_view title =
      LoadUtilityString(services.language, kIdsAppTitle).substr(0, kTitleSize - 1);
  if (version.OsVersionCode() == kOsVersionNewer &&
      !ConfirmFutureOs(reg, LoadUtilityString(services.language, kIdsFutureOsWarning), title)) {
    return kExitStopped;
  }

  // An empty configured path would put the preferences at the hive's root.
  std::u16string emulatorKey(kDefaultEmulatorKey);
  if (std::optional<std::u16string> configured = reg.ReadEmulatorKeyPath();
      configured && !configured->empty()) {
    emulatorKey = std::move(*configured);
  }

  const CDiskFileSource files;
  const CThreadCodePage codePage;
  const CSettingReader reader(files, codePage);
  std::unique_ptr<CBarcodeDll> binding;
  std::unique_ptr<CLX2D_Wnd> window;
  int exitCode = kExitStopped;
  try {
    exitCode = RunWithWindow(settingsPath, title, std::move(emulatorKey), services, binding, window,
                             reg, reader);
  } catch (const std::bad_alloc& error) {
    services.standardOutput << error.what() << '\n';
    exitCode = kExitStopped;
  }

  window.reset();
  if (binding) binding->UnloadBarcodeDll();
  binding.reset();
  return exitCode;
}

}  // namespace lx2d
