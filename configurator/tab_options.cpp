#include "configurator/tab_options.h"

#include <commctrl.h>

#include <algorithm>
#include <cwctype>

#include "configurator/blacklist_editor.h"
#include "configurator/configurator.h"
#include "configurator/resource_ids.h"
#include "core/language.h"
#include "core/settings.h"
#include "synth/synth_engine.h"
#include "ui/window_text.h"

namespace {

using Kind = CConfiguratorTabOptions::RowKind;
using Row = CConfiguratorTabOptions::Row;

// The ids of the option table; a row's label and spin carry derived ids so
// tests and accessibility tools can find them.
constexpr int kLabelIdOffset = 2000;
constexpr int kSpinIdOffset = 3000;

enum : int {
    kGroupDevice = 1092, kDevicesCount = 1018, kOutputDevice = 1015, kOutputBuffer = 1025, kHwMixer = 1029,
    kOutputRate = 1022, kBlacklist = 1085,
    kGroupSynthesis = 1059, kDisableEffects = 1012, kDisableStereo = 1013, kVoicesLimit = 1020,
    kReleaseOnlyLast = 1042, kSincInterpolation = 1044, kCpuLimit = 1026, kForce8Bit = 1014, kEventsSync = 1109,
    kGroupEffects = 1055, kReverb = 1028, kChorus = 1030, kOverrideSysex = 1038, kMasterReverb = 1110,
    kGroupAppearance = 1093, kLanguage = 1016, kAutostart = 1037, kDisableVuMeter = 1017, kSnapWindows = 1041,
};

std::vector<Row> OptionRows()
{
    return {
        {Kind::Group, kGroupDevice, L"cfg.adv.grpDevice", 0, nullptr},
        {Kind::List, kDevicesCount, L"cfg.opt.devicesCount", 35, nullptr},
        {Kind::Button, kOutputDevice, L"cfg.opt.audioOutDevice", 200, nullptr},
        {Kind::Number, kOutputBuffer, L"cfg.adv.outputBuffer", 60, &CSettings::AdditionalBuffer},
        {Kind::Check, kHwMixer, L"cfg.opt.hwMixer", 0, &CSettings::EnableHardwareMixer},
        {Kind::List, kOutputRate, L"cfg.adv.outputRate", 60, nullptr},
        {Kind::Button, kBlacklist, L"cfg.adv.blacklist", 45, nullptr},
        {Kind::Group, kGroupSynthesis, L"cfg.opt.grpSynthesis", 0, nullptr},
        {Kind::Check, kDisableEffects, L"cfg.adv.disableEffects", 0, &CSettings::DisableMidiEffects},
        {Kind::Check, kDisableStereo, L"cfg.adv.disableStereo", 0, &CSettings::DisableStereo},
        {Kind::Number, kVoicesLimit, L"cfg.adv.voicesLimit", 70, &CSettings::VoicesLimit},
        {Kind::Check, kReleaseOnlyLast, L"cfg.adv.releaseOnlyLast", 0, &CSettings::ReleaseOnlyLast},
        {Kind::Check, kSincInterpolation, L"cfg.adv.sincInterpolatedMix", 0, &CSettings::SincInterpolatedMix},
        {Kind::Number, kCpuLimit, L"cfg.adv.cpuLimit", 50, &CSettings::CpuLimit},
        {Kind::Check, kForce8Bit, L"cfg.adv.force8bit", 0, &CSettings::Force8BitSamples},
        {Kind::Check, kEventsSync, L"cfg.adv.disableMidiEventsAsync", 0, &CSettings::DisableMidiEventsAsync},
        {Kind::Group, kGroupEffects, L"cfg.opt.effects", 0, nullptr},
        {Kind::Number, kReverb, L"cfg.opt.reverb", 50, &CSettings::ReverbLevel},
        {Kind::Number, kChorus, L"cfg.opt.chorus", 50, &CSettings::ChorusLevel},
        {Kind::Check, kOverrideSysex, L"cfg.opt.overrideSysex", 0, &CSettings::ReverbChorusOverride},
        {Kind::Number, kMasterReverb, L"cfg.opt.masterReverb", 50, &CSettings::MasterReverb},
        {Kind::Group, kGroupAppearance, L"cfg.opt.grpAppearance", 0, nullptr},
        {Kind::List, kLanguage, L"cfg.opt.language", 200, nullptr},
        {Kind::Check, kAutostart, L"cfg.adv.autostartAtLogon", 0, nullptr},
        {Kind::Check, kDisableVuMeter, L"cfg.adv.disableVUMeter", 0, &CSettings::DisableVUMeter},
        {Kind::Check, kSnapWindows, L"cfg.adv.snapWindows", 0, &CSettings::SnapWindows},
    };
}

// The order Save writes the check and number rows in.
constexpr int kSaveOrder[] = {kHwMixer,       kReverb,       kChorus,      kOverrideSysex, kMasterReverb,
                              kDisableEffects, kDisableStereo, kForce8Bit,   kEventsSync,    kDisableVuMeter,
                              kSnapWindows,   kVoicesLimit,  kReleaseOnlyLast, kSincInterpolation, kCpuLimit,
                              kOutputBuffer};

constexpr DWORD kRates[] = {48000, 44100, 22050};

int AddItem(HWND combo, const std::wstring& text, LPARAM value)
{
    const auto index = static_cast<int>(::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    ::SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(index), value);
    return index;
}

// The item whose value is `value`, or -1.
int FindValue(HWND combo, LPARAM value)
{
    const auto count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        if (::SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == value)
            return i;
    return -1;
}

int Selected(HWND combo) { return static_cast<int>(::SendMessageW(combo, CB_GETCURSEL, 0, 0)); }

}  // namespace

DWORD NumberRowValue(const std::wstring& text, DWORD minimum, DWORD maximum, DWORD current)
{
    size_t begin = 0, end = text.size();
    while (begin < end && std::iswspace(static_cast<wint_t>(text[begin])))
        ++begin;
    while (end > begin && std::iswspace(static_cast<wint_t>(text[end - 1])))
        --end;
    if (begin == end)
        return current;
    bool negative = false;
    if (text[begin] == L'-' || text[begin] == L'+') {
        negative = text[begin] == L'-';
        ++begin;
    }
    if (begin == end)
        return current;
    unsigned long long value = 0;
    for (size_t i = begin; i < end; ++i) {
        if (text[i] < L'0' || text[i] > L'9')
            return current;
        value = std::min<unsigned long long>(value * 10 + static_cast<unsigned>(text[i] - L'0'), 0xFFFFFFFFull + 1);
    }
    if (negative && value != 0)
        return minimum;
    return static_cast<DWORD>(std::clamp<unsigned long long>(value, minimum, maximum));
}

CConfiguratorTabOptions::CConfiguratorTabOptions(CConfigurator& owner) : CConfiguratorTabBase(IDD_PAGE_OPTIONS, owner)
{
}

CConfiguratorTabOptions::Row* CConfiguratorTabOptions::FindRow(int id)
{
    for (Row& row : m_rows)
        if (row.id == id)
            return &row;
    return nullptr;
}

BOOL CConfiguratorTabOptions::OnInitDialog()
{
    CreateRows();
    LoadValues();
    ApplyLanguage();
    Layout();
    return TRUE;
}

void CConfiguratorTabOptions::CreateRows()
{
    m_rows = OptionRows();
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    HFONT font = DialogFont();
    LOGFONTW lf{};
    if (font && ::GetObjectW(font, sizeof lf, &lf)) {
        lf.lfWeight = FW_BOLD;
        m_boldFont.Reset(::CreateFontIndirectW(&lf));
    }
    auto make = [&](const wchar_t* cls, DWORD style, int id, DWORD exStyle = 0) {
        HWND w = ::CreateWindowExW(exStyle, cls, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, m_hWnd,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return w;
    };
    for (Row& row : m_rows) {
        switch (row.kind) {
        case Kind::Group:
            row.control = make(WC_BUTTONW, BS_GROUPBOX, row.id);
            if (m_boldFont)
                ::SendMessageW(row.control, WM_SETFONT, reinterpret_cast<WPARAM>(m_boldFont.Get()), FALSE);
            break;
        case Kind::Check:
            row.control = make(WC_BUTTONW, BS_AUTOCHECKBOX | BS_MULTILINE | WS_TABSTOP, row.id);
            break;
        case Kind::List:
            row.label = make(WC_STATICW, SS_LEFT, row.id + kLabelIdOffset);
            row.control = make(WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, row.id);
            break;
        case Kind::Button:
            row.label = make(WC_STATICW, SS_LEFT, row.id + kLabelIdOffset);
            row.control = make(WC_BUTTONW, (row.id == kOutputDevice ? BS_OWNERDRAW : BS_PUSHBUTTON) | WS_TABSTOP, row.id);
            break;
        case Kind::Number: {
            row.label = make(WC_STATICW, SS_LEFT, row.id + kLabelIdOffset);
            row.control = make(WC_EDITW, ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP, row.id, WS_EX_CLIENTEDGE);
            row.spin = make(UPDOWN_CLASSW, UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS, row.id + kSpinIdOffset);
            CIntSetting& setting = g_Settings->*row.setting;
            ::SendMessageW(row.spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(row.control), 0);
            ::SendMessageW(row.spin, UDM_SETRANGE32, setting.Minimum(), static_cast<LPARAM>(setting.Maximum()));
            break;
        }
        }
    }
    HWND rates = FindRow(kOutputRate)->control;
    for (DWORD rate : kRates)
        AddItem(rates, std::to_wstring(rate), static_cast<LPARAM>(rate));
    HWND ports = FindRow(kDevicesCount)->control;
    for (DWORD n = 1; n <= kMaxPorts; ++n)
        AddItem(ports, std::to_wstring(n), static_cast<LPARAM>(n));
    HWND languages = FindRow(kLanguage)->control;
    for (const auto& [id, name] : EnumLanguages())
        AddItem(languages, name, static_cast<LPARAM>(id));
    m_devices.Attach(FindRow(kOutputDevice)->control);
}

void CConfiguratorTabOptions::LoadValues()
{
    if (!g_Settings)
        return;
    m_loading = true;
    CSettings& s = *g_Settings;
    for (Row& row : m_rows) {
        if (!row.setting)
            continue;
        const DWORD value = (s.*row.setting).Get();
        if (row.kind == Kind::Check)
            ::SendMessageW(row.control, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
        else if (row.kind == Kind::Number)
            ::SetWindowTextW(row.control, std::to_wstring(value).c_str());
    }
    ::SendMessageW(FindRow(kDevicesCount)->control, CB_SETCURSEL, s.DevicesCount.Get() - 1, 0);
    // A rate or language that is not in its list leaves the list without a selection.
    ::SendMessageW(FindRow(kOutputRate)->control, CB_SETCURSEL,
                   static_cast<WPARAM>(FindValue(FindRow(kOutputRate)->control, s.OutputSampleRate.Get())), 0);
    ::SendMessageW(FindRow(kLanguage)->control, CB_SETCURSEL,
                   static_cast<WPARAM>(FindValue(FindRow(kLanguage)->control, s.LangID.Get())), 0);
    ::SendMessageW(FindRow(kAutostart)->control, BM_SETCHECK, s.IsStartWithLogon() ? BST_CHECKED : BST_UNCHECKED, 0);
    m_devices.SetPorts(s.PortDevices, s.DevicesCount.Get());
    m_loading = false;
}

void CConfiguratorTabOptions::ResetToDefaults()
{
    m_loading = true;
    for (Row& row : m_rows) {
        if (!row.setting)
            continue;
        const DWORD value = (g_Settings->*row.setting).Default();
        if (row.kind == Kind::Check)
            ::SendMessageW(row.control, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
        else if (row.kind == Kind::Number)
            ::SetWindowTextW(row.control, std::to_wstring(value).c_str());
    }
    ::SendMessageW(FindRow(kDevicesCount)->control, CB_SETCURSEL, 0, 0);
    ::SendMessageW(FindRow(kOutputRate)->control, CB_SETCURSEL,
                   static_cast<WPARAM>(FindValue(FindRow(kOutputRate)->control, g_Settings->OutputSampleRate.Default())), 0);
    m_loading = false;
    SetModified(true);
}

std::wstring CConfiguratorTabOptions::RowText(const Row& row) const
{
    if (row.id == kOutputBuffer || row.id == kVoicesLimit)
        return GetText(row.key, std::to_wstring((g_Settings->*row.setting).Maximum()));
    return GetText(row.key);
}

void CConfiguratorTabOptions::ApplyLanguage()
{
    CConfiguratorTabBase::ApplyLanguage();
    for (const Row& row : m_rows) {
        const std::wstring text = RowText(row);
        ::SetWindowTextW(row.label ? row.label : row.control, text.c_str());
        if (row.kind == Kind::Button && row.id != kOutputDevice)
            ::SetWindowTextW(row.control, L"...");
    }
}

void CConfiguratorTabOptions::AfterDpiChange()
{
    LOGFONTW lf{};
    if (HFONT font = DialogFont(); font && ::GetObjectW(font, sizeof lf, &lf)) {
        lf.lfWeight = FW_BOLD;
        CFont bold(::CreateFontIndirectW(&lf));
        for (const Row& row : m_rows)
            if (row.kind == Kind::Group && bold)
                ::SendMessageW(row.control, WM_SETFONT, reinterpret_cast<WPARAM>(bold.Get()), TRUE);
        // The groups let go of the old font first.
        m_boldFont = std::move(bold);
    }
    Layout();
}

void CConfiguratorTabOptions::Layout()
{
    if (m_inLayout || m_rows.empty())
        return;
    m_inLayout = true;
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    const int width = std::max<int>(client.right, Scale(300));
    const int margin = Scale(10), pad = Scale(8), gap = Scale(4);
    HDC dc = ::GetDC(m_hWnd);
    HGDIOBJ old = ::SelectObject(dc, DialogFont());
    TEXTMETRICW tm{};
    ::GetTextMetricsW(dc, &tm);
    const int line = tm.tmHeight;
    const int rowHeight = line + Scale(10);

    HWND reset = ::GetDlgItem(m_hWnd, IDC_OPT_RESET);
    RECT resetRect{};
    ::GetWindowRect(reset, &resetRect);
    const int resetHeight = resetRect.bottom - resetRect.top;
    ::SetWindowPos(reset, nullptr, margin, margin - m_scroll, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    int y = margin + resetHeight + margin;
    HWND group = nullptr;
    int groupTop = 0;
    auto closeGroup = [&] {
        if (group) {
            ::MoveWindow(group, margin, groupTop - m_scroll, width - 2 * margin, y + pad - groupTop, TRUE);
            y += pad + gap * 2;
        }
    };
    const int inner = margin + pad;
    const int right = width - margin - pad;
    for (Row& row : m_rows) {
        switch (row.kind) {
        case Kind::Group:
            closeGroup();
            group = row.control;
            groupTop = y;
            y += line + gap;
            break;
        case Kind::Check: {
            RECT measure = {0, 0, right - inner - Scale(20), 0};
            const std::wstring text = WindowTextOf(row.control);
            ::DrawTextW(dc, text.c_str(), -1, &measure, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
            const int h = std::max<int>(rowHeight - Scale(4), measure.bottom + Scale(4));
            ::MoveWindow(row.control, inner, y - m_scroll, right - inner, h, TRUE);
            y += h + gap;
            break;
        }
        case Kind::List:
        case Kind::Button:
        case Kind::Number: {
            const int controlWidth = Scale(row.width96);
            const int spinWidth = row.spin ? Scale(16) : 0;
            const int controlLeft = right - controlWidth - spinWidth;
            ::MoveWindow(row.label, inner, y - m_scroll + (rowHeight - line) / 2, std::max(0, controlLeft - inner - gap), line, TRUE);
            if (row.kind == Kind::List)
                ::MoveWindow(row.control, controlLeft, y - m_scroll, controlWidth, rowHeight + Scale(200), TRUE);
            else
                ::MoveWindow(row.control, controlLeft, y - m_scroll, controlWidth, rowHeight - Scale(2), TRUE);
            if (row.spin)
                ::MoveWindow(row.spin, controlLeft + controlWidth, y - m_scroll, spinWidth, rowHeight - Scale(2), TRUE);
            y += rowHeight + gap;
            break;
        }
        }
    }
    closeGroup();
    ::SelectObject(dc, old);
    ::ReleaseDC(m_hWnd, dc);

    m_contentHeight = y + margin;
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = m_contentHeight - 1;
    si.nPage = static_cast<UINT>(std::max<LONG>(client.bottom, 1));
    const int maxScroll = std::max(0, m_contentHeight - static_cast<int>(client.bottom));
    if (m_scroll > maxScroll) {
        m_scroll = maxScroll;
        m_inLayout = false;
        Layout();
        return;
    }
    si.nPos = m_scroll;
    ::SetScrollInfo(m_hWnd, SB_VERT, &si, TRUE);
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    m_inLayout = false;
}

void CConfiguratorTabOptions::OnVScroll(WORD code)
{
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    ::GetScrollInfo(m_hWnd, SB_VERT, &si);
    int pos = si.nPos;
    const int step = Scale(20);
    switch (code) {
    case SB_LINEUP: pos -= step; break;
    case SB_LINEDOWN: pos += step; break;
    case SB_PAGEUP: pos -= static_cast<int>(si.nPage); break;
    case SB_PAGEDOWN: pos += static_cast<int>(si.nPage); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: pos = si.nTrackPos; break;
    case SB_TOP: pos = 0; break;
    case SB_BOTTOM: pos = si.nMax; break;
    case SB_ENDSCROLL: ::InvalidateRect(m_hWnd, nullptr, TRUE); return;
    default: return;
    }
    pos = std::clamp(pos, 0, std::max(0, si.nMax + 1 - static_cast<int>(si.nPage)));
    if (pos == m_scroll)
        return;
    m_scroll = pos;
    Layout();
}

bool CConfiguratorTabOptions::Save(UINT)
{
    if (!IsModified() || !g_Settings)
        return true;
    CSettings& s = *g_Settings;
    for (int id : kSaveOrder) {
        Row* row = FindRow(id);
        CIntSetting& setting = s.*row->setting;
        if (row->kind == Kind::Check)
            setting.Set(::SendMessageW(row->control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
        else
            setting.Set(NumberRowValue(WindowTextOf(row->control), setting.Minimum(), setting.Maximum(), setting.Get()));
    }
    const bool autostart = ::SendMessageW(FindRow(kAutostart)->control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (autostart != s.IsStartWithLogon())
        s.SetStartWithLogon(autostart);

    // A list without a selection (a stored rate or language it does not hold)
    // keeps the stored value: storing "nothing" would store 0.
    HWND rates = FindRow(kOutputRate)->control;
    if (const int rate = Selected(rates); rate >= 0)
        s.OutputSampleRate.Set(static_cast<DWORD>(::SendMessageW(rates, CB_GETITEMDATA, static_cast<WPARAM>(rate), 0)));

    s.PortDevices = m_devices.Ports();
    s.SaveOutputDevices();

    if (const int ports = Selected(FindRow(kDevicesCount)->control); ports >= 0) {
        const DWORD count = static_cast<DWORD>(ports) + 1;
        if (count != s.DevicesCount.Get()) {
            s.DevicesCount.Set(count);
            if (g_Engine)
                g_Engine->CreatePorts();
        }
    }
    HWND languages = FindRow(kLanguage)->control;
    if (const int language = Selected(languages); language >= 0)
        s.LangID.Set(static_cast<DWORD>(::SendMessageW(languages, CB_GETITEMDATA, static_cast<WPARAM>(language), 0)));

    SetModified(false);
    return true;
}

INT_PTR CConfiguratorTabOptions::DialogProc(UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_COMMAND: {
        const int id = LOWORD(wparam);
        const WORD code = HIWORD(wparam);
        if (id == IDC_OPT_RESET && code == BN_CLICKED) {
            ResetToDefaults();
            return TRUE;
        }
        if (id == kBlacklist && code == BN_CLICKED) {
            if (EditClientBlacklist(m_hWnd))
                SetModified(true);
            return TRUE;
        }
        if (id == kOutputDevice && code == BN_CLICKED) {
            if (m_devices.Choose())
                SetModified(true);
            return TRUE;
        }
        if (!m_loading && lparam != 0 && (code == BN_CLICKED || code == EN_CHANGE || code == CBN_SELCHANGE))
            SetModified(true);
        break;
    }
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
        if (static_cast<int>(item->CtlID) == kOutputDevice) {
            m_devices.Draw(*item);
            return TRUE;
        }
        break;
    }
    case WM_VSCROLL:
        if (lparam == 0) {
            OnVScroll(LOWORD(wparam));
            return TRUE;
        }
        break;
    case WM_SIZE: {
        const INT_PTR result = CConfiguratorTabBase::DialogProc(msg, wparam, lparam);
        Layout();
        return result;
    }
    }
    return CConfiguratorTabBase::DialogProc(msg, wparam, lparam);
}
