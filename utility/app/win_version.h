// CWinVersion: the running system classified into one code, so that the
// utility can ask before it runs on a system newer than any it knows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/os_version.h"
#include "reg.h"

namespace lx2d {

// OsVersionCode for a system newer than any known one.
inline constexpr int16_t kOsVersionNewer = -1;  // 0xFFFF

// The classification of a version record:
//   0  the version query failed, an unknown platform, or an NT system above
//      4.x whose extended query failed
//   1  Win32s; 2, 3, 7 the 9x family by minor version (below 10, below 90,
//      90 or more)
//   4  NT 4 or older; 5 5.0; 6 5.1, or a later 5.x workstation on x64
//   10 other 5.x; 8 / 9 6.0; 11 / 12 6.1; 13 / 14 6.2 and later 6.x
//      (workstation / other)
//   kOsVersionNewer major 7 or more
int16_t ClassifyOsVersion(const platform::TOsVersionData& data);

// Edition flags.
inline constexpr uint8_t kEditionTabletPc = 0x01;
inline constexpr uint8_t kEditionMediaCenter = 0x02;
inline constexpr uint8_t kEditionStarter = 0x04;

// Longest service-pack text kept, terminator included.
inline constexpr std::size_t kServicePackTextSize = 128;

class CWinVersion {
 public:
  explicit CWinVersion(const platform::TOsVersionData& data);

  int16_t OsVersionCode() const { return osVersionCode; }
  // 1 x86; 2 the 64-bit families (IA-64, x64, x86 on 64-bit); 0 otherwise.
  uint8_t ArchitectureClass() const { return architectureClass; }
  uint16_t ServicePackMajor() const { return servicePackMajor; }
  uint8_t EditionFlags() const { return editionFlags; }
  const std::u16string& ServicePackText() const { return servicePackText; }
  uint32_t ProductType() const { return productType; }

 private:
  int16_t osVersionCode = 0;
  uint8_t architectureClass = 0;
  uint16_t servicePackMajor = 0;
  uint8_t editionFlags = 0;
  std::u16string servicePackText;
  uint32_t productType = 0;
};

// Whether to run on a system newer than any known: true at once when the
// machine's "DisableFutureOSWarning" (HKLM\SOFTWARE\Korvane\Common) is the
// REG_DWORD 1; otherwise a Yes/No box without owner (No the default) and
// false only for No. Missing text or caption: true without asking.
bool ConfirmFutureOs(CReg& reg, std::u16string_view text, std::u16string_view caption);

}  // namespace lx2d
