// Stereo reverb for the summed reverb send bus: eight damped feedback combs in
// parallel and four allpasses in series per side (the classic Schroeder /
// Moorer structure), the right side with slightly longer delays for width.
// Runs once per block; buffers are allocated at construction only.
#pragma once

#include <cstdint>
#include <vector>

namespace tsl {

class Reverb {
public:
    explicit Reverb(uint32_t sampleRate);
    // Adds the reverberated `in` (mono send bus, n frames) times `gain` to
    // the interleaved stereo buffer `out`.
    void Process(const float* in, float* out, uint32_t n, float gain) noexcept;
    void Clear() noexcept;
    bool Quiet() const noexcept { return peak_ < 1e-6f; }

private:
    float peak_ = 0;
    struct Comb {
        std::vector<float> buf;
        uint32_t pos = 0;
        float store = 0;
    };
    struct Allpass {
        std::vector<float> buf;
        uint32_t pos = 0;
    };
    Comb combs_[2][8];
    Allpass allpasses_[2][4];
    float feedback_ = 0.84f;
    float damp_ = 0.25f;
};

class Chorus {
public:
    explicit Chorus(uint32_t sampleRate);
    // Adds the chorused mono bus `in` times `gain` to interleaved stereo `out`.
    void Process(const float* in, float* out, uint32_t n, float gain) noexcept;
    void Clear() noexcept;
    bool Quiet() const noexcept { return true; }

private:
    std::vector<float> line_;
    uint32_t mask_ = 0;
    uint32_t pos_ = 0;
    float phase_ = 0;
    float phaseStep_ = 0;
    float baseDelay_ = 0;
    float depth_ = 0;
};

} // namespace tsl
