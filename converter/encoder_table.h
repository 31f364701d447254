// The output formats of the converter: three WAV forms written by the audio
// back end itself, and MP3 and FLAC made by external encoder programs that
// read WAV data on their standard input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct EncoderInfo {
    const wchar_t* displayName;
    const wchar_t* extension;        // with its dot
    const wchar_t* executable;       // empty: the back end writes the file itself
    const wchar_t* commandTemplate;  // %%CUSTOMPARAMS%%, %%OUTPUT%%, %%FILENAME%%
    uint32_t encodeFlags;            // BASS_Encode_Start flags
    const wchar_t* downloadPage;     // empty for the WAV rows
};

constexpr size_t kEncoderCount = 9;

// Row `index` of the table, or null past its end: the stored "OutputFormat"
// has no upper bound of its own, so every reader goes through here.
const EncoderInfo* EncoderAt(size_t index);
// The row's index in the table (kEncoderCount for null or a foreign pointer).
size_t EncoderIndex(const EncoderInfo* encoder);

// The command handed to BASS_Encode_Start: for the WAV rows the output file;
// otherwise the quoted program path and the row's template with the custom
// parameters, the output file and the title filled in, in that order. White
// space at both ends is removed.
std::wstring BuildEncoderCommand(const EncoderInfo& encoder, const std::wstring& executablePath,
                                 const std::wstring& customParams, const std::wstring& outputPath,
                                 const std::wstring& title);

// The title of a MIDI file for the encoders' tags: the name after the last
// "\" without its extension (a "." inside a folder name does not count).
std::wstring TitleOf(const std::wstring& inputPath);
