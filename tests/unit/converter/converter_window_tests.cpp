// The converter window driven as a user drives it: files dropped and added,
// keys, format, folder and multichannel mode chosen, a conversion started and
// watched to its end, closing while converting, list files, the converter's
// mixer, and a screenshot during a conversion.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cwctype>
#include <fstream>

#include "converter/converter_ids.h"
#include "converter/file_ops.h"
#include "converter/midi_converter.h"
#include "converter_test_support.h"
#include "core/file_bytes.h"
#include "core/language.h"
#include "core/message_box.h"
#include "core/settings.h"
#include "mixer/mixer_dialog.h"
#include "support/automation.h"
#include "support/installation.h"
#include "support/screenshot.h"
#include "ui/deferred_delete.h"
#include "ui/file_dialogs.h"

using namespace convtest;
using tsl::test::Track;

namespace {

std::vector<std::wstring> g_boxes;
int RecordBox(const std::wstring& text, const std::wstring&, UINT flags)
{
    g_boxes.push_back(text);
    return (flags & MB_TYPEMASK) == MB_YESNOCANCEL ? IDYES : IDOK;
}

void Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() > end)
            return false;
        Pump();
        Sleep(5);
    }
    return true;
}

// An HDROP as the shell hands it over when files are dropped.
HDROP MakeDrop(const std::vector<std::wstring>& paths)
{
    size_t chars = 1;
    for (const auto& p : paths)
        chars += p.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(drop + 1);
    for (const auto& p : paths) {
        std::copy(p.begin(), p.end(), text);
        text += p.size() + 1;
    }
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

struct ConverterWindowTest : ::testing::Test {
    tsltest::TestInstallation install{"converter-window"};
    std::unique_ptr<CSettings> store;
    CSettings* previous = nullptr;
    CMidiConverter* window = nullptr;
    TempFolder folder;

    void SetUp() override
    {
        ASSERT_NE(TestFont(), 0u);
        install.WriteConfig("[MidiConverter]\r\nOutputFormat=0\r\n");
        store = std::make_unique<CSettings>(install.Folder());
        previous = g_Settings;
        g_Settings = store.get();
        LoadLanguage(install.Folder(), 1033);
        g_boxes.clear();
        SetMessageBoxHook(&RecordBox);
        window = new CMidiConverter(TestServices());
        window->Open();
    }
    void TearDown() override
    {
        if (window && window->IsWindow())
            SendMessageW(*window, WM_CLOSE, 0, 0);
        Pump();
        DeleteAllPendingWindows();
        SetFileDialogHook(nullptr);
        SetMessageBoxHook(nullptr);
        UnloadLanguage();
        g_Settings = previous;
    }

    HWND Item(int id) const { return GetDlgItem(*window, id); }
    void Click(int id) { SendMessageW(Item(id), BM_CLICK, 0, 0); }
    std::wstring Cell(int row, int column) const
    {
        wchar_t buffer[1024] = {};
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = buffer;
        item.cchTextMax = 1024;
        SendMessageW(Item(IDC_MC_FILES), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        return buffer;
    }
    int Rows() const { return ListView_GetItemCount(Item(IDC_MC_FILES)); }
    void SelectRow(int row)
    {
        ListView_SetItemState(Item(IDC_MC_FILES), -1, 0, LVIS_SELECTED);
        ListView_SetItemState(Item(IDC_MC_FILES), row, LVIS_SELECTED, LVIS_SELECTED);
    }
    void ChooseFormat(int index)
    {
        SendMessageW(Item(IDC_MC_FORMAT), CB_SETCURSEL, index, 0);
        SendMessageW(*window, WM_COMMAND, MAKEWPARAM(IDC_MC_FORMAT, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(Item(IDC_MC_FORMAT)));
    }
    std::wstring Text(int id) const
    {
        wchar_t buffer[8192] = {};
        GetWindowTextW(Item(id), buffer, 8192);
        return buffer;
    }
    DWORD Progress() const { return static_cast<DWORD>(SendMessageW(Item(IDC_MC_PROGRESS), PBM_GETPOS, 0, 0)); }
};

TEST_F(ConverterWindowTest, UserAddsFilesSetsKeysFormatAndFolderAndConverts)
{
    EXPECT_EQ(tsltest::WindowText(*window), L"MIDI Converter");
    EXPECT_EQ(Rows(), 0);
    Track t;
    t.Ev(0, {0x90, 60, 100}).Ev(480, {0x80, 60, 0}).End(0);
    const std::wstring a = WriteMidi(folder, L"a.mid", t), b = WriteMidi(folder, L"b.mid", t);
    const std::wstring c = WriteMidi(folder, L"c.mid", t);

    // Two files dropped at once, one added through the dialog, one dropped again in other letters.
    SendMessageW(Item(IDC_MC_FILES), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({a, b})), 0);
    SetFileDialogHook([&](const FileDialogRequest& r) {
        EXPECT_EQ(r.kind, FileDialogRequest::Kind::OpenMany);
        return std::vector<std::wstring>{c};
    });
    Click(IDC_MC_ADD);
    std::wstring upper = a;
    std::transform(upper.begin(), upper.end(), upper.begin(), std::towupper);
    SendMessageW(Item(IDC_MC_FILES), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({upper})), 0);
    ASSERT_EQ(Rows(), 3);
    EXPECT_EQ(Cell(0, 0), b);
    EXPECT_EQ(Cell(2, 0), upper);
    EXPECT_EQ(Cell(0, 2), folder.File(L"b.wav"));

    // Key +1 thirteen times on the first line stops at +12; Key - on the second.
    SelectRow(0);
    for (int i = 0; i < 13; ++i)
        Click(IDC_MC_KEY_UP);
    EXPECT_EQ(Cell(0, 1), L"+12");
    SelectRow(1);
    Click(IDC_MC_KEY_DOWN);
    EXPECT_EQ(Cell(1, 1), L"-1");
    Click(IDC_MC_KEY_RESET);
    EXPECT_EQ(Cell(1, 1), L"0");

    // Format, folder (through the folder dialog) and multichannel mode rename every output.
    ChooseFormat(1);
    const std::wstring out = folder.File(L"out");
    CreateDirectoryW(out.c_str(), nullptr);
    SetFileDialogHook([&](const FileDialogRequest& r) {
        EXPECT_EQ(r.kind, FileDialogRequest::Kind::Folder);
        return std::vector<std::wstring>{out};
    });
    Click(IDC_MC_BROWSE);
    EXPECT_EQ(Text(IDC_MC_FOLDER), out);
    EXPECT_EQ(Cell(0, 2), out + L"\\b.wav");
    Click(IDC_MC_MULTICHANNEL);
    EXPECT_EQ(Cell(0, 2), out + L"\\b-ch**.wav");
    EXPECT_EQ(g_Settings->MultichannelMode.Get(), 1u);
    Click(IDC_MC_MULTICHANNEL);
    EXPECT_EQ(Cell(0, 2), out + L"\\b.wav");

    Click(IDC_MC_START);
    EXPECT_TRUE(window->IsConverting());
    EXPECT_EQ(Text(IDC_MC_START), GetText(L"common.cancel"));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_MC_ADD)));
    ASSERT_TRUE(PumpUntil([&] { return !window->IsConverting(); }, 60000));
    EXPECT_EQ(Progress(), 1000u);
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_MC_ADD)));
    EXPECT_EQ(Text(IDC_MC_START), GetText(L"mc.startConversion"));
    const std::wstring log = Text(IDC_MC_LOG);
    EXPECT_NE(log.find(L"Input file: " + c), std::wstring::npos);
    size_t finished = 0;
    for (size_t p = 0; (p = log.find(GetText(L"mc.completed"), p)) != std::wstring::npos; ++p)
        ++finished;
    EXPECT_EQ(finished, 3u);
    auto files = FilesIn(out);
    for (auto& f : files)
        std::transform(f.begin(), f.end(), f.begin(), std::towlower);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::wstring>{L"a.wav", L"b.wav", L"c.wav"}));
    // The settings were saved when the run started.
    EXPECT_EQ(g_Settings->OutputFolder.Get(), out);
    EXPECT_EQ(g_Settings->OutputFormat.Get(), 1u);
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(ConverterWindowTest, ClosingDuringAConversionWaitsForTheWorkerAndLeavesNoFile)
{
    const std::wstring encoders = install.Folder() + L"\\encoders";
    ASSERT_TRUE(InstallStandInEncoders(encoders));
    ASSERT_EQ(WriteFileReplacing(encoders + L"\\mode.txt", "slow"), 0u);
    Track t;
    t.Ev(0, {0x90, 60, 100}).Ev(960 * 60, {0x80, 60, 0}).End(0);  // a minute
    const std::wstring a = WriteMidi(folder, L"long.mid", t);
    ChooseFormat(6);
    SendMessageW(Item(IDC_MC_FILES), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({a})), 0);
    Click(IDC_MC_START);
    ASSERT_TRUE(PumpUntil([&] { return Progress() > 0; }, 30000));
    // A screenshot of the window while it converts, for the README.
    SetForegroundWindow(*window);
    PumpUntil([] { return false; }, 300);
    EXPECT_TRUE(tsltest::SaveWindowPng(*window, tsltest::ScreenshotPath("converter-converting")));
    EXPECT_LT(Progress(), 1000u);

    HWND hwnd = *window;
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(hwnd); }, 30000));
    EXPECT_FALSE(IsConverterBusy());
    EXPECT_EQ(FilesIn(folder.Path()), std::vector<std::wstring>{L"long.mid"});
    window = nullptr;
    // The object waits for the tray to delete it.
    EXPECT_EQ(PendingWindowCount(), 1u);
}

TEST_F(ConverterWindowTest, DestroyingTheWindowMidRunStillEndsTheWorkerFirst)
{
    const std::wstring encoders = install.Folder() + L"\\encoders";
    ASSERT_TRUE(InstallStandInEncoders(encoders));
    ASSERT_EQ(WriteFileReplacing(encoders + L"\\mode.txt", "slow"), 0u);
    Track t;
    t.Ev(0, {0x90, 60, 100}).Ev(960 * 60, {0x80, 60, 0}).End(0);
    const std::wstring a = WriteMidi(folder, L"long.mid", t);
    ChooseFormat(6);
    SendMessageW(Item(IDC_MC_FILES), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({a})), 0);
    Click(IDC_MC_START);
    ASSERT_TRUE(PumpUntil([&] { return Progress() > 0; }, 30000));
    HWND hwnd = *window;
    DestroyWindow(hwnd);  // as the tray's close and a restart do
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(IsConverterBusy());
    EXPECT_EQ(FilesIn(folder.Path()), std::vector<std::wstring>{L"long.mid"});
    window = nullptr;
}

TEST_F(ConverterWindowTest, ListFilesRoundTripAnyNameAndAFailedImportKeepsTheList)
{
    const std::wstring names[] = {folder.File(L"Größe.mid"), folder.File(L"曲 ♪.mid"), folder.File(L"Ελληνικά.mid")};
    SendMessageW(Item(IDC_MC_FILES), WM_DROPFILES,
                 reinterpret_cast<WPARAM>(MakeDrop({names[0], names[1], names[2]})), 0);
    SelectRow(1);
    Click(IDC_MC_KEY_UP);
    const std::wstring list = folder.File(L"list.tslmcfl");
    SetFileDialogHook([&](const FileDialogRequest& r) {
        EXPECT_EQ(r.kind, FileDialogRequest::Kind::Save);
        return std::vector<std::wstring>{list};
    });
    Click(IDC_MC_EXPORT);
    // Remove everything, then import the list back.
    ListView_SetItemState(Item(IDC_MC_FILES), -1, LVIS_SELECTED, LVIS_SELECTED);
    Click(IDC_MC_REMOVE);
    ASSERT_EQ(Rows(), 0);
    SetFileDialogHook([&](const FileDialogRequest&) { return std::vector<std::wstring>{list}; });
    Click(IDC_MC_IMPORT);
    ASSERT_EQ(Rows(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Cell(i, 0), names[i]);
    EXPECT_EQ(Cell(1, 1), L"+1");

    // A file that is not a list: a message, and the list stays.
    folder.Write(L"bad.tslmcfl", std::string("\xEF\xBB\xBF\xFF\xFE\x00", 6));
    SetFileDialogHook([&](const FileDialogRequest&) { return std::vector<std::wstring>{folder.File(L"bad.tslmcfl")}; });
    Click(IDC_MC_IMPORT);
    EXPECT_EQ(Rows(), 3);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], GetText(L"mc.err.importFailed", folder.File(L"bad.tslmcfl"), GetText(L"mc.err.notAFileList")));

    // Export into a folder that does not exist: reported.
    const std::wstring nowhere = folder.File(L"missing\\list.tslmcfl");
    SetFileDialogHook([&](const FileDialogRequest&) { return std::vector<std::wstring>{nowhere}; });
    Click(IDC_MC_EXPORT);
    ASSERT_EQ(g_boxes.size(), 2u);
    EXPECT_EQ(g_boxes[1].rfind(GetText(L"mc.err.exportFailed", nowhere, L"").substr(0, 20), 0), 0u);
}

TEST_F(ConverterWindowTest, TheConvertersMixerChangesTheRender)
{
    Track t;
    t.Ev(0, {0x90, 60, 100}).Ev(480, {0x80, 60, 0}).End(0);
    const std::wstring a = WriteMidi(folder, L"a.mid", t);
    ChooseFormat(2);
    SendMessageW(Item(IDC_MC_FILES), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({a})), 0);
    EXPECT_EQ(Text(IDC_MC_MIXER), GetText(L"scm.mixer"));
    // The mixer button opens the converter's own mixer; "Mute all" from its menu.
    Click(IDC_MC_MIXER);
    ASSERT_NE(window->MixerWindow, nullptr);
    HWND mixer = window->MixerWindowHandle.load();
    EXPECT_NE(tsltest::WindowText(mixer).find(L"MIDI Converter"), std::wstring::npos);
    window->MixerWindow->RunCommand(kMixerMuteAll);
    EXPECT_EQ(Text(IDC_MC_MIXER), GetText(L"scm.mixer") + L" (*)");
    Click(IDC_MC_START);
    ASSERT_TRUE(PumpUntil([&] { return !window->IsConverting(); }, 60000));
    Wav muted;
    ASSERT_TRUE(ReadWav(folder.File(L"a.wav"), muted));
    EXPECT_EQ(FirstSound(muted.samples, 0.0f), SIZE_MAX);
    EXPECT_TRUE(IsWindowEnabled(mixer));

    window->MixerWindow->RunCommand(kMixerReset);
    EXPECT_EQ(Text(IDC_MC_MIXER), GetText(L"scm.mixer"));
    Click(IDC_MC_MIXER);  // closes it
    PumpUntil([&] { return !IsWindow(mixer); }, 5000);
    EXPECT_EQ(window->MixerWindow, nullptr);
    Click(IDC_MC_START);  // Yes, overwrite
    ASSERT_TRUE(PumpUntil([&] { return !window->IsConverting(); }, 60000));
    Wav heard;
    ASSERT_TRUE(ReadWav(folder.File(L"a.wav"), heard));
    EXPECT_NE(FirstSound(heard.samples, 0.0f), SIZE_MAX);
}

TEST_F(ConverterWindowTest, StartWithAnEmptyListSaysSoAndRemoveSelectsTheNewLast)
{
    Click(IDC_MC_START);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], GetText(L"mc.err.noInputFile"));
    EXPECT_FALSE(window->IsConverting());
    SendMessageW(Item(IDC_MC_FILES), WM_DROPFILES,
                 reinterpret_cast<WPARAM>(MakeDrop({folder.File(L"1.mid"), folder.File(L"2.mid")})), 0);
    SelectRow(1);
    Click(IDC_MC_REMOVE);
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(ListView_GetNextItem(Item(IDC_MC_FILES), -1, LVNI_SELECTED), 0);
}

}  // namespace
