// Registry files come from administrators and other machines: any text must
// import or fail cleanly, and never leave a key open.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/fakes/memory_registry.h"
#include "reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  lx2d::platform::CMemoryRegistry registry;
  lx2d::reg::ImportText(registry, std::string_view(reinterpret_cast<const char*>(data), size));
  if (registry.OpenHandleCount() != 0) __builtin_trap();
  return 0;
}
