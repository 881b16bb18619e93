#include "device_interface_set.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/text.h"

namespace lx2d {

namespace {

bool SameClass(std::u16string_view a, std::u16string_view b) {
  return std::ranges::equal(a, b, [](char16_t x, char16_t y) {
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

// A snapshot of the service's interface paths.
class CHidInterfaceSet final : public IDeviceInterfaceSet {
 public:
  explicit CHidInterfaceSet(const std::vector<std::string>& interfacePaths) {
    for (const std::string& path : interfacePaths) paths.push_back(platform::Utf8ToUtf16(path));
  }

  platform::DWORD EnumInterface(uint32_t index) override {
    return index < paths.size() ? platform::ERROR_SUCCESS : platform::ERROR_NO_MORE_ITEMS;
  }

  platform::DWORD GetInterfaceDetail(uint32_t index, std::span<char16_t> detail,
                                     uint32_t& required) override {
    if (index >= paths.size()) return platform::ERROR_NO_MORE_ITEMS;
    const std::u16string& path = paths[index];
    required = static_cast<uint32_t>(path.size() + 1);
    if (detail.size() < required) return platform::ERROR_INSUFFICIENT_BUFFER;
    std::ranges::copy(path, detail.begin());
    detail[path.size()] = u'\0';
    return platform::ERROR_SUCCESS;
  }

 private:
  std::vector<std::u16string> paths;
};

}  // namespace

DeviceInterfaceSetOpener HidInterfaceSetOpener(platform::IHidService& service) {
  return [&service](std::u16string_view interfaceClass,
                    uint32_t /*flags*/) -> std::unique_ptr<IDeviceInterfaceSet> {
    if (!SameClass(interfaceClass, kHidInterfaceClassGuid)) return nullptr;
    return std::make_unique<CHidInterfaceSet>(service.EnumerateInterfaces());
  };
}

}  // namespace lx2d
