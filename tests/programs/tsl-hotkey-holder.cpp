// Holds a global hotkey for the tests, as another program on the desktop
// would: registers the combination given in the hotkey control's format (a
// decimal value: virtual key in the low byte, HOTKEYF_* flags above), signals
// the named event, and keeps it until it is ended.
//
//   tsl-hotkey-holder VALUE EVENT
// Exit code 0 when killed after holding it, 2 on bad arguments, 3 when the
// combination could not be registered.
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const unsigned long value = strtoul(argv[1], nullptr, 10);
    const UINT flags = value >> 8 & 0xFF;
    UINT modifiers = 0;
    if (flags & HOTKEYF_ALT)
        modifiers |= MOD_ALT;
    if (flags & HOTKEYF_CONTROL)
        modifiers |= MOD_CONTROL;
    if (flags & HOTKEYF_SHIFT)
        modifiers |= MOD_SHIFT;
    if (!RegisterHotKey(nullptr, 1, modifiers, value & 0xFF))
        return 3;
    if (HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2])) {
        SetEvent(held);
        CloseHandle(held);
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    }
    return 0;
}
