// Reads what a test played: the WAV file the output device wrote (native
// builds) or the ALSA capture file of the Wine set-up, both named by
// TSL_AUDIO_CAPTURE.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tsl::test {

struct Capture {
    uint32_t rate = 0;
    std::vector<float> left; // first channel, -1..1
};

inline std::string CapturePath() {
    const char* p = std::getenv("TSL_AUDIO_CAPTURE");
    if (!p || !*p) return {};
    std::string s = p;
#ifdef _WIN32
    if (s[0] == '/') s = "Z:" + s; // a Unix path, seen through Wine's root drive
#endif
    return s;
}

inline Capture ReadCapture(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    const std::vector<uint8_t> b{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    Capture c;
    auto le = [&](size_t at, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = v << 8 | b[at + size_t(i)];
        return v;
    };
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0) return c;
    size_t pos = 12;
    uint32_t format = 0, channels = 0, bits = 0;
    while (pos + 8 <= b.size()) {
        const uint32_t len = le(pos + 4, 4);
        if (!std::memcmp(&b[pos], "fmt ", 4) && pos + 24 <= b.size()) {
            format = le(pos + 8, 2);
            channels = le(pos + 10, 2);
            c.rate = le(pos + 12, 4);
            bits = le(pos + 22, 2);
            if (format == 0xFFFE && pos + 34 <= b.size()) format = le(pos + 32, 2); // extensible: the sub-format
        } else if (!std::memcmp(&b[pos], "data", 4)) {
            // The size may be a placeholder when the writer could not fix it up.
            const size_t start = pos + 8, frameBytes = channels * bits / 8;
            if (!frameBytes) return c;
            for (size_t at = start; at + frameBytes <= b.size(); at += frameBytes) {
                float v = 0;
                // 32-bit captures are always float: Wine mixes in float, and
                // ALSA's file plugin labels such data as 32-bit integer PCM.
                if (bits == 32) {
                    const uint32_t u = le(at, 4);
                    std::memcpy(&v, &u, 4);
                } else if (bits == 16) {
                    v = int16_t(le(at, 2)) / 32768.0f;
                } else if (bits == 24) {
                    v = float(int32_t(le(at, 3) << 8) / 2147483648.0);
                }
                c.left.push_back(v);
            }
            return c;
        }
        pos += 8 + len + (len & 1);
    }
    return c;
}

// Autocorrelation pitch of x[from, from + count).
inline double PitchHz(const std::vector<float>& x, size_t from, size_t count, double rate) {
    if (from + count > x.size()) return 0;
    const size_t minLag = size_t(rate / 2000), maxLag = size_t(rate / 50);
    std::vector<double> r(maxLag + 2, 0.0);
    double best = 0;
    for (size_t lag = minLag; lag <= maxLag && lag < count / 2; ++lag) {
        for (size_t i = 0; i + lag < count; ++i) r[lag] += double(x[from + i]) * x[from + i + lag];
        best = std::max(best, r[lag]);
    }
    // The first peak near the highest one: multiples of the period score as well.
    for (size_t lag = minLag + 1; lag < maxLag && lag < count / 2; ++lag)
        if (r[lag] >= 0.9 * best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1]) return rate / double(lag);
    return 0;
}

} // namespace tsl::test
