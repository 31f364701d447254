// Unit conversions of the SoundFont world (cents, centibels, timecents) and the
// modulator transfer curves, and rounding to integers. The conversions run
// once per block or per note, never per sample; with a thousand voices the
// per-block ones still add up, so the exponentials use Exp2 below rather
// than libm.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace tsl::dsp {

// std::lrint for values that fit in 32 bits (rounding to nearest, ties to
// even), without the library call std::lrint is (it may set errno): every
// note start rounds each generator, and 16-bit output every sample.
inline int32_t RoundToInt(float x) noexcept {
#if defined(__x86_64__) || defined(_M_X64)
    return static_cast<int32_t>(_mm_cvtss_si64(_mm_set_ss(x)));
#else
    return static_cast<int32_t>(std::lrint(x));
#endif
}

// 2^x to about 2e-7 relative (0.0003 cents as a pitch ratio); 0 below 2^-126.
inline float Exp2(float x) noexcept {
    if (x < -126.0f) return 0.0f;
    if (x > 127.0f) x = 127.0f;
    // Nearest integer and the rest in [-0.5, 0.5], where a degree-7 series
    // of 2^f is as exact as a float.
    const int i = static_cast<int>(x + (x >= 0.0f ? 0.5f : -0.5f));
    const float f = x - static_cast<float>(i);
    // The terms in pairs (Estrin's scheme): half as many steps deep as one
    // after the other, as the envelopes and cutoffs of a thousand voices
    // wait on it every block. The 1 is added last, in one rounding, so small
    // arguments stay as exact as before.
    const float f2 = f * f, f4 = f2 * f2;
    const float p23 = 2.4022651e-1f + 5.5504109e-2f * f;
    const float p45 = 9.6181291e-3f + 1.3333558e-3f * f, p67 = 1.5403530e-4f + 1.5252734e-5f * f;
    const float p = 1.0f + ((6.9314718e-1f * f + p23 * f2) + (p45 + p67 * f2) * f4);
    return p * std::bit_cast<float>(static_cast<uint32_t>(i + 127) << 23);
}

// Frequency ratio of a pitch offset in cents.
inline float CentsToRatio(float cents) noexcept { return Exp2(cents * (1.0f / 1200.0f)); }

// Hertz of an absolute-cents value (8.176 Hz = 0 cents, MIDI key 0).
inline float AbsCentsToHz(float cents) noexcept { return 8.1757989f * Exp2(cents * (1.0f / 1200.0f)); }

// Linear amplitude of an attenuation in centibels (positive = quieter):
// 10^(-cb/200) = 2^(-cb * log2(10) / 200).
inline float CentibelsToGain(float cb) noexcept {
    if (cb < -960.0f) return 1.0f;
    if (cb >= 1440.0f) return 0.0f;
    return Exp2(cb * (-3.3219281f / 200.0f));
}

// Linear amplitude of a level in decibels.
inline float DecibelsToGain(float db) noexcept { return Exp2(db * (3.3219281f / 20.0f)); }

// Seconds of a timecents value; the SoundFont minimum (-12000) means "instant".
inline float TimecentsToSeconds(float tc) noexcept {
    if (tc <= -12000.0f) return 0.0f;
    return Exp2(tc * (1.0f / 1200.0f));
}

// Modulator source curve types (bits 10-15 of a source operand).
enum CurveType : uint32_t { kCurveLinear = 0, kCurveConcave = 1, kCurveConvex = 2, kCurveSwitch = 3 };

// The concave curve: attenuation that makes amplitude follow the square of
// the controller, normalised so 0 -> 0 and 1 -> 1 (at 127/128 of the range the
// curve reaches its 96 dB floor).
inline float Concave(float x) noexcept {
    if (x <= 0.0f) return 0.0f;
    if (x >= 1.0f) return 1.0f;
    float v = -(40.0f / 96.0f) * std::log10(1.0f - x);
    return v > 1.0f ? 1.0f : v;
}
inline float Convex(float x) noexcept { return 1.0f - Concave(1.0f - x); }

// Maps a controller value normalised to 0..1 through a source operand's curve,
// direction and polarity. Returns -1..1 (bipolar) or 0..1 (unipolar).
inline float ApplySourceCurve(float x, uint32_t type, bool negative, bool bipolar) noexcept {
    if (negative) x = 1.0f - x;
    if (!bipolar) {
        switch (type) {
        case kCurveConcave: return Concave(x);
        case kCurveConvex: return Convex(x);
        case kCurveSwitch: return x >= 0.5f ? 1.0f : 0.0f;
        default: return x;
        }
    }
    // Bipolar curves are the unipolar curve mirrored about the centre.
    float y = 2.0f * x - 1.0f;
    float m = std::fabs(y);
    float s = y < 0.0f ? -1.0f : 1.0f;
    switch (type) {
    case kCurveConcave: return s * Concave(m);
    case kCurveConvex: return s * Convex(m);
    case kCurveSwitch: return x >= 0.5f ? 1.0f : -1.0f;
    default: return y;
    }
}

} // namespace tsl::dsp
