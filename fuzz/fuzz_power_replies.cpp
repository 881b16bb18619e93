// Hostile answers of a power-control driver: reply capsules (plain and
// enciphered under a real session) and handshake replies of any size and
// content. The channel must refuse them without reading or writing past its
// buffers. Input: mode byte, output capacity byte, then the answer bytes
// (for the handshake: up to three replies, each a length byte and bytes).
#include <cstddef>
#include <cstdint>
#include <span>

#include "auth_key.h"
#include "driver_protocol.h"
#include "in_process_driver.h"
#include "misc_common.h"

namespace {

using namespace lx2d;

// The next length-prefixed piece of `rest`.
std::vector<uint8_t> Piece(std::span<const uint8_t>& rest) {
  if (rest.empty()) return {};
  const size_t size = std::min<size_t>(rest[0], rest.size() - 1);
  std::vector<uint8_t> piece(rest.begin() + 1, rest.begin() + 1 + static_cast<long>(size));
  rest = rest.subspan(1 + size);
  return piece;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t mode = data[0] % 3;
  const uint32_t capacity = data[1];
  std::span<const uint8_t> rest(data + 2, size - 2);

  sim::DriverSimConfig config;
  config.sessions = mode != 0;
  power::DevelopmentAuthKey(config.authKey);
  test::CInProcessDriver driver(config);
  char16_t errorText[MiscCommon::kErrorTextChars] = {};
  // A key path that never exists: both sides use the development key.
  MiscCommon::CMiscCommon channel(errorText, &driver, "/nonexistent/lx2d/auth.key");
  if (channel.OpenDriver() != 0) return 0;

  if (mode == 2) {
    std::vector<uint8_t> replies[3] = {Piece(rest), Piece(rest), Piece(rest)};
    driver.tamper = [&](uint32_t code, std::span<const uint8_t> input, sim::DriverAnswer& answer) {
      if (code != power::kIoctlSession) return;
      const int phase = input.size() == power::kIni1Bytes          ? 0
                        : input.size() == power::kIni2RequestBytes ? 1
                        : input.size() == power::kIni3RequestBytes ? 2
                                                                   : -1;
      if (phase >= 0 && !replies[phase].empty()) answer = {true, 0, replies[phase]};
    };
    channel._Initialize();
    return 0;
  }

  if (channel._Initialize() != 0) return 0;
  const std::vector<uint8_t> reply(rest.begin(), rest.end());
  driver.tamper = [&](uint32_t code, std::span<const uint8_t>, sim::DriverAnswer& answer) {
    if (code == power::kIoctlCapsule) answer = {true, 0, reply};
  };
  power::MiscPacket packet = power::MakeMiscPacket(0, power::kMiscQuery, 0);
  std::vector<uint8_t> output(capacity);
  platform::DWORD returned = 0;
  channel.EncapsuledDeviceIoControl(packet.data(), static_cast<platform::DWORD>(packet.size()),
                                    capacity != 0 ? output.data() : nullptr, capacity, &returned);
  if (returned > capacity) __builtin_trap();
  return 0;
}
