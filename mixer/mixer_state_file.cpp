#include "mixer/mixer_state_file.h"

#include "core/file_bytes.h"

DWORD ReadMixerStateFile(const std::wstring& path, MixerKeys& keys)
{
    std::string bytes;
    DWORD error = ReadFileBytes(path, bytes, kMaxMixerStateFileBytes);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        bytes.clear();
        error = ERROR_SUCCESS;
    }
    if (error != ERROR_SUCCESS)
        return error;
    ParseMixerStateText(DecodeProfileBytes(bytes), keys);
    return ERROR_SUCCESS;
}

DWORD WriteMixerStateFile(const std::wstring& path, const MixerKeys& keys)
{
    // The text is digits, separators and key names: plain ASCII.
    const std::wstring text = FormatMixerStateText(keys);
    return WriteFileReplacing(path, std::string(text.begin(), text.end()));
}
