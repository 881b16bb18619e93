// libudev handles owned as smart pointers, and sysfs attributes as text;
// shared by the HID and serial services' enumerations.
#pragma once

#include <libudev.h>

#include <memory>
#include <string>

namespace lx2d::platform {

struct UdevDeleter {
  void operator()(udev* u) const { udev_unref(u); }
  void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
  void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

// The attribute's text without trailing line feeds and blanks; empty when
// the device (may be null) has no such attribute.
inline std::string UdevAttribute(udev_device* device, const char* name) {
  const char* value = device != nullptr ? udev_device_get_sysattr_value(device, name) : nullptr;
  std::string text = value != nullptr ? value : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace lx2d::platform
