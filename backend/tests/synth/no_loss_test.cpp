// What must never happen to a listener: a click when polyphony saturates or
// the CPU limit sheds voices, a note lost after a program change on a playing
// stream, a rendered file that never ends.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "synth/midi_stream.h"
#include "synth/render_util.h"

using namespace tsl::test;

namespace {

// A constant sample, looped: the sum of any number of such voices is flat,
// so every step in the output is a voice starting or stopping.
Sf2Sample Dc(int16_t value = 8000) {
    Sf2Sample dc;
    dc.pcm.assign(4000, value);
    dc.loopStart = 100;
    dc.loopEnd = 3900;
    return dc;
}

HSOUNDFONT DcFont(std::vector<std::pair<uint16_t, int16_t>> gens = {}) {
    Sf2Preset p;
    gens.push_back({54, 1});
    p.zones.push_back(Sf2Zone{0, 127, 0, gens});
    return LoadFont({Dc()}, {p});
}

double MaxStep(const std::vector<float>& x, size_t from = 1) {
    double m = 0;
    for (size_t i = std::max<size_t>(from, 1); i < x.size(); ++i) m = std::max(m, std::fabs(double(x[i]) - x[i - 1]));
    return m;
}

} // namespace

TEST(NoLoss, StolenAndShedVoicesFadeInsteadOfClicking) {
    HSOUNDFONT f = DcFont();
    VoiceLimit limit(16);
    // One voice's level, to compare the steps with.
    double one;
    {
        TestStream s({f}, BASS_MIDI_NOFX);
        s.Note(0, 60, 100);
        s.Render(4410);
        one = std::fabs(Channel(s.Render(64), 2, 0)[10]);
        ASSERT_GT(one, 0.01);
    }
    // Sixteen voices hard left, then a note on another channel, hard right,
    // at a frame inside a block: it steals, and the left channel shows the
    // stolen voice going.
    for (uint32_t at : {0u, 100u, 127u}) {
        TestStream s({f}, BASS_MIDI_NOFX);
        s.Event(0, MIDI_EVENT_PAN, 0);
        s.Event(1, MIDI_EVENT_PAN, 127);
        for (int k = 0; k < 16; ++k) s.Note(0, 40 + k, 100);
        s.Render(4352); // 34 blocks
        BASS_MIDI_EVENT ev{MIDI_EVENT_NOTE, 70 | 100 << 8, 1, 0, (4352 + at) * 8};
        ASSERT_EQ(BASS_MIDI_StreamEvents(s.h, BASS_MIDI_EVENTS_STRUCT | BASS_MIDI_EVENTS_TIME, &ev, 1), 1u);
        auto x = s.Render(4410);
        auto l = Channel(x, 2, 0), r = Channel(x, 2, 1);
        float v = 0;
        BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
        EXPECT_EQ(v, 16);
        EXPECT_GT(r.back(), 0.5 * one);                // the new note plays
        EXPECT_LT(l.back(), l.front() - 0.9 * one);    // a voice went
        EXPECT_LT(MaxStep(l), 0.2 * one) << at;        // a cut would step by `one`
    }
    // The CPU limit at almost nothing sheds voices every block.
    {
        TestStream s({f}, BASS_MIDI_NOFX);
        for (int k = 0; k < 16; ++k) s.Note(0, 40 + k, 100);
        auto before = Channel(s.Render(4410), 2, 0);
        ASSERT_TRUE(BASS_ChannelSetAttribute(s.h, BASS_ATTRIB_MIDI_CPU, 0.0001f));
        auto x = Channel(s.Render(4410), 2, 0);
        float v = 16;
        BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
        EXPECT_LT(v, 16);         // voices went
        EXPECT_LT(std::fabs(x.back()), std::fabs(before.back()) - 0.5 * one);
        EXPECT_LT(MaxStep(x), 0.15 * one * 2); // without a click (a voice or two a block)
    }
    BASS_MIDI_FontFree(f);
}

TEST(NoLoss, ANoteRightAfterAProgramChangeOnAPlayingStreamIsHeard) {
    // The font is opened but not loaded: a playing stream's loader reads
    // program 1's samples only when the program change asks for them.
    Sf2Preset p0, p1;
    p0.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}}});
    p1.program = 1;
    p1.zones.push_back(Sf2Zone{0, 127, 1, {{54, 1}}});
    std::string path = WriteTempFile(BuildSf2({Dc(4000), Dc(12000)}, {p0, p1}), "unloaded.sf2");
    HSOUNDFONT f = BASS_MIDI_FontInit(path.c_str(), 0);
    ASSERT_NE(f, 0u);
    // The stream object itself: rendering a playing stream needs no device.
    tsl::MidiStream s(BASS_SAMPLE_FLOAT | BASS_MIDI_NOFX, 44100, 64);
    BASS_MIDI_FONT ft{f, -1, 0};
    int error = 0;
    ASSERT_TRUE(s.SetFonts(&ft, 1, &error));
    const uint8_t msg[] = {0xC0, 1, 0x90, 60, 100};
    ASSERT_EQ(s.SendRaw(msg, sizeof msg), 2);
    // Rendered as a device would pull it: 10 ms every 10 ms.
    std::vector<float> buf(2 * 441);
    int heardAt = -1;
    for (int block = 0; block < 100 && heardAt < 0; ++block) {
        ASSERT_EQ(s.RenderFloat(buf.data(), 441), 441u);
        for (float x : buf)
            if (std::fabs(x) > 1e-4f) heardAt = block;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GE(heardAt, 0) << "the note was lost";
    EXPECT_LT(heardAt, 50); // within half a second of rendering
    // It is program 1's sample (the louder one), and it releases normally.
    s.RenderFloat(buf.data(), 441);
    EXPECT_GT(std::fabs(buf[2 * 440]), 0.03f);
    const uint8_t off[] = {0x80, 60, 0};
    s.SendRaw(off, sizeof off);
    for (int i = 0; i < 100; ++i) s.RenderFloat(buf.data(), 441);
    EXPECT_EQ(s.ActiveVoices(), 0u);
    BASS_MIDI_FontFree(f);
}

TEST(NoLoss, AFileEndingWithAHeldNoteRendersItsDecayAndEnds) {
    // Release 0.3 s; a looped sample that would sound for ever. The file
    // ends at 0.5 s with the key still down and the sustain pedal held.
    HSOUNDFONT f = DcFont({{38, static_cast<int16_t>(std::lrint(1200 * std::log2(0.3)))}});
    for (DWORD fx : {DWORD(BASS_MIDI_NOFX), DWORD(0)}) {
        HSTREAM h = BASS_MIDI_StreamCreate(16, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT | BASS_MIDI_DECAYEND | fx, 44100);
        BASS_MIDI_FONT ft{f, -1, 0};
        BASS_MIDI_StreamSetFonts(h, &ft, 1);
        const DWORD end = 22050 * 8;
        BASS_MIDI_EVENT ev[4] = {{MIDI_EVENT_SUSTAIN, 127, 0, 0, 0},
                                 {MIDI_EVENT_NOTE, 60 | 100 << 8, 0, 0, 0},
                                 {MIDI_EVENT_REVERB, 127, 0, 0, 0},
                                 {MIDI_EVENT_END, 0, 0, 0, end}};
        BASS_MIDI_StreamEvents(h, BASS_MIDI_EVENTS_STRUCT | BASS_MIDI_EVENTS_TIME, ev, 4);
        std::vector<float> all, x(2 * 4410);
        for (int i = 0; i < 1000; ++i) {
            DWORD n = BASS_ChannelGetData(h, x.data(), static_cast<DWORD>(x.size() * 4));
            if (n == static_cast<DWORD>(-1)) break;
            all.insert(all.end(), x.begin(), x.begin() + n / 4);
        }
        const double seconds = all.size() / 2 / 44100.0;
        EXPECT_GT(seconds, 0.5 + 0.2) << "fx " << fx;  // the release was rendered
        EXPECT_LT(seconds, 0.5 + 5.0) << "fx " << fx;  // and it ended
        auto l = Channel(all, 2, 0);
        EXPECT_GT(Rms(l, 22050 + 2205, 441), 1e-3);    // still sounding 50 ms after the end
        EXPECT_LT(Rms(l, l.size() - 441, 441), 1e-4);  // faded out
        BASS_StreamFree(h);
    }
    BASS_MIDI_FontFree(f);
}
