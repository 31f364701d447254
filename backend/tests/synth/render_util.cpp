#include "synth/render_util.h"

#include <gtest/gtest.h>

namespace tsl::test {

HSOUNDFONT LoadFont(const std::vector<Sf2Sample>& samples, const std::vector<Sf2Preset>& presets) {
    std::string path = WriteTempFile(BuildSf2(samples, presets), "font.sf2");
    HSOUNDFONT f = BASS_MIDI_FontInit(path.c_str(), 0);
    EXPECT_NE(f, 0u) << "error " << BASS_ErrorGetCode();
    if (f) BASS_MIDI_FontLoad(f, -1, -1);
    return f;
}

FontParts LayeredSplitAndDrums() {
    Sf2Preset layered, split, drums;
    layered.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}}});
    layered.zones.push_back(Sf2Zone{0, 127, 1, {{54, 1}, {17, 300}}});
    split.program = 5;
    split.zones.push_back(Sf2Zone{0, 59, 0, {{54, 1}}});
    split.zones.push_back(Sf2Zone{60, 127, 1, {{54, 1}}});
    drums.bank = 128;
    drums.zones.push_back(Sf2Zone{30, 90, 1, {{54, 1}}});
    return {{SineSample(100, 400, 44100, 60), SineSample(50, 800, 44100, 72)}, {layered, split, drums}};
}

TestStream::TestStream(std::vector<HSOUNDFONT> fonts, DWORD flags, uint32_t r) : rate(r) {
    h = BASS_MIDI_StreamCreate(16, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT | flags, rate);
    EXPECT_NE(h, 0u) << "error " << BASS_ErrorGetCode();
    channels = (flags & BASS_SAMPLE_MONO) ? 1 : 2;
    std::vector<BASS_MIDI_FONT> stack;
    for (HSOUNDFONT f : fonts) stack.push_back(BASS_MIDI_FONT{f, -1, 0});
    EXPECT_TRUE(BASS_MIDI_StreamSetFonts(h, stack.data(), static_cast<DWORD>(stack.size())));
}

TestStream::~TestStream() {
    if (h) BASS_StreamFree(h);
}

void TestStream::Event(int chan, DWORD event, DWORD param) const {
    EXPECT_TRUE(BASS_MIDI_StreamEvent(h, static_cast<DWORD>(chan), event, param));
}

void TestStream::Raw(std::vector<uint8_t> bytes) const {
    EXPECT_NE(BASS_MIDI_StreamEvents(h, BASS_MIDI_EVENTS_RAW, bytes.data(), static_cast<DWORD>(bytes.size())),
              static_cast<DWORD>(-1));
}

std::vector<float> TestStream::Render(uint32_t frames) const {
    std::vector<float> out(static_cast<size_t>(frames) * channels);
    DWORD bytes = static_cast<DWORD>(out.size() * sizeof(float));
    DWORD got = BASS_ChannelGetData(h, out.data(), bytes);
    EXPECT_EQ(got, bytes);
    return out;
}

std::vector<float> Channel(const std::vector<float>& x, uint32_t channels, uint32_t which) {
    std::vector<float> m(x.size() / channels);
    for (size_t i = 0; i < m.size(); ++i) m[i] = x[i * channels + which];
    return m;
}

double MeasureHz(const std::vector<float>& x, double rate) {
    double first = -1, last = -1;
    int count = 0;
    for (size_t i = 1; i < x.size(); ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            double t = (i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (first < 0) first = t;
            last = t;
            ++count;
        }
    }
    if (count < 2) return 0;
    return rate * (count - 1) / (last - first);
}

double Rms(const std::vector<float>& x, size_t from, size_t count) {
    double s = 0;
    size_t n = 0;
    for (size_t i = from; i < from + count && i < x.size(); ++i, ++n) s += static_cast<double>(x[i]) * x[i];
    return n ? std::sqrt(s / n) : 0;
}

double KeyHz(double key) { return 440.0 * std::pow(2.0, (key - 69) / 12.0); }

} // namespace tsl::test
