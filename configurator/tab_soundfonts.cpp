#include "configurator/tab_soundfonts.h"

#include <shellapi.h>

#include "configurator/configurator.h"
#include "configurator/resource_ids.h"
#include "configurator/soundfont_editor.h"
#include "configurator/soundfont_list_file.h"
#include "core/language.h"
#include "core/message_box.h"
#include "core/settings.h"
#include "synth/soundfont_set.h"
#include "synth/synth_engine.h"
#include "ui/file_dialogs.h"
#include "ui/glyph_button.h"

namespace {

struct ButtonInfo {
    int id;
    Glyph glyph;
    const wchar_t* tip;
};

constexpr ButtonInfo kButtons[] = {
    {IDC_SF_ADD, Glyph::Add, L"cfg.sf.tt.add"},          {IDC_SF_REMOVE, Glyph::Remove, L"cfg.sf.tt.remove"},
    {IDC_SF_EDIT, Glyph::Edit, L"cfg.sf.tt.edit"},       {IDC_SF_UP, Glyph::Up, L"cfg.sf.tt.up"},
    {IDC_SF_DOWN, Glyph::Down, L"cfg.sf.tt.down"},       {IDC_SF_IMPORT, Glyph::Import, L"cfg.sf.tt.import"},
    {IDC_SF_EXPORT, Glyph::Export, L"cfg.sf.tt.export"},
};

std::wstring ListFileFilter(bool withAllFiles)
{
    std::wstring filter = GetText(L"common.filter.sfConfig") + L" (*.tslsf)|*.tslsf|";
    if (withAllFiles)
        filter += GetText(L"common.filter.allFiles") + L" (*.*)|*.*|";
    return filter;
}

}  // namespace

bool IsConsecutiveSelection(const std::vector<int>& selection)
{
    if (selection.empty())
        return false;
    for (size_t i = 1; i < selection.size(); ++i)
        if (selection[i] != selection[i - 1] + 1)
            return false;
    return true;
}

CConfiguratorTabSoundFonts::CConfiguratorTabSoundFonts(CConfigurator& owner)
    : CConfiguratorTabBase(IDD_PAGE_SOUNDFONTS, owner)
{
}

BOOL CConfiguratorTabSoundFonts::OnInitDialog()
{
    if (g_Settings) {
        m_entries = g_Settings->SoundFonts;
        m_portCount = g_Settings->DevicesCount.Get();
    }
    HWND list = ::GetDlgItem(m_hWnd, IDC_SF_LIST);
    m_list.Attach(list);
    m_list.Bind(&m_entries, m_portCount);
    m_list.SetDroppedFileHandler([this](const std::wstring& path) {
        AddFile(path);
        Changed();
        m_list.SelectOnly(m_list.Count() - 1);
        UpdateButtons();
    });
    ::DragAcceptFiles(list, TRUE);

    SetMinWindowRect({0, 0, Scale(300), Scale(200)});
    Resizer().Initialize(m_hWnd, {0, 0, Scale(300), Scale(200)});
    Resizer().AddChild(::GetDlgItem(m_hWnd, IDC_SF_HEADING), Win32xx::kAnchorTopLeft);
    Resizer().AddChild(list, Win32xx::kAnchorAll);
    for (const ButtonInfo& b : kButtons)
        Resizer().AddChild(::GetDlgItem(m_hWnd, b.id), Win32xx::kAnchorRight | Win32xx::kAnchorTop);
    Resizer().AddChild(::GetDlgItem(m_hWnd, IDC_SF_INFO), Win32xx::kAnchorLeft | Win32xx::kAnchorRight | Win32xx::kAnchorBottom);

    m_tips.Create(m_hWnd);
    ApplyLanguage();
    m_list.UpdateMetrics(GetScale());
    m_list.Refill();
    UpdateButtons();
    return TRUE;
}

void CConfiguratorTabSoundFonts::ApplyLanguage()
{
    CConfiguratorTabBase::ApplyLanguage();
    for (const ButtonInfo& b : kButtons)
        m_tips.SetTip(::GetDlgItem(m_hWnd, b.id), GetText(b.tip));
}

void CConfiguratorTabSoundFonts::AfterDpiChange() { m_list.UpdateMetrics(GetScale()); }

void CConfiguratorTabSoundFonts::Changed()
{
    SetModified(true);
}

void CConfiguratorTabSoundFonts::UpdateButtons()
{
    const std::vector<int> selection = m_list.Selection();
    const int count = m_list.Count();
    const bool consecutive = IsConsecutiveSelection(selection);
    auto enable = [&](int id, bool on) { ::EnableWindow(::GetDlgItem(m_hWnd, id), on); };
    enable(IDC_SF_ADD, true);
    enable(IDC_SF_REMOVE, !selection.empty());
    enable(IDC_SF_EDIT, selection.size() == 1);
    enable(IDC_SF_UP, consecutive && selection.front() != 0);
    enable(IDC_SF_DOWN, consecutive && selection.back() != count - 1);
}

void CConfiguratorTabSoundFonts::AddFile(const std::wstring& path)
{
    SoundFontEntry entry;
    entry.FileName = path;
    entry.EnabledPorts = PortMask(m_portCount);
    entry.XgDrums = DetectXgDrums(path) ? 1 : 0;
    entry.FileSize = SoundFontFileSize(path);
    m_entries.push_back(std::move(entry));
    m_list.Refill();
}

void CConfiguratorTabSoundFonts::AddFiles(const std::vector<std::wstring>& paths)
{
    if (paths.empty())
        return;
    for (const std::wstring& path : paths)
        AddFile(path);
    Changed();
    m_list.SelectOnly(m_list.Count() - 1);
    UpdateButtons();
}

void CConfiguratorTabSoundFonts::RemoveSelected()
{
    const std::vector<int> selection = m_list.Selection();
    if (selection.empty())
        return;
    for (auto it = selection.rbegin(); it != selection.rend(); ++it)
        if (static_cast<size_t>(*it) < m_entries.size())
            m_entries.erase(m_entries.begin() + *it);
    m_list.Refill();
    m_list.ClearSelection();
    if (m_list.Count() > 0)
        m_list.SelectOnly(std::min(std::max(selection.front() - 1, 0), m_list.Count() - 1));
    Changed();
    UpdateButtons();
}

void CConfiguratorTabSoundFonts::MoveUp()
{
    const std::vector<int> selection = m_list.Selection();
    if (selection.empty() || selection.front() == 0)
        return;
    for (int index : selection)
        std::swap(m_entries[static_cast<size_t>(index)], m_entries[static_cast<size_t>(index - 1)]);
    m_list.SetSelected(selection.front() - 1, true);
    m_list.SetSelected(selection.back(), false);
    ::InvalidateRect(m_list.GetHwnd(), nullptr, FALSE);
    UpdateButtons();
    Changed();
}

void CConfiguratorTabSoundFonts::MoveDown()
{
    const std::vector<int> selection = m_list.Selection();
    if (selection.empty() || selection.back() >= m_list.Count() - 1)
        return;
    for (auto it = selection.rbegin(); it != selection.rend(); ++it)
        std::swap(m_entries[static_cast<size_t>(*it)], m_entries[static_cast<size_t>(*it + 1)]);
    m_list.SetSelected(selection.back() + 1, true);
    m_list.SetSelected(selection.front(), false);
    ::InvalidateRect(m_list.GetHwnd(), nullptr, FALSE);
    UpdateButtons();
    Changed();
}

void CConfiguratorTabSoundFonts::EditSelected()
{
    const std::vector<int> selection = m_list.Selection();
    if (selection.size() != 1)
        return;
    if (EditSoundFont(m_entries[static_cast<size_t>(selection.front())], m_hWnd)) {
        ::InvalidateRect(m_list.GetHwnd(), nullptr, FALSE);
        Changed();
    }
}

void CConfiguratorTabSoundFonts::Import()
{
    const auto path = OpenFileDialog(m_hWnd, GetText(L"cfg.sf.importTitle"), ListFileFilter(true), L"tslsf");
    if (!path)
        return;
    std::wstring error;
    if (!ImportSoundFontList(*path, m_portCount, m_entries, error)) {
        ShowMessage(error, MB_OK | MB_ICONERROR, m_hWnd);
        return;
    }
    m_list.Refill();
    Changed();
    UpdateButtons();
}

void CConfiguratorTabSoundFonts::Export()
{
    const auto path = SaveFileDialog(m_hWnd, GetText(L"cfg.sf.exportTitle"), ListFileFilter(false), L"tslsf");
    if (!path)
        return;
    std::wstring error;
    if (!ExportSoundFontList(*path, m_entries, m_portCount, error))
        ShowMessage(error, MB_OK | MB_ICONERROR, m_hWnd);
}

bool CConfiguratorTabSoundFonts::Save(UINT)
{
    if (!IsModified())
        return true;
    if (g_Engine) {
        size_t duplicate = 0;
        if (!g_Engine->ApplySoundFontList(m_entries, m_hWnd, &duplicate)) {
            if (duplicate < m_entries.size()) {
                m_list.SelectOnly(static_cast<int>(duplicate));
                UpdateButtons();
            }
            return false;
        }
        // Fonts that failed to load came back disabled or without preloading:
        // the page shows what the synth now uses.
        if (g_Settings && g_Settings->SoundFonts.size() == m_entries.size()) {
            for (size_t i = 0; i < m_entries.size(); ++i) {
                m_entries[i].EnabledPorts = g_Settings->SoundFonts[i].EnabledPorts;
                m_entries[i].Preload = g_Settings->SoundFonts[i].Preload;
            }
            ::InvalidateRect(m_list.GetHwnd(), nullptr, FALSE);
        }
    }
    SetModified(false);
    return true;
}

INT_PTR CConfiguratorTabSoundFonts::DialogProc(UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDC_SF_LIST:
            if (HIWORD(wparam) == kPortsChangedCode)
                Changed();
            else if (HIWORD(wparam) == LBN_SELCHANGE)
                UpdateButtons();
            return TRUE;
        case IDC_SF_ADD:
            AddFiles(OpenFilesDialog(m_hWnd, GetText(L"cfg.sf.addSoundfontsTitle"),
                                     GetText(L"common.filter.soundfontFiles") + L" (*.sf2;*.sfz)|*.sf2;*.sfz|" +
                                         GetText(L"common.filter.allFiles") + L" (*.*)|*.*|"));
            return TRUE;
        case IDC_SF_REMOVE:
            RemoveSelected();
            return TRUE;
        case IDC_SF_EDIT:
            EditSelected();
            return TRUE;
        case IDC_SF_UP:
            MoveUp();
            return TRUE;
        case IDC_SF_DOWN:
            MoveDown();
            return TRUE;
        case IDC_SF_IMPORT:
            Import();
            return TRUE;
        case IDC_SF_EXPORT:
            Export();
            return TRUE;
        }
        break;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
        if (item->CtlID == IDC_SF_LIST) {
            m_list.DrawItem(*item);
            return TRUE;
        }
        for (const ButtonInfo& b : kButtons)
            if (static_cast<int>(item->CtlID) == b.id) {
                DrawGlyphButton(*item, b.glyph, Scale(16));
                return TRUE;
            }
        break;
    }
    }
    return CConfiguratorTabBase::DialogProc(msg, wparam, lparam);
}
