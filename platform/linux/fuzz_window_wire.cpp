// Window datagrams arrive from any process that can reach the socket.
#include <cstddef>
#include <cstdint>

#include "window_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  lx2d::platform::WireMessage message;
  if (lx2d::platform::DecodeWire(data, size, &message)) {
    lx2d::platform::WireBytes again = lx2d::platform::EncodeWire(message);
    for (std::size_t i = 0; i < again.size(); ++i) {
      if (again[i] != data[i]) __builtin_trap();  // decoding must lose nothing
    }
  }
  return 0;
}
