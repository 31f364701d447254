// The builds of the loops for processors with more than SSE2, as tables of
// entry points (wide_kernels_impl.h holds the code): one for AVX2 with FMA,
// and the same code built for AVX-512VL. The second runs the same
// instructions on the same 256-bit registers, so it gives the same bits,
// but its 32 registers hold the eight-voice pass's whole state, which the
// 16 of AVX2 spill in part to the stack every frame.
#pragma once

#include <cstdint>

#include "synth/kernels.h"

namespace tsl::kernels {

struct WideKernels {
    void (*renderFour)(FourVoices& v, float* acc, uint32_t buses, bool lowpass, uint32_t frames) noexcept;
    void (*renderEight)(FourVoices& a, FourVoices& b, float* acc, uint32_t buses, bool lowpass,
                        uint32_t frames) noexcept;
    // Renders the whole eights of `count` and returns how many frames that was.
    uint32_t (*sincRun)(const int16_t* src, uint64_t& pos, uint64_t inc, int band, float* out,
                        uint32_t count) noexcept;
    void (*biquadEight)(float* const x[8], const float c[8][5], const float (*dc)[5], float z[8][2],
                        uint32_t frames) noexcept;
    void (*mixRamps)(const float* x, float* const bus[], int buses, uint32_t from, uint32_t to, const float g0[],
                     const float d[]) noexcept;
    void (*scaleRamp)(float* x, uint32_t from, uint32_t to, float g0, float d) noexcept;
};

extern const WideKernels kAvx2Kernels;
extern const WideKernels kAvx512Kernels;

} // namespace tsl::kernels
