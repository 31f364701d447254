// SoundFont envelopes advanced once per render block.
//
// Volume envelope: the attack rises linearly in amplitude; decay and release
// fall linearly in decibels over a 96 dB range (the "time to go from full to
// nothing" the SoundFont format specifies), so the level is kept on a 0..1
// scale that maps to -96..0 dB outside the attack. Modulation envelope: the
// attack follows the convex curve SoundFont 2.04 gives it (fast at first,
// levelling off at the peak); the other stages are linear on 0..1. A stage that ends inside a block hands its unused
// time to the next one, so stage timing is exact to the sample on average.
#pragma once

#include <cmath>

#include "synth/dsp_math.h"

namespace tsl {

struct EnvelopeTimes {
    float delay = 0, attack = 0, hold = 0, decay = 0, release = 0; // seconds
    float sustain = 1;                                             // level 0..1 on the envelope's own scale
};

class Envelope {
public:
    enum Stage : unsigned char { kDelay, kAttack, kHold, kDecay, kSustain, kRelease, kDone };

    void Start(bool volumeCurve) noexcept {
        volume_ = volumeCurve;
        stage_ = kDelay;
        time_ = 0;
        level_ = 0;
    }

    // Enters the release stage from wherever the envelope is.
    void Release() noexcept {
        if (stage_ >= kRelease) return;
        if (volume_ && stage_ <= kAttack) {
            // Carry the linear attack amplitude into the dB scale of the release.
            float a = stage_ == kDelay ? 0.0f : level_;
            level_ = a <= 1.6e-5f ? 0.0f : 1.0f + std::log10(a) * (20.0f / 96.0f);
        } else if (stage_ == kDelay) {
            level_ = 0;
        } else if (stage_ == kAttack) {
            level_ = dsp::Convex(level_); // release from the level reached
        }
        stage_ = kRelease;
        time_ = 0;
    }

    // Enters the release from a given amplitude (the level actually heard,
    // which differs from the envelope's own while a block's onset ramp runs).
    void ReleaseFrom(float amplitude) noexcept {
        if (stage_ >= kRelease) return;
        if (!volume_) { Release(); return; }
        level_ = amplitude <= 1.6e-5f ? 0.0f : 1.0f + std::log10(amplitude) * (20.0f / 96.0f);
        if (level_ > 1.0f) level_ = 1.0f;
        stage_ = kRelease;
        time_ = 0;
    }

    // Jumps to silence (voice killed).
    void Finish() noexcept { stage_ = kDone; level_ = 0; }

    // Advances by dt seconds and returns the output value at the new time:
    // linear amplitude for a volume envelope, 0..1 for a modulation envelope.
    float Advance(const EnvelopeTimes& t, float dt) noexcept {
        while (dt > 0 && stage_ != kDone && stage_ != kSustain) {
            switch (stage_) {
            case kDelay:
                dt = Spend(t.delay, dt, kAttack);
                break;
            case kAttack:
                if (t.attack <= 0) { level_ = 1; stage_ = kHold; time_ = 0; break; }
                {
                    float left = t.attack - time_;
                    float step = dt < left ? dt : left;
                    time_ += step;
                    dt -= step;
                    level_ = time_ / t.attack;
                    if (time_ >= t.attack) { level_ = 1; stage_ = kHold; time_ = 0; }
                }
                break;
            case kHold:
                dt = Spend(t.hold, dt, kDecay);
                break;
            case kDecay: {
                float sus = t.sustain < 0 ? 0 : (t.sustain > 1 ? 1 : t.sustain);
                if (t.decay <= 0 || level_ <= sus) { level_ = sus; stage_ = kSustain; break; }
                float needed = (level_ - sus) * t.decay;
                if (dt >= needed) { level_ = sus; dt -= needed; stage_ = kSustain; }
                else { level_ -= dt / t.decay; dt = 0; }
                break;
            }
            case kRelease: {
                if (t.release <= 0) { level_ = 0; stage_ = kDone; break; }
                level_ -= dt / t.release;
                dt = 0;
                if (level_ <= 0) { level_ = 0; stage_ = kDone; }
                break;
            }
            default:
                dt = 0;
                break;
            }
        }
        return Value();
    }

    float Value() const noexcept {
        if (stage_ == kDelay || stage_ == kDone) return 0.0f;
        if (!volume_) return stage_ == kAttack ? dsp::Convex(level_) : level_;
        if (stage_ == kAttack) return level_;
        if (level_ <= 0) return 0.0f;
        // Sustained notes keep their level block after block.
        if (level_ != cachedLevel_) {
            cachedLevel_ = level_;
            cachedValue_ = dsp::Exp2((level_ - 1.0f) * (96.0f / 6.0205999f));
        }
        return cachedValue_;
    }

    // Seconds until the attack reaches its peak (through what is left of the
    // delay), or a negative value once the envelope is past its attack.
    float TimeToPeak(const EnvelopeTimes& t) const noexcept {
        if (stage_ == kDelay) return (t.delay > time_ ? t.delay - time_ : 0.0f) + (t.attack > 0 ? t.attack : 0.0f);
        if (stage_ != kAttack) return -1.0f;
        return t.attack > time_ ? t.attack - time_ : 0.0f;
    }

    // Seconds until a release reaches silence, or a negative value outside
    // the release.
    float TimeToEnd(const EnvelopeTimes& t) const noexcept {
        if (stage_ != kRelease) return -1.0f;
        return t.release > 0 ? level_ * t.release : 0.0f;
    }

    Stage stage() const noexcept { return stage_; }
    float level() const noexcept { return level_; }
    bool done() const noexcept { return stage_ == kDone; }

private:
    // Spends time in a timed stage with no level change.
    float Spend(float length, float dt, Stage next) noexcept {
        float left = length - time_;
        if (dt < left) { time_ += dt; return 0; }
        if (next == kAttack || next == kDecay) level_ = next == kAttack ? 0.0f : 1.0f;
        stage_ = next;
        time_ = 0;
        return dt - (left > 0 ? left : 0);
    }

    float level_ = 0;
    float time_ = 0;
    mutable float cachedLevel_ = -1, cachedValue_ = 0;
    Stage stage_ = kDone;
    bool volume_ = true;
};

// Triangle LFO, starting at 0 and rising after its delay.
class Lfo {
public:
    void Start() noexcept { phase_ = 0; time_ = 0; value_ = 0; }
    float Advance(float delay, float hz, float dt) noexcept {
        if (time_ < delay) {
            float left = delay - time_;
            if (dt <= left) { time_ += dt; return value_ = 0; }
            time_ = delay;
            dt -= left;
        }
        phase_ += hz * dt;
        // phase_ >= 0: truncation is floor, without a libm call per block.
        phase_ -= static_cast<float>(static_cast<int>(phase_));
        float p = phase_;
        value_ = p < 0.25f ? 4 * p : (p < 0.75f ? 2 - 4 * p : 4 * p - 4);
        return value_;
    }
    float value() const noexcept { return value_; }

private:
    float phase_ = 0, time_ = 0, value_ = 0;
};

} // namespace tsl
