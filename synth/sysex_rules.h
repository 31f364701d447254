// The system-exclusive messages the synth recognises or sends itself: the four
// system-on messages, the GS and XG effect-return levels, and GS part settings.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <optional>

// Roland checksum over address and data bytes: the value 0-127 that brings the
// low seven bits of their sum (plus itself) to zero.
BYTE RolandChecksum(const BYTE* bytes, size_t count);

// F0 41 10 42 12 40 01 33|3A vv cs F7 (GS reverb / chorus level).
std::array<BYTE, 11> GsReverbLevelMessage(BYTE level);
std::array<BYTE, 11> GsChorusLevelMessage(BYTE level);
// F0 43 10 4C 02 01 0C|2C vv F7 (XG reverb / chorus return).
std::array<BYTE, 9> XgReverbReturnMessage(BYTE level);
std::array<BYTE, 9> XgChorusReturnMessage(BYTE level);

// The system mode (0 GM, 1 GM2, 2 GS, 3 XG) a system-on message selects.
std::optional<DWORD> SystemOnMode(const BYTE* bytes, DWORD length);

// A client's own GS reverb/chorus level or XG reverb/chorus return, which the
// configured levels override when ReverbChorusOverride is on.
bool IsClientEffectLevelMessage(const BYTE* bytes, DWORD length);

// F0 41 dd 42 12 40 1b aa vv cs F7: a GS part parameter of block b.
struct GsPartParameter {
    BYTE block;    // 0-15
    BYTE address;  // aa
    BYTE value;    // vv
};
std::optional<GsPartParameter> ParseGsPartParameter(const BYTE* bytes, DWORD length);

constexpr BYTE kGsPartReceiveChannel = 0x02;
constexpr BYTE kGsPartUseForRhythm = 0x15;
