// hidraw nodes through libudev: one interface per top-level collection of a
// node's report descriptor.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "hid_descriptor.h"
#include "hid_internal.h"
#include "platform/text.h"
#include "udev_support.h"

namespace lx2d::platform {
namespace {

// What one hidraw node offers, from sysfs.
struct HidrawNode {
  int number = -1;
  std::string devnode;
  HidAttributes attributes;
  std::vector<HidCollection> collections;
  std::string product;  // UTF-8
  std::string serial;   // UTF-8
  bool hasSerial = false;
};

bool Describe(udev_device* hidraw, HidrawNode& node) {
  const char* sysname = udev_device_get_sysname(hidraw);
  const char* devnode = udev_device_get_devnode(hidraw);
  if (sysname == nullptr || devnode == nullptr ||
      std::sscanf(sysname, "hidraw%d", &node.number) != 1) {
    return false;
  }
  node.devnode = devnode;
  udev_device* hid = udev_device_get_parent_with_subsystem_devtype(hidraw, "hid", nullptr);
  if (hid == nullptr) return false;
  const char* id = udev_device_get_property_value(hid, "HID_ID");
  unsigned bus = 0, vendor = 0, product = 0;
  if (id == nullptr || std::sscanf(id, "%x:%x:%x", &bus, &vendor, &product) != 3) return false;
  node.attributes.vendorId = static_cast<uint16_t>(vendor);
  node.attributes.productId = static_cast<uint16_t>(product);

  std::string descriptor;
  if (!ReadSmallFile(std::string(udev_device_get_syspath(hid)) + "/report_descriptor",
                     descriptor) ||
      ParseReportDescriptor(
          std::span(reinterpret_cast<const uint8_t*>(descriptor.data()), descriptor.size()),
          node.collections) != kHidOk) {
    return false;  // Windows creates no interface for a device it cannot parse
  }
  // USB devices have their own strings and release number; others only the
  // combined name and unique id the HID core keeps.
  udev_device* usb = udev_device_get_parent_with_subsystem_devtype(hidraw, "usb", "usb_device");
  if (usb != nullptr) {
    node.attributes.versionNumber =
        static_cast<uint16_t>(std::strtoul(UdevAttribute(usb, "bcdDevice").c_str(), nullptr, 16));
    node.product = UdevAttribute(usb, "product");
    node.serial = UdevAttribute(usb, "serial");
  } else {
    const char* name = udev_device_get_property_value(hid, "HID_NAME");
    const char* uniq = udev_device_get_property_value(hid, "HID_UNIQ");
    node.product = name != nullptr ? name : "";
    node.serial = uniq != nullptr ? uniq : "";
  }
  node.hasSerial = !node.serial.empty();
  return true;
}

std::vector<HidrawNode> ListNodes() {
  std::vector<HidrawNode> nodes;
  UdevPtr<udev> context(udev_new());
  if (!context) return nodes;
  UdevPtr<udev_enumerate> enumerate(udev_enumerate_new(context.get()));
  if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "hidraw") < 0 ||
      udev_enumerate_scan_devices(enumerate.get()) < 0) {
    return nodes;
  }
  udev_list_entry* entry;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
    UdevPtr<udev_device> device(
        udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
    HidrawNode node;
    if (device && Describe(device.get(), node)) nodes.push_back(std::move(node));
  }
  std::sort(nodes.begin(), nodes.end(),
            [](const HidrawNode& a, const HidrawNode& b) { return a.number < b.number; });
  return nodes;
}

std::string InterfacePath(const HidrawNode& node, int index) {
  char instance[40];
  std::snprintf(instance, sizeof instance, "hidraw%d&%04x", node.number, index);
  const int collection = node.collections.size() > 1 ? index + 1 : 0;
  return BuildInterfacePath(node.attributes.vendorId, node.attributes.productId, collection,
                            instance);
}

class CHidrawDevice final : public CFdHidDevice {
 public:
  CHidrawDevice(int fd, HidInterfaceInfo info, std::vector<uint8_t> inputIds)
      : CFdHidDevice(fd, std::move(info)), inputIds_(std::move(inputIds)) {}

 protected:
  ssize_t ReadOnce(std::span<uint8_t> buffer) override {
    if (!inputIds_.empty()) return read(Fd(), buffer.data(), buffer.size());
    // Unnumbered reports come without an id byte; Windows puts a zero first.
    const ssize_t got = read(Fd(), buffer.data() + 1, buffer.size() - 1);
    if (got > 0) buffer[0] = 0;
    return got > 0 ? got + 1 : got;
  }

  ssize_t WriteOnce(std::span<const uint8_t> report) override {
    return write(Fd(), report.data(), report.size());
  }

  bool Wanted(std::span<const uint8_t> report) const override {
    return inputIds_.empty() ||
           std::find(inputIds_.begin(), inputIds_.end(), report[0]) != inputIds_.end();
  }

 private:
  std::vector<uint8_t> inputIds_;  // this collection's input report ids; empty: unnumbered
};

}  // namespace

std::vector<HidInterfaceEntry> EnumerateHidraw() {
  std::vector<HidInterfaceEntry> found;
  for (const HidrawNode& node : ListNodes()) {
    for (size_t i = 0; i < node.collections.size(); ++i) {
      found.push_back(
          {InterfacePath(node, static_cast<int>(i)), node.devnode, static_cast<int>(i)});
    }
  }
  return found;
}

uint32_t OpenHidraw(const HidInterfaceEntry& entry, std::unique_ptr<IHidDevice>& device) {
  // The node's description is taken again, so that the caps belong to the
  // device that is opened now.
  for (const HidrawNode& node : ListNodes()) {
    if (node.devnode != entry.node ||
        entry.collectionIndex >= static_cast<int>(node.collections.size()) ||
        !SamePath(InterfacePath(node, entry.collectionIndex), entry.path)) {
      continue;
    }
    const HidCollection& collection = node.collections[static_cast<size_t>(entry.collectionIndex)];
    if (HeldBySystem(collection.caps)) return kHidErrorAccessDenied;
    const int fd = open(node.devnode.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      return errno == EACCES || errno == EPERM    ? kHidErrorAccessDenied
             : errno == ENOENT || errno == ENODEV ? kHidErrorFileNotFound
                                                  : kHidErrorGenFailure;
    }
    const uint32_t locked = LockExclusive(fd);
    if (locked != kHidOk) {
      close(fd);
      return locked;
    }
    HidInterfaceInfo info;
    info.attributes = node.attributes;
    info.caps = collection.caps;
    info.product = Utf8ToUtf16(node.product);
    info.hasProduct = !node.product.empty();
    info.serial = Utf8ToUtf16(node.serial);
    info.hasSerial = node.hasSerial;
    auto hidraw = std::make_unique<CHidrawDevice>(fd, std::move(info), collection.inputReportIds);
    if (!hidraw->Valid()) return kHidErrorGenFailure;
    device = std::move(hidraw);
    return kHidOk;
  }
  return kHidErrorFileNotFound;
}

}  // namespace lx2d::platform
