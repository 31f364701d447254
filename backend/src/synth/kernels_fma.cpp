// The four-voice pass, and two groups of it side by side, built for
// processors with AVX2 and FMA (this file is compiled with -mavx2 -mfma);
// kernels.cpp calls them only after checking the processor has them.
#if defined(__x86_64__) && defined(__AVX2__) && defined(__FMA__)

#include "synth/eight_voice_pass.h"

namespace tsl::kernels {

void RenderFourFma(FourVoices& v, float* acc, uint32_t buses, bool lowpass, uint32_t frames) noexcept {
    FourPassFor<true>(v, acc, buses, lowpass, frames);
}

void RenderEightFma(FourVoices& a, FourVoices& b, float* acc, uint32_t buses, bool lowpass, uint32_t frames) noexcept {
    if (lowpass) eight::PassFor<true>(a, b, acc, buses, frames);
    else eight::PassFor<false>(a, b, acc, buses, frames);
}

} // namespace tsl::kernels

#endif
