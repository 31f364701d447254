// The one translation unit that compiles stb_vorbis; its own warnings are
// silenced here only.
#include "font/vorbis.h"

// (The header also comes from a SYSTEM include folder, see backend/CMakeLists.txt.)
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Weverything"
#elif defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-variable"
#pragma GCC diagnostic ignored "-Wunused-value"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#define STB_VORBIS_NO_PUSHDATA_API
#define STB_VORBIS_NO_STDIO
#include <stb/stb_vorbis.h>
#if defined(__clang__)
#pragma clang diagnostic pop
#elif defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include <climits>

namespace tsl::font {

bool DecodeVorbis(const uint8_t* data, size_t size, std::vector<int16_t>& interleaved, int* channels,
                  uint32_t* rate, size_t maxFrames) {
    interleaved.clear();
    if (!data || size == 0 || size > size_t(INT_MAX)) return false;
    int err = 0;
    stb_vorbis* v = stb_vorbis_open_memory(data, int(size), &err, nullptr);
    if (!v) return false;
    stb_vorbis_info info = stb_vorbis_get_info(v);
    if (info.channels < 1 || info.channels > 8 || info.sample_rate == 0) {
        stb_vorbis_close(v);
        return false;
    }
    const int ch = info.channels;
    int16_t buf[4096];
    for (;;) {
        int got = stb_vorbis_get_samples_short_interleaved(v, ch, buf, 4096);
        if (got <= 0) break;
        if (interleaved.size() / size_t(ch) + size_t(got) > maxFrames) {
            stb_vorbis_close(v);
            interleaved.clear();
            return false;
        }
        interleaved.insert(interleaved.end(), buf, buf + size_t(got) * size_t(ch));
    }
    stb_vorbis_close(v);
    *channels = ch;
    *rate = info.sample_rate;
    return true;
}

bool ProbeVorbis(const uint8_t* data, size_t size, int* channels, uint32_t* rate, uint64_t* frames) {
    if (!data || size == 0 || size > size_t(INT_MAX)) return false;
    int err = 0;
    stb_vorbis* v = stb_vorbis_open_memory(data, int(size), &err, nullptr);
    if (!v) return false;
    stb_vorbis_info info = stb_vorbis_get_info(v);
    unsigned int len = stb_vorbis_stream_length_in_samples(v);
    stb_vorbis_close(v);
    if (info.channels < 1 || info.channels > 8 || info.sample_rate == 0) return false;
    *channels = info.channels;
    *rate = info.sample_rate;
    *frames = len;
    return true;
}

} // namespace tsl::font
