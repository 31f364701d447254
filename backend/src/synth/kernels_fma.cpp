// The four-voice pass, and two groups of it side by side, built for
// processors with AVX2 and FMA (this file is compiled with -mavx2 -mfma);
// kernels.cpp calls them only after checking the processor has them.
#if defined(__x86_64__) && defined(__AVX2__) && defined(__FMA__)

#include "synth/eight_voice_pass.h"
#include "synth/sinc_table.h"

namespace tsl::kernels {

// Eight frames at a time: each frame's sixteen taps take two 8-wide
// multiplies (one fused), and two rounds of horizontal adds and a swap of
// halves sum the eight frames at once. Renders the whole eights of `count`
// and returns how many frames that was.
uint32_t SincRunFma(const int16_t* src, uint64_t& pos, uint64_t inc, int band, float* out, uint32_t count) noexcept {
    static_assert(sinc::kTaps == 16);
    uint64_t p = pos;
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256 r[8];
        for (int f = 0; f < 8; ++f) {
            const uint64_t q = p + f * inc;
            const float* k = sinc::Kernel(band, static_cast<int>(static_cast<uint32_t>(q) >> (32 - 9)));
            const int16_t* s = src + (q >> 32) - sinc::kHalf;
            const __m256 lo = _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s))));
            const __m256 hi =
                _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 8))));
            r[f] = _mm256_fmadd_ps(hi, _mm256_load_ps(k + 8), _mm256_mul_ps(lo, _mm256_load_ps(k)));
        }
        p += 8 * inc;
        // Per 128-bit half: [frame 0 .. 3 partial sums | frame 4 .. 7 ...].
        const __m256 ab = _mm256_hadd_ps(_mm256_hadd_ps(r[0], r[1]), _mm256_hadd_ps(r[2], r[3]));
        const __m256 cd = _mm256_hadd_ps(_mm256_hadd_ps(r[4], r[5]), _mm256_hadd_ps(r[6], r[7]));
        _mm256_storeu_ps(out + i, _mm256_add_ps(_mm256_permute2f128_ps(ab, cd, 0x20), _mm256_permute2f128_ps(ab, cd, 0x31)));
    }
    pos = p;
    return i;
}

void RenderFourFma(FourVoices& v, float* acc, uint32_t buses, bool lowpass, uint32_t frames) noexcept {
    FourPassFor<true>(v, acc, buses, lowpass, frames);
}

void RenderEightFma(FourVoices& a, FourVoices& b, float* acc, uint32_t buses, bool lowpass, uint32_t frames) noexcept {
    if (lowpass) eight::PassFor<true>(a, b, acc, buses, frames);
    else eight::PassFor<false>(a, b, acc, buses, frames);
}

} // namespace tsl::kernels

#endif
