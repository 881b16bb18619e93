#include "frame_kernels_impl.h"

namespace lx2d {

const FrameKernels kFrameKernelsBaseline = {Checksum, Escape, Unescape};

const FrameKernels& ActiveFrameKernels() {
#if defined(LX2D_HAVE_AVX2_KERNELS)
  static const FrameKernels& active =
      __builtin_cpu_supports("avx2") ? kFrameKernelsAvx2 : kFrameKernelsBaseline;
  return active;
#else
  return kFrameKernelsBaseline;
#endif
}

}  // namespace lx2d
