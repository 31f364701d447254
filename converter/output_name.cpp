#include "converter/output_name.h"

#include <cwchar>

#include "core/text.h"

void ComputeOutputName(ConverterFile& file, const std::wstring& folder, const EncoderInfo* encoder,
                       bool multichannel)
{
    if (!encoder)
        return;
    file.Encoder = encoder;
    std::wstring name = file.InputPath;
    if (!folder.empty()) {
        const size_t slash = name.rfind(L'\\');
        if (slash != std::wstring::npos && slash > 0)
            name.erase(0, slash + 1);
        name = folder + L"\\" + name;
    }
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0 && dot < name.size())
        name.resize(dot);
    if (multichannel)
        name += kChannelMarker;
    name += encoder->extension;
    file.OutputPath = std::move(name);
}

std::wstring ChannelOutputName(const ConverterFile& file, int channel)
{
    if (channel < 0)
        return file.OutputPath;
    wchar_t number[8];
    std::swprintf(number, 8, L"-ch%02d", channel + 1);
    return ReplaceAll(file.OutputPath, kChannelMarker, number);
}
