// System-exclusive messages the synthesizer understands: the four system
// resets (GM, GM2, GS, XG), master volume, GS and XG effect return levels and
// the GS/XG drum part assignments. Checksums are not verified: a message with
// a wrong checksum still means what its address and data say.
#include "synth/synth.h"

namespace tsl {

void Synth::ApplySysEx(const uint8_t* d, uint32_t size) noexcept {
    if (!d || size < 4 || d[0] != 0xF0) return;
    uint32_t n = size;
    if (d[n - 1] == 0xF7) --n; // body without the end byte

    // Universal non-real-time: F0 7E dev 09 0x F7 (GM on / off / GM2 on).
    if (d[1] == 0x7E && n >= 5 && d[3] == 0x09) {
        if (d[4] == 0x01) SystemReset(SystemMode::kGM1);
        else if (d[4] == 0x03) SystemReset(SystemMode::kGM2);
        else if (d[4] == 0x02) SystemReset(SystemMode::kDefault);
        return;
    }
    // Universal real-time master volume: F0 7F dev 04 01 ll mm F7.
    if (d[1] == 0x7F && n >= 7 && d[3] == 0x04 && d[4] == 0x01) {
        masterVolume_ = static_cast<uint16_t>((d[6] & 0x7f) << 7 | (d[5] & 0x7f));
        return;
    }
    // Roland GS: F0 41 dev 42 12 aa bb cc data.. sum F7.
    if (d[1] == 0x41 && n >= 10 && d[3] == 0x42 && d[4] == 0x12) {
        const uint8_t a = d[5], b = d[6], c = d[7], v = d[8] & 0x7f;
        if (a == 0x40 && b == 0x00 && c == 0x7F) { SystemReset(SystemMode::kGS); return; }
        if (a == 0x00 && b == 0x00 && c == 0x7F) { SystemReset(SystemMode::kGS); return; } // system mode set
        if (a == 0x40 && b == 0x00 && c == 0x04) { masterVolume_ = static_cast<uint16_t>(v << 7 | v); return; }
        if (a == 0x40 && b == 0x01 && c == 0x33) { reverbLevel_ = v; return; }
        if (a == 0x40 && b == 0x01 && c == 0x3A) { chorusLevel_ = v; return; }
        if (a == 0x40 && (b & 0xF0) == 0x10 && c == 0x15) {
            // Parts are numbered so that block 0 is MIDI channel 10.
            int block = b & 0x0F;
            int chan = block == 0 ? 9 : (block <= 9 ? block - 1 : block);
            channels_[chan].drums = v != 0;
            presetValid_[chan] = false;
            return;
        }
        return;
    }
    // Yamaha XG: F0 43 1n 4C hh mm ll data.. F7.
    if (d[1] == 0x43 && n >= 8 && (d[2] & 0xF0) == 0x10 && d[3] == 0x4C) {
        const uint8_t h = d[4], m = d[5], l = d[6], v = d[7] & 0x7f;
        if (h == 0x00 && m == 0x00 && l == 0x7E) { SystemReset(SystemMode::kXG); return; }
        if (h == 0x00 && m == 0x00 && l == 0x04) { masterVolume_ = static_cast<uint16_t>(v << 7 | v); return; }
        if (h == 0x02 && m == 0x01 && l == 0x0C) { reverbLevel_ = v; return; }
        if (h == 0x02 && m == 0x01 && l == 0x2C) { chorusLevel_ = v; return; }
        if (h == 0x08 && m < kChannels && l == 0x07) { // multi part: part mode (0 normal, else drums)
            channels_[m].drums = v != 0;
            presetValid_[m] = false;
            return;
        }
    }
}

} // namespace tsl
