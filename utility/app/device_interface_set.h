// A device information set of present interfaces, in the manner of the
// SetupDi functions the reader search was written for: interfaces are named
// by index, and an interface's detail (its path) is read in two calls, the
// first asking for the size.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>

#include "platform/hid.h"
#include "platform/win_types.h"

namespace lx2d {

// The HID device interface class and the flags "present devices, device
// interfaces".
inline constexpr std::u16string_view kHidInterfaceClassGuid =
    u"{4D1E55B2-F16F-11CF-88CB-001111000030}";
inline constexpr uint32_t kDigcfPresentInterfaces = 0x12;

class IDeviceInterfaceSet {
 public:
  virtual ~IDeviceInterfaceSet() = default;

  // ERROR_SUCCESS when `index` names an interface of the set;
  // ERROR_NO_MORE_ITEMS past its end.
  virtual platform::DWORD EnumInterface(uint32_t index) = 0;

  // Copies the path of interface `index`, terminator included, into
  // `detail`. ERROR_SUCCESS; ERROR_INSUFFICIENT_BUFFER with `required` set to
  // the units needed when `detail` is too short (an empty span asks for the
  // size); ERROR_NO_MORE_ITEMS past the end of the set.
  virtual platform::DWORD GetInterfaceDetail(uint32_t index, std::span<char16_t> detail,
                                             uint32_t& required) = 0;
};

// Opens the set of one interface class with enumeration flags; null when the
// class cannot be enumerated.
using DeviceInterfaceSetOpener = std::function<std::unique_ptr<IDeviceInterfaceSet>(
    std::u16string_view interfaceClass, uint32_t flags)>;

// The present HID interfaces of `service`, as they are at the call, for
// kHidInterfaceClassGuid; null for any other class. `service` must outlive
// the opener.
DeviceInterfaceSetOpener HidInterfaceSetOpener(platform::IHidService& service);

}  // namespace lx2d
