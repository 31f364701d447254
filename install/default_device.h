// The per-user choices of the default MIDI output device: the MIDI mapper's
// device name and the index DirectShow and Windows Media Player use.
#pragma once

#include <string>

inline constexpr wchar_t kMidiMapKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Multimedia\\MIDIMap";
inline constexpr wchar_t kDevenumMidiOutKey[] =
    L"Software\\Microsoft\\ActiveMovie\\devenum\\{4EFE2452-168A-11D1-BC76-00C04FB9453B}\\Default MidiOut Device";
inline constexpr wchar_t kDevenum64MidiOutKey[] =
    L"Software\\Microsoft\\ActiveMovie\\devenum 64-bit\\{4EFE2452-168A-11D1-BC76-00C04FB9453B}\\Default MidiOut Device";

// Windows 8 and later ignore the MIDI mapper's choice.
bool IsWindows8OrLater();
// Whether Windows honours the default MIDI output choice: before Windows 8, or
// with the sibling product that restores it installed.
bool CanSetDefaultMidiDevice();

// Back to the system's own synthesizer (the mapper's name only before Windows 8)
// and device 0; with `both`, in the 64-bit DirectShow key too. Failures are ignored.
void ResetDefaultMidiDevices(bool both);
