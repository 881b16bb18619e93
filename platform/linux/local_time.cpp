#include "platform/local_time.h"

#include <time.h>

namespace lx2d::platform {

void GetLocalTime(SYSTEMTIME* time) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  time->wYear = static_cast<std::uint16_t>(local.tm_year + 1900);
  time->wMonth = static_cast<std::uint16_t>(local.tm_mon + 1);
  time->wDayOfWeek = static_cast<std::uint16_t>(local.tm_wday);
  time->wDay = static_cast<std::uint16_t>(local.tm_mday);
  time->wHour = static_cast<std::uint16_t>(local.tm_hour);
  time->wMinute = static_cast<std::uint16_t>(local.tm_min);
  time->wSecond = static_cast<std::uint16_t>(local.tm_sec);
  time->wMilliseconds = static_cast<std::uint16_t>(now.tv_nsec / 1000000);
}

}  // namespace lx2d::platform
