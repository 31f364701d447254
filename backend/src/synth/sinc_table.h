// Windowed-sinc interpolation kernels, precomputed once per process.
//
// kTaps taps span the frames idx-7 .. idx+8 around a position idx + frac. Each
// kernel set is tuned for a band of playback ratios: above ratio 1 the source
// is being decimated, so the kernel's cutoff drops with the ratio to keep
// images out of the audible band.
#pragma once

#include <cstdint>

namespace tsl::sinc {

constexpr int kTaps = 16;
constexpr int kHalf = 7;        // taps before idx
constexpr int kPhases = 512;    // fractional positions per frame
constexpr int kBands = 3;

// The tables, [band][phase][tap]; built by Init.
extern float g_table[kBands][kPhases][kTaps];
// Kernel for band b and phase p: kTaps floats, 64-byte aligned. Inline: the
// interpolators look one up for every frame.
inline const float* Kernel(int band, int phase) noexcept { return g_table[band][phase]; }
// The band to use for a playback ratio (source frames per output frame).
inline int BandFor(double ratio) noexcept { return ratio <= 1.1 ? 0 : (ratio <= 1.7 ? 1 : 2); }
// Builds the tables; cheap, idempotent, thread-safe. Called at stream creation
// so the render thread never builds them.
void Init();

} // namespace tsl::sinc
