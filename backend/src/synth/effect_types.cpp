#include "synth/effect_types.h"

#include <cmath>

namespace tsl {
namespace {

struct ReverbRow {
    float seconds, size, damping, preDelay, width, echo, level;
};
// Rooms are small and bright-ish, halls large and darker with a later
// onset, the plate dense (small) and bright; the delay types are echoes.
const ReverbRow kReverb[] = {
    {0.8f, 0.45f, 0.35f, 0.004f, 0.8f, 0.0f, 1.0f},  // Room 1
    {1.2f, 0.6f, 0.3f, 0.006f, 0.9f, 0.0f, 1.0f},    // Room 2
    {1.6f, 0.75f, 0.35f, 0.008f, 1.0f, 0.0f, 1.0f},  // Room 3
    {1.8f, 0.9f, 0.4f, 0.015f, 1.0f, 0.0f, 0.9f},    // Hall 1
    {2.4f, 1.0f, 0.45f, 0.02f, 1.0f, 0.0f, 0.9f},    // Hall 2
    {1.6f, 0.4f, 0.15f, 0.0f, 1.0f, 0.0f, 0.9f},     // Plate
    {2.0f, 0.0f, 0.3f, 0.0f, 1.0f, 0.25f, 0.7f},     // Delay
    {2.0f, 0.0f, 0.3f, 0.0f, 1.0f, 0.3f, 0.7f},      // Panning Delay
};

struct ChorusRow {
    float delay, depth, rate, feedback;
};
const ChorusRow kChorus[] = {
    {0.008f, 0.0025f, 0.4f, 0.0f},  // Chorus 1
    {0.008f, 0.003f, 0.5f, 0.05f},  // Chorus 2
    {0.008f, 0.004f, 0.4f, 0.1f},   // Chorus 3
    {0.010f, 0.005f, 0.35f, 0.0f},  // Chorus 4
    {0.008f, 0.003f, 0.5f, 0.5f},   // Feedback Chorus
    {0.0025f, 0.0018f, 0.25f, 0.6f}, // Flanger
    {0.006f, 0.0f, 0.0f, 0.0f},     // Short Delay
    {0.006f, 0.0f, 0.0f, 0.6f},     // Short Delay (FB)
};

} // namespace

ReverbSettings ReverbProgram(ReverbType t) noexcept {
    const unsigned i = static_cast<unsigned>(t) < static_cast<unsigned>(ReverbType::kCount) ? static_cast<unsigned>(t) : 1;
    const ReverbRow& r = kReverb[i];
    ReverbSettings s;
    s.type = static_cast<ReverbType>(i);
    s.decaySeconds = r.seconds;
    s.size = r.size;
    s.hfDamping = r.damping;
    s.preDelay = r.preDelay;
    s.width = r.width;
    s.echoSeconds = r.echo;
    s.level = r.level;
    return s;
}

ChorusSettings ChorusProgram(ChorusType t) noexcept {
    const unsigned i = static_cast<unsigned>(t) < static_cast<unsigned>(ChorusType::kCount) ? static_cast<unsigned>(t) : 2;
    const ChorusRow& r = kChorus[i];
    ChorusSettings s;
    s.type = static_cast<ChorusType>(i);
    s.delay = r.delay;
    s.depth = r.depth;
    s.rate = r.rate;
    s.feedback = r.feedback;
    return s;
}

float GsReverbSeconds(ReverbType t, uint8_t time) noexcept {
    return ReverbProgram(t).decaySeconds * std::exp2((static_cast<float>(time & 0x7f) - 64.0f) / 32.0f);
}

bool XgReverbType(uint8_t msb, uint8_t lsb, ReverbType& out, bool& off) noexcept {
    off = false;
    switch (msb) {
    case 0x00: off = true; return true;
    case 0x01: out = lsb == 1 ? ReverbType::kHall2 : ReverbType::kHall1; return true;
    case 0x02: out = lsb == 1 ? ReverbType::kRoom2 : (lsb == 2 ? ReverbType::kRoom3 : ReverbType::kRoom1); return true;
    case 0x03: out = lsb == 1 ? ReverbType::kRoom3 : ReverbType::kHall1; return true; // stage 1, 2
    case 0x04: out = ReverbType::kPlate; return true;
    case 0x10: out = ReverbType::kRoom2; return true; // white room
    case 0x11: out = ReverbType::kHall2; return true; // tunnel
    case 0x12: out = ReverbType::kHall2; return true; // canyon
    case 0x13: out = ReverbType::kRoom3; return true; // basement
    case 0x14: out = ReverbType::kDelay; return true; // (delay L,C,R on some models)
    default: return false;
    }
}

bool XgChorusType(uint8_t msb, uint8_t lsb, ChorusType& out, bool& off) noexcept {
    off = false;
    switch (msb) {
    case 0x00: off = true; return true;
    case 0x41: out = lsb == 1 ? ChorusType::kChorus2 : (lsb == 2 ? ChorusType::kChorus3 : ChorusType::kChorus1); return true;
    case 0x42: out = ChorusType::kChorus4; return true; // celeste
    case 0x43: out = ChorusType::kFlanger; return true;
    case 0x44: out = ChorusType::kChorus4; return true; // symphonic
    default: return false;
    }
}

float XgReverbSeconds(uint8_t v) noexcept {
    // 0.3 s in tenths up to 5 s (47), then in longer steps to 30 s (69).
    if (v > 69) v = 69;
    if (v <= 47) return 0.3f + 0.1f * v;
    return 5.0f + (static_cast<float>(v) - 47.0f) * (25.0f / 22.0f);
}

} // namespace tsl
