#include "core/bass_error.h"

std::wstring BassErrorText(int code, BassOperation op)
{
    switch (code) {
    case -1: return L"BASS_ERROR_UNKNOWN: Unknown problem!";
    case 0: return L"OK";
    case 1: return L"BASS_ERROR_MEM: Insufficient memory.";
    case 2:
        if (op == BassOpFontLoad)
            return L"BASS_ERROR_FILEOPEN: The file could not be opened.";
        if (op == BassOpEncoderStart)
            return L"BASS_ERROR_FILEOPEN: The encoder could not be started. Check that the required external encoder executable exists.";
        return {};
    case 3: return L"BASS_ERROR_DRIVER: There is no available device driver or the device may already be in use.";
    case 4: return L"BASS_ERROR_BUFLOST: The sample buffer was lost.";
    case 5: return L"BASS_ERROR_HANDLE: Handle is not valid.";
    case 6:
        if (op == BassOpDeviceInit)
            return L"BASS_ERROR_FORMAT: The specified format is not supported by the device. Try changing the freq and flags parameters.";
        if (op == BassOpStreamCreate || op == BassOpMidiFileStreamCreate)
            return L"BASS_ERROR_FORMAT: The sample format is not supported by the device/drivers. If the stream is more than stereo or the BASS_SAMPLE_FLOAT flag is used, it could be that they are not supported.";
        return {};
    case 8: return L"BASS_ERROR_INIT: BASS_Init has not been successfully called.";
    case 14: return L"BASS_ERROR_ALREADY: The device has already been initialized. BASS_Free must be called before it can be initialized again.";
    case 20: return L"BASS_ERROR_ILLPARAM: Channels is not valid.";
    case 21: return L"BASS_ERROR_NO3D: Could not initialize 3D support.";
    case 23: return L"BASS_ERROR_DEVICE: Device is invalid.";
    case 33: return L"BASS_ERROR_CREATE: The PCM file could not be created.";
    case 37:
        if (op == BassOpStreamCreate)
            return L"BASS_ERROR_NOTAVAIL: Only decoding channels(BASS_STREAM_DECODE) are allowed when using the \"no sound\" device.";
        if (op == BassOpPresetLoad)
            return L"BASS_ERROR_NOTAVAIL: The soundfont does not contain the requested preset.";
        if (op == BassOpEncoderStart)
            return L"BASS_ERROR_NOTAVAIL: External encoders are not supported.";
        return {};
    case 39: return L"BASS_ERROR_DX: DirectX is not installed.";
    case 41: return L"BASS_ERROR_FILEFORM: The file's format is not recognised/supported.";
    case 42: return L"BASS_ERROR_SPEAKER: The specified SPEAKER flags are invalid. The device/drivers do not support them or 3D functionality is enabled.";
    case 44: return L"BASS_ERROR_CODEC: The appropriate add-on to decode the samples is not loaded.";
    case 46: return L"BASS_ERROR_BUSY: The device is already in use, eg. another process may have initialized it in exclusive mode.";
    case 7000: return L"BASS_ERROR_MIDI_INCLUDE: An SFZ #include directive file could not be opened.";
    default: return {};
    }
}
