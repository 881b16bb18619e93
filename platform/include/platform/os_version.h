// What the version functions of the system report (GetVersionEx,
// GetNativeSystemInfo, GetSystemMetrics, GetProductInfo), as one record, so
// that a classification can be a pure function of it.
//
// On Linux the record is what a program without a supported-OS list sees on
// a current system: platform 2, version 6.2 build 9200, a workstation, no
// service pack, no special edition; the native architecture comes from
// uname.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win_types.h"

namespace lx2d::platform {

// Native processor architectures (SYSTEM_INFO wProcessorArchitecture).
inline constexpr std::uint16_t PROCESSOR_ARCHITECTURE_INTEL = 0;
inline constexpr std::uint16_t PROCESSOR_ARCHITECTURE_ARM = 5;
inline constexpr std::uint16_t PROCESSOR_ARCHITECTURE_IA64 = 6;
inline constexpr std::uint16_t PROCESSOR_ARCHITECTURE_AMD64 = 9;
inline constexpr std::uint16_t PROCESSOR_ARCHITECTURE_IA32_ON_WIN64 = 10;
inline constexpr std::uint16_t PROCESSOR_ARCHITECTURE_ARM64 = 12;
inline constexpr std::uint16_t PROCESSOR_ARCHITECTURE_UNKNOWN = 0xFFFF;

// Product types (OSVERSIONINFOEX wProductType).
inline constexpr std::uint8_t VER_NT_WORKSTATION = 1;
inline constexpr std::uint8_t VER_NT_DOMAIN_CONTROLLER = 2;
inline constexpr std::uint8_t VER_NT_SERVER = 3;

// Platform ids (OSVERSIONINFO dwPlatformId).
inline constexpr DWORD VER_PLATFORM_WIN32s = 0;
inline constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
inline constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

struct TOsVersionData {
  bool nativeInfoKnown = false;  // GetNativeSystemInfo exists
  std::uint16_t nativeArchitecture = 0;
  bool tabletPc = false;      // SM_TABLETPC
  bool mediaCenter = false;   // SM_MEDIACENTER
  bool starter = false;       // SM_STARTER
  bool versionKnown = false;  // GetVersionEx with the basic record succeeded
  DWORD platformId = 0;
  DWORD major = 0;
  DWORD minor = 0;
  DWORD build = 0;
  std::u16string servicePackText;
  bool extendedKnown = false;  // GetVersionEx with the extended record succeeded
  std::uint16_t servicePackMajor = 0;
  std::uint16_t servicePackMinor = 0;
  std::uint16_t suiteMask = 0;
  std::uint8_t productType = 0;
  bool productInfoKnown = false;  // GetProductInfo exists and succeeded
  DWORD productInfo = 0;
};

// The running system's record. Never fails; what cannot be learnt stays in
// its "not known" state.
TOsVersionData QueryOsVersion();

}  // namespace lx2d::platform
