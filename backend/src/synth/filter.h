// The voice filter: a resonant two-pole low-pass (the SoundFont filter) or
// one of the other shapes SFZ regions ask for, as a biquad whose
// coefficients are computed once per block.
#pragma once

#include <cmath>

#include "font/model.h"
#include "synth/dsp_math.h"

namespace tsl {

struct BiquadCoeffs {
    float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0; // the identity, unless set
    bool IsIdentity() const noexcept { return b0 == 1 && b1 == 0 && b2 == 0 && a1 == 0 && a2 == 0; }
};

// What a two-pole filter's coefficients take from its resonance, which moves
// far less often than its cutoff: a voice keeps it while its Q stays.
// resonanceCb is the SoundFont Q (peak height above DC gain in centibels,
// 0 = no peak); Q 0 gives a Butterworth response so an unresonant filter does
// not colour the sound near cutoff.
struct Resonance {
    float cb = 0;
    float halfInvQ = 0.70710678f; // 1 / 2Q
    // Resonance lifts the peak; the passband is scaled down so a high-Q
    // filter does not clip (the usual SoundFont player compromise).
    float gain = 1;
    static Resonance Of(float resonanceCb) noexcept {
        const float peak = dsp::Exp2(resonanceCb * (3.3219281f / 200.0f)); // 10^(cb/200)
        const float gain = resonanceCb > 0 ? 1.0f / std::sqrt(peak) : 1.0f;
        return Resonance{resonanceCb, 1.0f / (2.0f * 0.70710678f * peak), gain};
    }
};

// sin w and cos w for 0 <= w <= pi, to a few parts in 10^8: w - pi/2 lies in
// [-pi/2, pi/2], where the series are that close by their twelfth power.
// A third of the voices of dense music move their cutoff every block, and
// libm's sincosf was the larger part of the coefficients' cost.
inline void SinCos(float w, float& s, float& c) noexcept {
    const float t = w - 1.57079633f, t2 = t * t;
    float sn = -2.5052108e-8f;
    sn = sn * t2 + 2.7557319e-6f;
    sn = sn * t2 - 1.9841270e-4f;
    sn = sn * t2 + 8.3333333e-3f;
    sn = sn * t2 - 1.6666667e-1f;
    sn = (sn * t2) * t + t;
    float cs = 2.0876757e-9f;
    cs = cs * t2 - 2.7557319e-7f;
    cs = cs * t2 + 2.4801587e-5f;
    cs = cs * t2 - 1.3888889e-3f;
    cs = cs * t2 + 4.1666667e-2f;
    cs = cs * t2 - 0.5f;
    cs = cs * t2 + 1.0f;
    s = cs;  // sin w = cos(w - pi/2)
    c = -sn; // cos w = -sin(w - pi/2)
}

// Any filter shape, the SoundFont's two-pole low-pass first: the two-pole
// ones share its resonance (Q from centibels, passband scaled down as it
// rises); the one-pole ones are bilinear-transformed first-order sections
// and ignore resonance. cutoffHz is clamped to 5 Hz .. 0.45 of the sample
// rate; radiansPerHz is 2 pi / the sample rate.
inline BiquadCoeffs FilterCoeffs(font::FilterType type, float cutoffHz, const Resonance& res, float sampleRate,
                                 float radiansPerHz) noexcept {
    using font::FilterType;
    float nyq = sampleRate * 0.45f;
    if (cutoffHz > nyq) cutoffHz = nyq;
    if (cutoffHz < 5.0f) cutoffHz = 5.0f;
    const float w = cutoffHz * radiansPerHz;
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
    float sw, cw;
    SinCos(w, sw, cw);
    const float alpha = sw * res.halfInvQ;
    const float inv = 1.0f / (1.0f + alpha);
    c.a1 = -2.0f * cw * inv;
    c.a2 = (1.0f - alpha) * inv;
    switch (type) {
    case FilterType::kLowpass2:
        c.b1 = (1.0f - cw) * inv * res.gain;
        c.b0 = c.b2 = c.b1 * 0.5f;
        break;
    case FilterType::kHighpass2:
        c.b0 = c.b2 = 0.5f * (1.0f + cw) * inv * res.gain;
        c.b1 = -(1.0f + cw) * inv * res.gain;
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
    // In place over n samples (transposed direct form II), the
    // coefficients starting at `c` and moving by `step` before each sample.
    void Run(BiquadCoeffs c, const BiquadCoeffs& step, float* x, unsigned n) noexcept {
        float s1 = z1, s2 = z2;
        for (unsigned i = 0; i < n; ++i) {
            c.b0 += step.b0;
            c.b1 += step.b1;
            c.b2 += step.b2;
            c.a1 += step.a1;
            c.a2 += step.a2;
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
