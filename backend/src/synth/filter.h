// The voice filter: a resonant two-pole low-pass (the SoundFont filter) or
// one of the other shapes SFZ regions ask for, as a biquad whose
// coefficients are computed once per block.
#pragma once

#include <cmath>

#include "font/model.h"
#include "synth/dsp_math.h"

namespace tsl {

struct BiquadCoeffs {
    float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

// cutoffHz is clamped below Nyquist; resonanceCb is the SoundFont Q (peak
// height above DC gain in centibels, 0 = no peak). Q 0 gives a Butterworth
// response so an unresonant filter does not colour the sound near cutoff.
inline BiquadCoeffs LowpassCoeffs(float cutoffHz, float resonanceCb, float sampleRate) noexcept {
    float nyq = sampleRate * 0.45f;
    if (cutoffHz > nyq) cutoffHz = nyq;
    if (cutoffHz < 5.0f) cutoffHz = 5.0f;
    const float peak = dsp::Exp2(resonanceCb * (3.3219281f / 200.0f)); // 10^(cb/200)
    float q = 0.70710678f * peak;
    float w = 6.28318531f * cutoffHz / sampleRate;
    float cw = std::cos(w), sw = std::sin(w);
    float alpha = sw / (2.0f * q);
    float a0 = 1.0f + alpha;
    float inv = 1.0f / a0;
    // Resonance lifts the peak; scale the passband down so a high-Q filter
    // does not clip (the usual SoundFont player compromise).
    float g = resonanceCb > 0 ? 1.0f / std::sqrt(peak) : 1.0f;
    BiquadCoeffs c;
    c.b1 = (1.0f - cw) * inv * g;
    c.b0 = c.b1 * 0.5f;
    c.b2 = c.b0;
    c.a1 = -2.0f * cw * inv;
    c.a2 = (1.0f - alpha) * inv;
    return c;
}

// Any filter shape: the two-pole ones share the low-pass's resonance
// (Q from centibels, passband scaled down as it rises); the one-pole ones
// are bilinear-transformed first-order sections and ignore resonance.
inline BiquadCoeffs FilterCoeffs(font::FilterType type, float cutoffHz, float resonanceCb, float sampleRate) noexcept {
    using font::FilterType;
    if (type == FilterType::kLowpass2) return LowpassCoeffs(cutoffHz, resonanceCb, sampleRate);
    float nyq = sampleRate * 0.45f;
    if (cutoffHz > nyq) cutoffHz = nyq;
    if (cutoffHz < 5.0f) cutoffHz = 5.0f;
    const float w = 6.28318531f * cutoffHz / sampleRate;
    BiquadCoeffs c;
    if (type == FilterType::kLowpass1 || type == FilterType::kHighpass1) {
        const float k = std::tan(0.5f * w);
        const float inv = 1.0f / (1.0f + k);
        c.a1 = (k - 1.0f) * inv;
        c.a2 = c.b2 = 0;
        if (type == FilterType::kLowpass1) c.b0 = c.b1 = k * inv;
        else { c.b0 = inv; c.b1 = -inv; }
        return c;
    }
    const float peak = dsp::Exp2(resonanceCb * (3.3219281f / 200.0f)); // 10^(cb/200)
    const float q = 0.70710678f * peak;
    const float cw = std::cos(w), sw = std::sin(w);
    const float alpha = sw / (2.0f * q);
    const float inv = 1.0f / (1.0f + alpha);
    const float g = resonanceCb > 0 ? 1.0f / std::sqrt(peak) : 1.0f;
    c.a1 = -2.0f * cw * inv;
    c.a2 = (1.0f - alpha) * inv;
    switch (type) {
    case FilterType::kHighpass2:
        c.b0 = c.b2 = 0.5f * (1.0f + cw) * inv * g;
        c.b1 = -(1.0f + cw) * inv * g;
        break;
    case FilterType::kBandpass2: // 0 dB at the centre whatever the width
        c.b0 = alpha * inv;
        c.b1 = 0;
        c.b2 = -c.b0;
        break;
    default: // kBandStop2
        c.b0 = c.b2 = inv;
        c.b1 = -2.0f * cw * inv;
        break;
    }
    return c;
}

struct BiquadState {
    float z1 = 0, z2 = 0;
    void Reset() noexcept { z1 = z2 = 0; }
    // In place over n samples (transposed direct form II).
    void Run(const BiquadCoeffs& c, float* x, unsigned n) noexcept {
        float s1 = z1, s2 = z2;
        for (unsigned i = 0; i < n; ++i) {
            float in = x[i];
            float out = c.b0 * in + s1;
            s1 = c.b1 * in - c.a1 * out + s2;
            s2 = c.b2 * in - c.a2 * out;
            x[i] = out;
        }
        z1 = s1;
        z2 = s2;
    }
};

} // namespace tsl
