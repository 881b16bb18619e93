#include "hdrand.h"

#include <chrono>

#include "driver_protocol.h"

namespace lx2d::power {
namespace {

template <typename T>
void PutLittleEndian(uint8_t* out, T value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The wall clock as a SYSTEMTIME: year, month, day of week, day, hour,
// minute, second, milliseconds, each 16 bits.
std::array<uint8_t, 16> SystemTimeBytes() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const auto today = floor<days>(now);
  const year_month_day date(today);
  const hh_mm_ss clock(floor<milliseconds>(now - today));
  const uint16_t fields[8] = {static_cast<uint16_t>(static_cast<int>(date.year())),
                              static_cast<uint16_t>(static_cast<unsigned>(date.month())),
                              static_cast<uint16_t>(weekday(today).c_encoding()),
                              static_cast<uint16_t>(static_cast<unsigned>(date.day())),
                              static_cast<uint16_t>(clock.hours().count()),
                              static_cast<uint16_t>(clock.minutes().count()),
                              static_cast<uint16_t>(clock.seconds().count()),
                              static_cast<uint16_t>(clock.subseconds().count())};
  std::array<uint8_t, 16> bytes{};
  for (size_t i = 0; i < 8; ++i) PutLittleEndian(&bytes[2 * i], fields[i], 2);
  return bytes;
}

}  // namespace

CHdRand::~CHdRand() { Wipe(pool); }

bool CHdRand::Init() {
  std::array<uint8_t, 8> counter{};
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  PutLittleEndian(counter.data(), static_cast<uint64_t>(ticks), counter.size());
  const std::array<uint8_t, 16> time = SystemTimeBytes();
  position = 0;
  return Sha1({counter, time}, pool);
}

bool CHdRand::Test() {
  uint32_t first = 0;
  uint32_t second = 0;
  return Draw(first) && Draw(second) && first != second;
}

bool CHdRand::Draw(uint32_t& word) {
  if (position + 4 > 19) position = 0;
  word = WordAt(pool, position);
  std::array<uint8_t, 4> where{};
  PutWord(where, 0, position);
  Digest stirred{};
  const bool ok = Sha1({std::span<const uint8_t>(pool).subspan(2, 16), where}, stirred);
  pool = stirred;
  Wipe(stirred);
  position = (position + 4) % 20;
  return ok;
}

bool CHdRand::DrawBytes(std::span<uint8_t> bytes) {
  for (size_t offset = 0; offset + 4 <= bytes.size(); offset += 4) {
    uint32_t word = 0;
    if (!Draw(word)) return false;
    PutWord(bytes, offset, word);
  }
  return true;
}

}  // namespace lx2d::power
