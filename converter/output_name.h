// Output file names of the converter. Portable text rules, no system calls.
#pragma once

#include <string>

#include "converter/converter_file.h"

// Marks, in multichannel mode, where each channel's number goes.
constexpr const wchar_t* kChannelMarker = L"-ch**";

// The longest path the converter hands to the system (MAX_PATH less its terminator).
constexpr size_t kMaxPathChars = 259;

// Sets Encoder and OutputPath of `file`: the input path (or, with a folder, the
// folder, "\" and the input's name), cut at its last "." (one inside a folder
// name counts too), the channel marker in multichannel mode, and the format's
// extension. With no format (null) nothing changes.
void ComputeOutputName(ConverterFile& file, const std::wstring& folder, const EncoderInfo* encoder,
                       bool multichannel);

// OutputPath with every channel marker replaced by "-ch01" .. "-ch16" for
// channel 0-15; unchanged for channel -1.
std::wstring ChannelOutputName(const ConverterFile& file, int channel);
