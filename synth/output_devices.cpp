#include "synth/output_devices.h"

#include <algorithm>

#include "core/bass_error.h"
#include "core/language.h"
#include "core/message_box.h"
#include "core/settings.h"

namespace {

// The first port configured for `device`, or -1.
int FirstPortUsing(const PortOutputDevices& ports, DWORD portCount, int device) {
    for (DWORD p = 0; p < portCount && p < kMaxPorts; ++p) {
        if (static_cast<int>(ports[p].Device) == device) return static_cast<int>(p);
    }
    return -1;
}

void ConfigureDevice(int device, DWORD additionalBuffer, const DeviceApi& api) {
    api.setDevice(static_cast<DWORD>(device));
    BASS_INFO info{};
    DWORD buffer = additionalBuffer + 10;
    if (api.getInfo(&info) && (info.initflags & BASS_DEVICE_LATENCY)) buffer += info.minbuf;
    api.setConfig(BASS_CONFIG_BUFFER, buffer);
    // The streams' own update threads render; automatic updating would compete.
    api.setConfig(BASS_CONFIG_UPDATEPERIOD, 0);
}

}  // namespace

std::vector<int> PortDeviceList(const PortOutputDevices& ports, DWORD portCount) {
    std::vector<int> list;
    for (DWORD p = 0; p < portCount && p < kMaxPorts; ++p) list.push_back(static_cast<int>(ports[p].Device));
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
    return list;
}

DeviceInitResult InitializeOutputDevices(const PortOutputDevices& ports, DWORD portCount, DWORD sampleRate,
                                         DWORD additionalBuffer, const DeviceApi& api) {
    DeviceInitResult result;
    for (const int configured : PortDeviceList(ports, portCount)) {
        int d = configured;
        for (;;) {
            if (api.init(d, sampleRate, BASS_DEVICE_LATENCY, nullptr, nullptr)) {
                ConfigureDevice(d, additionalBuffer, api);
                result.devices.push_back(d);
                break;
            }
            const int code = api.errorGetCode();
            if (code == BASS_ERROR_ALREADY) {
                result.devices.push_back(d);
                break;
            }
            if (code == BASS_ERROR_DEVICE) {
                const int port = FirstPortUsing(ports, portCount, d);
                if (port >= 0) {
                    ShowMessage(GetText(L"err.outputDeviceInaccessible", PortName(static_cast<DWORD>(port)), ports[port].Name),
                                MB_OK | MB_ICONERROR | MB_TOPMOST);
                }
                if (d == 0) {
                    ShowMessage(L"Error initializing nosound device", MB_OK | MB_ICONERROR | MB_TOPMOST);
                    break;
                }
                d = (d == -1 || d == 1) ? 0 : 1;
                continue;
            }
            const int port = FirstPortUsing(ports, portCount, d);
            if (port >= 0) {
                ShowMessage(GetText(L"err.outputDeviceOpen", std::to_wstring(code), BassErrorText(code, BassOpDeviceInit),
                                    PortName(static_cast<DWORD>(port))),
                            MB_OK | MB_ICONERROR | MB_TOPMOST);
            }
            return result;
        }
        if (d != configured) result.replacements[configured] = d;
    }
    std::sort(result.devices.begin(), result.devices.end());
    result.devices.erase(std::unique(result.devices.begin(), result.devices.end()), result.devices.end());
    result.ok = true;
    return result;
}

int EffectiveDevice(const DeviceInitResult& init, int configured) {
    // A device replaced by the default device may itself have been replaced.
    for (int hops = 0; hops < 3; ++hops) {
        auto it = init.replacements.find(configured);
        if (it == init.replacements.end()) break;
        configured = it->second;
    }
    return configured;
}

std::wstring DeviceDisplayName(const char* ansiName) {
    std::wstring name;
    if (ansiName && *ansiName) {
        const int chars = ::MultiByteToWideChar(CP_ACP, 0, ansiName, -1, nullptr, 0);
        if (chars > 1) {
            name.resize(static_cast<size_t>(chars));
            ::MultiByteToWideChar(CP_ACP, 0, ansiName, -1, name.data(), chars);
            name.resize(static_cast<size_t>(chars - 1));
        }
    }
    // The settings keep device names in ";"-separated lists.
    std::replace(name.begin(), name.end(), L';', L' ');
    return name;
}

std::map<DWORD, std::wstring> EnumerateOutputDevices(DWORD* lastDevice, const DeviceApi& api) {
    std::map<DWORD, std::wstring> devices;
    devices[1] = L"<" + GetText(L"cfg.opt.defaultDeviceMenu") + L">";
    DWORD n = 2;
    for (;; ++n) {
        BASS_DEVICEINFO info{};
        if (!api.getDeviceInfo(n, &info)) break;
        if (info.flags & BASS_DEVICE_ENABLED) devices[n] = DeviceDisplayName(info.name);
    }
    if (lastDevice) *lastDevice = n;
    return devices;
}

UINT DeviceMenuId(int port, DWORD device) { return static_cast<UINT>((port + 2) * 1000) + device; }

void DecodeDeviceMenuId(UINT id, int& port, DWORD& device) {
    port = static_cast<int>(id / 1000) - 2;
    // 0 is the no-sound device, which the chooser offers too.
    device = id % 1000;
}
