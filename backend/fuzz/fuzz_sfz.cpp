// libFuzzer target: any text as an SFZ instrument. Relative sample paths are
// looked up in a scratch folder holding two small WAV files, "a.wav" (mono,
// looped) and "s.wav" (stereo), so regions that name them really load.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "font/readers.h"

using namespace tsl::font;

namespace {

void Put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, uint16_t(v));
    Put16(b, uint16_t(v >> 16));
}

void WriteWav(const std::string& path, uint16_t channels) {
    std::vector<uint8_t> b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    Put32(b, 16);
    Put16(b, 1);
    Put16(b, channels);
    Put32(b, 22050);
    Put32(b, 22050u * 2 * channels);
    Put16(b, uint16_t(2 * channels));
    Put16(b, 16);
    b.insert(b.end(), {'s', 'm', 'p', 'l'});
    Put32(b, 60);
    for (int i = 0; i < 7; ++i) Put32(b, i == 3 ? 60 : 0); // unity note 60
    Put32(b, 1); // one loop
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 20); // frames 20 to 150
    Put32(b, 150);
    Put32(b, 0);
    Put32(b, 0);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    Put32(b, 200u * 2 * channels);
    for (int i = 0; i < 200 * channels; ++i) Put16(b, uint16_t(i * 97));
    uint32_t riff = uint32_t(b.size() - 8);
    for (int i = 0; i < 4; ++i) b[size_t(4 + i)] = uint8_t(riff >> (8 * i));
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
}

std::string Scratch() {
    static std::string dir = [] {
        char tmpl[] = "/tmp/tsl_fuzz_sfz_XXXXXX";
        const char* d = mkdtemp(tmpl);
        std::string s = d ? std::string(d) + "/" : std::string("/tmp/");
        WriteWav(s + "a.wav", 1);
        WriteWav(s + "s.wav", 2);
        return s;
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024) return 0;
    const std::string dir = Scratch();
    std::string text(reinterpret_cast<const char*>(data), size);
    int error = 0;
    auto font = OpenSfzText(text, dir, "fuzz.sfz", 0, &error);
    if (!font) return 0;
    font->Load(-1, -1, &error);
    static VoiceDesc out[64];
    uint8_t cc[128] = {};
    for (const auto& p : font->presets) {
        for (int key = 0; key < 128; key += 5) {
            NoteRequest n;
            n.key = uint8_t(key);
            n.velocity = uint8_t(1 + key);
            n.cc = cc;
            n.seq = uint32_t(key);
            n.random = float(key) / 128.0f;
            size_t count = CollectVoices(*p, n, out, 64);
            for (size_t i = 0; i < count; ++i) {
                const VoiceDesc& v = out[i];
                if (v.end > v.sample->length || v.start > v.end || v.loopEnd > v.end) __builtin_trap();
            }
        }
    }
    return 0;
}
