// Opening and closing an owner's mixer window.
#include "core/settings.h"
#include "mixer/mixer_dialog.h"
#include "mixer/mixer_owner.h"

void IMixerOwner::ShowMixer()
{
    if (!MixerWindow) {
        // The window registers itself with this owner while it is created and
        // hands itself to the tray for deletion when it is destroyed.
        auto window = std::make_unique<CMixerDialog>(*this);
        try {
            window->Open();
        } catch (const Win32xx::CWinException&) {
            return;
        }
        window.release();
    }
    if (MixerWindow)
        MixerWindow->ApplyTopMost();
}

void IMixerOwner::ToggleMixer()
{
    if (HWND window = MixerWindowHandle.load())
        ::SendMessageW(window, WM_CLOSE, 0, 0);
    else
        ShowMixer();
}
