// Stereo reverb for the summed reverb send bus: a pre-delay, an input
// low-pass, a high-pass below the audible range and two diffusing allpasses
// feed an eight-line feedback delay network (Householder feedback, a damping
// low-pass and a decay gain per line set from the decay time); two
// orthogonal sums of the lines give left and right, mixed down by the width.
// The GS delay types are an echo (one line) and a ping-pong echo (two)
// instead. Runs once per block; buffers are sized at construction for the
// largest program, so changing programs on the render thread allocates
// nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "synth/effect_types.h"

namespace tsl {

class Reverb {
public:
    explicit Reverb(uint32_t sampleRate);
    void Configure(const ReverbSettings& s) noexcept;
    // Adds the reverberated mono `in` (n frames) times `gain` to the
    // interleaved stereo buffer `out`.
    void Process(const float* in, float* out, uint32_t n, float gain) noexcept;
    void Clear() noexcept;
    // Nothing left ringing: for longer than the longest way through, nothing
    // came in and nothing above -120 dB came out of the lines.
    bool Quiet() const noexcept { return sinceActive_ > hold_; }

private:
    static constexpr int kLines = 8;
    struct Line {
        std::vector<float> buf; // power-of-two size
        uint32_t mask = 0, pos = 0, length = 1;
        float gain = 0, damp = 0, state = 0;
    };
    struct Allpass {
        std::vector<float> buf;
        uint32_t pos = 0;
    };
    void ProcessNetwork(const float* in, float* out, uint32_t n, float gain) noexcept;
    // The input side of the network for one frame: pre-delay, input
    // low-pass and diffusion of the (already scaled) send.
    float Diffuse(float in) noexcept;
    // The pre-delay, its low-pass and the input high-pass for n frames of
    // in * scale, into low.
    void PreFilter(const float* in, float scale, float* low, uint32_t n) noexcept;
    // Diffuse for eight frames (xs 16-byte aligned), each allpass eight
    // frames at once where it can; the same bits as eight calls of Diffuse.
    void DiffuseEight(const float* in, float scale, float* xs) noexcept;
    // One frame of the network fed `x`, added to out[0] and out[1]; returns
    // the frame's peak (lines read and output).
    float NetworkFrame(float x, float* out) noexcept;
    // The network over whole groups of eight frames, four lines to a vector
    // register; the same operations per line and frame as NetworkFrame, so
    // the same bits. Returns the frames done and raises `peak`.
    uint32_t NetworkEights(const float* in, float* out, uint32_t n, float inScale, float& peak) noexcept;
    void ProcessEcho(const float* in, float* out, uint32_t n, float gain) noexcept;

    float rate_;
    ReverbSettings set_;
    Line lines_[kLines];
    Allpass diffuse_[2];
    std::vector<float> pre_;
    uint32_t preMask_ = 0, prePos_ = 0, preLength_ = 0;
    float preLp_ = 0, preState_ = 0;
    // The input high-pass: two one-pole stages (last input, last output
    // each). The lines take the alternating input vector, which the
    // Householder feedback passes unchanged, so near 0 Hz every line adds in
    // phase round the loop: without it, a sample's DC offset came out
    // 26 dB above the dry signal (past full scale) on a long hall.
    float hpPole_ = 0;
    float hpIn_[2] = {}, hpOut_[2] = {};
    float outA_ = 1, outB_ = 0; // width mix
    float peak_ = 0;
    uint32_t sinceActive_ = UINT32_MAX / 2, hold_ = 0; // frames
    uint32_t shortest_ = 0; // the shortest line's length
    bool echo_ = false, pingPong_ = false;
};

} // namespace tsl
