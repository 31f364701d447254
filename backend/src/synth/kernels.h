// The per-sample inner loops of the voices: linear interpolation of 16-bit
// data, gain ramps into the mix buses, and four biquads side by side. Each
// has a plain scalar version (the reference) and an SSE2 one, which x86-64
// always has; the scalar ones are used elsewhere, or when a test asks for
// them to compare against.
#pragma once

#include <cstdint>

#include "synth/block_frames.h"

namespace tsl::kernels {

// Process-wide switch, for tests: false selects the scalar reference loops.
void SetVectorised(bool on) noexcept;
bool Vectorised() noexcept;
// The build the loops with wide ones use (the voice passes, sinc, the
// eight-voice filter, the gain ramps into three and four buses): SSE2 only,
// AVX2 with FMA, or that code built for AVX-512 (the same bits as AVX2).
// By default the widest the processor has. SetWide takes the widest the
// processor has up to `wanted` and returns it; for tests.
enum class Wide { kNone, kAvx2, kAvx512 };
Wide SetWide(Wide wanted) noexcept;

// out[i] = linear interpolation of src at the 32.32 position pos + i * inc,
// for i < count; pos is advanced past the last frame.
void LinearRun16(const int16_t* src, uint64_t& pos, uint64_t inc, float* out, uint32_t count) noexcept;

// out[i] = windowed-sinc interpolation of src at pos + i * inc with the
// kernels of `band` (sinc_table.h), for i < count; pos is advanced past the
// last frame. The tables must have been built (sinc::Init).
void SincRun16(const int16_t* src, uint64_t& pos, uint64_t inc, int band, float* out, uint32_t count) noexcept;

// x[i] *= g0 + d * (i - from + 1) for from <= i < to: a voice's gain ramp,
// applied before its filter.
void ScaleRamp(float* x, uint32_t from, uint32_t to, float g0, float d) noexcept;

// bus[i] += x[i] * (g0 + d * (i - from + 1)) for from <= i < to; with two
// buses the same for each with its own gain.
void MixRamp(const float* x, float* bus, uint32_t from, uint32_t to, float g0, float d) noexcept;
void MixRamp2(const float* x, float* busA, float* busB, uint32_t from, uint32_t to, float a0, float da, float b0,
              float db) noexcept;

void MixRamp3(const float* x, float* busA, float* busB, float* busC, uint32_t from, uint32_t to, const float g0[3],
              const float d[3]) noexcept;
// bus[b][i] += x[i] * (g0[b] + d[b] * (i - from + 1)) for four buses at once.
void MixRamp4(const float* x, float* const bus[4], uint32_t from, uint32_t to, const float g0[4],
              const float d[4]) noexcept;

// Four independent transposed-direct-form-II biquads, one per buffer, run
// in place over `frames` frames. c[k] = {b0, b1, b2, a1, a2} before the first
// frame, dc[k] their steps, added before each frame, z[k] = {z1, z2}.
void BiquadFour(float* const x[4], const float c[4][5], const float (*dc)[5], float z[4][2], uint32_t frames) noexcept;
// BiquadFour on x[0..3] and then on x[4..7], to the bit; both at once where
// the processor has AVX2.
void BiquadEight(float* const x[8], const float c[8][5], const float (*dc)[5], float z[8][2], uint32_t frames) noexcept;

// Four voices side by side, one per SSE lane, in one pass over the block:
// linear interpolation of 16-bit data scaled by a linear gain ramp, a biquad
// each, and a constant share of the result into each bus, without writing
// the voices' blocks anywhere in between. The buses are
// lane-interleaved, eight lanes a frame (acc[b][8 * frame + lane]), so voices
// add up without a horizontal sum per frame; ReduceLanes folds them once per
// block. A group of four takes lanes 0-3 of what it is given (acc + 4: lanes
// 4-7), so that two groups side by side in 256-bit registers add each to
// its own lanes with one load and one store per bus and frame. Bus b starts
// at acc + b * kLaneStride, 32-byte aligned. The gain ramps by repeated
// addition of de; where the filter is the low-pass shape the ramp is carried
// on b0 (b0·e0 stepping by b0·de), which saves a multiply a frame.
constexpr uint32_t kLanes = 8;
constexpr uint32_t kLaneStride = kLanes * kBlockFrames; // eight lanes of a control block
struct FourVoices {
    // Each voice's buffer must be readable two samples past the pair at any
    // position the voice reaches (the passes may load four at a time); the
    // guard frames of sample data cover it.
    const int16_t* src[4];
    uint64_t pos[4], inc[4];
    float c[5][4];    // [b0, b1, b2, a1, a2][voice] before the first frame
    float dc[5][4];   // and their step per frame: a filter that moved since
                      // the last block glides to its new coefficients, as
                      // a jump mid-signal clicks
    float z[2][4];    // [z1, z2][voice]: filter state, updated
    float e0[4];       // [voice]: gain before the first frame
    float de[4];       // [voice]: gain step per frame
    float share[4][4]; // [bus][voice]: what of the filtered signal goes to the bus
    // Frames each voice may read from src before it must move to another
    // buffer (a loop's seam, or back from it). When that runs out with
    // `remaining` frames still to render, refill(ctx, voice, src, pos, left,
    // remaining) points the voice at its next buffer (left >= 1 after it).
    uint32_t left[4];
    void (*refill)(void* ctx, int voice, const int16_t*& src, uint64_t& pos, uint32_t& left,
                   uint32_t remaining) noexcept = nullptr;
    void* ctx = nullptr;
};
// `buses` is 2 (dry pair), 3 (with reverb) or 4 (with chorus).
void RenderFour(FourVoices& v, float* acc, uint32_t buses, uint32_t frames) noexcept;
// RenderFour(a, acc, ...) and then RenderFour(b, acc + 4, ...), with the same
// result to the bit; in one pass over the block when the processor has AVX2
// and FMA and both groups' filters have the same shape.
void RenderEight(FourVoices& a, FourVoices& b, float* acc, uint32_t buses, uint32_t frames) noexcept;
// bus[i] += the sum of the eight lanes of frame i, for i < frames: lanes k
// and k + 4 first, then those four sums in lane order.
void ReduceLanes(const float* acc, float* bus, uint32_t frames) noexcept;

} // namespace tsl::kernels
