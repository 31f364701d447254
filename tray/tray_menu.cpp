#include "tray/tray_menu.h"

#include "core/language.h"
#include "core/message_box.h"
#include "core/settings.h"

namespace {

std::wstring WithHotkey(std::wstring text, const std::wstring& hotkey)
{
    if (!hotkey.empty())
        text += L" (" + hotkey + L")";
    return text;
}

void AppendItem(HMENU menu, UINT id, const std::wstring& text, UINT extraFlags = 0)
{
    ::AppendMenuW(menu, MF_STRING | extraFlags, id, text.c_str());
}

void AppendSeparator(HMENU menu) { ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr); }

}  // namespace

HMENU BuildTrayMenu(const TrayMenuModel& model)
{
    HMENU menu = ::CreatePopupMenu();
    if (!menu)
        return nullptr;
    if (model.portCount <= 1) {
        AppendItem(menu, kTrayCommandMixer, WithHotkey(GetText(L"scm.mixer"), model.mixerHotkey));
    } else if (HMENU mixers = ::CreatePopupMenu()) {
        for (DWORD port = 0; port < model.portCount; ++port) {
            // The hotkey opens the first port's mixer, or every one with "ShowMixerAll".
            const bool reached = port == 0 || model.showMixerAll;
            AppendItem(mixers, kTrayCommandMixer + port,
                       WithHotkey(PortName(port), reached ? model.mixerHotkey : std::wstring()));
        }
        ::AppendMenuW(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(mixers), GetText(L"scm.mixers").c_str());
    }
    AppendItem(menu, kTrayCommandPanic, WithHotkey(GetText(L"scm.panic"), model.panicHotkey));
    AppendSeparator(menu);
    AppendItem(menu, kTrayCommandConverter, GetText(L"scm.midiConverter"));
    AppendSeparator(menu);
    AppendItem(menu, kTrayCommandConfigure, GetText(L"scm.configure"));
    AppendSeparator(menu);
    AppendItem(menu, kTrayCommandAbout, GetText(L"scm.about", kAppTitle));
    AppendItem(menu, kTrayCommandExit, GetText(L"scm.exit", kAppTitle), model.exitEnabled ? 0 : MF_GRAYED);
    if (model.updateAvailable) {
        AppendSeparator(menu);
        AppendItem(menu, kTrayCommandUpdate, GetText(L"scm.updateAvailableMenu"));
    }
    return menu;
}
