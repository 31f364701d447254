// MIDI semantics heard through the output: drum channels and system resets,
// stacked fonts, the state blob, the voice limit, output formats, timed
// events and events from another thread.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "synth/render_util.h"

using namespace tsl::test;

namespace {

// Melodic bank 0 program 0 plays 441 Hz, bank 128 (drums) kit 0 plays 882 Hz.
HSOUNDFONT MelodicAndDrums() {
    Sf2Sample lo = SineSample(100, 400, 44100, 69);
    Sf2Sample hi = SineSample(50, 800, 44100, 69);
    Sf2Preset mel, drum;
    mel.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}, {58, 69}}});
    drum.bank = 128;
    drum.zones.push_back(Sf2Zone{0, 127, 1, {{54, 1}, {46, 69}}});
    return LoadFont({lo, hi}, {mel, drum});
}

// One looped sine over every key.
HSOUNDFONT LoopedSine() {
    Sf2Sample sine = SineSample(97, 400, 44100, 60);
    Sf2Preset p;
    p.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}}});
    return LoadFont({sine}, {p});
}

double HzOf(TestStream& s, int chan) {
    s.Note(chan, 69, 100);
    auto x = Channel(s.Render(8820), 2, 0);
    s.Event(chan, MIDI_EVENT_NOTESOFF, 0);
    s.Render(4410);
    return MeasureHz(std::vector<float>(x.begin() + 2205, x.end()), 44100);
}

bool IsDrum(double hz) { return std::fabs(hz - 882) < 5; }
bool IsMelodic(double hz) { return std::fabs(hz - 441) < 5; }

} // namespace

TEST(Midi, DrumChannelsByDefaultAndAfterEachReset) {
    HSOUNDFONT f = MelodicAndDrums();
    TestStream s({f}, BASS_MIDI_NOFX);
    EXPECT_TRUE(IsDrum(HzOf(s, 9)));
    EXPECT_TRUE(IsMelodic(HzOf(s, 0)));
    s.Event(0, MIDI_EVENT_DRUMS, 1);
    EXPECT_TRUE(IsDrum(HzOf(s, 0)));

    // GS: rhythm part on channel 2 (block 3), then a GS reset undoes it.
    s.Raw({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});
    EXPECT_TRUE(IsMelodic(HzOf(s, 0)));
    s.Raw({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x13, 0x15, 0x01, 0x17, 0xF7});
    EXPECT_TRUE(IsDrum(HzOf(s, 2)));
    EXPECT_TRUE(IsDrum(HzOf(s, 9)));

    // XG: bank MSB 127 makes any channel a drum channel at its program change.
    s.Raw({0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7});
    EXPECT_TRUE(IsMelodic(HzOf(s, 2)));
    s.Raw({0xB4, 0, 127, 0xC4, 0});
    EXPECT_TRUE(IsDrum(HzOf(s, 4)));
    EXPECT_TRUE(IsDrum(HzOf(s, 9)));

    // GM2: MSB 120 drums, 121 melodic (also on channel 10).
    s.Raw({0xF0, 0x7E, 0x7F, 0x09, 0x03, 0xF7});
    s.Raw({0xB5, 0, 120, 0xC5, 0, 0xB9, 0, 121, 0xC9, 0});
    EXPECT_TRUE(IsDrum(HzOf(s, 5)));
    EXPECT_TRUE(IsMelodic(HzOf(s, 9)));

    // GM: bank selects are ignored; a missing program falls back to bank 0.
    s.Raw({0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
    s.Raw({0xB0, 0, 5, 0xC0, 0});
    EXPECT_TRUE(IsMelodic(HzOf(s, 0)));
    EXPECT_TRUE(IsDrum(HzOf(s, 9)));
    BASS_MIDI_FontFree(f);
}

TEST(Midi, FirstFontOfTheStackWins) {
    const char* gs = "/usr/share/sounds/sf2/FluidR3_GS.sf2";
    const char* tim = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    if (!std::filesystem::exists(gs) || !std::filesystem::exists(tim)) GTEST_SKIP() << "soundfont packages not installed";
    HSOUNDFONT a = BASS_MIDI_FontInit(gs, 0), b = BASS_MIDI_FontInit(tim, 0);
    ASSERT_TRUE(a && b);
    auto render = [&](std::vector<HSOUNDFONT> fonts, uint8_t bank, uint8_t program) {
        TestStream s(fonts, BASS_MIDI_NOFX);
        s.Raw({0xB0, 0, bank, 0xC0, program, 0x90, 60, 100});
        return s.Render(4410);
    };
    // The GS bank holds only variation presets ("Rain" is bank 1, program 122).
    auto rain = render({a, b}, 1, 122);
    EXPECT_EQ(rain, render({a}, 1, 122));
    EXPECT_NE(rain, render({b}, 1, 122));
    // What it lacks comes from the font below it, and a missing variation
    // falls back to the capital tone (bank 0) of the same program.
    auto organ = render({b}, 0, 19);
    EXPECT_EQ(render({a, b}, 0, 19), organ);
    EXPECT_EQ(render({a, b}, 1, 19), organ);
    EXPECT_GT(Rms(organ, 0, organ.size()), 1e-3);
    BASS_MIDI_FontFree(a);
    BASS_MIDI_FontFree(b);
}

TEST(Midi, StateBlobRoundTrip) {
    HSOUNDFONT f = MelodicAndDrums();
    TestStream a({f});
    a.Raw({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});
    a.Raw({0xB3, 0, 8, 0xB3, 32, 1, 0xC3, 42, 0xB3, 7, 77, 0xB3, 10, 20, 0xE3, 0x11, 0x50,
           0xB3, 101, 0, 0xB3, 100, 0, 0xB3, 6, 7});
    a.Event(3, MIDI_EVENT_MIXLEVEL, 55);
    a.Event(9, MIDI_EVENT_DRUMS, 0);
    a.Render(64);
    DWORD size = BASS_ChannelGetAttributeEx(a.h, BASS_ATTRIB_MIDI_STATE, nullptr, 0);
    ASSERT_GT(size, 0u);
    std::vector<uint8_t> blob(size);
    ASSERT_EQ(BASS_ChannelGetAttributeEx(a.h, BASS_ATTRIB_MIDI_STATE, blob.data(), size), size);

    TestStream b({f});
    ASSERT_TRUE(BASS_ChannelSetAttributeEx(b.h, BASS_ATTRIB_MIDI_STATE, blob.data(), size));
    b.Render(64);
    std::vector<uint8_t> again(size);
    BASS_ChannelGetAttributeEx(b.h, BASS_ATTRIB_MIDI_STATE, again.data(), size);
    EXPECT_EQ(blob, again);
    // The restored channel 10 is melodic, as it was in the first stream.
    EXPECT_TRUE(IsMelodic(HzOf(b, 9)));

    // Garbage is refused and changes nothing.
    std::vector<uint8_t> bad = blob;
    bad[0] ^= 1;
    EXPECT_FALSE(BASS_ChannelSetAttributeEx(b.h, BASS_ATTRIB_MIDI_STATE, bad.data(), size));
    EXPECT_FALSE(BASS_ChannelSetAttributeEx(b.h, BASS_ATTRIB_MIDI_STATE, blob.data(), size - 1));
    BASS_MIDI_FontFree(f);
}

TEST(Midi, VoiceLimitStealsOldQuietVoicesNotTheNewest) {
    HSOUNDFONT f = MelodicAndDrums();
    {
        VoiceLimit limit(16);
        TestStream s({f}, BASS_MIDI_NOFX);
        for (int k = 0; k < 16; ++k) s.Note(0, 40 + k, 100);
        s.Render(64);
        s.Note(0, 40, 0); // released: the first to go
        s.Render(64);
        s.Note(1, 90, 127);
        s.Render(64);
        float v = 0;
        BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
        EXPECT_EQ(v, 16);
        for (int k = 0; k < 20; ++k) s.Note(2, 20 + k, 100);
        s.Render(64);
        BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
        EXPECT_EQ(v, 16);
        // The newest note sounds: channel 2's last key, 39, plays 441 Hz * 2^((39-69)/12).
        s.Event(0, MIDI_EVENT_SOUNDOFF, 0);
        s.Event(1, MIDI_EVENT_SOUNDOFF, 0);
        for (int k = 0; k < 19; ++k) s.Note(2, 20 + k, 0);
        s.Render(44100);
        BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
        EXPECT_EQ(v, 1);
        double hz = MeasureHz(Channel(s.Render(44100), 2, 0), 44100);
        EXPECT_NEAR(Cents(hz, 441 * std::pow(2.0, (39 - 69) / 12.0)), 0, 2);
    }
    BASS_MIDI_FontFree(f);
}

// Over a hundred voices are rendered in chunks, each keeping its own
// quietest voices as steal candidates: a few new notes must still take the
// quietest voices of the whole stream, wherever they are in the list, and
// leave every loud one alone.
TEST(Midi, StealsTakeTheQuietestVoicesOfEveryChunk) {
    HSOUNDFONT f = LoopedSine();
    {
        VoiceLimit limit(300);
        TestStream s({f}, BASS_MIDI_NOFX, 48000);
        // 290 loud voices on channels 1 and 2, and 10 quiet ones on channel 0
        // spread through the list (three chunks).
        for (int i = 0; i < 300; ++i) {
            if (i % 30 == 7) s.Note(0, 30 + i / 30, 5 + i / 30);
            else s.Note(1 + i % 2, 20 + i % 90, 50 + (i * 37) % 78);
        }
        s.Render(256);
        for (int k = 0; k < 10; ++k) s.Note(3, 40 + k, 120);
        s.Render(256);
        float v = 0;
        BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
        EXPECT_EQ(v, 300);
        // With the loud channels silenced, nothing of the quiet notes is left.
        for (int c = 1; c <= 3; ++c) s.Event(c, MIDI_EVENT_SOUNDOFF, 0);
        s.Render(4800);
        const auto rest = s.Render(4800);
        EXPECT_LT(Rms(rest, 0, rest.size()), 1e-6);
        BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
        EXPECT_EQ(v, 0);
    }
    BASS_MIDI_FontFree(f);
}

// A storm: one block steals far more voices than the last block left as
// candidates (and more than the spare voices they could fade out in). The
// steals must still take the quietest voices and only them, with the voices
// in one chunk (300) or several (700), and from well below the limit, where
// the last block kept no candidates at all.
TEST(Midi, AStormOfStealsInOneBlockStillTakesTheQuietest) {
    HSOUNDFONT f = LoopedSine();
    struct Case {
        int limit, total;
    };
    for (const Case c : {Case{300, 300}, Case{700, 700}, Case{300, 200}}) {
        const int total = c.total;
        VoiceLimit limit(c.limit);
        TestStream s({f}, BASS_MIDI_NOFX, 48000);
        // Four quiet voices on channel 0 for every three loud ones on
        // channels 1 and 2, every key of each channel used once at most per
        // velocity.
        int quiet = 0, loud = 0;
        for (int i = 0; i < total; ++i) {
            if (i % 7 < 4) {
                s.Note(0, 10 + quiet % 100, 2 + quiet % 37);
                ++quiet;
            } else {
                s.Note(1 + loud % 2, 10 + loud % 100, 100 + loud % 28);
                ++loud;
            }
        }
        s.Render(256);
        float v = 0;
        BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
        ASSERT_EQ(v, total);
        for (int k = 0; k < c.limit - total + quiet - 20; ++k) s.Note(3, 10 + k % 100, 120);
        s.Render(256);
        BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
        EXPECT_EQ(v, c.limit);
        // Only 20 of the quiet voices are left, and every loud one.
        for (int c = 1; c <= 3; ++c) s.Event(c, MIDI_EVENT_SOUNDOFF, 0);
        s.Render(4800);
        BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
        EXPECT_EQ(v, 20) << c.limit << " " << total;
    }
    BASS_MIDI_FontFree(f);
}

TEST(Midi, NoteOff1ReleasesOnlyTheLastOfEqualNotes) {
    HSOUNDFONT f = MelodicAndDrums();
    for (DWORD flags : std::initializer_list<DWORD>{0, BASS_MIDI_NOTEOFF1}) {
        TestStream s({f}, BASS_MIDI_NOFX | flags);
        s.Note(0, 60, 100);
        s.Note(0, 60, 100);
        s.Note(0, 60, 0);
        s.Render(44100);
        float v = 0;
        BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
        EXPECT_EQ(v, flags ? 1 : 0);
    }
    BASS_MIDI_FontFree(f);
}

// 16-bit and 8-bit output are the float output scaled, clipped and rounded
// to the nearest step (ties to even), to the bit: for a chord loud enough to
// clip, read in pieces of odd lengths as well as whole.
TEST(Midi, OutputFormatsAgree) {
    HSOUNDFONT f = MelodicAndDrums();
    auto make = [&](DWORD flags) {
        HSTREAM h = BASS_MIDI_StreamCreate(16, BASS_STREAM_DECODE | BASS_MIDI_NOFX | flags, 22050);
        BASS_MIDI_FONT ft{f, -1, 0};
        BASS_MIDI_StreamSetFonts(h, &ft, 1);
        BASS_MIDI_StreamEvent(h, 0, MIDI_EVENT_VOLUME, 127);
        for (int key : {57, 60, 64, 67, 69, 72, 76, 79, 81, 84}) BASS_MIDI_StreamEvent(h, 0, MIDI_EVENT_NOTE, key | 127 << 8);
        return h;
    };
    HSTREAM fl = make(BASS_SAMPLE_FLOAT), s16 = make(0), u8 = make(BASS_SAMPLE_8BITS), mono = make(BASS_SAMPLE_FLOAT | BASS_SAMPLE_MONO);
    // The same read in pieces of 1 to 7 frames, by a float and a 16-bit stream.
    HSTREAM piecesFl = make(BASS_SAMPLE_FLOAT), pieces16 = make(0);
    std::vector<float> a(2000), pa(2000);
    std::vector<int16_t> b(2000), pb(2000);
    std::vector<uint8_t> c(2000);
    std::vector<float> m(1000);
    EXPECT_EQ(BASS_ChannelGetData(fl, a.data(), 8000), 8000u);
    EXPECT_EQ(BASS_ChannelGetData(s16, b.data(), 4000), 4000u);
    EXPECT_EQ(BASS_ChannelGetData(u8, c.data(), 2000), 2000u);
    EXPECT_EQ(BASS_ChannelGetData(mono, m.data(), 4000), 4000u);
    for (size_t done = 0; done < pa.size();) {
        const size_t frames = std::min<size_t>(1 + done % 7, (pa.size() - done) / 2);
        ASSERT_EQ(BASS_ChannelGetData(piecesFl, pa.data() + done, static_cast<DWORD>(frames * 8)), frames * 8);
        ASSERT_EQ(BASS_ChannelGetData(pieces16, pb.data() + done, static_cast<DWORD>(frames * 4)), frames * 4);
        done += 2 * frames;
    }
    auto to16 = [](float x) { return static_cast<int16_t>(std::nearbyint(std::clamp(x * 32768.0f, -32768.0f, 32767.0f))); };
    int clipped = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        clipped += std::fabs(a[i]) > 1.0f;
        const auto want8 = static_cast<uint8_t>(std::nearbyint(std::clamp(a[i] * 128.0f + 128.0f, 0.0f, 255.0f)));
        ASSERT_EQ(b[i], to16(a[i])) << i << " " << a[i];
        ASSERT_EQ(pb[i], to16(pa[i])) << i << " " << pa[i];
        ASSERT_EQ(c[i], want8) << i << " " << a[i];
    }
    EXPECT_GT(clipped, 0);
    for (size_t i = 0; i < m.size(); ++i) EXPECT_NEAR(m[i], (a[2 * i] + a[2 * i + 1]) / 2, 1e-6) << i;
    for (HSTREAM h : {fl, s16, u8, mono, piecesFl, pieces16}) BASS_StreamFree(h);
    EXPECT_FALSE(BASS_StreamFree(fl));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    BASS_MIDI_FontFree(f);
}

TEST(Midi, TimedEventsSoundAtTheirExactSample) {
    // A constant (DC) sample: the first non-zero output frame is the onset.
    Sf2Sample dc;
    dc.pcm.assign(4000, 20000);
    dc.loopStart = 100;
    dc.loopEnd = 3900;
    Sf2Preset p;
    p.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}}});
    HSOUNDFONT f = LoadFont({dc}, {p});
    for (uint32_t frame : {0u, 1u, 31u, 32u, 1000u, 1234u}) {
        TestStream s({f}, BASS_MIDI_NOFX);
        BASS_MIDI_EVENT ev[2] = {{MIDI_EVENT_NOTE, 60 | 127 << 8, 0, 0, frame * 8},
                                 {MIDI_EVENT_END, 0, 0, 0, (frame + 500) * 8}};
        ASSERT_EQ(BASS_MIDI_StreamEvents(s.h, BASS_MIDI_EVENTS_STRUCT | BASS_MIDI_EVENTS_TIME, ev, 2), 2u);
        std::vector<float> x(2 * 4000);
        DWORD got = BASS_ChannelGetData(s.h, x.data(), static_cast<DWORD>(x.size() * 4));
        // Without DECAYEND the stream ends at the END event.
        EXPECT_EQ(got, (frame + 500) * 8);
        size_t first = 0;
        while (first < x.size() / 2 && x[2 * first] == 0) ++first;
        EXPECT_EQ(first, frame);
        EXPECT_EQ(BASS_ChannelGetData(s.h, x.data(), 8), static_cast<DWORD>(-1));
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
    }
    BASS_MIDI_FontFree(f);
}

TEST(Midi, DecayEndRendersUntilTheLastVoiceDies) {
    HSOUNDFONT f = MelodicAndDrums();
    HSTREAM h = BASS_MIDI_StreamCreate(16, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT | BASS_MIDI_DECAYEND, 44100);
    BASS_MIDI_FONT ft{f, -1, 0};
    BASS_MIDI_StreamSetFonts(h, &ft, 1);
    BASS_MIDI_EVENT ev[3] = {{MIDI_EVENT_NOTE, 60 | 127 << 8, 0, 0, 0},
                             {MIDI_EVENT_NOTE, 60, 0, 0, 800},
                             {MIDI_EVENT_END, 0, 0, 0, 800}};
    BASS_MIDI_StreamEvents(h, BASS_MIDI_EVENTS_STRUCT | BASS_MIDI_EVENTS_TIME, ev, 3);
    std::vector<float> x(2 * 4410);
    uint64_t total = 0;
    for (int i = 0; i < 1000; ++i) {
        DWORD n = BASS_ChannelGetData(h, x.data(), static_cast<DWORD>(x.size() * 4));
        if (n == static_cast<DWORD>(-1)) break;
        total += n;
    }
    EXPECT_GT(total, 800u);           // past the end: the release rang out
    EXPECT_LT(total, 44100u * 8 * 2); // and then stopped
    BASS_StreamFree(h);
    BASS_MIDI_FontFree(f);
}

TEST(Midi, EventsFromAnotherThreadArriveWholeAndInOrder) {
    HSOUNDFONT f = MelodicAndDrums();
    TestStream s({f});
    std::atomic<bool> done{false};
    std::thread sender([&] {
        std::vector<uint8_t> big(3000, 0x11);
        big.front() = 0xF0;
        big[1] = 0x7D; // non-commercial id: ignored by the synth
        big.back() = 0xF7;
        for (int i = 0; i < 3000; ++i) {
            uint8_t v = static_cast<uint8_t>(i % 128);
            std::vector<uint8_t> m = {0xB0, 7, v, 0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x33, v, 0, 0xF7};
            BASS_MIDI_StreamEvents(s.h, BASS_MIDI_EVENTS_RAW, m.data(), static_cast<DWORD>(m.size()));
            if (i % 100 == 0) BASS_MIDI_StreamEvents(s.h, BASS_MIDI_EVENTS_RAW, big.data(), static_cast<DWORD>(big.size()));
            // A 3-byte message split across two calls still arrives whole.
            uint8_t a[2] = {0xB1, 7}, b[1] = {v};
            BASS_MIDI_StreamEvents(s.h, BASS_MIDI_EVENTS_RAW, a, 2);
            BASS_MIDI_StreamEvents(s.h, BASS_MIDI_EVENTS_RAW, b, 1);
        }
        done = true;
    });
    std::vector<float> buf(2 * 256);
    for (int i = 0; i < 200000 && !done; ++i) BASS_ChannelGetData(s.h, buf.data(), static_cast<DWORD>(buf.size() * 4));
    sender.join();
    s.Render(256);
    std::vector<uint8_t> blob(BASS_ChannelGetAttributeEx(s.h, BASS_ATTRIB_MIDI_STATE, nullptr, 0));
    BASS_ChannelGetAttributeEx(s.h, BASS_ATTRIB_MIDI_STATE, blob.data(), static_cast<DWORD>(blob.size()));
    // Blob layout: 12-byte header, then mode, master volume (2), reverb level.
    EXPECT_EQ(blob[15], 2999 % 128);
    const size_t chan0 = 20, chanSize = 148;
    EXPECT_EQ(blob[chan0 + 7], 2999 % 128);
    EXPECT_EQ(blob[chan0 + chanSize + 7], 2999 % 128);
    BASS_MIDI_FontFree(f);
}

// Before a block's notes are applied, the stream reads ahead through its
// timed lists or its live queue for the note-ons due, without taking them
// (what they read is asked for ahead). A block crowded with more note-ons
// than are read ahead must sound the same to the bit whether its events
// come timed or live: the key range's ends, layered and split zones, a drum
// channel, a transposed channel, and a channel switched to a program the
// font lacks.
TEST(Midi, ACrowdedBlockSoundsTheSameTimedOrLive) {
    const FontParts parts = LayeredSplitAndDrums();
    HSOUNDFONT f = LoadFont(parts.samples, parts.presets);
    // The channels' presets are resolved by their first notes, a block
    // before the crowd of notes that is asked for ahead.
    constexpr uint32_t kCrowdFrame = 512;
    std::vector<BASS_MIDI_EVENT> events = {{MIDI_EVENT_PROGRAM, 5, 1, 0, 0}, {MIDI_EVENT_TRANSPOSE, 64 + 7, 2, 0, 0}};
    for (DWORD chan : {0u, 1u, 2u, 3u, 9u}) events.push_back({MIDI_EVENT_NOTE, 64 | 90 << 8, chan, 0, 0});
    const size_t early = events.size();
    events.push_back({MIDI_EVENT_PROGRAM, 77, 3, 0, kCrowdFrame * 8});
    for (int k = 0; k < 90; ++k) {
        const DWORD chan = static_cast<DWORD>(k % 5 == 4 ? 9 : k % 4);
        const DWORD key = k == 0 ? 0 : (k == 1 ? 127 : static_cast<DWORD>(20 + k));
        events.push_back({MIDI_EVENT_NOTE, key | static_cast<DWORD>(1 + k * 7 % 127) << 8, chan, 0, kCrowdFrame * 8});
    }
    std::vector<float> live, timed;
    {
        TestStream s({f});
        for (size_t i = 0; i < events.size(); ++i) {
            if (i == early) live = s.Render(kCrowdFrame);
            s.Event(static_cast<int>(events[i].chan), events[i].event, events[i].param);
        }
        const std::vector<float> rest = s.Render(4096);
        live.insert(live.end(), rest.begin(), rest.end());
    }
    {
        TestStream s({f});
        ASSERT_EQ(BASS_MIDI_StreamEvents(s.h, BASS_MIDI_EVENTS_STRUCT | BASS_MIDI_EVENTS_TIME, events.data(),
                                         static_cast<DWORD>(events.size())),
                  events.size());
        timed = s.Render(kCrowdFrame + 4096);
    }
    ASSERT_EQ(live.size(), timed.size());
    EXPECT_EQ(live, timed);
    EXPECT_GT(Rms(live, 0, live.size()), 0.01);
    BASS_MIDI_FontFree(f);
}
