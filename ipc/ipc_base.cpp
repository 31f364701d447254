#include "ipc/ipc_base.h"

#include "core/message_box.h"
#include "core/system_error.h"

CIpcBase::~CIpcBase() = default;

bool CIpcBase::Open()
{
    // The whole block or nothing: a smaller object of that name (not made by
    // a Tessaline driver) fails here instead of being written past its end.
    void* view = MapViewOfFile(m_mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, ring::kBlockSize);
    if (!view) {
        m_lastError = GetLastError();
        ShowMessage(L"SERVER: Can't get a pointer to shared memory.\n\nError: " + FormatSystemError(m_lastError),
                    MB_OK | MB_ICONERROR | MB_TOPMOST);
        return false;
    }
    m_view.Reset(view);

    struct Named {
        CKernelHandle& handle;
        const wchar_t* name;
        BOOL manualReset;
    };
    for (auto [handle, name, manualReset] : {Named{m_dataAvailable, m_names.dataAvailable.c_str(), FALSE},
                                             Named{m_queueFree, m_names.queueFree.c_str(), FALSE},
                                             Named{m_stopEvent, nullptr, TRUE}}) {
        handle.Reset(CreateEventW(nullptr, manualReset, FALSE, name));
        if (!handle) {
            m_lastError = GetLastError();
            return false;
        }
    }
    return true;
}

LONG CIpcBase::LowerClientCount(LONG count)
{
    LONG current = m_openClients.load();
    LONG lowered;
    do {
        lowered = current > count ? current - count : 0;
    } while (!m_openClients.compare_exchange_weak(current, lowered));
    return lowered;
}

void CIpcBase::Close()
{
    if (LowerClientCount(1) < 1 && m_watchdogRunning.load() && m_stopEvent)
        SetEvent(m_stopEvent.Get());
    m_stopEvent.Reset();
    m_dataAvailable.Reset();
    m_queueFree.Reset();
    m_view.Reset();
    m_mapping.Reset();
}
