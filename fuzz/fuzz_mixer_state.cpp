// Mixer-state files: any bytes read to a valid state (volumes and master at
// most 100), and that state written and read back is the same state, through
// the same bytes the file writer produces.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mixer/mixer_state_format.h"

namespace {

bool Same(const MixerKeys& a, const MixerKeys& b)
{
    for (int c = 0; c < kMixerChannels; ++c) {
        if (a.mute[c] != b.mute[c] || a.solo[c] != b.solo[c] || a.volume[c] != b.volume[c])
            return false;
    }
    return a.master == b.master;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MixerKeys keys;
    ParseMixerStateText(DecodeProfileBytes(std::string_view(reinterpret_cast<const char*>(data), size)), keys);
    for (uint32_t volume : keys.volume) {
        if (volume > 100)
            __builtin_trap();
    }
    if (keys.master > 100)
        __builtin_trap();

    // Written as the file writer does (ASCII), read back from those bytes.
    const std::wstring text = FormatMixerStateText(keys);
    std::string bytes;
    for (wchar_t c : text) {
        if (static_cast<uint32_t>(c) > 0x7F)
            __builtin_trap();
        bytes.push_back(static_cast<char>(c));
    }
    MixerKeys again;
    ParseMixerStateText(DecodeProfileBytes(bytes), again);
    if (!Same(keys, again) || FormatMixerStateText(again) != text)
        __builtin_trap();
    return 0;
}
