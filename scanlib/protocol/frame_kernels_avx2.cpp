// Compiled with -mavx2; used only where the processor has AVX2.
#include "frame_kernels_impl.h"

namespace lx2d {

const FrameKernels kFrameKernelsAvx2 = {Checksum, Escape, Unescape};

}  // namespace lx2d
