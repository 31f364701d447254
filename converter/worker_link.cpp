#include "converter/worker_link.h"

#include "ipc/kernel_handle.h"

struct CWorkerLink::Answer {
    CKernelHandle ready{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    int button = IDCANCEL;
};

CWorkerLink::~CWorkerLink() { Close(); }

void CWorkerLink::Push(Call call)
{
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_closed)
            return;
        // Only the latest position matters; the window may be busy for a while.
        if (call.kind == Call::Progress && !m_calls.empty() && m_calls.back().kind == Call::Progress) {
            m_calls.back().value = call.value;
            return;
        }
        m_calls.push_back(std::move(call));
    }
    PostMessageW(m_window, m_message, 0, 0);
}

void CWorkerLink::ClearLog() { Push({Call::Clear, {}, {}, 0, nullptr}); }
void CWorkerLink::Log(const std::wstring& line) { Push({Call::Line, line, {}, 0, nullptr}); }
void CWorkerLink::SetProgress(DWORD position) { Push({Call::Progress, {}, {}, position, nullptr}); }
void CWorkerLink::SelectFile(size_t index) { Push({Call::Select, {}, {}, static_cast<DWORD>(index), nullptr}); }
void CWorkerLink::SetBusy(bool busy) { Push({Call::Busy, {}, {}, busy ? 1u : 0u, nullptr}); }

void CWorkerLink::OpenEncoderPages(const std::wstring& page, const std::wstring& folder)
{
    Push({Call::Pages, page, folder, 0, nullptr});
}

int CWorkerLink::Ask(const std::wstring& text, UINT flags)
{
    auto answer = std::make_shared<Answer>();
    if (!answer->ready)
        return IDCANCEL;
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_closed)
            return IDCANCEL;
        m_calls.push_back({Call::Question, text, {}, flags, answer});
    }
    if (!PostMessageW(m_window, m_message, 0, 0)) {
        // No window to ask: take the question back unanswered.
        std::lock_guard<std::mutex> g(m_lock);
        for (auto it = m_calls.begin(); it != m_calls.end(); ++it) {
            if (it->answer == answer) {
                m_calls.erase(it);
                break;
            }
        }
        return IDCANCEL;
    }
    WaitForSingleObject(answer->ready.Get(), INFINITE);
    return answer->button;
}

void CWorkerLink::Deliver(IConversionHost& window)
{
    for (;;) {
        Call call;
        {
            std::lock_guard<std::mutex> g(m_lock);
            if (m_calls.empty())
                return;
            call = std::move(m_calls.front());
            m_calls.pop_front();
        }
        switch (call.kind) {
        case Call::Clear: window.ClearLog(); break;
        case Call::Line: window.Log(call.text); break;
        case Call::Progress: window.SetProgress(call.value); break;
        case Call::Select: window.SelectFile(call.value); break;
        case Call::Busy: window.SetBusy(call.value != 0); break;
        case Call::Pages: window.OpenEncoderPages(call.text, call.text2); break;
        case Call::Question:
            call.answer->button = window.Ask(call.text, call.value);
            SetEvent(call.answer->ready.Get());
            break;
        }
    }
}

void CWorkerLink::Close()
{
    std::deque<Call> pending;
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_closed = true;
        pending.swap(m_calls);
    }
    for (Call& call : pending)
        if (call.answer)
            SetEvent(call.answer->ready.Get());  // IDCANCEL
}
