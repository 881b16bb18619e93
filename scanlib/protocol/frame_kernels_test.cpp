#include "frame_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "vscp_frame.h"

namespace lx2d {
namespace {

using Bytes = std::vector<uint8_t>;

struct Table {
  const char* name;
  const FrameKernels* kernels;
};

// Every table this processor can run, so the baseline loops are checked
// even where the faster ones are picked.
std::vector<Table> Tables() {
  std::vector<Table> tables = {{"baseline", &kFrameKernelsBaseline}};
#if defined(LX2D_HAVE_AVX2_KERNELS)
  if (__builtin_cpu_supports("avx2")) tables.push_back({"avx2", &kFrameKernelsAvx2});
#endif
  return tables;
}

bool Framing(uint8_t byte) { return byte == kStx || byte == kEtx || byte == kDle; }

// Inputs of every length up to a few blocks, dense in framing bytes.
std::vector<Bytes> Inputs() {
  std::mt19937 random(7);
  std::vector<Bytes> inputs;
  for (size_t size = 0; size <= 100; ++size) {
    Bytes bytes(size);
    for (uint8_t& byte : bytes) {
      const uint32_t pick = random() % 8;
      byte = pick == 0   ? kStx
             : pick == 1 ? kEtx
             : pick == 2 ? kDle
                         : static_cast<uint8_t>(random());
    }
    inputs.push_back(bytes);
  }
  inputs.push_back(Bytes(5000, 0xFF));  // the sums wrap
  return inputs;
}

TEST(FrameKernels, ChecksumAndEscape_SumLikeSerialDefinition) {
  for (const Table& table : Tables()) {
    SCOPED_TRACE(table.name);
    for (const Bytes& input : Inputs()) {
      uint32_t want1 = 0x1234, want2 = 0xFEDC;  // continues from earlier bytes
      uint32_t sum1 = want1, sum2 = want2, escapeSum1 = want1, escapeSum2 = want2;
      for (uint8_t byte : input) {
        want1 += byte;
        want2 += want1;
      }
      table.kernels->checksum(sum1, sum2, input.data(), input.size());
      EXPECT_EQ(static_cast<uint16_t>(sum1), static_cast<uint16_t>(want1));
      EXPECT_EQ(static_cast<uint16_t>(sum2), static_cast<uint16_t>(want2));
      // Escaping sums the same bytes on the way.
      Bytes wire(2 * input.size() + kKernelSlack);
      table.kernels->escape(wire.data(), input.data(), input.size(), escapeSum1, escapeSum2);
      EXPECT_EQ(static_cast<uint16_t>(escapeSum1), static_cast<uint16_t>(want1));
      EXPECT_EQ(static_cast<uint16_t>(escapeSum2), static_cast<uint16_t>(want2));
    }
  }
}

TEST(FrameKernels, EscapeThenUnescape_RoundTrips) {
  for (const Table& table : Tables()) {
    SCOPED_TRACE(table.name);
    for (const Bytes& input : Inputs()) {
      Bytes want;
      for (uint8_t byte : input) {
        if (Framing(byte)) want.push_back(kDle);
        want.push_back(Framing(byte) ? byte | kEscapeBit : byte);
      }
      Bytes wire(want.size() + kKernelSlack);
      uint32_t sum1 = 0, sum2 = 0;
      const uint8_t* end =
          table.kernels->escape(wire.data(), input.data(), input.size(), sum1, sum2);
      wire.resize(static_cast<size_t>(end - wire.data()));
      ASSERT_EQ(wire, want);

      Bytes back(input.size());
      size_t produced = 0;
      EXPECT_EQ(
          table.kernels->unescape(wire.data(), wire.size(), back.data(), back.size(), produced),
          wire.size());
      EXPECT_EQ(produced, input.size());
      EXPECT_EQ(back, input);
    }
  }
}

TEST(FrameKernels, Unescape_StopsBeforeFramingBadEscapeOrFullOutput) {
  struct Case {
    const char* name;
    Bytes in;
    size_t room;
    size_t taken;
    size_t produced;
  };
  Bytes longRun(40, 'a');
  Bytes stxAfterRun = longRun;
  stxAfterRun.push_back(kStx);
  Bytes badEscapeAfterRun = longRun;
  badEscapeAfterRun.insert(badEscapeAfterRun.end(), {kDle, 0x41});
  const Case cases[] = {
      {"ETX", {'a', 'b', kEtx, 'c'}, 10, 2, 2},
      {"STX after a run", stxAfterRun, 100, 40, 40},
      {"bad escape after a run", badEscapeAfterRun, 100, 40, 40},
      {"DLE DLE", {'a', kDle, kDle}, 10, 1, 1},
      {"lone DLE at the end", {'a', kDle}, 10, 1, 1},
      {"valid pair", {kDle, 0x43, 'x'}, 10, 3, 2},
      {"room runs out", longRun, 33, 33, 33},
      {"room runs out before a pair", {'a', kDle, 0x42}, 1, 1, 1},
  };
  for (const Table& table : Tables()) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(table.name) + ": " + c.name);
      Bytes out(c.room);
      size_t produced = 99;
      EXPECT_EQ(table.kernels->unescape(c.in.data(), c.in.size(), out.data(), c.room, produced),
                c.taken);
      EXPECT_EQ(produced, c.produced);
    }
  }
}

}  // namespace
}  // namespace lx2d
