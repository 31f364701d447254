#include "support/automation.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace tsltest {

std::wstring Widen(const std::string& text)
{
    if (text.empty())
        return {};
    int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string Narrow(const std::wstring& text)
{
    if (text.empty())
        return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring HostPathToWindows(const std::string& hostPath)
{
    std::wstring path = L"Z:" + Widen(hostPath);
    for (auto& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : m_pi(other.m_pi) { other.m_pi = {}; }

ChildProcess::~ChildProcess()
{
    Kill();
    if (m_pi.hThread)
        ::CloseHandle(m_pi.hThread);
    if (m_pi.hProcess)
        ::CloseHandle(m_pi.hProcess);
}

bool ChildProcess::Start(const std::wstring& exe, const std::wstring& arguments, const std::wstring& workingFolder)
{
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    if (::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         workingFolder.empty() ? nullptr : workingFolder.c_str(), &si, &m_pi))
        return true;
    // The caller's assertion only says "false"; the log needs the reason.
    const DWORD error = ::GetLastError();
    std::fprintf(stderr, "CreateProcess %s failed with error %lu\n", Narrow(commandLine).c_str(),
                 static_cast<unsigned long>(error));
    return false;
}

std::optional<DWORD> ChildProcess::WaitExit(DWORD timeoutMs)
{
    if (!m_pi.hProcess || ::WaitForSingleObject(m_pi.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    ::GetExitCodeProcess(m_pi.hProcess, &code);
    return code;
}

bool ChildProcess::IsRunning() const
{
    return m_pi.hProcess && ::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT;
}

void ChildProcess::Kill()
{
    if (IsRunning()) {
        ::TerminateProcess(m_pi.hProcess, 9999);
        ::WaitForSingleObject(m_pi.hProcess, 5000);
    }
}

std::wstring WindowText(HWND hwnd)
{
    int n = ::GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    n = ::GetWindowTextW(hwnd, text.data(), n + 1);
    text.resize(static_cast<size_t>(n > 0 ? n : 0));
    return text;
}

std::wstring ControlText(HWND control)
{
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length))
        return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(control, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                          2000, &copied);
    text.resize(std::min<size_t>(copied, length));
    return text;
}

std::wstring ClassName(HWND hwnd)
{
    wchar_t name[256] = {};
    ::GetClassNameW(hwnd, name, 256);
    return name;
}

namespace {
struct EnumState {
    const WindowQuery* query;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lparam)
{
    auto* state = reinterpret_cast<EnumState*>(lparam);
    const WindowQuery& q = *state->query;
    if (q.processId) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(hwnd, &pid);
        if (pid != q.processId)
            return TRUE;
    }
    if (q.visibleOnly && !::IsWindowVisible(hwnd))
        return TRUE;
    if (!q.className.empty() && ClassName(hwnd) != q.className)
        return TRUE;
    if (!q.title.empty() && WindowText(hwnd) != q.title)
        return TRUE;
    state->found.push_back(hwnd);
    return TRUE;
}
} // namespace

std::vector<HWND> FindWindows(const WindowQuery& query)
{
    EnumState state{&query, {}};
    ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition())
            return true;
        if (::GetTickCount64() >= deadline)
            return false;
        ::Sleep(20);
    }
}

HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitUntil([&] {
        auto windows = FindWindows(query);
        found = windows.empty() ? nullptr : windows.front();
        return found != nullptr;
    }, timeoutMs);
    return found;
}

bool WaitForNoWindow(const WindowQuery& query, DWORD timeoutMs)
{
    return WaitUntil([&] { return FindWindows(query).empty(); }, timeoutMs);
}

HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs)
{
    WindowQuery q;
    q.className = L"#32770";
    q.processId = processId;
    q.visibleOnly = true;
    return WaitForWindow(q, timeoutMs);
}

std::wstring MessageBoxText(HWND box)
{
    HWND text = ::GetDlgItem(box, 0xFFFF);
    return text ? WindowText(text) : std::wstring();
}

bool PressButton(HWND dialog, int id)
{
    HWND button = ::GetDlgItem(dialog, id);
    if (!button)
        return false;
    // A click as the user makes it: the button reports BN_CLICKED to its dialog.
    return ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)) != 0;
}

std::vector<std::wstring> ButtonTexts(HWND dialog)
{
    std::vector<std::wstring> texts;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (ClassName(child) == L"Button")
            texts.push_back(WindowText(child));
    return texts;
}

void SendKeys(HWND hwnd, const std::vector<WORD>& virtualKeys)
{
    ::SetForegroundWindow(hwnd);
    for (WORD vk : virtualKeys) {
        INPUT in[2]{};
        in[0].type = INPUT_KEYBOARD;
        in[0].ki.wVk = vk;
        in[1] = in[0];
        in[1].ki.dwFlags = KEYEVENTF_KEYUP;
        ::SendInput(2, in, sizeof(INPUT));
    }
}

void PressCombination(std::initializer_list<WORD> held, WORD key)
{
    std::vector<INPUT> in;
    auto add = [&](WORD vk, bool up) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = vk;
        // With its scan code, as a keyboard sends it: Wine's hotkey control
        // reads the key of a character message from the scan code alone.
        i.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    };
    for (WORD vk : held)
        add(vk, false);
    add(key, false);
    add(key, true);
    for (auto it = std::rbegin(held); it != std::rend(held); ++it)
        add(*it, true);
    ::SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

void ClickScreen(POINT at)
{
    INPUT in[3]{};
    in[0].type = INPUT_MOUSE;
    in[0].mi.dx = at.x * 65535 / (::GetSystemMetrics(SM_CXSCREEN) - 1);
    in[0].mi.dy = at.y * 65535 / (::GetSystemMetrics(SM_CYSCREEN) - 1);
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[1].type = INPUT_MOUSE;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[2].type = INPUT_MOUSE;
    in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(3, in, sizeof(INPUT));
}

bool SaveScreenshot(const std::wstring& path)
{
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap && bits) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
        ::SelectObject(memory, old);
        const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) & ~3u);
        const DWORD imageSize = stride * static_cast<DWORD>(height);
        BITMAPFILEHEADER fh{};
        fh.bfType = 0x4D42;
        fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
        fh.bfSize = fh.bfOffBits + imageSize;
        if (FILE* f = _wfopen(path.c_str(), L"wb")) {
            ok = fwrite(&fh, sizeof(fh), 1, f) == 1 && fwrite(&bi.bmiHeader, sizeof(bi.bmiHeader), 1, f) == 1 &&
                 fwrite(bits, imageSize, 1, f) == 1;
            fclose(f);
        }
    }
    if (bitmap)
        ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return ok;
}

} // namespace tsltest
