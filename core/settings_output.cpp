#include "core/settings_output.h"

#include "core/text.h"

#include <cwchar>
#include <cwctype>
#include <vector>

namespace {

std::vector<std::wstring> NonEmptyPieces(const std::wstring& text)
{
    std::vector<std::wstring> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L';', start);
        if (end == std::wstring::npos)
            end = text.size();
        if (end > start)
            pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

}  // namespace

PortOutputDevices ParsePortOutputDevices(const std::wstring& devicesText, const std::wstring& namesText,
                                         DWORD portCount)
{
    PortOutputDevices ports{};
    if (portCount > kMaxPorts)
        portCount = kMaxPorts;
    std::wstring devices = Trim(devicesText);
    if (devices.empty())
        devices = L"1";
    std::vector<std::wstring> numbers = NonEmptyPieces(devices);
    for (size_t i = 0; i < numbers.size() && i < portCount; ++i)
        // Unsigned, so that -1 (written back as 4294967295) survives a round trip.
        ports[i].Device = static_cast<DWORD>(wcstoul(numbers[i].c_str(), nullptr, 10));
    std::vector<std::wstring> names = NonEmptyPieces(Trim(namesText));
    for (size_t i = 0; i < names.size() && i < portCount; ++i)
        ports[i].Name = names[i];
    return ports;
}

void FormatPortOutputDevices(const PortOutputDevices& ports, DWORD portCount, std::wstring& devices,
                             std::wstring& names)
{
    devices.clear();
    names.clear();
    if (portCount > kMaxPorts)
        portCount = kMaxPorts;
    for (DWORD i = 0; i < portCount; ++i) {
        devices += std::to_wstring(ports[i].Device) + L";";
        names += ports[i].Name + L";";
    }
    if (!devices.empty())
        devices.pop_back();
    if (!names.empty())
        names.pop_back();
}
