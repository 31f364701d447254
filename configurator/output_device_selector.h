// COutputDeviceSelector: the Options page's button that chooses the audio
// output device of each port. It shows the ports' devices; a click opens a
// menu of the devices (the no-sound device, the default device and every
// enabled device), per port when there are several, with the current choice
// checked. Writing the choice into the settings is the page's business.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "core/settings_output.h"

using DeviceNames = std::map<DWORD, std::wstring>;

// The devices the menu offers: 0 "<No sound>", 1 "<Default device>", then the enumerated ones.
DeviceNames OfferedOutputDevices();

// The chooser's menu for `portCount` ports (the caller destroys it). With one
// port a flat list; otherwise an all-ports submenu, then one submenu per port.
HMENU BuildDeviceMenu(const DeviceNames& devices, const PortOutputDevices& ports, DWORD portCount);

// Applies the menu command `id` to `ports`; false when it is not one of the menu's.
bool ApplyDeviceChoice(UINT id, const DeviceNames& devices, PortOutputDevices& ports, DWORD portCount);

class COutputDeviceSelector {
public:
    void Attach(HWND button) noexcept { m_button = button; }
    HWND GetHwnd() const noexcept { return m_button; }

    void SetPorts(const PortOutputDevices& ports, DWORD portCount);
    const PortOutputDevices& Ports() const noexcept { return m_ports; }
    DWORD PortCount() const noexcept { return m_portCount; }

    // Opens the menu (at the cursor when it is over the button, else at the
    // button's top left) and takes the choice; true when one was made.
    bool Choose();
    void Draw(const DRAWITEMSTRUCT& item) const;
    // What the button shows: the device of each port.
    std::wstring Caption() const;

private:
    HWND m_button = nullptr;
    PortOutputDevices m_ports{};
    DWORD m_portCount = 1;
};
