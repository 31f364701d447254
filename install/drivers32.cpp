#include "install/drivers32.h"

#include <cwchar>

#include "core/message_box.h"
#include "core/reg_key.h"
#include "install/driver_identity.h"

namespace {

REGSAM ViewFlag(RegistryView view) { return view == RegistryView::X86 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }

std::wstring FormatText(const wchar_t* format, DWORD code, const std::wstring& slot, RegistryView view)
{
    wchar_t text[512];
    std::swprintf(text, std::size(text), format, static_cast<int>(code), slot.c_str(), ViewName(view));
    return text;
}

} // namespace

const wchar_t* ViewName(RegistryView view) { return view == RegistryView::X86 ? L"x86" : L"x64"; }

const std::vector<std::wstring>& MidiSlotNames()
{
    static const std::vector<std::wstring> names = [] {
        std::vector<std::wstring> list{L"midi"};
        for (int i = 1; i <= 9; ++i)
            list.push_back(L"midi" + std::to_wstring(i));
        return list;
    }();
    return names;
}

std::wstring ReadMidiSlot(RegistryView view, const std::wstring& slot)
{
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kDrivers32Key, KEY_QUERY_VALUE | ViewFlag(view)) != ERROR_SUCCESS)
        return {};
    return ReadRegString(key.Get(), slot.c_str()).value_or(std::wstring());
}

bool RemoveDriverSlots(RegistryView view)
{
    CRegKey key;
    for (const std::wstring& slot : MidiSlotNames()) {
        if (_wcsicmp(ReadMidiSlot(view, slot).c_str(), kDriverFileName) != 0)
            continue;
        LSTATUS status = key ? ERROR_SUCCESS
                             : key.Open(HKEY_LOCAL_MACHINE, kDrivers32Key, KEY_SET_VALUE | ViewFlag(view));
        if (status == ERROR_SUCCESS)
            status = WriteRegString(key.Get(), slot.c_str(), kFreeSlotValue);
        if (status != ERROR_SUCCESS) {
            ShowMessage(FormatText(L"Error %d while removing driver key \"%ls\" from %ls registry, please check if "
                                   L"you're running with administrator privileges.",
                                   static_cast<DWORD>(status), slot, view),
                        MB_OK | MB_ICONERROR);
            return false;
        }
    }
    return true;
}

std::optional<std::wstring> WriteDriverSlot(RegistryView view)
{
    CRegKey readKey;
    readKey.Open(HKEY_LOCAL_MACHINE, kDrivers32Key, KEY_QUERY_VALUE | ViewFlag(view));
    for (size_t i = 1; i < MidiSlotNames().size(); ++i) {
        const std::wstring& slot = MidiSlotNames()[i];
        std::wstring value = readKey ? ReadRegString(readKey.Get(), slot.c_str()).value_or(kFreeSlotValue)
                                     : std::wstring(kFreeSlotValue);
        if (value != kFreeSlotValue)
            continue;
        // The key may not exist yet on a system that never had a legacy driver.
        CRegKey key;
        LSTATUS status = key.Create(HKEY_LOCAL_MACHINE, kDrivers32Key, KEY_SET_VALUE | ViewFlag(view));
        if (status == ERROR_SUCCESS)
            status = WriteRegString(key.Get(), slot.c_str(), kDriverFileName);
        if (status != ERROR_SUCCESS) {
            ShowMessage(FormatText(L"Error %d while installing driver in key \"%ls\" in %ls registry, please check if "
                                   L"you're running with administrator privileges.",
                                   static_cast<DWORD>(status), slot, view),
                        MB_OK | MB_ICONERROR);
            return std::nullopt;
        }
        return slot;
    }
    return std::nullopt;
}

std::vector<std::wstring> FindDriverSlots(RegistryView view)
{
    std::vector<std::wstring> found;
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kDrivers32Key, KEY_QUERY_VALUE | ViewFlag(view)) != ERROR_SUCCESS)
        return found;
    for (const std::wstring& slot : MidiSlotNames())
        if (ReadRegString(key.Get(), slot.c_str()).value_or(std::wstring()) == kDriverFileName)
            found.push_back(slot);
    return found;
}
