#include "hid_interface_search.h"

#include <algorithm>
#include <memory>
#include <new>

namespace lx2d {

namespace {

char16_t ToLower(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c; }

std::u16string Lower(std::u16string_view text) {
  std::u16string lower(text);
  std::ranges::transform(lower, lower.begin(), ToLower);
  return lower;
}

}  // namespace

std::u16string HidSearchPrefix(std::u16string_view pattern) {
  return std::u16string(kHidPathStart) + std::u16string(pattern);
}

THidSearchResult FindHidInterfacePath(const DeviceInterfaceSetOpener& open,
                                      std::u16string_view interfaceClass, uint32_t flags,
                                      std::u16string_view prefix) {
  if (prefix.empty()) return {};
  std::unique_ptr<IDeviceInterfaceSet> set = open(interfaceClass, flags);
  if (!set) return {};
  const std::u16string lowerPrefix = Lower(prefix);
  std::unique_ptr<char16_t[]> detail;
  for (uint32_t index = 0; index < kHidSearchIndexes; ++index) {
    if (set->EnumInterface(index) != platform::ERROR_SUCCESS) continue;
    uint32_t required = 0;
    if (set->GetInterfaceDetail(index, {}, required) != platform::ERROR_INSUFFICIENT_BUFFER) {
      detail.reset();
      continue;
    }
    detail.reset(new (std::nothrow) char16_t[required]());
    if (!detail) return {kHidSearchOutOfMemory, {}};
    if (set->GetInterfaceDetail(index, {detail.get(), required}, required) !=
        platform::ERROR_SUCCESS) {
      continue;
    }
    const std::u16string path = Lower(std::u16string_view(detail.get()));
    if (path.starts_with(lowerPrefix)) return {kHidSearchFound, path};
  }
  return {};
}

}  // namespace lx2d
