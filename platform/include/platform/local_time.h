// The local date and time, as GetLocalTime.
#pragma once

#include <cstdint>

namespace lx2d::platform {

struct SYSTEMTIME {
  std::uint16_t wYear;
  std::uint16_t wMonth;      // 1..12
  std::uint16_t wDayOfWeek;  // 0 = Sunday
  std::uint16_t wDay;        // 1..31
  std::uint16_t wHour;
  std::uint16_t wMinute;
  std::uint16_t wSecond;
  std::uint16_t wMilliseconds;
};

// The current local time, in the time zone of the environment (TZ, else the
// system's). Never fails.
void GetLocalTime(SYSTEMTIME* time);

}  // namespace lx2d::platform
