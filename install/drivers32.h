// The legacy driver list, "Drivers32": ten MIDI slots ("midi", "midi1" ...
// "midi9") in each registry view. Our library goes into the first free one.
#pragma once

#include <optional>
#include <string>
#include <vector>

enum class RegistryView { X86, X64 };

// "x86" for the 32-bit view, "x64" for the other, as messages name them.
const wchar_t* ViewName(RegistryView view);

// The slot names in their order, "midi" first.
const std::vector<std::wstring>& MidiSlotNames();

// The value of one slot; empty when the slot or the key is missing.
std::wstring ReadMidiSlot(RegistryView view, const std::wstring& slot);

// Resets every slot holding our library (letter case aside) to the Windows
// audio driver. False after telling the user when the key cannot be written.
bool RemoveDriverSlots(RegistryView view);

// Writes our library into the first free slot from "midi1" on and names that
// slot. Nothing when no slot is free (silently) or a write fails (after a message).
std::optional<std::wstring> WriteDriverSlot(RegistryView view);

// The slots holding exactly our library name, in slot order.
std::vector<std::wstring> FindDriverSlots(RegistryView view);
