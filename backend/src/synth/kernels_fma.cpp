// The four-voice pass built for processors with AVX2 and FMA (this file is
// compiled with -mavx2 -mfma); kernels.cpp calls it only after checking the
// processor has them.
#if defined(__x86_64__) && defined(__AVX2__) && defined(__FMA__)

#include "synth/four_voice_pass.h"

namespace tsl::kernels {

void RenderFourFma(FourVoices& v, float* acc, uint32_t buses, bool lowpass, uint32_t frames) noexcept {
    FourPassFor<true>(v, acc, buses, lowpass, frames);
}

} // namespace tsl::kernels

#endif
