// The wide loops for processors with AVX-512 (F, VL, BW, DQ): compiled with
// those added to -mavx2 -mfma on x86-64 (empty elsewhere), but kept to
// 256-bit vectors, so that nothing runs on the 512-bit units and their
// lower clock.
#if defined(__x86_64__) && defined(__AVX2__) && defined(__FMA__) && defined(__AVX512VL__)
#define TSL_WIDE_TABLE kAvx512Kernels
#include "synth/wide_kernels_impl.h"
#endif
