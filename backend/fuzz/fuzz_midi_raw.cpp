// libFuzzer target: raw MIDI bytes into a stream (running status, SysEx,
// system common and real-time bytes in any order), rendered in between, on a
// tiny generated font so notes actually start voices.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bass.h"
#include "bassmidi.h"

namespace {

// A one-preset SF2 (melodic bank 0 and drum bank 128) with a looped sample.
std::vector<uint8_t> TinyFont() {
    std::vector<uint8_t> b;
    auto u8 = [&](uint32_t v) { b.push_back(static_cast<uint8_t>(v)); };
    auto u16 = [&](uint32_t v) { u8(v & 0xff); u8(v >> 8); };
    auto u32 = [&](uint32_t v) { u16(v & 0xffff); u16(v >> 16); };
    auto tag = [&](const char* t) { for (int i = 0; i < 4; ++i) u8(static_cast<uint8_t>(t[i])); };
    auto name = [&](const char* s) { size_t n = std::strlen(s); for (size_t i = 0; i < 20; ++i) u8(i < n ? s[i] : 0); };
    auto patch = [&](size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i)); };
    auto open = [&](const char* t, const char* list) {
        tag(t);
        size_t at = b.size();
        u32(0);
        if (list) tag(list);
        return at;
    };
    auto close = [&](size_t at) { patch(at, static_cast<uint32_t>(b.size() - at - 4)); };
    size_t riff = open("RIFF", "sfbk");
    size_t info = open("LIST", "INFO");
    size_t c = open("ifil", nullptr); u16(2); u16(1); close(c);
    close(info);
    size_t sdta = open("LIST", "sdta");
    c = open("smpl", nullptr);
    for (int i = 0; i < 200; ++i) u16(static_cast<uint16_t>((i % 20) * 1000 - 10000));
    for (int i = 0; i < 46; ++i) u16(0);
    close(c);
    close(sdta);
    size_t pdta = open("LIST", "pdta");
    c = open("phdr", nullptr);
    name("mel"); u16(0); u16(0); u16(0); u32(0); u32(0); u32(0);
    name("drum"); u16(0); u16(128); u16(1); u32(0); u32(0); u32(0);
    name("EOP"); u16(0); u16(0); u16(2); u32(0); u32(0); u32(0);
    close(c);
    c = open("pbag", nullptr); u16(0); u16(0); u16(1); u16(0); u16(2); u16(0); close(c);
    c = open("pmod", nullptr); for (int i = 0; i < 10; ++i) u8(0); close(c);
    c = open("pgen", nullptr); u16(41); u16(0); u16(41); u16(0); u32(0); close(c);
    c = open("inst", nullptr); name("i"); u16(0); name("EOI"); u16(1); close(c);
    c = open("ibag", nullptr); u16(0); u16(0); u16(2); u16(0); close(c);
    c = open("imod", nullptr); for (int i = 0; i < 10; ++i) u8(0); close(c);
    c = open("igen", nullptr); u16(54); u16(1); u16(53); u16(0); u32(0); close(c);
    c = open("shdr", nullptr);
    name("s"); u32(0); u32(200); u32(20); u32(180); u32(44100); u8(60); u8(0); u16(0); u16(1);
    name("EOS"); for (int i = 0; i < 26; ++i) u8(0);
    close(c);
    close(pdta);
    close(riff);
    return b;
}

HSOUNDFONT Font() {
    static HSOUNDFONT font = [] {
        std::string path = "/tmp/tessaline-fuzz-midi-raw.sf2";
        std::vector<uint8_t> bytes = TinyFont();
        if (FILE* f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        HSOUNDFONT h = BASS_MIDI_FontInit(path.c_str(), 0);
        if (h) BASS_MIDI_FontLoad(h, -1, -1);
        return h;
    }();
    return font;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BASS_SetConfig(BASS_CONFIG_MIDI_VOICES, 64);
    HSTREAM h = BASS_MIDI_StreamCreate(16, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT | BASS_MIDI_SINCINTER, 22050);
    if (!h) return 0;
    BASS_MIDI_FONT ft{Font(), -1, 0};
    BASS_MIDI_StreamSetFonts(h, &ft, 1);
    float buf[2 * 256];
    // Feed in pieces so messages split across calls are exercised too.
    size_t pos = 0;
    while (pos < size) {
        size_t n = 1 + data[pos] % 17;
        if (n > size - pos) n = size - pos;
        BASS_MIDI_StreamEvents(h, BASS_MIDI_EVENTS_RAW, data + pos, static_cast<DWORD>(n));
        pos += n;
        BASS_ChannelGetData(h, buf, sizeof buf);
    }
    for (int i = 0; i < 4; ++i) BASS_ChannelGetData(h, buf, sizeof buf);
    BASS_StreamFree(h);
    return 0;
}
