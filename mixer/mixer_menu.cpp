#include "mixer/mixer_menu.h"

#include <string>

#include "core/language.h"
#include "core/settings.h"
#include "mixer/mixer_art.h"
#include "mixer/mixer_dialog.h"
#include "mixer/mixer_resources.h"

namespace {

// One item: a command (`submenu` null) or a submenu, with an image when `image` names one.
void AppendItem(HMENU menu, UINT id, HMENU submenu, const std::wstring& text, UINT image, int imageSize,
                bool checked = false)
{
    MENUITEMINFOW item{};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_STRING | MIIM_FTYPE | (submenu ? MIIM_SUBMENU : MIIM_ID | MIIM_STATE);
    item.fType = MFT_STRING;
    item.wID = id;
    item.hSubMenu = submenu;
    item.fState = checked ? MFS_CHECKED : MFS_UNCHECKED;
    item.dwTypeData = const_cast<wchar_t*>(text.c_str());
    if (image) {
        if (HBITMAP bitmap = CreateMenuImage(image, imageSize)) {
            item.fMask |= MIIM_BITMAP;
            item.hbmpItem = bitmap;
        }
    }
    ::InsertMenuItemW(menu, static_cast<UINT>(::GetMenuItemCount(menu)), TRUE, &item);
}

void Append(HMENU menu, UINT id, const std::wstring& text, UINT image, int imageSize, bool checked = false)
{
    AppendItem(menu, id, nullptr, text, image, imageSize, checked);
}

void AppendSubmenu(HMENU menu, HMENU submenu, const std::wstring& text, UINT image, int imageSize)
{
    AppendItem(menu, 0, submenu, text, image, imageSize);
}

void AppendSeparator(HMENU menu) { ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr); }

void DeleteImages(HMENU menu)
{
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW item{};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_BITMAP | MIIM_SUBMENU;
        if (!::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item))
            continue;
        // Only our own images: the system's HBMMENU_* values are small constants.
        if (reinterpret_cast<UINT_PTR>(item.hbmpItem) > 0x100)
            ::DeleteObject(item.hbmpItem);
        if (item.hSubMenu)
            DeleteImages(item.hSubMenu);
    }
}

}  // namespace

HMENU BuildMixerMenu(const MixerMenuModel& model)
{
    HMENU menu = ::CreatePopupMenu();
    if (!menu)
        return nullptr;
    const int size = model.imageSize;
    Append(menu, kMixerMuteAll, GetText(L"mixer.muteAll"), IDB_MIXER_MUTE_ON, size);
    Append(menu, kMixerUnmuteAll, GetText(L"mixer.unmuteAll"), IDB_MIXER_MUTE_OFF, size);
    Append(menu, kMixerSoloAll, GetText(L"mixer.soloAll"), IDB_MIXER_SOLO_ON, size);
    Append(menu, kMixerUnsoloAll, GetText(L"mixer.unsoloAll"), IDB_MIXER_SOLO_OFF, size);

    HMENU ratios = ::CreatePopupMenu();
    for (DWORD percent = 0; percent <= 80; percent += 5)
        Append(ratios, kMixerSoloRatioBase + model.portCount + percent, std::to_wstring(percent) + L"%", 0, size,
               percent == model.soloRatio);
    AppendSubmenu(menu, ratios, GetText(L"mixer.soloRatio"), 0, size);
    AppendSeparator(menu);

    Append(menu, kMixerTopMost, GetText(L"mixer.topmost"), 0, size, model.topMost);
    HMENU zooms = ::CreatePopupMenu();
    static const DWORD kZooms[] = {100, 125, 150, 200};
    for (UINT i = 0; i < 4; ++i)
        Append(zooms, kMixerZoom100 + i, std::to_wstring(kZooms[i]) + L"%", 0, size, kZooms[i] == model.zoom);
    AppendSubmenu(menu, zooms, GetText(L"mixer.zoom"), 0, size);
    AppendSeparator(menu);

    Append(menu, kMixerLoad, GetText(L"mixer.load"), IDB_MIXER_LOAD, size);
    Append(menu, kMixerSave, GetText(L"mixer.save"), IDB_MIXER_SAVE, size);
    // Only the ports that exist, and never the one this mixer shows.
    HMENU ports = ::CreatePopupMenu();
    for (DWORD port = 0; port < model.portCount; ++port)
        if (static_cast<int>(port) != model.ownPort)
            Append(ports, kMixerCopyFrom + port, PortName(port), IDB_MIXER_PORT, size);
    if (::GetMenuItemCount(ports) > 0)
        AppendSubmenu(menu, ports, GetText(L"mixer.copyStateFrom"), IDB_MIXER_COPY, size);
    else
        ::DestroyMenu(ports);
    Append(menu, kMixerReset, GetText(L"mixer.reset") + L" (R)", IDB_MIXER_RESET, size);
    AppendSeparator(menu);
    Append(menu, kMixerSystemMixer, GetText(L"mixer.openWindowsMixer"), IDB_MIXER_SYSTEM_MIXER, size);
    return menu;
}

void DestroyMixerMenu(HMENU menu)
{
    if (!menu)
        return;
    DeleteImages(menu);
    ::DestroyMenu(menu);
}
