// Stereo chorus for the summed chorus send bus: one delay line read by four
// taps swept by one sine LFO at quarter-period offsets, two taps to each
// side, so left and right move against each other; with feedback for the
// feedback chorus, flanger and short-delay programs. Runs once per block;
// the line is sized at construction.
#pragma once

#include <cstdint>
#include <vector>

#include "synth/effect_types.h"

namespace tsl {

class Chorus {
public:
    explicit Chorus(uint32_t sampleRate);
    void Configure(const ChorusSettings& s) noexcept;
    // Adds the chorused mono `in` times `gain` to interleaved stereo `out`,
    // and the program's share of it to `reverbIn` (the reverb's send bus).
    void Process(const float* in, float* out, float* reverbIn, uint32_t n, float gain) noexcept;
    void Clear() noexcept;
    bool Quiet() const noexcept { return sinceActive_ > line_.size(); }

private:
    float rate_;
    ChorusSettings set_;
    std::vector<float> line_;
    uint32_t mask_ = 0, pos_ = 0;
    float c_ = 1, s_ = 0;        // LFO phasor
    float rc_ = 1, rs_ = 0;      // its rotation per frame
    float base_ = 0, depth_ = 0; // in frames
    float lp_ = 0, lpState_ = 0, fbState_ = 0;
    float peak_ = 0;
    uint32_t sinceActive_ = UINT32_MAX / 2; // frames since input or audible output
};

} // namespace tsl
