// The power-control driver's version and the gate its session needs; one
// rule for the channel and for the window that decides whether to start a
// session.
#pragma once

#include <cstdint>

namespace lx2d {

// The driver's "DriverVersion", parsed as major.minor.build.revision.
struct DriverVersion {
  int32_t major = 0;
  int32_t minor = 0;
  int32_t build = 0;
  int32_t revision = 0;
};

// Sessions, enciphered calls and the power function need driver 1.0.8 or
// later; the revision is not compared.
constexpr bool SupportsSession(const DriverVersion& version) {
  if (version.major != 1) return version.major > 1;
  if (version.minor != 0) return version.minor > 0;
  return version.build >= 8;
}

}  // namespace lx2d
