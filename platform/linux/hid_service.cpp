#include "hid_internal.h"
#include "platform/paths.h"

namespace lx2d::platform {
namespace {

class CHidService final : public IHidService {
 public:
  // With `followRuntimeDir` the virtual devices are looked for in the
  // runtime folder as it is at each call, so a test may point it elsewhere.
  CHidService(HidServiceConfig config, bool followRuntimeDir)
      : config_(std::move(config)), followRuntimeDir_(followRuntimeDir) {}

  std::vector<std::string> EnumerateInterfaces() override {
    std::vector<std::string> paths;
    for (const HidInterfaceEntry& entry : Entries()) paths.push_back(entry.path);
    return paths;
  }

  uint32_t Open(std::string_view path, std::unique_ptr<IHidDevice>& device) override {
    const std::string directory = VirtualDirectory();
    for (const HidInterfaceEntry& entry : Entries()) {
      if (!SamePath(entry.path, path)) continue;
      return entry.node.starts_with("/") ? OpenHidraw(entry, device)
                                         : OpenVirtual(directory, entry, device);
    }
    return kHidErrorFileNotFound;
  }

 private:
  std::string VirtualDirectory() const {
    return followRuntimeDir_ ? VirtualHidDir() : config_.virtualDeviceDir;
  }

  std::vector<HidInterfaceEntry> Entries() const {
    std::vector<HidInterfaceEntry> entries;
    if (config_.hidraw) entries = EnumerateHidraw();
    const std::string directory = VirtualDirectory();
    if (!directory.empty()) {
      for (HidInterfaceEntry& entry : EnumerateVirtual(directory))
        entries.push_back(std::move(entry));
    }
    return entries;
  }

  HidServiceConfig config_;
  bool followRuntimeDir_;
};

}  // namespace

std::string VirtualHidDir() { return GetDirectory(Directory::kRuntime) + "/vhid"; }

std::unique_ptr<IHidService> MakeHidService(const HidServiceConfig& config) {
  return std::make_unique<CHidService>(config, false);
}

IHidService* SystemHidService() {
  static CHidService service(HidServiceConfig{}, true);
  return &service;
}

}  // namespace lx2d::platform
