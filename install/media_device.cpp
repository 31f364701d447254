#include "install/media_device.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
#include <regstr.h>
// clang-format on

#include <functional>
#include <vector>

#include "core/message_box.h"
#include "core/reg_key.h"
#include "install/driver_identity.h"

namespace {

class CDeviceInfoSet {
public:
    explicit CDeviceInfoSet(HDEVINFO set) : m_set(set) {}
    CDeviceInfoSet(const CDeviceInfoSet&) = delete;
    CDeviceInfoSet& operator=(const CDeviceInfoSet&) = delete;
    ~CDeviceInfoSet()
    {
        if (m_set != INVALID_HANDLE_VALUE)
            SetupDiDestroyDeviceInfoList(m_set);
    }
    HDEVINFO Get() const { return m_set; }
    explicit operator bool() const { return m_set != INVALID_HANDLE_VALUE; }

private:
    HDEVINFO m_set;
};

void ShowDeviceError(const std::wstring& text) { ShowMessage(text, MB_OK | MB_ICONWARNING, nullptr, L"Error"); }

bool SetStringProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property, const std::wstring& value)
{
    return SetupDiSetDeviceRegistryPropertyW(set, &device, property, reinterpret_cast<const BYTE*>(value.c_str()),
                                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

bool HasOurHardwareId(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    // A multi-string; the first string is the id. 255 bytes are room for ours.
    BYTE buffer[256] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, &type, buffer, sizeof(buffer) - 2,
                                           nullptr))
        return false;
    return _wcsicmp(reinterpret_cast<const wchar_t*>(buffer), kDeviceHardwareId) == 0;
}

// Calls `visit` for each device of the MEDIA class with our hardware id, present
// or not: a device left behind by an earlier install must be found as well, or
// every repair would add one more. The error code ending the walk, 0 when it ran
// to its end.
DWORD ForEachOurDevice(HDEVINFO set, const std::function<bool(SP_DEVINFO_DATA&)>& visit)
{
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof(device);
        if (!SetupDiEnumDeviceInfo(set, index, &device)) {
            DWORD error = GetLastError();
            return error == ERROR_NO_MORE_ITEMS ? 0 : error;
        }
        if (HasOurHardwareId(set, device) && !visit(device))
            return 0;
    }
}

bool WriteDriverKey(HKEY driverKey, const std::wstring& slot)
{
    if (WriteRegString(driverKey, L"DriverDesc", kDeviceName) != ERROR_SUCCESS ||
        WriteRegString(driverKey, L"ProviderName", kDeviceMaker) != ERROR_SUCCESS)
        return false;
    CRegKey drivers;
    if (drivers.Create(driverKey, L"Drivers", KEY_ALL_ACCESS) != ERROR_SUCCESS ||
        WriteRegString(drivers.Get(), L"SubClasses", L"midi") != ERROR_SUCCESS)
        return false;
    CRegKey library;
    const std::wstring libraryKey = std::wstring(L"midi\\") + kDriverFileName;
    if (library.Create(drivers.Get(), libraryKey.c_str(), KEY_ALL_ACCESS) != ERROR_SUCCESS)
        return false;
    return WriteRegString(library.Get(), L"Driver", kDriverFileName) == ERROR_SUCCESS &&
           WriteRegString(library.Get(), L"Description", kDeviceName) == ERROR_SUCCESS &&
           WriteRegString(library.Get(), L"Alias", slot) == ERROR_SUCCESS;
}

} // namespace

bool CreateMediaDevice(const std::wstring& slot)
{
    const std::wstring failed = L"Error installing device, step: ";
    CDeviceInfoSet set(SetupDiGetClassDevsW(&kMediaClassGuid, nullptr, nullptr, 0));
    if (!set) {
        ShowDeviceError(failed + L"SetupDiGetClassDevs");
        return false;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    if (!SetupDiCreateDeviceInfoW(set.Get(), kMediaClassName, &kMediaClassGuid, kDeviceName, nullptr,
                                  DICD_GENERATE_ID, &device)) {
        ShowDeviceError(failed + L"SetupDiCreateDeviceInfo");
        return false;
    }
    if (!SetupDiRegisterDeviceInfo(set.Get(), &device, 0, nullptr, nullptr, nullptr)) {
        ShowDeviceError(failed + L"SetupDiRegisterDeviceInfo");
        return false;
    }
    const DWORD configFlags = CONFIGFLAG_MANUAL_INSTALL | CONFIGFLAG_NEEDS_FORCED_CONFIG;
    if (!SetupDiSetDeviceRegistryPropertyW(set.Get(), &device, SPDRP_CONFIGFLAGS,
                                           reinterpret_cast<const BYTE*>(&configFlags), sizeof(configFlags))) {
        ShowDeviceError(failed + L"SPDRP_CONFIGFLAGS");
        return false;
    }
    struct StringProperty {
        DWORD id;
        const wchar_t* step;
        std::wstring value;
    };
    const StringProperty properties[] = {
        {SPDRP_FRIENDLYNAME, L"SPDRP_FRIENDLYNAME", kDeviceName},
        {SPDRP_DEVICEDESC, L"SPDRP_DEVICEDESC", kDeviceDescription},
        {SPDRP_MFG, L"SPDRP_MFG", kDeviceMaker},
        // A multi-string: the id's own zero, then the list's.
        {SPDRP_HARDWAREID, L"SPDRP_HARDWAREID", std::wstring(kDeviceHardwareId) + L'\0'},
    };
    for (const StringProperty& property : properties) {
        if (!SetStringProperty(set.Get(), device, property.id, property.value)) {
            ShowDeviceError(failed + property.step);
            return false;
        }
    }
    CRegKey driverKey;
    HKEY key = SetupDiCreateDevRegKeyW(set.Get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, nullptr, nullptr);
    if (key == INVALID_HANDLE_VALUE) {
        ShowDeviceError(failed);
        return false;
    }
    *driverKey.Receive() = key;
    return WriteDriverKey(driverKey.Get(), slot);
}

void RemoveMediaDevices()
{
    CDeviceInfoSet set(SetupDiGetClassDevsW(&kMediaClassGuid, nullptr, nullptr, 0));
    if (!set) {
        ShowDeviceError(L"Error uninstalling device, step: GetClass");
        return;
    }
    // Removal may change the set's numbering: find them all first.
    std::vector<SP_DEVINFO_DATA> found;
    DWORD error = ForEachOurDevice(set.Get(), [&](SP_DEVINFO_DATA& device) {
        found.push_back(device);
        return true;
    });
    for (SP_DEVINFO_DATA& device : found)
        SetupDiRemoveDevice(set.Get(), &device);
    if (error != 0)
        ShowDeviceError(L"Error uninstalling device, step: Enumerate (" + std::to_wstring(error) + L")");
}

MediaDeviceInfo QueryMediaDevices()
{
    MediaDeviceInfo info;
    CDeviceInfoSet set(SetupDiGetClassDevsW(&kMediaClassGuid, nullptr, nullptr, 0));
    if (!set)
        return info;
    ForEachOurDevice(set.Get(), [&](SP_DEVINFO_DATA& device) {
        if (info.count++ == 0) {
            CRegKey driverKey;
            HKEY key = SetupDiOpenDevRegKey(set.Get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
            if (key != INVALID_HANDLE_VALUE) {
                *driverKey.Receive() = key;
                CRegKey library;
                const std::wstring path = std::wstring(L"Drivers\\midi\\") + kDriverFileName;
                if (library.Open(driverKey.Get(), path.c_str(), KEY_READ) == ERROR_SUCCESS)
                    info.alias = ReadRegString(library.Get(), L"Alias").value_or(std::wstring());
            }
        }
        return true;
    });
    return info;
}
