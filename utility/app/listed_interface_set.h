// For tests: an interface set that lists fixed paths and answers the size
// query and the read as the system's does.
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "device_interface_set.h"

namespace lx2d {

class CListedInterfaceSet final : public IDeviceInterfaceSet {
 public:
  explicit CListedInterfaceSet(std::vector<std::u16string> listed) : paths(std::move(listed)) {}

  platform::DWORD EnumInterface(uint32_t index) override {
    return index < paths.size() ? platform::ERROR_SUCCESS : platform::ERROR_NO_MORE_ITEMS;
  }

  platform::DWORD GetInterfaceDetail(uint32_t index, std::span<char16_t> detail,
                                     uint32_t& required) override {
    if (index >= paths.size()) return platform::ERROR_NO_MORE_ITEMS;
    required = static_cast<uint32_t>(paths[index].size() + 1);
    if (detail.size() < required) return platform::ERROR_INSUFFICIENT_BUFFER;
    std::ranges::copy(paths[index], detail.begin());
    detail[paths[index].size()] = u'\0';
    return platform::ERROR_SUCCESS;
  }

 private:
  std::vector<std::u16string> paths;
};

}  // namespace lx2d
