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
    // Frames four at a time, where every tap of four frames reads what was
    // written before them (the shortest delay is over five frames): the
    // taps, output and feedback of four frames in one go. Returns the frames
    // done; the rest go frame by frame.
    uint32_t ProcessFours(const float* in, float* out, float* reverbIn, uint32_t n, float g, float& c, float& s,
                          float& peak) noexcept;

    float rate_;
    ChorusSettings set_;
    std::vector<float> line_;
    uint32_t mask_ = 0, pos_ = 0;
    float c_ = 1, s_ = 0;        // LFO phasor
    float rcK_[4] = {1, 1, 1, 1}, rsK_[4] = {}; // its rotation by 0, 1, 2 and 3 frames
    float rc4_ = 1, rs4_ = 0;    // and by four
    float base_ = 0, depth_ = 0; // in frames
    float lp_ = 0, lpState_ = 0, fbState_ = 0;
    float peak_ = 0;
    uint32_t sinceActive_ = UINT32_MAX / 2; // frames since input or audible output
};

} // namespace tsl
