// The reverb and chorus programs GS and XG files choose, as settings of this
// synthesizer's own reverb (a feedback delay network, or an echo for the two
// delay types) and chorus. GS numbers them 0-7 (reverb macro / character,
// chorus macro); XG's type numbers map onto the nearest of them.
#pragma once

#include <cstdint>

namespace tsl {

enum class ReverbType : uint8_t { kRoom1, kRoom2, kRoom3, kHall1, kHall2, kPlate, kDelay, kPanningDelay, kCount };
enum class ChorusType : uint8_t { kChorus1, kChorus2, kChorus3, kChorus4, kFeedback, kFlanger, kShortDelay, kShortDelayFb, kCount };

struct ReverbSettings {
    ReverbType type = ReverbType::kRoom2;
    float decaySeconds = 1.2f; // time to fall 60 dB (at low frequencies)
    float size = 0.7f;         // scales the network's delay lengths
    float hfDamping = 0.3f;    // 0 = bright tail, towards 1 = dull
    float preDelay = 0.005f;   // seconds before the first reflections
    float width = 1.0f;        // 0 mono .. 1 full stereo
    float preLowpass = 0.0f;   // 0 = open, towards 1 = dull input (GS pre-LPF 0-7)
    float echoSeconds = 0.0f;  // delay types: the echo period
    float level = 1.0f;        // output scale of the program
};

struct ChorusSettings {
    ChorusType type = ChorusType::kChorus3;
    float delay = 0.008f;      // seconds, centre of the sweep
    float depth = 0.004f;      // seconds, sweep either side
    float rate = 0.4f;         // Hz
    float feedback = 0.1f;     // -0.95 .. 0.95
    float preLowpass = 0.0f;   // as the reverb's
    float toReverb = 0.0f;     // share of the chorus output sent on to the reverb
};

// A GS reverb program with its nominal decay time (GS reverb time 64).
ReverbSettings ReverbProgram(ReverbType t) noexcept;
ChorusSettings ChorusProgram(ChorusType t) noexcept;
// GS reverb time 0-127 scales the program's decay: 64 nominal, x2 per 32 up.
float GsReverbSeconds(ReverbType t, uint8_t time) noexcept;
// XG reverb/chorus type (MSB, LSB) to the nearest program; false for "no effect"
// or an unknown type (which keeps the current one).
bool XgReverbType(uint8_t msb, uint8_t lsb, ReverbType& out, bool& off) noexcept;
bool XgChorusType(uint8_t msb, uint8_t lsb, ChorusType& out, bool& off) noexcept;
// XG reverb time parameter (0-69) in seconds.
float XgReverbSeconds(uint8_t v) noexcept;

} // namespace tsl
