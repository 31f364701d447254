// Whether a synth drains the ring right now. The listen thread owns the named
// mutex "Tessaline_Listener" for as long as it runs; the system lets go of it
// when the thread or its process ends in any way, so neither a crashed synth
// nor a flag left in the block can make a client believe someone listens.
#pragma once

#include <windows.h>

namespace ring {

inline bool ListenerAlive(const wchar_t* mutexName)
{
    HANDLE mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, mutexName);
    if (!mutex)
        return false;
    // Owned by someone else: a listener runs. Acquired (free or abandoned):
    // nobody listens; give it straight back.
    const DWORD waited = WaitForSingleObject(mutex, 0);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
        ReleaseMutex(mutex);
    CloseHandle(mutex);
    return waited == WAIT_TIMEOUT;
}

}  // namespace ring
