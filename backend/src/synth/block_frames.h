// The control block, shared by the voices and the loops that render them.
#pragma once

#include <cstdint>

namespace tsl {

// Envelopes, LFOs and filter coefficients are worked out once per block
// (10.7 ms at 48 kHz) and the gains and filters glide across it. Notes start
// and stop at their exact frame, and any other event ends the block where it
// falls, so the block bounds only how often unprompted modulation moves. The
// per-voice control work is a third of a dense render's time at 256 frames;
// 512 halves it.
constexpr uint32_t kBlockFrames = 512;
// A pitch that moves (vibrato, pitch envelope, portamento) steps at least
// this often: a 50-cent, 8 Hz vibrato by under 10 cents.
constexpr uint32_t kPitchFrames = 256;

} // namespace tsl
