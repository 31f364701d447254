#include "synth/chorus.h"

#include <algorithm>
#include <cmath>

namespace tsl {
namespace {

constexpr float kMaxDelay = 0.05f;
// Two taps per side; their sum at this scale keeps the chorus about as loud
// as its send.
constexpr float kTapGain = 0.35f;

inline float Tap(const std::vector<float>& line, uint32_t mask, uint32_t pos, float delay) noexcept {
    const float rp = static_cast<float>(pos) + static_cast<float>(mask + 1) - delay;
    const uint32_t i = static_cast<uint32_t>(rp);
    const float fr = rp - static_cast<float>(i);
    const float a = line[i & mask], b = line[(i + 1) & mask];
    return a + (b - a) * fr;
}

} // namespace

Chorus::Chorus(uint32_t sampleRate) : rate_(static_cast<float>(sampleRate)) {
    uint32_t len = 1;
    while (len < static_cast<uint32_t>(kMaxDelay * rate_) + 4) len <<= 1;
    line_.assign(len, 0.0f);
    mask_ = len - 1;
    Configure(ChorusProgram(ChorusType::kChorus3));
}

void Chorus::Configure(const ChorusSettings& s) noexcept {
    set_ = s;
    const float maxFrames = kMaxDelay * rate_ - 2;
    base_ = std::clamp(s.delay * rate_, 2.0f, maxFrames);
    depth_ = std::clamp(s.depth * rate_, 0.0f, std::min(base_ - 2.0f, maxFrames - base_));
    const float w = 6.2831853f * std::clamp(s.rate, 0.0f, 20.0f) / rate_;
    rc_ = std::cos(w);
    rs_ = std::sin(w);
    lp_ = std::clamp(s.preLowpass, 0.0f, 0.95f);
    set_.feedback = std::clamp(s.feedback, -0.95f, 0.95f);
}

void Chorus::Clear() noexcept {
    std::fill(line_.begin(), line_.end(), 0.0f);
    lpState_ = fbState_ = 0;
    peak_ = 0;
}

void Chorus::Process(const float* in, float* out, float* reverbIn, uint32_t n, float gain) noexcept {
    bool any = false;
    for (uint32_t f = 0; f < n && !any; ++f) any = in[f] != 0.0f;
    if (!(any && gain != 0.0f) && Quiet()) return;
    const float g = gain * kTapGain, fb = set_.feedback, toReverb = set_.toReverb;
    float c = c_, s = s_;
    float peak = 0;
    for (uint32_t f = 0; f < n; ++f) {
        lpState_ = in[f] + (lpState_ - in[f]) * lp_;
        line_[pos_] = lpState_ + fbState_ * fb;
        // Taps at LFO phases 0 and 180 degrees on the left, 90 and 270 on
        // the right: sin, -sin, cos, -cos of one phasor.
        const float l = Tap(line_, mask_, pos_, base_ + depth_ * s) + Tap(line_, mask_, pos_, base_ - depth_ * s);
        const float r = Tap(line_, mask_, pos_, base_ + depth_ * c) + Tap(line_, mask_, pos_, base_ - depth_ * c);
        fbState_ = 0.5f * (l + r) * 0.5f;
        pos_ = (pos_ + 1) & mask_;
        const float nc = c * rc_ - s * rs_;
        s = s * rc_ + c * rs_;
        c = nc;
        const float ol = l * g, orr = r * g;
        out[2 * f] += ol;
        out[2 * f + 1] += orr;
        if (toReverb != 0) reverbIn[f] += (ol + orr) * 0.5f * toReverb;
        peak = std::max(peak, std::max(std::fabs(ol), std::fabs(orr)));
    }
    // The phasor drifts off the unit circle by rounding: put it back.
    const float m = 1.0f / std::sqrt(c * c + s * s);
    c_ = c * m;
    s_ = s * m;
    peak_ = std::max(peak, std::fabs(fbState_));
    sinceActive_ = (any && gain != 0.0f) || peak_ >= 1e-6f ? 0 : std::min<uint32_t>(sinceActive_ + n, UINT32_MAX / 2);
}

} // namespace tsl
