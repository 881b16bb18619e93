// One of the concurrent hive writers: sets COUNT REG_DWORD values named
// PREFIX-<i> (value i) under HKLM\SOFTWARE\Lx2dTest, one change at a time.
// Exit status 0 when every write succeeded.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/registry.h"

int main(int argc, char** argv) {
  using namespace lx2d::platform;
  if (argc != 3) return 2;
  std::string prefix = argv[1];
  int count = static_cast<int>(std::strtol(argv[2], nullptr, 10));
  IRegistry& registry = DefaultRegistry();
  for (int i = 0; i < count; ++i) {
    HKEY key = 0;
    if (registry.CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Lx2dTest", REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, &key, nullptr) != ERROR_SUCCESS) {
      return 1;
    }
    auto value = static_cast<std::uint32_t>(i);
    std::uint8_t bytes[4] = {
        static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    LSTATUS status = registry.SetValue(key, prefix + "-" + std::to_string(i), REG_DWORD, bytes, 4);
    registry.CloseKey(key);
    if (status != ERROR_SUCCESS) return 1;
  }
  return 0;
}
