#include "tray/hotkeys.h"

#include <commctrl.h>

#include <algorithm>

namespace {

std::wstring KeyName(LONG lparam)
{
    wchar_t name[64] = {};
    int length = GetKeyNameTextW(lparam, name, static_cast<int>(std::size(name)));
    return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

// GetKeyNameTextW wants the scan code in bits 16-23 and the extended flag in bit 24.
LONG ScanCodeParam(UINT scanCode, bool extended) { return static_cast<LONG>(scanCode << 16 | (extended ? 1u << 24 : 0u)); }

}  // namespace

UINT HotkeyModifiers(DWORD value)
{
    const DWORD flags = value >> 8 & 0xFF;
    UINT modifiers = 0;
    if (flags & HOTKEYF_ALT)
        modifiers |= MOD_ALT;
    if (flags & HOTKEYF_CONTROL)
        modifiers |= MOD_CONTROL;
    if (flags & HOTKEYF_SHIFT)
        modifiers |= MOD_SHIFT;
    return modifiers;
}

UINT HotkeyVirtualKey(DWORD value) { return value & 0xFF; }

std::wstring HotkeyText(DWORD value)
{
    if (value == 0)
        return {};
    const DWORD flags = value >> 8 & 0xFF;
    std::wstring text;
    if (flags & HOTKEYF_CONTROL)
        text += KeyName(ScanCodeParam(0x1D, false)) + L" + ";
    if (flags & HOTKEYF_ALT)
        text += KeyName(ScanCodeParam(0x38, false)) + L" + ";
    if (flags & HOTKEYF_SHIFT)
        text += KeyName(ScanCodeParam(0x2A, false)) + L" + ";
    const UINT scanCode = MapVirtualKeyW(HotkeyVirtualKey(value), MAPVK_VK_TO_VSC);
    text += KeyName(ScanCodeParam(scanCode, (flags & HOTKEYF_EXT) != 0));
    return text;
}

std::wstring WithoutAccelerators(std::wstring text)
{
    text.erase(std::remove(text.begin(), text.end(), L'&'), text.end());
    return text;
}
