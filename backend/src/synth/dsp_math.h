// Unit conversions of the SoundFont world (cents, centibels, timecents) and the
// modulator transfer curves. Called once per block or per note, never per
// sample, so plain libm calls are fine here.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tsl::dsp {

// Frequency ratio of a pitch offset in cents.
inline float CentsToRatio(float cents) noexcept { return std::exp2(cents * (1.0f / 1200.0f)); }

// Hertz of an absolute-cents value (8.176 Hz = 0 cents, MIDI key 0).
inline float AbsCentsToHz(float cents) noexcept { return 8.1757989f * std::exp2(cents * (1.0f / 1200.0f)); }

// Linear amplitude of an attenuation in centibels (positive = quieter).
inline float CentibelsToGain(float cb) noexcept {
    if (cb <= 0.0f) return cb < -960.0f ? 1.0f : std::pow(10.0f, -cb * (1.0f / 200.0f));
    if (cb >= 1440.0f) return 0.0f;
    return std::pow(10.0f, -cb * (1.0f / 200.0f));
}

// Linear amplitude of a level in decibels.
inline float DecibelsToGain(float db) noexcept { return std::pow(10.0f, db * (1.0f / 20.0f)); }

// Seconds of a timecents value; the SoundFont minimum (-12000) means "instant".
inline float TimecentsToSeconds(float tc) noexcept {
    if (tc <= -12000.0f) return 0.0f;
    return std::exp2(tc * (1.0f / 1200.0f));
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
