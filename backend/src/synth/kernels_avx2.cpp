// The wide loops for processors with AVX2 and FMA (compiled with -mavx2
// -mfma on x86-64; empty elsewhere).
#if defined(__x86_64__) && defined(__AVX2__) && defined(__FMA__)
#define TSL_WIDE_TABLE kAvx2Kernels
#include "synth/wide_kernels_impl.h"
#endif
