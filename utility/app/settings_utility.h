// The settings utility's run: the single-instance guard, the checks of the
// argument and the file, the OS gate, the reader search, the library, and
// the worker window's message loop; then the teardown. main() only hands
// over the real services; tests hand over fakes.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "barcode_dll.h"
#include "device_interface_set.h"
#include "library_loader.h"
#include "platform/os_version.h"
#include "platform/registry.h"
#include "power_channel.h"
#include "string_table.h"

namespace lx2d {

// Exit codes of the run (the worker window adds 0, -2 and -10).
inline constexpr int kExitBadSettingsFile = -1;
inline constexpr int kExitLibraryFailed = -10;
inline constexpr int kExitAlreadyRunning = -20;
inline constexpr int kExitBadArguments = -21;
inline constexpr int kExitStopped = -29;

// The single-instance mutex.
inline constexpr std::string_view kSingleInstanceName = "Korvane Barcode Reader 2D Setting Utility";

struct TUtilityServices {
  platform::IRegistry& registry;
  ILibraryLoader& loader;
  DeviceInterfaceSetOpener openInterfaces;
  platform::TOsVersionData osVersion;
  std::function<std::unique_ptr<IPowerChannel>()> makePowerChannel;
  Sleeper sleep;  // every wait of the run
  UiLanguage language = UiLanguage::kEnglish;
  std::ostream& standardOutput;  // the text of an out-of-memory failure
};

// `arguments` holds the program name and the arguments. Returns the exit
// code.
int RunSettingsUtility(const std::vector<std::u16string>& arguments, TUtilityServices& services);

// The settings path for the argument: a bare file name (no '/', ':' or '\')
// is taken from the current directory, "./" in front; anything else as it
// is.
std::u16string ResolveSettingsPath(std::u16string_view argument);

}  // namespace lx2d
