// The Options page: device, synthesis, effects and appearance settings, one
// group of rows each, made at run time; the output device chooser; the client
// blacklist editor; and Reset to defaults.
#pragma once

#include <vector>

#include "configurator/configurator_tab_base.h"
#include "configurator/output_device_selector.h"
#include "core/settings_setting.h"
#include "ui/gdi_object.h"

class CSettings;

// What a number row stores for the text typed into it: the value clamped to
// [minimum, maximum]; `current` when the text is not a number.
DWORD NumberRowValue(const std::wstring& text, DWORD minimum, DWORD maximum, DWORD current);

class CConfiguratorTabOptions : public CConfiguratorTabBase {
public:
    explicit CConfiguratorTabOptions(CConfigurator& owner);

    bool Save(UINT command) override;
    void ApplyLanguage() override;
    // The "common.resetToDefault" button.
    void ResetToDefaults();
    COutputDeviceSelector& DeviceSelector() noexcept { return m_devices; }

    enum class RowKind { Group, Check, List, Button, Number };
    struct Row {
        RowKind kind;
        int id;
        const wchar_t* key;
        int width96;                 // the control's width at 96 DPI (lists, buttons, numbers)
        CIntSetting CSettings::*setting;  // check and number rows, or null
        HWND label = nullptr;
        HWND control = nullptr;
        HWND spin = nullptr;
    };

protected:
    BOOL OnInitDialog() override;
    INT_PTR DialogProc(UINT msg, WPARAM wparam, LPARAM lparam) override;
    void AfterDpiChange() override;

private:
    void CreateRows();
    void LoadValues();
    void Layout();
    void OnVScroll(WORD code);
    Row* FindRow(int id);
    std::wstring RowText(const Row& row) const;

    std::vector<Row> m_rows;
    COutputDeviceSelector m_devices;
    CFont m_boldFont;
    int m_scroll = 0;
    int m_contentHeight = 0;
    bool m_loading = false;
    bool m_inLayout = false;
};
