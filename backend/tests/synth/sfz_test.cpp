// What SFZ regions add to the SoundFont model, heard through the output:
// release-triggered regions, first and legato regions, and the filter shapes
// beyond the low-pass.
#include <gtest/gtest.h>

#include <fstream>

#include "synth/render_util.h"

using namespace tsl::test;

namespace {

constexpr DWORD kFrameBytes = 8; // float stereo

std::vector<uint8_t> Wav16(const std::vector<int16_t>& pcm, uint32_t rate) {
    std::vector<uint8_t> b;
    b.reserve(44 + pcm.size() * 2);
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i))); };
    auto u16 = [&](uint16_t v) { b.push_back(static_cast<uint8_t>(v)); b.push_back(static_cast<uint8_t>(v >> 8)); };
    auto tag = [&](const char* t) { for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(t[i])); };
    const uint32_t data = static_cast<uint32_t>(pcm.size() * 2);
    tag("RIFF"); u32(36 + data); tag("WAVE");
    tag("fmt "); u32(16); u16(1); u16(1); u32(rate); u32(rate * 2); u16(2); u16(16);
    tag("data"); u32(data);
    for (int16_t s : pcm) u16(static_cast<uint16_t>(s));
    return b;
}

// Writes the WAV next to the SFZ files; returns its file name.
std::string WriteWav(const std::vector<int16_t>& pcm, const std::string& name) {
    std::string path = WriteTempFile(Wav16(pcm, 44100), name);
    return path.substr(path.find_last_of("/\\") + 1);
}

HSOUNDFONT LoadSfz(const std::string& text) {
    std::string path = WriteTempFile(std::vector<uint8_t>(text.begin(), text.end()), "test.sfz");
    HSOUNDFONT f = BASS_MIDI_FontInit(path.c_str(), 0);
    EXPECT_NE(f, 0u) << "error " << BASS_ErrorGetCode();
    if (f) BASS_MIDI_FontLoad(f, -1, -1);
    return f;
}

std::string Region(const std::string& wav, int key, const std::string& extra) {
    std::string k = std::to_string(key);
    return "<region> sample=" + wav + " lokey=" + k + " hikey=" + k + " pitch_keycenter=" + k + " " + extra + "\n";
}

struct Timed {
    DWORD event, param, frame;
};

std::vector<float> RenderTimed(HSOUNDFONT f, const std::vector<Timed>& list, uint32_t frames) {
    TestStream s({f}, BASS_MIDI_NOFX);
    std::vector<BASS_MIDI_EVENT> ev;
    for (const Timed& t : list) ev.push_back(BASS_MIDI_EVENT{t.event, t.param, 0, 0, t.frame * kFrameBytes});
    BASS_MIDI_StreamEvents(s.h, BASS_MIDI_EVENTS_STRUCT | BASS_MIDI_EVENTS_TIME, ev.data(), static_cast<DWORD>(ev.size()));
    return Channel(s.Render(frames), 2, 0);
}

} // namespace

TEST(Sfz, ReleaseRegionsStartAtTheKeyUpQuieterTheLongerItWasHeld) {
    // Key 60 has only a release region: a constant sample of 0.1 s, so its
    // onset and its level can be read straight off the output.
    std::string dc = WriteWav(std::vector<int16_t>(4410, 20000), "dc.wav");
    HSOUNDFONT f = LoadSfz(Region(dc, 60, "trigger=release rt_decay=6"));
    auto level = [&](uint32_t off) {
        return RenderTimed(f, {{MIDI_EVENT_NOTE, 60 | 100 << 8, 0}, {MIDI_EVENT_NOTE, 60, off}}, off + 6000);
    };
    // Nothing sounds while the key is down; the release sample starts at the
    // note-off's sample and plays through once.
    auto x = level(22050 + 37);
    for (size_t i = 0; i < 22050 + 37; ++i) ASSERT_EQ(x[i], 0.0f) << i;
    EXPECT_GT(x[22050 + 37], 0.0f);
    EXPECT_EQ(x[22050 + 37 + 4500], 0.0f);
    // Held 1.5 s instead of 0.5 s: 6 dB/s x 1 s quieter.
    const float shortHeld = level(22050)[22050 + 1000];
    const float longHeld = level(66150)[66150 + 1000];
    EXPECT_NEAR(20 * std::log10(longHeld / shortHeld), -6.0, 0.1);
    // Under the sustain pedal the release waits for the pedal to lift, and a
    // second note-off changes nothing.
    x = RenderTimed(f,
                    {{MIDI_EVENT_SUSTAIN, 127, 0}, {MIDI_EVENT_NOTE, 60 | 100 << 8, 0}, {MIDI_EVENT_NOTE, 60, 1000},
                     {MIDI_EVENT_SUSTAIN, 0, 3001}, {MIDI_EVENT_NOTE, 60, 3500}},
                    9000);
    size_t first = 0;
    while (first < x.size() && x[first] == 0) ++first;
    EXPECT_EQ(first, 3001u);
    EXPECT_GT(x[3001 + 4000], 0.0f);
    // A panic starts no release samples.
    x = RenderTimed(f, {{MIDI_EVENT_NOTE, 60 | 100 << 8, 0}, {MIDI_EVENT_NOTESOFF, 0, 1000}}, 3000);
    for (float v : x) ASSERT_EQ(v, 0.0f);
    BASS_MIDI_FontFree(f);
}

TEST(Sfz, FilterShapesPassAndStopWhereTheyShould) {
    // Tones at 441, 2205 and 5512.5 Hz through each filter (cutoff 2 kHz),
    // measured against the same tone unfiltered on the neighbouring key.
    const uint32_t periods[3] = {100, 20, 8};
    std::string wavs[3];
    for (int t = 0; t < 3; ++t) wavs[t] = WriteWav(SineSample(periods[t], 44100 / periods[t], 44100, 60, 12000).pcm, "tone.wav");
    struct Case {
        const char* type;
        double lo[3], hi[3]; // allowed gain range per tone
    } cases[] = {
        {"lpf_2p", {0.95, 0.55, 0.0}, {1.05, 0.75, 0.2}},
        {"hpf_2p", {0.0, 0.6, 0.95}, {0.08, 1.0, 1.1}},
        {"bpf_2p", {0.2, 0.9, 0.2}, {0.4, 1.02, 0.5}},
        {"brf_2p", {0.9, 0.0, 0.8}, {1.02, 0.3, 1.02}},
        {"lpf_1p", {0.95, 0.55, 0.2}, {1.02, 0.8, 0.45}},
        {"hpf_1p", {0.1, 0.55, 0.9}, {0.35, 0.85, 1.02}},
    };
    for (const Case& c : cases) {
        std::string sfz;
        for (int t = 0; t < 3; ++t) {
            std::string loop = "loop_mode=loop_continuous loop_start=" + std::to_string(periods[t]) +
                               " loop_end=" + std::to_string(44100 / periods[t] * periods[t] - 1);
            sfz += Region(wavs[t], 60 + 2 * t, loop);
            sfz += Region(wavs[t], 61 + 2 * t, loop + " cutoff=2000 fil_type=" + c.type);
        }
        HSOUNDFONT f = LoadSfz(sfz);
        for (int t = 0; t < 3; ++t) {
            double rms[2];
            for (int k = 0; k < 2; ++k) {
                auto x = RenderTimed(f, {{MIDI_EVENT_NOTE, static_cast<DWORD>(60 + 2 * t + k) | 127 << 8, 0}}, 8820);
                rms[k] = Rms(x, 4410, 4400);
            }
            ASSERT_GT(rms[0], 0.01) << c.type << " tone " << t;
            EXPECT_GE(rms[1] / rms[0], c.lo[t]) << c.type << " tone " << t;
            EXPECT_LE(rms[1] / rms[0], c.hi[t]) << c.type << " tone " << t;
        }
        BASS_MIDI_FontFree(f);
    }
}

TEST(Sfz, FirstAndLegatoRegionsDependOnOtherKeysHeld) {
    // Key 60 has a quiet "first" region and a loud "legato" one; key 62 is a
    // silent region that only holds a key down.
    std::string quiet = WriteWav(std::vector<int16_t>(4410, 5000), "quiet.wav");
    std::string loud = WriteWav(std::vector<int16_t>(4410, 20000), "loud.wav");
    std::string silent = WriteWav(std::vector<int16_t>(4410, 0), "silent.wav");
    HSOUNDFONT f = LoadSfz(Region(quiet, 60, "trigger=first") + Region(loud, 60, "trigger=legato") + Region(silent, 62, ""));
    auto at = [&](const std::vector<Timed>& list) { return RenderTimed(f, list, 2000)[1500]; };
    const DWORD on60 = 60 | 100 << 8, on62 = 62 | 100 << 8;
    const float alone = at({{MIDI_EVENT_NOTE, on60, 0}});
    ASSERT_GT(alone, 0.01f);
    // Another key held: the legato region alone.
    EXPECT_NEAR(at({{MIDI_EVENT_NOTE, on62, 0}, {MIDI_EVENT_NOTE, on60, 100}}) / alone, 4.0, 0.01);
    // That key let go first: a first note again.
    EXPECT_NEAR(at({{MIDI_EVENT_NOTE, on62, 0}, {MIDI_EVENT_NOTE, 62, 50}, {MIDI_EVENT_NOTE, on60, 100}}) / alone, 1.0, 0.01);
    // A key held by the sustain pedal only is not held: first again.
    EXPECT_NEAR(at({{MIDI_EVENT_SUSTAIN, 127, 0}, {MIDI_EVENT_NOTE, on62, 0}, {MIDI_EVENT_NOTE, 62, 50},
                    {MIDI_EVENT_NOTE, on60, 100}}) / alone,
                1.0, 0.01);
    BASS_MIDI_FontFree(f);
}
