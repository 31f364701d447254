#include "configurator_test_support.h"

#include <bass.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "configurator/save_actions.h"
#include "core/language.h"
#include "support/automation.h"
#include "core/resident_windows.h"
#include "synth/sf2_writer.h"
#include "ui/deferred_delete.h"
#include "ui/file_dialogs.h"
#include "ui/shell.h"
#include "ui/window_text.h"

namespace cfgtest {

namespace {

std::function<void(HWND)> g_script;
std::wstring g_scriptTitle;
CConfigurator* g_current = nullptr;

BOOL CALLBACK FindTitled(HWND hwnd, LPARAM param)
{
    auto* found = reinterpret_cast<HWND*>(param);
    if (::IsWindowVisible(hwnd) && TextOf(hwnd) == g_scriptTitle) {
        *found = hwnd;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK ScriptTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND found = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), FindTitled, reinterpret_cast<LPARAM>(&found));
    if (!found || !g_script)
        return;
    ::KillTimer(nullptr, id);
    auto script = std::move(g_script);
    g_script = nullptr;
    script(found);
}

}  // namespace

void Pump(DWORD ms)
{
    const DWORD end = ::GetTickCount() + ms;
    do {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            Win32xx::CWnd* target = g_current && g_current->IsWindow() ? g_current : nullptr;
            if (target && (msg.hwnd == target->GetHwnd() || ::IsChild(*target, msg.hwnd))) {
                // Pages first (they forward Ctrl+Tab), then the configurator, as the program's loop walks up.
                bool taken = false;
                for (HWND h = msg.hwnd; h && !taken; h = ::GetParent(h)) {
                    Win32xx::CWnd* wnd = Win32xx::CWnd::FromHandle(h);
                    if (wnd && wnd->PreTranslateMessage(msg))
                        taken = true;
                    if (h == target->GetHwnd())
                        break;
                }
                if (taken)
                    continue;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    } while (static_cast<LONG>(::GetTickCount() - end) < 0);
}

std::string FileBytes(const std::wstring& path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WhenDialogOpens(const std::wstring& title, std::function<void(HWND)> script)
{
    g_scriptTitle = title;
    g_script = std::move(script);
    ::SetTimer(nullptr, 0, 40, ScriptTimer);
}

void Type(HWND control, const std::wstring& text) { ::SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())); }

void Click(HWND button) { ::SendMessageW(button, BM_CLICK, 0, 0); }

void ClickAt(HWND window, POINT point, bool control)
{
    const WPARAM keys = MK_LBUTTON | (control ? MK_CONTROL : 0);
    ::SendMessageW(window, WM_LBUTTONDOWN, keys, MAKELPARAM(point.x, point.y));
    ::SendMessageW(window, WM_LBUTTONUP, keys & ~static_cast<WPARAM>(MK_LBUTTON), MAKELPARAM(point.x, point.y));
}

void PressKey(HWND window, WORD key, bool control, bool shift)
{
    BYTE state[256] = {};
    ::GetKeyboardState(state);
    state[VK_CONTROL] = control ? 0x80 : 0;
    state[VK_SHIFT] = shift ? 0x80 : 0;
    ::SetKeyboardState(state);
    ::SendMessageW(window, WM_KEYDOWN, key, 1);
    ::SendMessageW(window, WM_KEYUP, key, 0xC0000001);
    state[VK_CONTROL] = 0;
    state[VK_SHIFT] = 0;
    ::SetKeyboardState(state);
}

std::wstring TextOf(HWND window) { return WindowTextOf(window); }

bool IsEnabled(HWND window) { return ::IsWindowEnabled(window) != FALSE; }

FileDialogAnswers::FileDialogAnswers()
{
    SetFileDialogHook([this](const FileDialogRequest& request) {
        titles.push_back(request.title);
        flags.push_back(request.flags);
        if (answers.empty())
            return std::vector<std::wstring>{};
        auto answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    });
}

FileDialogAnswers::~FileDialogAnswers() { SetFileDialogHook(nullptr); }

PopupMenuAnswers::PopupMenuAnswers(std::function<UINT(HMENU)> choose)
{
    SetPopupMenuHook([choose](HMENU menu, UINT, POINT, HWND) { return choose(menu); });
}

PopupMenuAnswers::~PopupMenuAnswers() { SetPopupMenuHook(nullptr); }

std::vector<MenuItem> MenuItems(HMENU menu, int depth)
{
    std::vector<MenuItem> items;
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_STRING | MIIM_ID | MIIM_STATE | MIIM_SUBMENU;
        info.dwTypeData = text;
        info.cch = 255;
        ::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        items.push_back({text, info.hSubMenu ? 0u : info.wID, (info.fState & MFS_CHECKED) != 0,
                         (info.fState & MFS_DISABLED) != 0, depth});
        if (info.hSubMenu) {
            auto sub = MenuItems(info.hSubMenu, depth + 1);
            items.insert(items.end(), sub.begin(), sub.end());
        }
    }
    return items;
}

std::wstring WriteTestFont(const std::string& fileName, const std::vector<TestFontPreset>& presets)
{
    std::vector<tsl::test::Sf2Sample> samples;
    std::vector<tsl::test::Sf2Preset> sf2Presets;
    for (const TestFontPreset& p : presets) {
        tsl::test::Sf2Sample sample = tsl::test::SineSample(p.period, 200);
        if (p.square)
            for (size_t i = 0; i < sample.pcm.size(); ++i)
                sample.pcm[i] = (i % p.period) < p.period / 2 ? 12000 : -12000;
        tsl::test::Sf2Preset preset;
        preset.name = p.name;
        preset.bank = static_cast<uint16_t>(p.bank);
        preset.program = static_cast<uint16_t>(p.program);
        tsl::test::Sf2Zone zone;
        zone.sample = static_cast<int>(samples.size());
        zone.gens = {{54, 1}};  // sampleModes: loop continuously
        preset.zones.push_back(zone);
        samples.push_back(std::move(sample));
        sf2Presets.push_back(std::move(preset));
    }
    const std::string path = tsl::test::WriteTempFile(tsl::test::BuildSf2(samples, sf2Presets), fileName);
    std::wstring wide(path.begin(), path.end());
    return wide;
}

ConfiguratorTest::ConfiguratorTest(const std::string& conf) : config(conf)
{
    // The English texts, as an installation holds them.
    const std::wstring lang = config.Folder() + L"\\lang";
    ::CreateDirectoryW(lang.c_str(), nullptr);
    const std::wstring source = tsltest::HostPathToWindows(TSL_SOURCE_DIR "/lang/1033.lang");
    ::CopyFileW(source.c_str(), (lang + L"\\1033.lang").c_str(), FALSE);
    LoadLanguage(config.Folder(), 1033);
    SaveActions() = DefaultSaveActions();
    g_Engine = &engine;
}

ConfiguratorTest::~ConfiguratorTest()
{
    Close();
    SaveActions() = DefaultSaveActions();
    for (int i = 0; i < kPageCount; ++i)
        OverrideConfiguratorPage(i, nullptr);
    engine.Shutdown();
    engine.DestroyPorts();
    g_Engine = nullptr;
    UnloadLanguage();
}

CConfigurator* ConfiguratorTest::Open()
{
    window = CConfigurator::Open();
    g_current = window;
    Pump();
    return window;
}

void ConfiguratorTest::Track(CConfigurator* other)
{
    window = other;
    g_current = other;
}

void ConfiguratorTest::Close()
{
    if (window && window->IsWindow())
        window->Destroy();
    Pump(10);
    window = nullptr;
    g_current = nullptr;
    DeleteAllPendingWindows();
}

HWND ConfiguratorTest::Control(int page, int id) const
{
    CConfiguratorTabBase* p = window ? window->Page(page) : nullptr;
    return p ? ::GetDlgItem(*p, id) : nullptr;
}

}  // namespace cfgtest
