// The four mixer keys of one mixer owner and their text form: the rules that
// turn a stored value into mute flags, volumes and a master volume, and the
// reader and writer of a whole mixer-state file (.tslms).
//
// Pure and portable on purpose: no system calls, so the same code reads the
// configuration file's values (through the system's profile reader) and the
// user's mixer-state files (read here from their bytes), and can be fuzzed
// natively. Whatever the bytes, parsing ends with a valid state: malformed
// values fall back to the documented defaults.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr int kMixerChannels = 16;

struct MixerKeys {
    bool mute[kMixerChannels] = {};
    bool solo[kMixerChannels] = {};
    uint32_t volume[kMixerChannels] = {100, 100, 100, 100, 100, 100, 100, 100,
                                       100, 100, 100, 100, 100, 100, 100, 100};
    uint32_t master = 100;
};

// Characters the value of each key is read into, terminator included: longer
// values are cut to one character less before the rules below see them.
constexpr size_t kFlagsBufferChars = 34;
constexpr size_t kVolumesBufferChars = 80;
constexpr size_t kIntegerBufferChars = 30;
// The volume list of the neutral state, also the value of a missing key.
constexpr const wchar_t* kNeutralVolumeList = L"100;100;100;100;100;100;100;100;100;100;100;100;100;100;100;100";

// Exactly 16 characters: a flag for each one other than '0'. Any other
// length clears all 16.
void ParseMixerFlags(std::wstring_view value, bool (&flags)[kMixerChannels]);
// Unsigned decimals separated by ';' (or blanks), one per channel from 0, at
// most 16; each limited to 100 (a negative number reads as a huge unsigned
// one). The first item that is not a number ends the list; the channels
// after it keep what `volume` held.
void ParseMixerVolumes(std::wstring_view value, uint32_t (&volume)[kMixerChannels]);
// The integer the system's profile reader makes of a value (leading blanks,
// optional sign, digits, wrapping at 32 bits; no digits give 0), as a master
// volume: below 0 becomes 0, above 100 becomes 100.
uint32_t ParseMasterVolume(std::wstring_view value);
uint32_t ClampMasterVolume(int32_t value);

std::wstring FormatMixerFlags(const bool (&flags)[kMixerChannels]);
std::wstring FormatMixerVolumes(const uint32_t (&volume)[kMixerChannels]);

// A whole mixer-state file's text. Section "Mixer", keys without suffix,
// compared without regard to case like the system's profile reader; values
// are trimmed, and a value in matching quotes loses them. Missing keys read as
// the neutral state (mute and solo cleared, volumes 100, master 100).
void ParseMixerStateText(std::wstring_view text, MixerKeys& keys);
// The file's text as written: the four keys in their order, CRLF line ends.
std::wstring FormatMixerStateText(const MixerKeys& keys);

// The text of a profile file's bytes: UTF-16 (little-endian, with its
// byte-order mark), UTF-8 (with or without its mark), anything else byte by
// byte. Invalid sequences become U+FFFD; nothing is rejected.
std::wstring DecodeProfileBytes(std::string_view bytes);
