// The state of one MIDI channel as the synthesizer keeps it: controllers,
// pitch bend and its RPN-set range and tuning, program and banks, drum flag,
// mix level and transposition. The GS/XG part NRPNs for vibrato, filter and
// envelope land on the GM2 sound controllers they mirror (CC 71-78), so both
// ways of setting them are one value. Owned and changed only by the render thread
// (events reach it through the stream's queue); plain data so the MIDI state
// blob can copy it.
#pragma once

#include <cstdint>
#include <cstring>

namespace tsl {

enum class SystemMode : uint8_t { kDefault = 0, kGM1 = 1, kGM2 = 2, kXG = 3, kGS = 4 };

struct ChannelState {
    // GM2 sound controllers: 64 leaves the sound as the font made it.
    static constexpr int kSoundControllerFirst = 71, kSoundControllerLast = 79;
    static constexpr int kTimbre = 71, kRelease = 72, kAttack = 73, kBrightness = 74, kDecay = 75,
                         kVibratoRate = 76, kVibratoDepth = 77, kVibratoDelay = 78;

    uint8_t cc[128];
    uint8_t keyPressure[128];
    uint16_t pitch = 8192;         // 0..16383
    uint8_t channelPressure = 0;
    uint8_t program = 0;           // latched at program change
    uint8_t bankMsb = 0, bankLsb = 0; // latched at program change
    bool drums = false;
    uint16_t rpn = 0x3fff;         // selected RPN (0x3fff = none); NRPNs select none
    uint16_t nrpn = 0x3fff;        // selected NRPN (0x3fff = none); RPNs select none
    uint16_t pitchRangeCents = 200; // RPN 0
    int16_t fineTuneCents = 0;     // RPN 1, -100..+100
    int8_t coarseTuneSemis = 0;    // RPN 2
    uint8_t mixLevel = 100;        // MIDI_EVENT_MIXLEVEL, percent
    int8_t transpose = 0;          // MIDI_EVENT_TRANSPOSE, semitones
    bool monoMode = false;
    uint8_t lastKey = 0xff;        // the last note-on's key (where portamento starts), 0xff = none
    uint8_t portamentoFrom = 0xff; // CC 84: the next note glides from this key, 0xff = none

    // Resets what "reset all controllers" resets (CC 121): modulation,
    // expression, pedals, pressure, pitch bend, RPN selection.
    void ResetControllers() noexcept {
        cc[1] = 0;
        cc[11] = 127;
        cc[64] = cc[65] = cc[66] = cc[67] = 0;
        pitch = 8192;
        channelPressure = 0;
        std::memset(keyPressure, 0, sizeof keyPressure);
        rpn = nrpn = 0x3fff;
        cc[101] = cc[100] = 127;
        cc[99] = cc[98] = 127;
    }

    // Everything back to power-on defaults (system resets, new streams).
    void ResetAll(int channel) noexcept {
        std::memset(cc, 0, sizeof cc);
        cc[7] = 100;
        cc[10] = 64;
        cc[91] = 40;
        for (int k = kSoundControllerFirst; k <= kSoundControllerLast; ++k) cc[k] = 64; // no change
        ResetControllers();
        program = 0;
        bankMsb = bankLsb = 0;
        drums = channel == 9;
        pitchRangeCents = 200;
        fineTuneCents = 0;
        coarseTuneSemis = 0;
        monoMode = false;
        lastKey = portamentoFrom = 0xff;
    }

    // Pitch offset of the channel in cents (tuning RPNs, without the bend,
    // which reaches voices through the pitch-wheel modulator).
    float TuningCents() const noexcept { return fineTuneCents + 100.0f * coarseTuneSemis; }
    bool Sustain() const noexcept { return cc[64] >= 64; }
    bool Sostenuto() const noexcept { return cc[66] >= 64; }
    bool Soft() const noexcept { return cc[67] >= 64; }
    bool Portamento() const noexcept { return cc[65] >= 64; }
    // A sound controller as a signed step from "no change".
    int Sound(int controller) const noexcept { return static_cast<int>(cc[controller]) - 64; }
};

// Per-key settings of a drum part (GS/XG drum-instrument NRPNs, MSB 0x14
// to 0x1E with the key as LSB). Kept beside the channel state rather than in
// it: sixteen channels of them would be copied with every state snapshot.
struct DrumKeySettings {
    enum Param : uint8_t { kCutoff, kResonance, kAttack, kDecay, kCoarse, kFine, kLevel, kPan, kReverb, kChorus, kCount };
    static constexpr uint8_t kUnset = 0xff;
    uint8_t value[128][kCount];

    void Reset() noexcept { std::memset(value, kUnset, sizeof value); }
    // The parameter an NRPN MSB addresses, or kCount for none.
    static Param FromNrpnMsb(uint8_t msb) noexcept {
        switch (msb) {
        case 0x14: return kCutoff;
        case 0x15: return kResonance;
        case 0x16: return kAttack;
        case 0x17: return kDecay;
        case 0x18: return kCoarse;
        case 0x19: return kFine;
        case 0x1A: return kLevel;
        case 0x1C: return kPan;
        case 0x1D: return kReverb;
        case 0x1E: return kChorus;
        default: return kCount;
        }
    }
};

} // namespace tsl
