// The soundfont half of the BASSMIDI API.
#include <string>

#include "bass.h"
#include "bassmidi.h"
#include "core/registry.h"
#include "font/file.h"
#include "font/font_table.h"

#ifdef _WIN32
#include <windows.h>
#endif

using tsl::SetError;
namespace tf = tsl::font;

namespace {

std::string PathArg(const void* file, DWORD flags) {
    if (flags & BASS_UNICODE) { // UTF-16 in 2-byte units on every platform
        return tf::Utf16ToUtf8(static_cast<const uint16_t*>(file));
    }
#ifdef _WIN32
    // An ANSI path: through UTF-16 to UTF-8.
    const char* a = static_cast<const char*>(file);
    int n = MultiByteToWideChar(CP_ACP, 0, a, -1, nullptr, 0);
    if (n <= 0) return std::string();
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, a, -1, w.data(), n);
    return tf::Utf16ToUtf8(reinterpret_cast<const uint16_t*>(w.c_str()));
#else
    return std::string(static_cast<const char*>(file));
#endif
}

std::shared_ptr<tf::Font> FontOrError(HSOUNDFONT handle) {
    auto f = tf::FindFont(handle);
    if (!f) SetError(BASS_ERROR_HANDLE);
    return f;
}

} // namespace

extern "C" {

HSOUNDFONT BASSDEF(BASS_MIDI_FontInit)(const void* file, DWORD flags) {
    if (!file) {
        SetError(BASS_ERROR_FILEOPEN);
        return 0;
    }
    std::string path = PathArg(file, flags);
    if (path.empty()) {
        SetError(BASS_ERROR_FILEOPEN);
        return 0;
    }
    int error = BASS_ERROR_UNKNOWN;
    std::shared_ptr<tf::Font> font;
    try {
        font = tf::OpenFont(path, flags & ~BASS_UNICODE, &error);
    } catch (const std::bad_alloc&) {
        error = BASS_ERROR_MEM;
    }
    if (!font) {
        SetError(error);
        return 0;
    }
    HSOUNDFONT h = tf::RegisterFont(std::move(font));
    SetError(BASS_OK);
    return h;
}

BOOL BASSDEF(BASS_MIDI_FontFree)(HSOUNDFONT handle) {
    // Streams hold their own references: the font lives on while they play it.
    auto f = tf::UnregisterFont(handle);
    if (!f) {
        SetError(BASS_ERROR_HANDLE);
        return FALSE;
    }
    SetError(BASS_OK);
    return TRUE;
}

BOOL BASSDEF(BASS_MIDI_FontLoad)(HSOUNDFONT handle, int preset, int bank) {
    auto f = FontOrError(handle);
    if (!f) return FALSE;
    int error = BASS_OK;
    bool ok = false;
    try {
        ok = f->Load(preset, bank, &error);
    } catch (const std::bad_alloc&) {
        error = BASS_ERROR_MEM;
    }
    SetError(ok ? BASS_OK : error);
    return ok ? TRUE : FALSE;
}

BOOL BASSDEF(BASS_MIDI_FontUnload)(HSOUNDFONT handle, int preset, int bank) {
    auto f = FontOrError(handle);
    if (!f) return FALSE;
    if (!f->Unload(preset, bank)) {
        SetError(BASS_ERROR_ILLPARAM);
        return FALSE;
    }
    SetError(BASS_OK);
    return TRUE;
}

BOOL BASSDEF(BASS_MIDI_FontSetVolume)(HSOUNDFONT handle, float volume) {
    auto f = FontOrError(handle);
    if (!f) return FALSE;
    if (!(volume >= 0.0f)) { // also NaN
        SetError(BASS_ERROR_ILLPARAM);
        return FALSE;
    }
    f->volume.store(volume, std::memory_order_relaxed);
    SetError(BASS_OK);
    return TRUE;
}

float BASSDEF(BASS_MIDI_FontGetVolume)(HSOUNDFONT handle) {
    auto f = FontOrError(handle);
    if (!f) return -1.0f;
    SetError(BASS_OK);
    return f->volume.load(std::memory_order_relaxed);
}

BOOL BASSDEF(BASS_MIDI_FontGetInfo)(HSOUNDFONT handle, BASS_MIDI_FONTINFO* info) {
    auto f = FontOrError(handle);
    if (!f) return FALSE;
    if (!info) {
        SetError(BASS_ERROR_ILLPARAM);
        return FALSE;
    }
    // The texts belong to the font, which the handle keeps alive until FontFree.
    info->name = f->name.c_str();
    info->copyright = f->copyright.empty() ? nullptr : f->copyright.c_str();
    info->comment = f->comment.empty() ? nullptr : f->comment.c_str();
    info->presets = DWORD(f->presets.size());
    info->samsize = DWORD(std::min<uint64_t>(f->sampleBytes, 0xFFFFFFFFu));
    info->samload = DWORD(std::min<uint64_t>(f->LoadedBytes(), 0xFFFFFFFFu));
    info->samtype = f->sampleType;
    SetError(BASS_OK);
    return TRUE;
}

BOOL BASSDEF(BASS_MIDI_FontGetPresets)(HSOUNDFONT handle, DWORD* presets) {
    auto f = FontOrError(handle);
    if (!f) return FALSE;
    if (!presets) {
        SetError(BASS_ERROR_ILLPARAM);
        return FALSE;
    }
    for (size_t i = 0; i < f->presets.size(); ++i) {
        const tf::Preset& p = *f->presets[i];
        presets[i] = DWORD(p.program) | DWORD(p.bank) << 16;
    }
    SetError(BASS_OK);
    return TRUE;
}

const char* BASSDEF(BASS_MIDI_FontGetPreset)(HSOUNDFONT handle, int preset, int bank) {
    auto f = FontOrError(handle);
    if (!f) return nullptr;
    for (const auto& p : f->presets) {
        if (p->program == preset && p->bank == bank && !p->anyBank && !p->anyProgram) {
            SetError(BASS_OK);
            return p->name.c_str();
        }
    }
    SetError(BASS_ERROR_ILLPARAM);
    return nullptr;
}

} // extern "C"
