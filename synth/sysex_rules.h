// The system-exclusive messages the synth recognises or sends itself: the four
// system-on messages, the GS and XG effect-return levels, and GS part settings.
#pragma once

#include <cstdint>

#include <array>
#include <cstddef>
#include <optional>

// Roland checksum over address and data bytes: the value 0-127 that brings the
// low seven bits of their sum (plus itself) to zero.
uint8_t RolandChecksum(const uint8_t* bytes, size_t count);

// F0 41 10 42 12 40 01 33|3A vv cs F7 (GS reverb / chorus level).
std::array<uint8_t, 11> GsReverbLevelMessage(uint8_t level);
std::array<uint8_t, 11> GsChorusLevelMessage(uint8_t level);
// F0 43 10 4C 02 01 0C|2C vv F7 (XG reverb / chorus return).
std::array<uint8_t, 9> XgReverbReturnMessage(uint8_t level);
std::array<uint8_t, 9> XgChorusReturnMessage(uint8_t level);

// The system mode (0 GM, 1 GM2, 2 GS, 3 XG) a system-on message selects.
std::optional<uint32_t> SystemOnMode(const uint8_t* bytes, uint32_t length);

// A client's own GS reverb/chorus level or XG reverb/chorus return, which the
// configured levels override when ReverbChorusOverride is on.
bool IsClientEffectLevelMessage(const uint8_t* bytes, uint32_t length);

// F0 41 dd 42 12 40 1b aa vv cs F7: a GS part parameter of block b.
struct GsPartParameter {
    uint8_t block;    // 0-15
    uint8_t address;  // aa
    uint8_t value;    // vv
};
std::optional<GsPartParameter> ParseGsPartParameter(const uint8_t* bytes, uint32_t length);

constexpr uint8_t kGsPartReceiveChannel = 0x02;
constexpr uint8_t kGsPartUseForRhythm = 0x15;
