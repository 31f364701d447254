#include "converter/midi_converter.h"

#include <commctrl.h>
#include <shellapi.h>

#include "converter/converter_ids.h"
#include "converter/file_list_format.h"
#include "converter/file_ops.h"
#include "converter/output_name.h"
#include "converter/worker_link.h"
#include "core/file_bytes.h"
#include "core/language.h"
#include "core/message_box.h"
#include "core/resident_windows.h"
#include "core/settings.h"
#include "core/system_error.h"
#include "tray/systray.h"
#include "ui/file_dialogs.h"
#include "ui/shell.h"

namespace {

constexpr const wchar_t* kPlacementName = L"MIDIConverter";
CMidiConverter* g_converter = nullptr;

// Every control the start button's state does not cover.
constexpr int kLockedControls[] = {IDC_MC_FILES,      IDC_MC_ADD,        IDC_MC_REMOVE,  IDC_MC_IMPORT,
                                   IDC_MC_EXPORT,     IDC_MC_KEY_DOWN,   IDC_MC_KEY_RESET, IDC_MC_KEY_UP,
                                   IDC_MC_FOLDER,     IDC_MC_BROWSE,     IDC_MC_FORMAT,  IDC_MC_MULTICHANNEL,
                                   IDC_MC_SKIP,       IDC_MC_OPTIONS,    IDC_MC_MIXER,   IDC_MC_CLOSE};

struct WorkerArgs {
    CMidiConverter* owner;
    IConversionHost* link;
    std::atomic<bool>* cancel;
    HWND window;
    ConversionServices services;
    ConversionSettings settings;
    std::vector<ConverterFile> files;
};

bool SamePathText(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::wstring ListFilter(bool withAllFiles)
{
    std::wstring filter = GetText(L"common.filter.mcFileList") + L" (*.tslmcfl)|*.tslmcfl|";
    if (withAllFiles)
        filter += GetText(L"common.filter.allFiles") + L" (*.*)|*.*|";
    return filter;
}

}  // namespace

ConverterFile& AddRecord(std::vector<ConverterFile>& files, const std::wstring& path, const EncoderInfo* encoder)
{
    for (auto it = files.begin(); it != files.end(); ++it) {
        if (SamePathText(it->InputPath, path)) {
            files.erase(it);
            break;
        }
    }
    ConverterFile file;
    file.InputPath = path;
    file.Encoder = encoder;
    files.push_back(std::move(file));
    return files.back();
}

bool IsConverterBusy() { return g_converter && g_converter->IsConverting(); }

void RegisterConverterWindow()
{
    // The tray's Exit waits while a conversion runs.
    CSystray::SetConversionRunningQuery(&IsConverterBusy);
    ResidentWindows().SetConverterFactory([](HWND) -> Win32xx::CWnd* {
        auto* window = new CMidiConverter();
        try {
            window->Open();
        } catch (...) {
            delete window;
            throw;
        }
        return window;
    });
}

CMidiConverter::CMidiConverter(ConversionServices services)
    : CDpiAwareDialog(IDD_MIDI_CONVERTER), m_services(std::move(services))
{
    if (g_Settings) {
        LoadMixerState();
    } else {
        for (DWORD& v : ChannelVolume)
            v = 100;
    }
    LoadSection(L"midiconverter");
}

CMidiConverter::~CMidiConverter()
{
    // The window (and so the worker) is gone before the object; this only
    // covers an object whose window was never made.
    m_cancel = true;
    if (m_thread)
        WaitForSingleObject(m_thread.Get(), INFINITE);
    if (g_converter == this)
        g_converter = nullptr;
}

void CMidiConverter::Open()
{
    DoModeless(nullptr);
    g_converter = this;
    ShowWindow(m_hWnd, SW_SHOW);
}

BOOL CMidiConverter::OnInitDialog()
{
    TranslateWindow(m_hWnd);
    SetWindowTextW(m_hWnd, GetText(L"mc.title").c_str());
    SetDlgItemTextW(m_hWnd, IDC_MC_INTRO, GetText(L"mc.intro", PortName(0)).c_str());
    m_mixerCaption = GetText(L"scm.mixer");

    m_list.Attach(GetDlgItem(m_hWnd, IDC_MC_FILES));
    m_list.SetColumns(GetText(L"mc.column.srcFilename"), GetText(L"mc.column.key"), GetText(L"mc.column.outFilename"));
    m_list.SetHelpText(GetText(L"mc.filesHelp"));

    HWND format = GetDlgItem(m_hWnd, IDC_MC_FORMAT);
    for (size_t i = 0; i < kEncoderCount; ++i)
        SendMessageW(format, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(EncoderAt(i)->displayName));
    SendMessageW(GetDlgItem(m_hWnd, IDC_MC_PROGRESS), PBM_SETRANGE32, 0, 1000);
    SendMessageW(GetDlgItem(m_hWnd, IDC_MC_LOG), EM_SETLIMITTEXT, 0, 0);

    if (g_Settings) {
        CSettings& s = *g_Settings;
        SetDlgItemTextW(m_hWnd, IDC_MC_FOLDER, s.OutputFolder.Get().c_str());
        // A stored index past the table selects nothing.
        const DWORD index = s.OutputFormat.Get();
        SendMessageW(format, CB_SETCURSEL, index < kEncoderCount ? index : static_cast<WPARAM>(-1), 0);
        CheckDlgButton(m_hWnd, IDC_MC_SKIP, s.SkipInitialSilence.Get() ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(m_hWnd, IDC_MC_MULTICHANNEL, s.MultichannelMode.Get() ? BST_CHECKED : BST_UNCHECKED);
        SetDlgItemTextW(m_hWnd, IDC_MC_OPTIONS, s.EncoderOptions.Get().c_str());
    }
    m_link = std::make_unique<CWorkerLink>(m_hWnd, WM_TSL_CONVERTER_CALLS);
    CreateToolTips();
    SetUpResizer();
    if (!g_Settings || !g_Settings->RestoreWindowPlacement(kPlacementName, m_hWnd, true)) {
        RECT r, work;
        GetWindowRect(m_hWnd, &r);
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        SetWindowPos(m_hWnd, nullptr, work.left + (work.right - work.left - (r.right - r.left)) / 2,
                     work.top + (work.bottom - work.top - (r.bottom - r.top)) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SetControlsEnabled(true);
    ApplyMixLevel(kAllChannels);
    RefreshFileList();
    return TRUE;
}

void CMidiConverter::SetUpResizer()
{
    using namespace Win32xx;
    RECT window;
    GetWindowRect(m_hWnd, &window);
    SetMinWindowRect(window);
    CResizer& r = Resizer();
    const struct {
        int id;
        UINT anchors;
    } layout[] = {
        {IDC_MC_INTRO, kAnchorLeft | kAnchorTop | kAnchorRight},
        {IDC_MC_FILES_LABEL, kAnchorTopLeft},
        {IDC_MC_FILES, kAnchorAll},
        {IDC_MC_ADD, kAnchorLeft | kAnchorBottom},
        {IDC_MC_REMOVE, kAnchorLeft | kAnchorBottom},
        {IDC_MC_IMPORT, kAnchorLeft | kAnchorBottom},
        {IDC_MC_EXPORT, kAnchorLeft | kAnchorBottom},
        {IDC_MC_KEY_DOWN, kAnchorLeft | kAnchorBottom},
        {IDC_MC_KEY_RESET, kAnchorLeft | kAnchorBottom},
        {IDC_MC_KEY_UP, kAnchorLeft | kAnchorBottom},
        {IDC_MC_FOLDER_LABEL, kAnchorLeft | kAnchorRight | kAnchorBottom},
        {IDC_MC_FOLDER, kAnchorLeft | kAnchorRight | kAnchorBottom},
        {IDC_MC_BROWSE, kAnchorRight | kAnchorBottom},
        {IDC_MC_FORMAT_LABEL, kAnchorLeft | kAnchorBottom},
        {IDC_MC_FORMAT, kAnchorLeft | kAnchorBottom},
        {IDC_MC_OPTIONS_LABEL, kAnchorLeft | kAnchorRight | kAnchorBottom},
        {IDC_MC_OPTIONS, kAnchorLeft | kAnchorRight | kAnchorBottom},
        {IDC_MC_MULTICHANNEL, kAnchorRight | kAnchorBottom},
        {IDC_MC_SKIP, kAnchorLeft | kAnchorRight | kAnchorBottom},
        {IDC_MC_PROGRESS_LABEL, kAnchorLeft | kAnchorRight | kAnchorBottom},
        {IDC_MC_PROGRESS, kAnchorLeft | kAnchorRight | kAnchorBottom},
        {IDC_MC_LOG_LABEL, kAnchorLeft | kAnchorRight | kAnchorBottom},
        {IDC_MC_LOG, kAnchorLeft | kAnchorRight | kAnchorBottom},
        {IDC_MC_MIXER, kAnchorLeft | kAnchorBottom},
        {IDC_MC_START, kAnchorRight | kAnchorBottom},
        {IDC_MC_CLOSE, kAnchorRight | kAnchorBottom},
    };
    for (const auto& item : layout)
        r.AddChild(GetDlgItem(m_hWnd, item.id), item.anchors);
}

void CMidiConverter::CreateToolTips()
{
    m_toolTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr, nullptr, nullptr);
    if (!m_toolTip)
        return;
    const struct {
        int id;
        const wchar_t* key;
    } tips[] = {
        {IDC_MC_ADD, L"mc.tt.addFiles"},         {IDC_MC_REMOVE, L"mc.tt.removeFiles"},
        {IDC_MC_IMPORT, L"mc.tt.importFileList"}, {IDC_MC_EXPORT, L"mc.tt.exportFileList"},
        {IDC_MC_KEY_DOWN, L"mc.tt.keyDecrease"},  {IDC_MC_KEY_RESET, L"mc.tt.keyReset"},
        {IDC_MC_KEY_UP, L"mc.tt.keyIncrease"},    {IDC_MC_MULTICHANNEL, L"mc.tt.multichannelMode"},
    };
    for (const auto& tip : tips) {
        std::wstring text = GetText(tip.key);
        TOOLINFOW info{};
        info.cbSize = sizeof(info);
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = m_hWnd;
        info.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(m_hWnd, tip.id));
        info.lpszText = text.data();
        SendMessageW(m_toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
}

std::wstring CMidiConverter::ControlText(int id) const
{
    HWND control = GetDlgItem(m_hWnd, id);
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
    return text;
}

const EncoderInfo* CMidiConverter::SelectedEncoder() const
{
    const LRESULT index = SendDlgItemMessageW(m_hWnd, IDC_MC_FORMAT, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? nullptr : EncoderAt(static_cast<size_t>(index));
}

void CMidiConverter::ApplyMixLevel(DWORD)
{
    const std::wstring caption = IsNeutral() ? m_mixerCaption : m_mixerCaption + L" (*)";
    if (m_hWnd)
        SetDlgItemTextW(m_hWnd, IDC_MC_MIXER, caption.c_str());
}

ConverterFile& CMidiConverter::AddFile(const std::wstring& path, const EncoderInfo* encoder)
{
    return AddRecord(m_files, path, encoder);
}

void CMidiConverter::RefreshFileList()
{
    m_list.SetCount(m_files.size());
    RecomputeOutputNames();
    m_list.SizeColumns();
}

void CMidiConverter::RecomputeOutputNames()
{
    const EncoderInfo* encoder = SelectedEncoder();
    if (!encoder)
        return;
    const std::wstring folder = ControlText(IDC_MC_FOLDER);
    const bool multichannel = IsDlgButtonChecked(m_hWnd, IDC_MC_MULTICHANNEL) == BST_CHECKED;
    for (ConverterFile& file : m_files)
        ComputeOutputName(file, folder, encoder, multichannel);
    m_list.Redraw();
}

void CMidiConverter::SaveConverterSettings()
{
    if (!g_Settings || !m_hWnd)
        return;
    CSettings& s = *g_Settings;
    s.OutputFolder.Set(ControlText(IDC_MC_FOLDER));
    const LRESULT index = SendDlgItemMessageW(m_hWnd, IDC_MC_FORMAT, CB_GETCURSEL, 0, 0);
    if (index != CB_ERR)
        s.OutputFormat.Set(static_cast<DWORD>(index));
    s.EncoderOptions.Set(ControlText(IDC_MC_OPTIONS));
    s.SkipInitialSilence.Set(IsDlgButtonChecked(m_hWnd, IDC_MC_SKIP) == BST_CHECKED ? 1 : 0);
    s.MultichannelMode.Set(IsDlgButtonChecked(m_hWnd, IDC_MC_MULTICHANNEL) == BST_CHECKED ? 1 : 0);
}

void CMidiConverter::SetControlsEnabled(bool enabled)
{
    for (int id : kLockedControls)
        EnableWindow(GetDlgItem(m_hWnd, id), enabled);
    if (HWND mixer = MixerWindowHandle.load())
        EnableWindow(mixer, enabled);
    m_list.AcceptDrops(enabled);
    SetDlgItemTextW(m_hWnd, IDC_MC_START, GetText(enabled ? L"mc.startConversion" : L"common.cancel").c_str());
    EnableWindow(GetDlgItem(m_hWnd, IDC_MC_START), TRUE);
}

void CMidiConverter::StartConversion()
{
    if (m_thread) {
        ShowMessage(GetText(L"mc.err.alreadyRunning"), MB_OK | MB_ICONERROR, m_hWnd);
        return;
    }
    if (m_files.empty()) {
        ShowMessage(GetText(L"mc.err.noInputFile"), MB_OK | MB_ICONERROR, m_hWnd);
        return;
    }
    m_cancel = false;
    SaveConverterSettings();
    RecomputeOutputNames();
    ConversionSettings settings = ConversionSettings::FromStore();
    auto* args = new WorkerArgs{this, m_link.get(), &m_cancel, m_hWnd, m_services, std::move(settings), m_files};
    // The list cannot change while the worker reads its copy, but the user
    // must not think it could.
    SetControlsEnabled(false);
    HANDLE thread = CreateThread(nullptr, 0, &WorkerProc, args, 0, nullptr);
    if (!thread) {
        const DWORD error = GetLastError();
        delete args;
        SetControlsEnabled(true);
        ShowMessage(FormatSystemError(error), MB_OK | MB_ICONERROR, m_hWnd);
        return;
    }
    m_thread.Reset(thread);
}

DWORD WINAPI CMidiConverter::WorkerProc(void* param)
{
    std::unique_ptr<WorkerArgs> args(static_cast<WorkerArgs*>(param));
    {
        CConversionEngine engine(*args->link, *args->owner, std::move(args->services), std::move(args->settings),
                                 *args->cancel);
        engine.Run(args->files);
    }
    PostMessageW(args->window, WM_TSL_CONVERSION_ENDED, 0, 0);
    return 0;
}

void CMidiConverter::CancelConversion()
{
    if (!m_thread)
        return;
    m_cancel = true;
    EnableWindow(GetDlgItem(m_hWnd, IDC_MC_START), FALSE);
}

void CMidiConverter::OnConversionEnded()
{
    if (!m_thread)
        return;
    // The worker posts its end as its last act.
    WaitForSingleObject(m_thread.Get(), INFINITE);
    m_thread.Reset();
    m_link->Deliver(*this);
    m_cancel = false;
    SetControlsEnabled(true);
}

void CMidiConverter::WaitForWorker()
{
    if (!m_thread)
        return;
    m_cancel = true;
    bool quit = false;
    int quitCode = 0;
    while (m_thread) {
        HANDLE thread = m_thread.Get();
        if (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0) {
            OnConversionEnded();
            break;
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = static_cast<int>(msg.wParam);
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (quit)
        PostQuitMessage(quitCode);
}

void CMidiConverter::OnCancel()
{
    if (m_closing)
        return;
    m_closing = true;
    WaitForWorker();
    SaveConverterSettings();
    if (g_Settings)
        g_Settings->SaveWindowPlacement(kPlacementName, m_hWnd);
    if (HWND mixer = MixerWindowHandle.load())
        DestroyWindow(mixer);
    Destroy();
}

void CMidiConverter::OnFinalDestroy()
{
    if (m_link)
        m_link->Close();
    if (g_converter == this)
        g_converter = nullptr;
    PostForDeletion();
}

INT_PTR CMidiConverter::DialogProc(UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_COMMAND:
        OnCommand(LOWORD(wparam), HIWORD(wparam));
        return TRUE;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lparam);
        if (header->idFrom == IDC_MC_FILES && header->code == LVN_GETDISPINFOW) {
            OnGetDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(lparam));
            return TRUE;
        }
        break;
    }
    case WM_TSL_CONVERTER_CALLS:
        if (m_link)
            m_link->Deliver(*this);
        return TRUE;
    case WM_TSL_CONVERSION_ENDED:
        OnConversionEnded();
        return TRUE;
    case WM_TSL_FILES_DROPPED:
        OnFilesDropped(reinterpret_cast<HDROP>(wparam));
        return TRUE;
    case WM_DESTROY:
        // The tray's close and a restart destroy the window without closing it
        // first: the worker still ends before anything of the window goes.
        WaitForWorker();
        if (HWND mixer = MixerWindowHandle.load())
            DestroyWindow(mixer);
        if (m_toolTip) {
            DestroyWindow(m_toolTip);
            m_toolTip = nullptr;
        }
        break;
    }
    return CDpiAwareDialog::DialogProc(msg, wparam, lparam);
}

void CMidiConverter::OnCommand(WORD id, WORD code)
{
    switch (id) {
    case IDC_MC_ADD: AddFilesFromDialog(); break;
    case IDC_MC_REMOVE: RemoveSelected(); break;
    case IDC_MC_IMPORT: ImportFromDialog(); break;
    case IDC_MC_EXPORT: ExportFromDialog(); break;
    case IDC_MC_KEY_DOWN: ShiftSelectedKeys(-1, false); break;
    case IDC_MC_KEY_UP: ShiftSelectedKeys(1, false); break;
    case IDC_MC_KEY_RESET: ShiftSelectedKeys(0, true); break;
    case IDC_MC_BROWSE: BrowseFolder(); break;
    case IDC_MC_FOLDER:
        if (code == EN_CHANGE)
            RecomputeOutputNames();
        break;
    case IDC_MC_FORMAT:
        if (code == CBN_SELCHANGE)
            RecomputeOutputNames();
        break;
    case IDC_MC_MULTICHANNEL:
        if (code == BN_CLICKED) {
            if (g_Settings)
                g_Settings->MultichannelMode.Set(IsDlgButtonChecked(m_hWnd, IDC_MC_MULTICHANNEL) == BST_CHECKED);
            RecomputeOutputNames();
        }
        break;
    case IDC_MC_START:
        if (m_thread)
            CancelConversion();
        else
            StartConversion();
        break;
    case IDC_MC_CLOSE:
    case IDCANCEL: OnCancel(); break;
    case IDC_MC_MIXER:
        ToggleMixer();
        if (HWND mixer = MixerWindowHandle.load())
            EnableWindow(mixer, !m_thread);
        break;
    }
}

void CMidiConverter::OnGetDispInfo(NMLVDISPINFOW& info)
{
    if (!(info.item.mask & LVIF_TEXT) || info.item.iItem < 0 || static_cast<size_t>(info.item.iItem) >= m_files.size())
        return;
    const ConverterFile& file = m_files[static_cast<size_t>(info.item.iItem)];
    const std::wstring& text = info.item.iSubItem == 0 ? file.InputPath
                               : info.item.iSubItem == 1 ? file.KeyText
                                                         : file.OutputPath;
    info.item.pszText = const_cast<wchar_t*>(text.c_str());
}

void CMidiConverter::AddFilesFromDialog()
{
    const std::wstring filter = GetText(L"common.filter.midiFiles") + L" (*.mid;*.midi;*.rmi;*.kar)|*.mid;*.midi;*.rmi;*.kar|" +
                                GetText(L"common.filter.allFiles") + L" (*.*)|*.*|";
    const std::vector<std::wstring> chosen = OpenFilesDialog(m_hWnd, GetText(L"mc.addFilesTitle"), filter);
    if (chosen.empty())
        return;
    for (const std::wstring& path : chosen)
        AddFile(path, SelectedEncoder());
    RefreshFileList();
}

void CMidiConverter::OnFilesDropped(HDROP drop)
{
    if (!m_thread) {
        const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            const UINT length = DragQueryFileW(drop, i, nullptr, 0);
            std::wstring path(length + 1, L'\0');
            path.resize(DragQueryFileW(drop, i, path.data(), length + 1));
            if (!path.empty())
                AddFile(path, SelectedEncoder());
        }
        RefreshFileList();
    }
    DragFinish(drop);
}

void CMidiConverter::RemoveSelected()
{
    const std::vector<size_t> selected = m_list.Selected();
    if (selected.empty())
        return;
    for (auto it = selected.rbegin(); it != selected.rend(); ++it)
        m_files.erase(m_files.begin() + static_cast<std::ptrdiff_t>(*it));
    RefreshFileList();
    if (!m_files.empty()) {
        m_list.SelectOnly(std::min(selected.front(), m_files.size() - 1));
        SetFocus(m_list.Get());
    }
}

void CMidiConverter::ShiftSelectedKeys(int delta, bool reset)
{
    for (size_t index : m_list.Selected())
        SetKeyShift(m_files[index], reset ? 0 : m_files[index].KeyShift + delta);
    m_list.Redraw();
}

void CMidiConverter::BrowseFolder()
{
    if (auto folder = FolderBrowserDialog(m_hWnd, GetText(L"mc.selectFolderTitle"))) {
        SetDlgItemTextW(m_hWnd, IDC_MC_FOLDER, folder->c_str());
        RecomputeOutputNames();
    }
}

void CMidiConverter::ImportFromDialog()
{
    if (auto path = OpenFileDialog(m_hWnd, GetText(L"mc.importTitle"), ListFilter(true), L"tslmcfl"))
        ImportFileList(*path);
}

void CMidiConverter::ExportFromDialog()
{
    if (auto path = SaveFileDialog(m_hWnd, GetText(L"mc.exportTitle"), ListFilter(false), L"tslmcfl"))
        ExportFileList(*path);
}

bool CMidiConverter::ImportFileList(const std::wstring& path)
{
    std::string bytes;
    if (const DWORD error = ReadFileBytes(path, bytes, kMaxFileListBytes)) {
        ShowMessage(GetText(L"mc.err.importFailed", path, FormatSystemError(error)), MB_OK | MB_ICONERROR, m_hWnd);
        return false;
    }
    const auto entries = ParseFileList(bytes);
    if (!entries) {
        ShowMessage(GetText(L"mc.err.importFailed", path, GetText(L"mc.err.notAFileList")), MB_OK | MB_ICONERROR,
                    m_hWnd);
        return false;
    }
    std::vector<ConverterFile> files;
    for (const FileListEntry& entry : *entries)
        SetKeyShift(AddRecord(files, entry.path, SelectedEncoder()), entry.keyShift);
    m_files = std::move(files);
    RefreshFileList();
    return true;
}

bool CMidiConverter::ExportFileList(const std::wstring& path)
{
    std::vector<FileListEntry> entries;
    for (const ConverterFile& file : m_files)
        entries.push_back({file.InputPath, file.KeyShift});
    if (const DWORD error = WriteFileReplacing(path, FormatFileList(entries))) {
        ShowMessage(GetText(L"mc.err.exportFailed", path, FormatSystemError(error)), MB_OK | MB_ICONERROR, m_hWnd);
        return false;
    }
    return true;
}

// --- The worker's calls, on the window thread ---

void CMidiConverter::ClearLog() { SetDlgItemTextW(m_hWnd, IDC_MC_LOG, L""); }

void CMidiConverter::Log(const std::wstring& line)
{
    HWND log = GetDlgItem(m_hWnd, IDC_MC_LOG);
    const std::wstring text = line + L"\r\n";
    const LRESULT end = GetWindowTextLengthW(log);
    SendMessageW(log, EM_SETSEL, end, end);
    SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void CMidiConverter::SetProgress(DWORD position)
{
    SendDlgItemMessageW(m_hWnd, IDC_MC_PROGRESS, PBM_SETPOS, position, 0);
}

void CMidiConverter::SelectFile(size_t index)
{
    if (index < m_files.size())
        m_list.SelectOnly(index);
}

void CMidiConverter::SetBusy(bool busy)
{
    // A cancel pressed before the worker got going keeps the start button off.
    SetControlsEnabled(!busy);
    if (busy && m_cancel)
        EnableWindow(GetDlgItem(m_hWnd, IDC_MC_START), FALSE);
}

int CMidiConverter::Ask(const std::wstring& text, UINT flags) { return ShowMessage(text, flags, m_hWnd); }

void CMidiConverter::OpenEncoderPages(const std::wstring& page, const std::wstring& folder)
{
    ShellOpen(L"open", page.c_str(), nullptr, SW_SHOWNORMAL);
    ShellOpen(L"open", folder.c_str(), nullptr, SW_SHOWNORMAL);
}
