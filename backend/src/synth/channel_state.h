// The state of one MIDI channel as the synthesizer keeps it: controllers,
// pitch bend and its RPN-set range and tuning, program and banks, drum flag,
// mix level and transposition. Owned and changed only by the render thread
// (events reach it through the stream's queue); plain data so the MIDI state
// blob can copy it.
#pragma once

#include <cstdint>
#include <cstring>

namespace tsl {

enum class SystemMode : uint8_t { kDefault = 0, kGM1 = 1, kGM2 = 2, kXG = 3, kGS = 4 };

struct ChannelState {
    uint8_t cc[128];
    uint8_t keyPressure[128];
    uint16_t pitch = 8192;         // 0..16383
    uint8_t channelPressure = 0;
    uint8_t program = 0;           // latched at program change
    uint8_t bankMsb = 0, bankLsb = 0; // latched at program change
    bool drums = false;
    uint16_t rpn = 0x3fff;         // selected RPN (0x3fff = none); NRPNs select none
    uint16_t pitchRangeCents = 200; // RPN 0
    int16_t fineTuneCents = 0;     // RPN 1, -100..+100
    int8_t coarseTuneSemis = 0;    // RPN 2
    uint8_t mixLevel = 100;        // MIDI_EVENT_MIXLEVEL, percent
    int8_t transpose = 0;          // MIDI_EVENT_TRANSPOSE, semitones
    bool monoMode = false;

    // Resets what "reset all controllers" resets (CC 121): modulation,
    // expression, pedals, pressure, pitch bend, RPN selection.
    void ResetControllers() noexcept {
        cc[1] = 0;
        cc[11] = 127;
        cc[64] = cc[65] = cc[66] = cc[67] = 0;
        pitch = 8192;
        channelPressure = 0;
        std::memset(keyPressure, 0, sizeof keyPressure);
        rpn = 0x3fff;
        cc[101] = cc[100] = 127;
        cc[99] = cc[98] = 127;
    }

    // Everything back to power-on defaults (system resets, new streams).
    void ResetAll(int channel) noexcept {
        std::memset(cc, 0, sizeof cc);
        cc[7] = 100;
        cc[10] = 64;
        cc[91] = 40;
        ResetControllers();
        program = 0;
        bankMsb = bankLsb = 0;
        drums = channel == 9;
        pitchRangeCents = 200;
        fineTuneCents = 0;
        coarseTuneSemis = 0;
        monoMode = false;
    }

    // Pitch offset of the channel in cents (tuning RPNs, without the bend,
    // which reaches voices through the pitch-wheel modulator).
    float TuningCents() const noexcept { return fineTuneCents + 100.0f * coarseTuneSemis; }
    bool Sustain() const noexcept { return cc[64] >= 64; }
    bool Sostenuto() const noexcept { return cc[66] >= 64; }
    bool Soft() const noexcept { return cc[67] >= 64; }
};

} // namespace tsl
