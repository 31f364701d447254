#include "configurator/soundfont_editor.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <optional>
#include <vector>

#include "configurator/resource_ids.h"
#include "core/language.h"
#include "ui/win32xx/dialog.h"
#include "ui/window_text.h"

namespace {

std::wstring Widen(const char* text)
{
    // The soundfont's own texts are 8-bit; a font without one gives null.
    if (!text || !*text)
        return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 1)
        return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length) - 1);
    return wide;
}

std::wstring Trimmed(const std::wstring& text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && std::iswspace(static_cast<wint_t>(text[begin])))
        ++begin;
    while (end > begin && std::iswspace(static_cast<wint_t>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

std::optional<int> ParseInt(const std::wstring& text)
{
    if (text.empty())
        return std::nullopt;
    wchar_t* end = nullptr;
    const long long value = std::wcstoll(text.c_str(), &end, 10);
    if (!end || *end != L'\0' || end == text.c_str())
        return std::nullopt;
    return static_cast<int>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

bool SameFileName(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

class CSoundFontEditor : public Win32xx::CDialog {
public:
    explicit CSoundFontEditor(SoundFontEntry copy) : CDialog(IDD_SOUNDFONT_EDITOR), m_entry(std::move(copy)) {}
    const SoundFontEntry& Entry() const { return m_entry; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    INT_PTR DialogProc(UINT msg, WPARAM wparam, LPARAM lparam) override;

private:
    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void SetNumber(int id, int value);
    std::optional<int> Number(int id) const { return ParseInt(Trimmed(WindowTextOf(Item(id)))); }
    int CurrentPreset() const;
    void UpdateBankLabel();
    void ClampAll();
    void ClampOne(int id, int minimum, int maximum);
    void ResetToDefaults();

    SoundFontEntry m_entry;
    bool m_clamping = false;
};

void CSoundFontEditor::SetNumber(int id, int value)
{
    ::SetWindowTextW(Item(id), std::to_wstring(value).c_str());
}

int CSoundFontEditor::CurrentPreset() const
{
    return std::clamp(Number(IDC_ED_PRESET).value_or(m_entry.Preset), kPresetMin, kPresetMax);
}

BOOL CSoundFontEditor::OnInitDialog()
{
    TranslateWindow(m_hWnd);
    m_clamping = true;
    const std::pair<int, int> spins[] = {{IDC_ED_PRESET_SPIN, IDC_ED_PRESET}, {IDC_ED_BANK_SPIN, IDC_ED_BANK},
                                         {IDC_ED_VOLUME_SPIN, IDC_ED_VOLUME}};
    for (const auto& [spin, edit] : spins)
        ::SendMessageW(Item(spin), UDM_SETBUDDY, reinterpret_cast<WPARAM>(Item(edit)), 0);
    ::SendMessageW(Item(IDC_ED_PRESET_SPIN), UDM_SETRANGE32, static_cast<WPARAM>(kPresetMin), kPresetMax);
    ::SendMessageW(Item(IDC_ED_VOLUME_SPIN), UDM_SETRANGE32, static_cast<WPARAM>(kVolumeMin), kVolumeMax);
    ::SetWindowTextW(Item(IDC_ED_FILE), m_entry.FileName.c_str());
    SetNumber(IDC_ED_PRESET, m_entry.Preset);
    SetNumber(IDC_ED_BANK, m_entry.Bank);
    SetNumber(IDC_ED_VOLUME, m_entry.Volume);
    ::CheckDlgButton(m_hWnd, IDC_ED_XGDRUMS, m_entry.XgDrums ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(m_hWnd, IDC_ED_PRELOAD, m_entry.Preload ? BST_CHECKED : BST_UNCHECKED);
    m_clamping = false;
    UpdateBankLabel();
    ClampAll();
    ::SetWindowTextW(Item(IDC_ED_INFO), SoundFontInfoText(m_entry.FileName, static_cast<HSOUNDFONT>(m_entry.Font)).c_str());
    ::SetWindowTextW(Item(IDC_ED_PRESET_LABEL), GetText(L"cfg.sf.presetLabel", L"-1", L"127").c_str());
    ::SetWindowTextW(Item(IDC_ED_VOLUME_LABEL), GetText(L"cfg.sf.volumeLabel", L"0", L"500").c_str());
    return TRUE;
}

void CSoundFontEditor::UpdateBankLabel()
{
    const int preset = CurrentPreset();
    const std::wstring label = preset == -1 ? GetText(L"cfg.sf.bankOffsetLabel", L"-128", L"255", L"-1")
                                            : GetText(L"cfg.sf.bankLabel", L"0", L"128", L"-1");
    ::SetWindowTextW(Item(IDC_ED_BANK_LABEL), label.c_str());
    ::SendMessageW(Item(IDC_ED_BANK_SPIN), UDM_SETRANGE32, static_cast<WPARAM>(BankMin(preset)), BankMax(preset));
}

void CSoundFontEditor::ClampOne(int id, int minimum, int maximum)
{
    HWND edit = Item(id);
    const std::optional<int> value = Number(id);
    // A text being typed ("", "-") is left alone until it is a number.
    if (!value)
        return;
    const int clamped = std::clamp(*value, minimum, maximum);
    const std::wstring text = std::to_wstring(clamped);
    if (WindowTextOf(edit) == text)
        return;
    DWORD start = 0, end = 0;
    ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    ::SetWindowTextW(edit, text.c_str());
    if (start == 0 && end == 0)
        start = end = static_cast<DWORD>(text.size());
    ::SendMessageW(edit, EM_SETSEL, start, end);
    ::SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

void CSoundFontEditor::ClampAll()
{
    // Rewriting an edit's text raises another change notification.
    if (m_clamping)
        return;
    m_clamping = true;
    ClampOne(IDC_ED_PRESET, kPresetMin, kPresetMax);
    const int preset = CurrentPreset();
    ClampOne(IDC_ED_BANK, BankMin(preset), BankMax(preset));
    ClampOne(IDC_ED_VOLUME, kVolumeMin, kVolumeMax);
    m_clamping = false;
}

void CSoundFontEditor::ResetToDefaults()
{
    SetNumber(IDC_ED_PRESET, -1);
    SetNumber(IDC_ED_BANK, 0);
    SetNumber(IDC_ED_VOLUME, 100);
    ::CheckDlgButton(m_hWnd, IDC_ED_PRELOAD, BST_CHECKED);
    ::CheckDlgButton(m_hWnd, IDC_ED_XGDRUMS, BST_UNCHECKED);
}

void CSoundFontEditor::OnOK()
{
    std::wstring path = WindowTextOf(Item(IDC_ED_FILE));
    if (path.size() > MAX_PATH - 1)
        path.resize(MAX_PATH - 1);
    if (!path.empty())
        m_entry.FileName = path;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (::GetFileAttributesExW(m_entry.FileName.c_str(), GetFileExInfoStandard, &data))
        m_entry.FileSize = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    ClampAll();
    m_entry.Preset = CurrentPreset();
    m_entry.Bank = std::clamp(Number(IDC_ED_BANK).value_or(m_entry.Bank), BankMin(m_entry.Preset), BankMax(m_entry.Preset));
    m_entry.Volume = std::clamp(Number(IDC_ED_VOLUME).value_or(m_entry.Volume), kVolumeMin, kVolumeMax);
    m_entry.Preload = ::IsDlgButtonChecked(m_hWnd, IDC_ED_PRELOAD) == BST_CHECKED ? 1 : 0;
    m_entry.XgDrums = ::IsDlgButtonChecked(m_hWnd, IDC_ED_XGDRUMS) == BST_CHECKED ? 1 : 0;
    EndDialog(IDOK);
}

INT_PTR CSoundFontEditor::DialogProc(UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_COMMAND) {
        const int id = LOWORD(wparam);
        if (HIWORD(wparam) == EN_CHANGE && (id == IDC_ED_PRESET || id == IDC_ED_BANK || id == IDC_ED_VOLUME)) {
            if (!m_clamping) {
                if (id == IDC_ED_PRESET)
                    UpdateBankLabel();
                ClampAll();
            }
            return TRUE;
        }
        if (id == IDC_ED_RESET && HIWORD(wparam) == BN_CLICKED) {
            ResetToDefaults();
            return TRUE;
        }
    }
    if (msg == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lparam) == Item(IDC_ED_INFO)) {
        HDC dc = reinterpret_cast<HDC>(wparam);
        ::SetBkColor(dc, RGB(255, 255, 255));
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<INT_PTR>(::GetStockObject(WHITE_BRUSH));
    }
    return CDialog::DialogProc(msg, wparam, lparam);
}

}  // namespace

std::wstring SoundFontInfoText(const std::wstring& path, HSOUNDFONT font)
{
    HSOUNDFONT opened = 0;
    if (!font) {
        opened = BASS_MIDI_FontInit(path.c_str(), BASS_UNICODE);
        font = opened;
    }
    if (!font)
        return {};
    std::wstring text;
    BASS_MIDI_FONTINFO info{};
    if (BASS_MIDI_FontGetInfo(font, &info)) {
        text += L"Name: " + Widen(info.name) + L"\r\n";
        text += L"Copyright: " + Widen(info.copyright) + L"\r\n";
        text += L"Comment: " + Widen(info.comment) + L"\r\n";
        text += L"Sample data size: " + std::to_wstring(info.samsize) + L" bytes\r\n";
        text += std::wstring(L"Compressed samples: ") + (info.samtype != 0 ? L"Yes" : L"No") + L"\r\n";
        text += L"\r\nSoundfont contains " + std::to_wstring(info.presets) + L" presets:\r\n";
        text += L"(bank:preset = name)\r\n----------------------------------\r\n";
        std::vector<DWORD> presets(info.presets);
        if (!presets.empty() && BASS_MIDI_FontGetPresets(font, presets.data())) {
            for (DWORD p : presets) {
                const int preset = static_cast<int>(LOWORD(p)), bank = static_cast<int>(HIWORD(p));
                text += std::to_wstring(bank) + L":" + std::to_wstring(preset) + L" = " +
                        Widen(BASS_MIDI_FontGetPreset(font, preset, bank)) + L"\r\n";
            }
        }
    }
    if (opened)
        BASS_MIDI_FontFree(opened);
    return Trimmed(text);
}

bool EditSoundFont(SoundFontEntry& entry, HWND parent)
{
    CSoundFontEditor editor(entry);
    if (editor.DoModal(parent) != IDOK)
        return false;
    const SoundFontEntry& edited = editor.Entry();
    const bool changed = edited.EnabledPorts != entry.EnabledPorts || edited.Bank != entry.Bank ||
                         edited.Preset != entry.Preset || edited.Volume != entry.Volume ||
                         edited.Preload != entry.Preload || edited.XgDrums != entry.XgDrums ||
                         !SameFileName(edited.FileName, entry.FileName);
    if (changed)
        entry = edited;
    return changed;
}
