#include "configurator/blacklist_editor.h"

#include <tlhelp32.h>

#include <algorithm>

#include "configurator/blacklist_text.h"
#include "configurator/resource_ids.h"
#include "core/language.h"
#include "core/message_box.h"
#include "core/settings.h"
#include "ipc/kernel_handle.h"
#include "ui/shell.h"
#include "ui/win32xx/dialog.h"
#include "ui/window_text.h"

namespace {

constexpr wchar_t kDriverModule[] = L"Tessaline.dll";

bool HasDriverLoaded(DWORD processId)
{
    CKernelHandle modules(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, processId));
    if (!modules)
        return false;
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    for (BOOL more = ::Module32FirstW(modules.Get(), &module); more; more = ::Module32NextW(modules.Get(), &module))
        if (::lstrcmpiW(module.szModule, kDriverModule) == 0)
            return true;
    return false;
}

class CBlacklistEditor : public Win32xx::CDialog {
public:
    explicit CBlacklistEditor(std::wstring stored) : CDialog(IDD_BLACKLIST_EDITOR), m_result(std::move(stored)) {}
    // After OK the normalised stored form; otherwise the text given.
    const std::wstring& Result() const { return m_result; }

protected:
    BOOL OnInitDialog() override
    {
        TranslateWindow(m_hWnd);
        ::SetDlgItemTextW(m_hWnd, IDC_BE_LIST, blacklist_text::ToEdited(m_result).c_str());
        return TRUE;
    }

    void OnOK() override
    {
        const std::wstring text = WindowTextOf(::GetDlgItem(m_hWnd, IDC_BE_LIST));
        // The driver splits the stored list at ";": a name holding one would
        // silently become two names that match nothing.
        if (const auto line = blacklist_text::LineWithSemicolon(text)) {
            ShowMessage(GetText(L"be.err.semicolon", *line), MB_OK | MB_ICONWARNING, m_hWnd);
            return;
        }
        m_result = blacklist_text::ToStored(text);
        EndDialog(IDOK);
    }

    INT_PTR DialogProc(UINT msg, WPARAM wparam, LPARAM lparam) override
    {
        if (msg == WM_COMMAND && LOWORD(wparam) == IDC_BE_PROCESSES && HIWORD(wparam) == BN_CLICKED) {
            PickRunningProgram();
            return TRUE;
        }
        return CDialog::DialogProc(msg, wparam, lparam);
    }

private:
    void PickRunningProgram()
    {
        const std::vector<std::wstring> names = ProgramsUsingDriver();
        HMENU menu = ::CreatePopupMenu();
        if (!menu)
            return;
        if (names.empty()) {
            ::AppendMenuW(menu, MF_STRING | MF_GRAYED, 1, GetText(L"be.noprocess").c_str());
        } else {
            for (size_t i = 0; i < names.size(); ++i)
                ::AppendMenuW(menu, MF_STRING, i + 1, names[i].c_str());
        }
        RECT button{};
        ::GetWindowRect(::GetDlgItem(m_hWnd, IDC_BE_PROCESSES), &button);
        const UINT chosen = ShowPopupMenu(menu, TPM_LEFTALIGN | TPM_BOTTOMALIGN, {button.left, button.top}, m_hWnd);
        ::DestroyMenu(menu);
        if (chosen == 0 || chosen > names.size())
            return;
        HWND edit = ::GetDlgItem(m_hWnd, IDC_BE_LIST);
        std::wstring text = blacklist_text::Normalise(WindowTextOf(edit) + L"\r\n" + names[chosen - 1] + L"\r\n");
        ::SetWindowTextW(edit, text.c_str());
        const int length = ::GetWindowTextLengthW(edit);
        ::SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(length), length);
        ::SendMessageW(edit, EM_SCROLLCARET, 0, 0);
    }

    std::wstring m_result;
};

}  // namespace

std::vector<std::wstring> ProgramsUsingDriver()
{
    std::vector<std::wstring> names;
    CKernelHandle processes(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!processes)
        return names;
    const DWORD self = ::GetCurrentProcessId();
    PROCESSENTRY32W process{};
    process.dwSize = sizeof process;
    for (BOOL more = ::Process32FirstW(processes.Get(), &process); more; more = ::Process32NextW(processes.Get(), &process)) {
        if (process.th32ProcessID == 0 || process.th32ProcessID == self)
            continue;
        if (HasDriverLoaded(process.th32ProcessID))
            names.emplace_back(process.szExeFile);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

bool EditClientBlacklist(HWND parent)
{
    if (!g_Settings)
        return false;
    const std::wstring current = g_Settings->ClientBlacklist.Get();
    CBlacklistEditor editor(current);
    editor.DoModal(parent);
    if (editor.Result() == current)
        return false;
    g_Settings->ClientBlacklist.Set(editor.Result());
    return true;
}
