// Fixed explanations of audio back-end error codes, placed by callers into
// their own messages.
#pragma once

#include <string>

enum BassOperation {
    BassOpDeviceInit = 0,
    BassOpStreamCreate = 1,
    BassOpMidiFileStreamCreate = 2,
    BassOpFontLoad = 4,
    BassOpPresetLoad = 5,
    BassOpEncoderStart = 6,
};

// The text for `code` as the failure of `op`; empty for combinations without one.
std::wstring BassErrorText(int code, BassOperation op);
