// Instrument-name tables shown by the mixer, one per system mode.
//
// Bank keys. Every row carries a bank key whose meaning depends on the table;
// MakeBankKey is the only place that turns bank select MSB (controller 0) and
// LSB (controller 32) into that key, so callers never compose keys themselves:
//
//   GM, GM2 (GM table): key = LSB when MSB is 121 (the GM2 melodic bank) or 0
//       (the power-on value, so a client that only sends LSB variations is
//       still named). Any other MSB, including 120 (GM2 rhythm) and GS-style
//       variation MSBs sent without a GS reset, yields kNoBankKey.
//   GS (GS table): key = MSB, the variation number. The LSB only picks a
//       Roland tone map and does not change the name.
//   XG (XG table): key = MSB * 128 + LSB. Normal voices live at MSB 0
//       (key = LSB, 0..126); SFX voices at MSB 64 (key 8192). Drum and SFX
//       kits (MSB 126, 127) get keys no row carries.
//
// Modes outside 0..3 are handled like GM. A key of 0 names the capital tone of
// each program; every table has exactly one such row per program.
//
// The tables are constant and shared by all threads; lookups are a linear scan
// (at most 994 rows) and take the first matching row.

#pragma once

#include <span>

enum SystemMode { ModeGM = 0, ModeGM2 = 1, ModeGS = 2, ModeXG = 3 };

struct InstrumentName {
    int program;  // 1-based, 1..128
    int bank;     // bank key, see above
    const wchar_t* name;
};

// A bank key that no table row carries.
inline constexpr int kNoBankKey = -1;

// The table used in the given system mode: GS in ModeGS, XG in ModeXG, the GM
// table otherwise.
std::span<const InstrumentName> InstrumentTable(int systemMode);

// Name of the first row with this program and bank key, or nullptr when there
// is none (including programs outside 1..128).
const wchar_t* FindInstrumentName(int systemMode, int program1Based, int bankKey);

// Bank key for the channel's current bank select values (each 0..127; only
// the low seven bits are used).
int MakeBankKey(int systemMode, int msb, int lsb);

namespace instrument_names_detail {
std::span<const InstrumentName> GmInstrumentTable();
std::span<const InstrumentName> GsInstrumentTable();
std::span<const InstrumentName> XgInstrumentTable();
}  // namespace instrument_names_detail
