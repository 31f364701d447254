// Owners of the kernel objects the channel holds. Both clear themselves when
// released, so a second release is harmless.
#pragma once

#include <windows.h>

class CKernelHandle {
public:
    CKernelHandle() = default;
    explicit CKernelHandle(HANDLE handle) : m_handle(Valid(handle) ? handle : nullptr) {}
    ~CKernelHandle() { Reset(); }
    CKernelHandle(const CKernelHandle&) = delete;
    CKernelHandle& operator=(const CKernelHandle&) = delete;

    HANDLE Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

    // Takes `handle`; both null and INVALID_HANDLE_VALUE count as none.
    void Reset(HANDLE handle = nullptr)
    {
        if (m_handle)
            CloseHandle(m_handle);
        m_handle = Valid(handle) ? handle : nullptr;
    }

private:
    static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    HANDLE m_handle = nullptr;
};

class CMappedView {
public:
    CMappedView() = default;
    ~CMappedView() { Reset(); }
    CMappedView(const CMappedView&) = delete;
    CMappedView& operator=(const CMappedView&) = delete;

    void* Get() const { return m_view; }
    explicit operator bool() const { return m_view != nullptr; }

    void Reset(void* view = nullptr)
    {
        if (m_view)
            UnmapViewOfFile(m_view);
        m_view = view;
    }

private:
    void* m_view = nullptr;
};
