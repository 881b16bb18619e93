// LX2D_B_SET: writes a settings file to the barcode reader.
//   LX2D_B_SET <settings file>
#include <iostream>
#include <thread>

#include "platform/hid.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "settings_utility.h"

int main(int argc, char** argv) {
  // The settings file's code page and the message language follow the locale.
  lx2d::platform::UseEnvironmentLocale();
  std::vector<std::u16string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(lx2d::platform::AnsiToUtf16(argv[i]));
  lx2d::CPlatformLibraryLoader loader;
  lx2d::TUtilityServices services{
      .registry = lx2d::platform::DefaultRegistry(),
      .loader = loader,
      .openInterfaces = lx2d::HidInterfaceSetOpener(*lx2d::platform::SystemHidService()),
      .osVersion = lx2d::platform::QueryOsVersion(),
      .makePowerChannel = lx2d::MakePowerChannel,
      .sleep = [](std::chrono::milliseconds wait) { std::this_thread::sleep_for(wait); },
      .language = lx2d::CurrentUiLanguage(),
      .standardOutput = std::cout};
  return lx2d::RunSettingsUtility(arguments, services);
}
