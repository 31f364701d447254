// Holds a global hotkey for the tests, as another program on the desktop
// would: registers the combination (MOD_* flags and virtual key, decimal),
// signals the named event, and keeps it until it is ended.
//
//   tsl-hotkey-holder MODIFIERS VIRTUAL-KEY EVENT
// Exit code 0 when killed after holding it, 2 on bad arguments, 3 when the
// combination could not be registered.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    const UINT modifiers = static_cast<UINT>(strtoul(argv[1], nullptr, 10));
    const UINT key = static_cast<UINT>(strtoul(argv[2], nullptr, 10));
    if (!RegisterHotKey(nullptr, 1, modifiers, key))
        return 3;
    if (HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3])) {
        SetEvent(held);
        CloseHandle(held);
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    }
    return 0;
}
