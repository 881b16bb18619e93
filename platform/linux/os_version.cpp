#include "platform/os_version.h"

#include <sys/utsname.h>

#include <string_view>

namespace lx2d::platform {

namespace {

struct MachineArchitecture {
  std::string_view machine;
  std::uint16_t architecture;
};

constexpr MachineArchitecture kMachines[] = {
    {"x86_64", PROCESSOR_ARCHITECTURE_AMD64},  {"i386", PROCESSOR_ARCHITECTURE_INTEL},
    {"i486", PROCESSOR_ARCHITECTURE_INTEL},    {"i586", PROCESSOR_ARCHITECTURE_INTEL},
    {"i686", PROCESSOR_ARCHITECTURE_INTEL},    {"ia64", PROCESSOR_ARCHITECTURE_IA64},
    {"aarch64", PROCESSOR_ARCHITECTURE_ARM64}, {"armv7l", PROCESSOR_ARCHITECTURE_ARM},
};

std::uint16_t NativeArchitecture() {
  utsname names{};
  if (uname(&names) != 0) return PROCESSOR_ARCHITECTURE_UNKNOWN;
  for (const MachineArchitecture& entry : kMachines) {
    if (entry.machine == names.machine) return entry.architecture;
  }
  return PROCESSOR_ARCHITECTURE_UNKNOWN;
}

}  // namespace

TOsVersionData QueryOsVersion() {
  TOsVersionData data;
  data.nativeInfoKnown = true;
  data.nativeArchitecture = NativeArchitecture();
  data.versionKnown = true;
  data.platformId = VER_PLATFORM_WIN32_NT;
  data.major = 6;
  data.minor = 2;
  data.build = 9200;
  data.extendedKnown = true;
  data.productType = VER_NT_WORKSTATION;
  return data;
}

}  // namespace lx2d::platform
