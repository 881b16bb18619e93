#include <cstdio>

#include "hid_internal.h"

namespace lx2d::platform {

std::string BuildInterfacePath(uint16_t vendorId, uint16_t productId, int collection,
                               std::string_view instance) {
  char head[48];
  if (collection > 0) {
    std::snprintf(head, sizeof head, "\\\\?\\hid#vid_%04x&pid_%04x&col%02d#", vendorId, productId,
                  collection);
  } else {
    std::snprintf(head, sizeof head, "\\\\?\\hid#vid_%04x&pid_%04x#", vendorId, productId);
  }
  std::string path = head;
  path += instance;
  path += '#';
  path += kHidInterfaceClass;
  return path;
}

bool SamePath(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace lx2d::platform
