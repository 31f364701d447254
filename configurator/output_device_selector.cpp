#include "configurator/output_device_selector.h"

#include "core/language.h"
#include "core/settings.h"
#include "synth/output_devices.h"
#include "ui/shell.h"

DeviceNames OfferedOutputDevices()
{
    DeviceNames devices = EnumerateOutputDevices();
    devices[0] = L"<" + GetText(L"cfg.opt.noSoundMenu") + L">";
    // Ids carry the device in their last three digits.
    devices.erase(devices.lower_bound(1000), devices.end());
    return devices;
}

HMENU BuildDeviceMenu(const DeviceNames& devices, const PortOutputDevices& ports, DWORD portCount)
{
    auto fill = [&](HMENU menu, int port) {
        for (const auto& [number, name] : devices) {
            UINT flags = MF_STRING;
            if (port >= 0 && ports[static_cast<size_t>(port)].Device == number)
                flags |= MF_CHECKED;
            ::AppendMenuW(menu, flags, DeviceMenuId(port, number), name.c_str());
        }
    };
    HMENU menu = ::CreatePopupMenu();
    if (portCount < 2) {
        fill(menu, 0);
        return menu;
    }
    HMENU all = ::CreatePopupMenu();
    fill(all, -1);
    ::AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(all), GetText(L"cfg.opt.allDevicesMenu").c_str());
    for (DWORD port = 0; port < portCount && port < kMaxPorts; ++port) {
        HMENU sub = ::CreatePopupMenu();
        fill(sub, static_cast<int>(port));
        ::AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), PortName(port).c_str());
    }
    return menu;
}

bool ApplyDeviceChoice(UINT id, const DeviceNames& devices, PortOutputDevices& ports, DWORD portCount)
{
    if (id < 1000)
        return false;
    int port = 0;
    DWORD device = 0;
    DecodeDeviceMenuId(id, port, device);
    const auto found = devices.find(device);
    if (found == devices.end() || port < -1 || port >= static_cast<int>(std::min<DWORD>(portCount, kMaxPorts)))
        return false;
    for (DWORD p = 0; p < kMaxPorts; ++p) {
        if (port == -1 ? p < portCount : static_cast<int>(p) == port) {
            ports[p].Device = device;
            ports[p].Name = found->second;
        }
    }
    return true;
}

void COutputDeviceSelector::SetPorts(const PortOutputDevices& ports, DWORD portCount)
{
    m_ports = ports;
    m_portCount = std::min<DWORD>(std::max<DWORD>(portCount, 1), kMaxPorts);
    if (m_button)
        ::InvalidateRect(m_button, nullptr, TRUE);
}

bool COutputDeviceSelector::Choose()
{
    const DeviceNames devices = OfferedOutputDevices();
    HMENU menu = BuildDeviceMenu(devices, m_ports, m_portCount);
    if (!menu)
        return false;
    RECT r{};
    ::GetWindowRect(m_button, &r);
    POINT at{};
    ::GetCursorPos(&at);
    if (!::PtInRect(&r, at))
        at = {r.left, r.top};
    const UINT id = ShowPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN, at, ::GetParent(m_button));
    ::DestroyMenu(menu);
    if (!ApplyDeviceChoice(id, devices, m_ports, m_portCount))
        return false;
    ::InvalidateRect(m_button, nullptr, TRUE);
    return true;
}

std::wstring COutputDeviceSelector::Caption() const
{
    if (m_portCount < 2)
        return m_ports[0].Name;
    std::wstring text;
    for (DWORD p = 0; p < m_portCount; ++p) {
        if (p)
            text += L"; ";
        text += std::to_wstring(p + 1) + L": " + m_ports[p].Name;
    }
    return text;
}

void COutputDeviceSelector::Draw(const DRAWITEMSTRUCT& item) const
{
    RECT r = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    ::DrawFrameControl(item.hDC, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
    ::InflateRect(&r, -6, -2);
    // The menu arrow: a small triangle at the right.
    const int h = (r.bottom - r.top) / 4;
    const int cx = r.right - h, cy = (r.top + r.bottom) / 2;
    POINT arrow[3] = {{cx - h, cy - h / 2}, {cx + h, cy - h / 2}, {cx, cy + h / 2}};
    HGDIOBJ oldBrush = ::SelectObject(item.hDC, ::GetSysColorBrush(COLOR_BTNTEXT));
    HGDIOBJ oldPen = ::SelectObject(item.hDC, ::GetStockObject(NULL_PEN));
    ::Polygon(item.hDC, arrow, 3);
    ::SelectObject(item.hDC, oldPen);
    ::SelectObject(item.hDC, oldBrush);
    r.right -= 3 * h;
    ::SetBkMode(item.hDC, TRANSPARENT);
    ::SetTextColor(item.hDC, ::GetSysColor((item.itemState & ODS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    const std::wstring caption = Caption();
    ::DrawTextW(item.hDC, caption.c_str(), -1, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    if (item.itemState & ODS_FOCUS) {
        RECT focus = item.rcItem;
        ::InflateRect(&focus, -3, -3);
        ::DrawFocusRect(item.hDC, &focus);
    }
}
