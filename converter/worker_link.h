// The conversion worker's way to its window. Every call is queued and the
// window woken with a posted message: the worker never sends a message, so a
// window thread that waits for the worker (while pumping its messages) cannot
// deadlock with it. Only a question waits, for the window's answer.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "converter/conversion_engine.h"

class CWorkerLink : public IConversionHost {
public:
    // `window` receives `message` (wParam and lParam 0) whenever calls wait.
    CWorkerLink(HWND window, UINT message) : m_window(window), m_message(message) {}
    ~CWorkerLink() override;
    CWorkerLink(const CWorkerLink&) = delete;
    CWorkerLink& operator=(const CWorkerLink&) = delete;

    // Worker thread.
    void ClearLog() override;
    void Log(const std::wstring& line) override;
    void SetProgress(DWORD position) override;
    void SelectFile(size_t index) override;
    void SetBusy(bool busy) override;
    int Ask(const std::wstring& text, UINT flags) override;
    void OpenEncoderPages(const std::wstring& page, const std::wstring& folder) override;

    // Window thread: carries out the waiting calls on `window`, in order.
    void Deliver(IConversionHost& window);
    // Window thread, when the window goes: waiting and later questions are
    // answered with IDCANCEL without asking.
    void Close();

private:
    struct Answer;
    struct Call {
        enum Kind { Clear, Line, Progress, Select, Busy, Question, Pages } kind;
        std::wstring text, text2;
        DWORD value = 0;
        std::shared_ptr<Answer> answer;
    };
    void Push(Call call);

    const HWND m_window;
    const UINT m_message;
    std::mutex m_lock;
    std::deque<Call> m_calls;
    bool m_closed = false;
};
