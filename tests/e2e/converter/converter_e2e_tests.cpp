// Tessaline.exe --converter, driven from outside as a user drives it: the
// window opens with the synth, a file is added through the open dialog, the
// conversion runs to its end with the first port's soundfont, and the window
// and the synth close in order.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "support/automation.h"
#include "support/installation.h"

using namespace tsltest;

namespace {

constexpr DWORD kTimeoutMs = 30000;

std::wstring ControlText(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    const LRESULT length = SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

// A one-note MIDI file: format 0, 480 ticks per quarter.
void WriteMidi(const std::wstring& path)
{
    const unsigned char bytes[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 1, 0xE0,
                                   'M', 'T', 'r', 'k', 0, 0, 0, 13, 0, 0x90, 60, 100, 0x83, 0x60, 0x80, 60, 0,
                                   0, 0xFF, 0x2F, 0};
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes, sizeof bytes, &written, nullptr);
    CloseHandle(file);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

TEST(ConverterE2E, ConvertsAFileAddedThroughTheDialogAndClosesInOrder)
{
    TestInstallation install("converter-e2e");
    install.WriteConfig("[SoundFonts]\r\nsf1=Z:\\usr\\share\\sounds\\sf2\\TimGM6mb.sf2\r\nsf1.enabled=1\r\n"
                        "[MidiConverter]\r\nOutputFormat=0\r\n");
    TestInstallation::SetRegistryPath(install.Folder());
    const std::wstring midi = install.Folder() + L"\\tune.mid";
    WriteMidi(midi);

    ChildProcess synth;
    ASSERT_TRUE(synth.Start(TestInstallation::ProgramPath(), L"--converter"));
    WindowQuery query;
    query.title = L"MIDI Converter";
    query.processId = synth.Id();
    HWND window = WaitForWindow(query, kTimeoutMs);
    ASSERT_NE(window, nullptr) << "the converter window did not open";
    EXPECT_EQ(ControlText(window, 13), L"&Start Conversion");

    // Add: the system's open dialog, answered by typing the file's path.
    PostMessageW(GetDlgItem(window, 1075), BM_CLICK, 0, 0);
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (HWND w : FindWindows({L"#32770", L"Add MIDI Files", synth.Id(), true}))
                dialog = w;
            return dialog != nullptr;
        },
        kTimeoutMs));
    HWND name = GetDlgItem(dialog, 0x47C);  // the file name box
    ASSERT_NE(name, nullptr);
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(midi.c_str()));
    PressButton(dialog, IDOK);
    ASSERT_TRUE(WaitForNoWindow({L"#32770", L"Add MIDI Files", synth.Id(), true}, kTimeoutMs));

    PostMessageW(GetDlgItem(window, 13), BM_CLICK, 0, 0);
    const std::wstring output = install.Folder() + L"\\tune.wav";
    ASSERT_TRUE(WaitUntil([&] { return ControlText(window, 1081).find(L"Finished.") != std::wstring::npos; }, kTimeoutMs))
        << "log: " << Narrow(ControlText(window, 1081));
    EXPECT_TRUE(Exists(output));
    EXPECT_EQ(SendMessageW(GetDlgItem(window, 1082), PBM_GETPOS, 0, 0), 1000);

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitForNoWindow(query, kTimeoutMs));
    WindowQuery tray{L"MSGWND", L"Tessaline Systray Window", synth.Id(), false};
    HWND trayWindow = WaitForWindow(tray, kTimeoutMs);
    ASSERT_NE(trayWindow, nullptr);
    PostMessageW(trayWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(synth.WaitExit(kTimeoutMs), std::optional<DWORD>(0));
    TestInstallation::DeleteRegistryPath();
}

}  // namespace
