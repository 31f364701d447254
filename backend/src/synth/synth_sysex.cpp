// System-exclusive messages the synthesizer understands: the four system
// resets (GM, GM2, GS, XG), master volume, GS and XG reverb and chorus
// programs and parameters, and the GS/XG drum part assignments. Checksums are not verified: a message with
// a wrong checksum still means what its address and data say.
#include "synth/synth.h"

#include <algorithm>
#include <cmath>

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
        if (a == 0x40 && b == 0x01 && c >= 0x30 && c <= 0x3F) { GsEffectParameter(c, v); return; }
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
        if (h == 0x02 && m == 0x01) { XgEffectParameter(l, d + 7, n - 7); return; }
        if (h == 0x08 && m < kChannels && l == 0x07) { // multi part: part mode (0 normal, else drums)
            channels_[m].drums = v != 0;
            presetValid_[m] = false;
            return;
        }
    }
}

void Synth::ResetEffects(SystemMode mode) noexcept {
    // Each standard's power-on programs; files in no mode get a mid-sized room.
    ReverbType r = ReverbType::kRoom2;
    ChorusType c = ChorusType::kChorus3;
    if (mode == SystemMode::kGS || mode == SystemMode::kGM2) r = ReverbType::kHall2;
    if (mode == SystemMode::kXG) { r = ReverbType::kHall1; c = ChorusType::kChorus1; }
    reverbSet_ = ReverbProgram(r);
    chorusSet_ = ChorusProgram(c);
    reverbOn_ = chorusOn_ = true;
    CompleteBlock();
    reverb_.Configure(reverbSet_);
    chorus_.Configure(chorusSet_);
}

void Synth::GsEffectParameter(uint8_t address, uint8_t v) noexcept {
    v &= 0x7f;
    const float unit = v / 127.0f;
    switch (address) {
    case 0x30: // reverb macro: a whole program
    case 0x31: // reverb character: the algorithm, with its own defaults
        reverbSet_ = ReverbProgram(static_cast<ReverbType>(v & 7));
        break;
    case 0x32: reverbSet_.preLowpass = (v & 7) / 7.0f * 0.9f; break;
    case 0x34: reverbSet_.decaySeconds = GsReverbSeconds(reverbSet_.type, v); break;
    case 0x35: // delay feedback: how long the echoes of the delay types last
        if (reverbSet_.echoSeconds > 0) {
            const float fb = 0.95f * unit;
            reverbSet_.decaySeconds = fb <= 0.001f ? reverbSet_.echoSeconds : -3.0f * reverbSet_.echoSeconds / std::log10(fb);
        }
        break;
    case 0x37: reverbSet_.preDelay = v * 0.001f; break;
    case 0x38: chorusSet_ = ChorusProgram(static_cast<ChorusType>(v & 7)); break;
    case 0x39: chorusSet_.preLowpass = (v & 7) / 7.0f * 0.9f; break;
    case 0x3B: chorusSet_.feedback = 0.95f * unit; break;
    case 0x3C: chorusSet_.delay = 0.001f + 0.039f * unit; break;
    case 0x3D: chorusSet_.rate = 0.05f + 9.95f * unit * unit; break;
    case 0x3E: chorusSet_.depth = 0.005f * unit; break;
    case 0x3F: chorusSet_.toReverb = unit; break;
    default: return;
    }
    CompleteBlock();
    if (address < 0x38) reverb_.Configure(reverbSet_);
    else chorus_.Configure(chorusSet_);
}

void Synth::XgEffectParameter(uint8_t address, const uint8_t* data, uint32_t size) noexcept {
    if (size == 0) return;
    const uint8_t v = data[0] & 0x7f;
    const uint8_t v2 = size > 1 && data[1] != 0xF7 ? data[1] & 0x7f : 0;
    bool off = false;
    switch (address) {
    case 0x00: { // reverb type MSB (and LSB in the same message)
        ReverbType t;
        if (!XgReverbType(v, v2, t, off)) return;
        reverbOn_ = !off;
        if (!off) reverbSet_ = ReverbProgram(t);
        break;
    }
    case 0x02: reverbSet_.decaySeconds = XgReverbSeconds(v); break;
    case 0x04: reverbSet_.preDelay = std::min<uint8_t>(v, 63) * 0.001f; break; // initial delay, ms
    case 0x20: {
        ChorusType t;
        if (!XgChorusType(v, v2, t, off)) return;
        chorusOn_ = !off;
        if (!off) chorusSet_ = ChorusProgram(t);
        break;
    }
    case 0x22: chorusSet_.rate = 0.039f * v; break;
    case 0x23: chorusSet_.depth = 0.005f * v / 127.0f; break;
    case 0x24: chorusSet_.feedback = 0.95f * (static_cast<float>(v) - 64.0f) / 64.0f; break;
    case 0x25: chorusSet_.delay = std::max(0.001f, 0.0001f * v + 0.001f); break;
    default: return;
    }
    CompleteBlock();
    if (address < 0x20) reverb_.Configure(reverbSet_);
    else chorus_.Configure(chorusSet_);
}

} // namespace tsl
