// Finding reader ports: udev's ttys of the readers' USB vendor and the
// simulated ports published as links; and the service over both.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/paths.h"
#include "serial_internal.h"
#include "udev_support.h"

namespace lx2d::platform {
namespace {

uint16_t HexAttribute(udev_device* device, const char* name) {
  return static_cast<uint16_t>(std::strtoul(UdevAttribute(device, name).c_str(), nullptr, 16));
}

bool ParseHex16(std::string_view text, uint16_t& out) {
  unsigned value = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (status != std::errc() || end != text.data() + text.size() || value > 0xFFFF) return false;
  out = static_cast<uint16_t>(value);
  return true;
}

// Stale links (their simulator died) lead nowhere or to another kind of file.
bool LeadsToTty(const std::string& path) {
  struct stat target {};
  return stat(path.c_str(), &target) == 0 && S_ISCHR(target.st_mode);
}

}  // namespace

std::vector<SerialPortInfo> EnumerateUdevSerial() {
  std::vector<SerialPortInfo> ports;
  UdevPtr<udev> context(udev_new());
  if (!context) return ports;
  UdevPtr<udev_enumerate> enumerate(udev_enumerate_new(context.get()));
  if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "tty") < 0 ||
      udev_enumerate_scan_devices(enumerate.get()) < 0) {
    return ports;
  }
  udev_list_entry* entry;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
    UdevPtr<udev_device> tty(
        udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
    if (!tty) continue;
    const char* devnode = udev_device_get_devnode(tty.get());
    udev_device* usb =
        udev_device_get_parent_with_subsystem_devtype(tty.get(), "usb", "usb_device");
    if (devnode == nullptr || usb == nullptr) continue;
    SerialPortInfo port;
    port.vendorId = HexAttribute(usb, "idVendor");
    if (port.vendorId != kSerialReaderVendorId) continue;
    port.path = devnode;
    port.productId = HexAttribute(usb, "idProduct");
    port.product = UdevAttribute(usb, "product");
    port.serial = UdevAttribute(usb, "serial");
    ports.push_back(std::move(port));
  }
  std::sort(ports.begin(), ports.end(),
            [](const SerialPortInfo& a, const SerialPortInfo& b) { return a.path < b.path; });
  return ports;
}

std::vector<SerialPortInfo> EnumerateSerialLinks(const std::string& directory) {
  std::vector<SerialPortInfo> ports;
  DIR* folder = opendir(directory.c_str());
  if (folder == nullptr) return ports;
  std::vector<std::string> names;
  while (const dirent* item = readdir(folder)) {
    const std::string_view name = item->d_name;
    if (ValidSerialPortName(name) && !name.ends_with(".info") && !name.ends_with(".new")) {
      names.emplace_back(name);
    }
  }
  closedir(folder);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = directory + "/" + name;
    if (!LeadsToTty(path)) continue;
    SerialPortIdentity identity;
    identity.product = name;  // a port published without a description
    std::ifstream info(path + ".info");
    if (info) {
      std::ostringstream text;
      text << info.rdbuf();
      if (!ParseSerialIdentity(text.str(), identity)) continue;
    }
    ports.push_back(
        {path, identity.vendorId, identity.productId, identity.product, identity.serial});
  }
  return ports;
}

std::string FormatSerialIdentity(const SerialPortIdentity& identity) {
  char ids[64];
  std::snprintf(ids, sizeof ids, "vendor=%04x\nproduct_id=%04x\n", identity.vendorId,
                identity.productId);
  return ids + ("product=" + identity.product + "\nserial=" + identity.serial + "\n");
}

bool ParseSerialIdentity(std::string_view text, SerialPortIdentity& identity) {
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    if (key == "vendor" && !ParseHex16(value, identity.vendorId)) return false;
    if (key == "product_id" && !ParseHex16(value, identity.productId)) return false;
    if (key == "product") identity.product = value;
    if (key == "serial") identity.serial = value;
  }
  return true;
}

bool ValidSerialPortName(std::string_view name) {
  if (name.empty() || name.front() == '.') return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
  });
}

namespace {

class CSerialService final : public ISerialService {
 public:
  // With `followRuntimeDir` the simulated ports are looked for in the
  // runtime folder as it is at each call, so a test may point it elsewhere.
  CSerialService(SerialServiceConfig config, bool followRuntimeDir)
      : config_(std::move(config)), followRuntimeDir_(followRuntimeDir) {}

  std::vector<SerialPortInfo> EnumeratePorts() override {
    std::vector<SerialPortInfo> ports;
    if (config_.udev) ports = EnumerateUdevSerial();
    const std::string directory = followRuntimeDir_ ? SerialLinkDir() : config_.linkDir;
    if (!directory.empty()) {
      for (SerialPortInfo& port : EnumerateSerialLinks(directory)) ports.push_back(std::move(port));
    }
    return ports;
  }

  uint32_t Open(std::string_view path, uint32_t baudRate,
                std::unique_ptr<ISerialPort>& port) override {
    return OpenTty(path, baudRate, port);
  }

 private:
  SerialServiceConfig config_;
  bool followRuntimeDir_;
};

}  // namespace

std::string SerialLinkDir() { return GetDirectory(Directory::kRuntime) + "/serial"; }

std::unique_ptr<ISerialService> MakeSerialService(const SerialServiceConfig& config) {
  return std::make_unique<CSerialService>(config, false);
}

ISerialService* SystemSerialService() {
  static CSerialService service(SerialServiceConfig{}, true);
  return &service;
}

}  // namespace lx2d::platform
