// The library's settings as kept under the host's registry key: ten
// REG_DWORD values, with their defaults and the values taken when one is
// missing at load.
#pragma once

#include <cstdint>
#include <string_view>

namespace lx2d {

struct LibrarySettings {
  int32_t debugMode = 0;
  int32_t timeout = 500;  // the engine's reply time-out, in ms, when 1..65535
  int32_t waitContention = 0;
  int32_t waitDuration = 2000;
  int32_t hostTakesPriority = 1;
  int32_t spyWindow = 0;
  int32_t spyRectLeft = 0;
  int32_t spyRectTop = 0;
  int32_t spyRectRight = 620;
  int32_t spyRectBottom = 676;
};

// One stored value: its registry name, where it lives in LibrarySettings,
// and what a load takes when it cannot be read (not always the default).
struct SettingValue {
  std::string_view name;
  int32_t LibrarySettings::*field;
  int32_t fallback;
};

// In the order they are read.
inline constexpr SettingValue kSettingValues[] = {
    {"Debug Mode", &LibrarySettings::debugMode, 0},
    {"Timeout", &LibrarySettings::timeout, 0},
    {"Wait Contention", &LibrarySettings::waitContention, 0},
    {"Wait Duration", &LibrarySettings::waitDuration, 0},
    {"Host Takes Priority", &LibrarySettings::hostTakesPriority, 0},
    {"Spy Window", &LibrarySettings::spyWindow, 1},
    {"SpyRectLeft", &LibrarySettings::spyRectLeft, 0},
    {"SpyRectTop", &LibrarySettings::spyRectTop, 0},
    {"SpyRectBottom", &LibrarySettings::spyRectBottom, 0},
    {"SpyRectRight", &LibrarySettings::spyRectRight, 0},
};

// The registry value holding the version text of the library that wrote
// the key (REG_BINARY, with the terminating zero).
inline constexpr std::string_view kVersionValue = "Version";

// Key path prefixes that choose the hive; without one the machine's.
inline constexpr std::string_view kUserPrefix = "HKCU\\";
inline constexpr std::string_view kMachinePrefix = "HKLM\\";

}  // namespace lx2d
