// The codec's bulk loops over runs of bytes, in one table per instruction
// set; the codec picks the best the processor offers once, at first use.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lx2d {

// Bytes that escape() and unescape() may write past what they keep; their
// output buffers need this much room beyond it.
inline constexpr size_t kKernelSlack = 32;

struct FrameKernels {
  // Extends the checksum's running sums over data[0..size) exactly as
  // feeding the bytes one by one would (sum1 += byte; sum2 += sum1).
  void (*checksum)(uint32_t& sum1, uint32_t& sum2, const uint8_t* data, size_t size);

  // Writes data[0..size) to `out` with framing bytes (STX, ETX, DLE)
  // escaped, extending the checksum over the bytes in the same pass, and
  // returns the end of what it wrote.
  uint8_t* (*escape)(uint8_t* out, const uint8_t* data, size_t size, uint32_t& sum1,
                     uint32_t& sum2);

  // Takes bytes from in[0..size) while they are ordinary bytes or valid
  // escape pairs and `room` output bytes remain, writing them unescaped to
  // `out`; stops before anything else (STX, ETX, a lone or bad DLE). Returns
  // the bytes taken; `produced` receives the bytes written.
  size_t (*unescape)(const uint8_t* in, size_t size, uint8_t* out, size_t room, size_t& produced);
};

extern const FrameKernels kFrameKernelsBaseline;  // SSE2 on x86-64, plain loops elsewhere
#if defined(LX2D_HAVE_AVX2_KERNELS)
extern const FrameKernels kFrameKernelsAvx2;
#endif

// The table for this processor.
const FrameKernels& ActiveFrameKernels();

}  // namespace lx2d
