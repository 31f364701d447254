// One line of the converter's file list.
#pragma once

#include <string>

#include "converter/encoder_table.h"

constexpr int kMinKeyShift = -12;
constexpr int kMaxKeyShift = 12;

struct ConverterFile {
    std::wstring InputPath;
    // The file to write; in multichannel mode it holds kChannelMarker before
    // the extension. Never cut: a path that does not fit is refused when the
    // file is converted.
    std::wstring OutputPath;
    const EncoderInfo* Encoder = nullptr;  // null until a format is chosen
    std::wstring KeyText = L"0";
    int KeyShift = 0;
};

// "+3" for 1 and above, "0", "-12".
inline std::wstring KeyTextOf(int shift)
{
    return shift >= 1 ? L"+" + std::to_wstring(shift) : std::to_wstring(shift);
}

inline int ClampKeyShift(long long shift)
{
    return shift < kMinKeyShift ? kMinKeyShift : shift > kMaxKeyShift ? kMaxKeyShift : static_cast<int>(shift);
}

inline void SetKeyShift(ConverterFile& file, long long shift)
{
    file.KeyShift = ClampKeyShift(shift);
    file.KeyText = KeyTextOf(file.KeyShift);
}
