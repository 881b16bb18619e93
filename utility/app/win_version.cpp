#include "win_version.h"

#include "platform/message_box.h"

namespace lx2d {

using platform::TOsVersionData;

namespace {

int16_t ClassifyWindows9x(const TOsVersionData& data) {
  if (data.minor < 10) return 2;
  if (data.minor < 90) return 3;
  return 7;
}

int16_t ClassifyNt(const TOsVersionData& data) {
  if (data.major <= 4) return 4;
  if (!data.extendedKnown) return 0;
  const bool workstation = data.productType == platform::VER_NT_WORKSTATION;
  if (data.major == 5) {
    if (data.minor == 0) return 5;
    if (data.minor == 1) return 6;
    // The x64 edition of XP reports itself as 5.2.
    const bool x64 =
        data.nativeInfoKnown && data.nativeArchitecture == platform::PROCESSOR_ARCHITECTURE_AMD64;
    return workstation && x64 ? 6 : 10;
  }
  if (data.major == 6) {
    if (data.minor == 0) return workstation ? 8 : 9;
    if (data.minor == 1) return workstation ? 11 : 12;
    return workstation ? 13 : 14;
  }
  return kOsVersionNewer;
}

uint8_t ClassifyArchitecture(const TOsVersionData& data) {
  if (!data.nativeInfoKnown) return 0;
  switch (data.nativeArchitecture) {
    case platform::PROCESSOR_ARCHITECTURE_INTEL:
      return 1;
    case platform::PROCESSOR_ARCHITECTURE_IA64:
    case platform::PROCESSOR_ARCHITECTURE_AMD64:
    case platform::PROCESSOR_ARCHITECTURE_IA32_ON_WIN64:
      return 2;
    default:
      return 0;
  }
}

}  // namespace

int16_t ClassifyOsVersion(const TOsVersionData& data) {
  if (!data.versionKnown) return 0;
  switch (data.platformId) {
    case platform::VER_PLATFORM_WIN32s:
      return 1;
    case platform::VER_PLATFORM_WIN32_WINDOWS:
      return ClassifyWindows9x(data);
    case platform::VER_PLATFORM_WIN32_NT:
      return ClassifyNt(data);
    default:
      return 0;
  }
}

CWinVersion::CWinVersion(const TOsVersionData& data)
    : osVersionCode(ClassifyOsVersion(data)), architectureClass(ClassifyArchitecture(data)) {
  editionFlags = (data.tabletPc ? kEditionTabletPc : 0) |
                 (data.mediaCenter ? kEditionMediaCenter : 0) |
                 (data.starter ? kEditionStarter : 0);
  if (!data.versionKnown) return;
  servicePackMajor = data.servicePackMajor;
  servicePackText = data.servicePackText.substr(0, kServicePackTextSize - 1);
  if (data.major >= 6 && data.productInfoKnown) productType = data.productInfo;
}

bool ConfirmFutureOs(CReg& reg, std::u16string_view text, std::u16string_view caption) {
  if (reg.ReadDwordValue(platform::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Korvane\\Common",
                         u"DisableFutureOSWarning") == 1u) {
    return true;
  }
  if (text.empty() || caption.empty()) return true;
  constexpr platform::UINT kStyle =
      platform::MB_YESNO | platform::MB_DEFBUTTON2 | platform::MB_TOPMOST;  // 0x40104
  return platform::MessageBox(0, text, caption, kStyle) != platform::IDNO;
}

}  // namespace lx2d
