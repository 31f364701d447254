// The MIDI mapper page: which MIDI output device Windows uses by default, and
// which one Windows Media Player and DirectShow use.
#pragma once

#include "configurator/configurator_tab_base.h"
#include "configurator/midi_out_devices.h"

class CConfiguratorTabDefaultDevice : public CConfiguratorTabBase {
public:
    explicit CConfiguratorTabDefaultDevice(CConfigurator& owner);
    bool Save(UINT command) override;

protected:
    BOOL OnInitDialog() override;
    INT_PTR DialogProc(UINT msg, WPARAM wparam, LPARAM lparam) override;

private:
    void Fill(int listId, std::optional<size_t> selected);
    std::optional<size_t> Selection(int listId) const;

    DeviceRows m_rows;
    bool m_canSetDefault = false;
};
