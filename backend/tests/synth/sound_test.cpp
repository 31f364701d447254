// What a note sounds like: envelope stages at their times, seamless loops,
// no seam where pan and volume move, pan and velocity curves, exclusive
// classes, 24-bit sample precision.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "synth/render_util.h"

using namespace tsl::test;

namespace {

int16_t Tc(double seconds) { return static_cast<int16_t>(std::lrint(1200 * std::log2(seconds))); }

// A looped sine; `loopPeriods` > 0 makes the loop that many periods long.
HSOUNDFONT Font(std::vector<std::pair<uint16_t, int16_t>> gens, uint32_t period = 100, uint32_t loopPeriods = 0) {
    Sf2Sample s = SineSample(period, 400, 44100, 60);
    if (loopPeriods > 0) s.loopEnd = s.loopStart + period * loopPeriods;
    Sf2Preset p;
    gens.push_back({54, 1});
    p.zones.push_back(Sf2Zone{0, 127, 0, gens});
    return LoadFont({s}, {p});
}

double Db(double a, double b) { return 20 * std::log10(a / b); }

} // namespace

TEST(Sound, VolumeEnvelopeStagesAtTheirTimes) {
    // delay 0.1 s, attack 0.2 s, hold 0.1 s, decay 1 s (full range) to -24 dB, release 0.5 s.
    HSOUNDFONT f = Font({{33, Tc(0.1)}, {34, Tc(0.2)}, {35, Tc(0.1)}, {36, Tc(1.0)}, {37, 240}, {38, Tc(0.5)}});
    TestStream s({f}, BASS_MIDI_NOFX);
    s.Note(0, 60, 127);
    auto x = Channel(s.Render(44100 * 2), 2, 0);
    const size_t ms = 441 / 10; // frames per millisecond (rounded down)
    auto at = [&](double sec) { return Rms(x, static_cast<size_t>(sec * 44100) - 5 * ms, 10 * ms); };
    EXPECT_LT(at(0.05), 1e-6);                       // delay: silence
    double peak = at(0.35);                          // hold
    EXPECT_NEAR(at(0.15) / peak, 0.25, 0.05);        // a quarter into the linear attack
    EXPECT_NEAR(at(0.25) / peak, 0.75, 0.05);
    EXPECT_NEAR(Db(at(0.4 + 0.125), peak), -12.0, 1.0); // decay: 96 dB per second
    EXPECT_NEAR(Db(at(1.5), peak), -24.0, 0.5);     // sustain
    s.Note(0, 60, 0);
    auto r = Channel(s.Render(44100), 2, 0);
    double sus = Rms(r, 0, 5 * ms);
    EXPECT_NEAR(Db(Rms(r, static_cast<size_t>(0.125 * 44100), 10 * ms), sus), -24.0, 1.5); // release: 192 dB/s
    EXPECT_LT(Rms(r, 44100 / 2, 20 * ms), 1e-5);
    BASS_MIDI_FontFree(f);
}

TEST(Sound, LoopsPlaySeamlessly) {
    // Periods that do not divide the block size, so the seam falls at every
    // phase; any discontinuity shows as a jump beyond the sine's slope. A
    // loop of one period is short (the voice stays in its seam), one of
    // forty periods is long (it goes back into the data at every pass);
    // two octaves up, a voice steps across several short loops per block.
    struct Case {
        int period, periods, key;
    };
    for (const Case c : {Case{37, 1, 60}, Case{37, 40, 60}, Case{29, 1, 84}}) {
        for (DWORD flags : std::initializer_list<DWORD>{0, BASS_MIDI_SINCINTER}) {
            HSOUNDFONT f = Font({}, c.period, c.periods);
            TestStream s({f}, BASS_MIDI_NOFX | flags);
            s.Note(0, c.key, 127);
            s.Render(4410);
            auto x = Channel(s.Render(44100), 2, 0);
            float amp = 0;
            for (float v : x) amp = std::max(amp, std::fabs(v));
            double maxStep = 0;
            for (size_t i = 1; i < x.size(); ++i)
                maxStep = std::max(maxStep, static_cast<double>(std::fabs(x[i] - x[i - 1])));
            // A sine's largest step per frame is 2*pi/period of its amplitude
            // (four times that two octaves up).
            const double ratio = std::exp2((c.key - 60) / 12.0);
            EXPECT_LT(maxStep, amp * 2 * std::numbers::pi * ratio / c.period * 1.02)
                << "period " << c.period << " x" << c.periods << " key " << c.key << " flags " << flags;
            EXPECT_GT(amp, 0.01f);
            BASS_MIDI_FontFree(f);
        }
    }
}

// The gain scales a voice's signal before its filter, in the fused pass and
// in the voice-by-voice path a voice takes for the block in which its pan
// glides. Were the two to differ, the filter's state would be in the wrong
// scale at every change of path, and jump. A resonant, decaying sine is
// panned across and its volume lowered while it plays: its left channel
// must stay as smooth as a sine of its largest amplitude.
TEST(Sound, PanAndVolumeMovesLeaveNoSeam) {
    HSOUNDFONT f = Font({{8, 7000}, {9, 100}, {36, Tc(4.0)}, {37, 400}});
    TestStream s({f}, BASS_MIDI_NOFX);
    s.Note(0, 60, 127);
    s.Render(4410);
    std::vector<float> x;
    for (int k = 0; k < 12; ++k) {
        s.Raw({0xB0, 10, static_cast<uint8_t>(k * 11)});
        if (k % 3 == 0) s.Raw({0xB0, 7, static_cast<uint8_t>(127 - k * 6)});
        const std::vector<float> part = Channel(s.Render(2205), 2, 0);
        x.insert(x.end(), part.begin(), part.end());
    }
    float amp = 0;
    for (float v : x) amp = std::max(amp, std::fabs(v));
    double maxStep = 0;
    for (size_t i = 1; i < x.size(); ++i) maxStep = std::max(maxStep, static_cast<double>(std::fabs(x[i] - x[i - 1])));
    ASSERT_GT(amp, 0.01f);
    EXPECT_LT(maxStep, amp * 2 * std::numbers::pi / 100 * 1.05);
    BASS_MIDI_FontFree(f);
}

TEST(Sound, PanAndVelocityCurves) {
    HSOUNDFONT f = Font({});
    auto level = [&](int vel, int pan, uint32_t ch) {
        TestStream s({f}, BASS_MIDI_NOFX);
        s.Raw({0xB0, 10, static_cast<uint8_t>(pan)});
        s.Note(0, 60, vel);
        s.Render(4410);
        return Rms(Channel(s.Render(4410), 2, ch), 0, 4410);
    };
    // Velocity: amplitude follows the square of velocity (40 log10 law).
    EXPECT_NEAR(Db(level(64, 64, 0), level(127, 64, 0)), 40 * std::log10(64.0 / 127.0), 0.5);
    // Pan: centre is -3 dB on each side; hard left leaves the right silent.
    EXPECT_NEAR(Db(level(127, 64, 1), level(127, 64, 0)), 0.0, 0.2);
    EXPECT_LT(level(127, 0, 1), level(127, 0, 0) * 1e-3);
    EXPECT_LT(level(127, 127, 0), level(127, 127, 1) * 2e-2);
    // Halfway to the right is halfway round the equal-power law (3/8 of a
    // quarter turn: -7.7 dB on the left), not already hard right.
    EXPECT_NEAR(Db(level(127, 96, 0), level(127, 96, 1)), 20 * std::log10(std::tan(3.14159265 / 8)), 0.2);
    EXPECT_NEAR(Db(level(127, 32, 1), level(127, 32, 0)), 20 * std::log10(std::tan(3.14159265 / 8)), 0.2);
    BASS_MIDI_FontFree(f);
}

// Voices that are filtered but not plain (sinc here) are filtered eight at
// a time, and those left over are filled up with silent lanes: a filtered
// note alone, or a few, must sound as one of eight does, the filter heard
// (a square wave with its cutoff well below its highs).
TEST(Sound, FilteredVoicesSoundTheSameAloneAsInAFullGroup) {
    Sf2Sample sq = SineSample(100, 400, 44100, 69);
    for (size_t i = 0; i < sq.pcm.size(); ++i) sq.pcm[i] = (i % 100) < 50 ? 6000 : -6000;
    Sf2Preset p;
    p.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}, {8, 8000}}}); // cutoff about 840 Hz
    Sf2Preset open;
    open.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}}});
    HSOUNDFONT f = LoadFont({sq}, {p}), g = LoadFont({sq}, {open});
    auto render = [](HSOUNDFONT font, int notes) {
        TestStream s({font}, BASS_MIDI_NOFX | BASS_MIDI_SINCINTER);
        for (int c = 0; c < notes; ++c) s.Note(c, 69, 100);
        return Channel(s.Render(8820), 2, 0);
    };
    const std::vector<float> eight = render(f, 8);
    const double loud = Rms(eight, 0, eight.size());
    ASSERT_GT(loud, 0.01);
    for (int notes : {1, 3, 5}) {
        const std::vector<float> few = render(f, notes);
        double worst = 0;
        for (size_t i = 0; i < eight.size(); ++i) worst = std::max(worst, std::fabs(few[i] * 8.0 - eight[i] * notes));
        EXPECT_LT(worst, loud * 1e-4) << notes << " notes";
    }
    const std::vector<float> unfiltered = render(g, 1);
    double apart = 0;
    for (size_t i = 0; i < eight.size(); ++i) apart = std::max(apart, std::fabs(unfiltered[i] * 8.0 - eight[i]));
    EXPECT_GT(apart, loud * 0.1) << "the filter was not heard";
    BASS_MIDI_FontFree(f);
    BASS_MIDI_FontFree(g);
}

// A cutoff that moves block by block must glide there: a jump of the
// coefficients with the filter's state carried over clicks at every block,
// worst near the top of the range, where a small move of the cutoff is a
// large one of the coefficients. A sine has nothing high for the sweep to
// let through, so whatever comes out high is the filter's own: measured by
// a third difference, which takes 86 dB off a sine at 441 Hz and little
// off a click. Down from the top (the filter turning on), up past it (the
// filter turning off), in the grouped passes and voice by voice (sinc).
TEST(Sound, FilterSweepsGlideWithoutClicks) {
    const std::vector<std::pair<uint16_t, int16_t>> sweeps[2] = {
        {{11, -6000}, {26, Tc(1.0)}},             // 13,500 cents down to 7,500 over a second
        {{8, 8000}, {11, 6000}, {26, Tc(1.0)}}};  // 8,000 up past the top
    for (const auto& gens : sweeps)
        for (DWORD flags : {DWORD{0}, DWORD{BASS_MIDI_SINCINTER}}) {
            HSOUNDFONT f = Font(gens);
            TestStream s({f}, BASS_MIDI_NOFX | flags);
            s.Note(0, 60, 127);
            const std::vector<float> x = Channel(s.Render(44100 * 3 / 2), 2, 0);
            std::vector<float> d3(x.size(), 0.0f);
            for (size_t i = 3; i < x.size(); ++i) d3[i] = x[i] - 3 * x[i - 1] + 3 * x[i - 2] - x[i - 3];
            const size_t from = 4410, count = 44100; // past the onset, through the sweep
            const double level = Rms(x, from, count);
            ASSERT_GT(level, 1e-3);
            EXPECT_LT(Rms(d3, from, count), level * 1e-3) << gens[0].second << " " << flags;
            BASS_MIDI_FontFree(f);
        }
}

TEST(Sound, ExclusiveClassCutsThePreviousNote) {
    // Keys 60 and 62 share exclusive class 1 (an open and closed hi-hat).
    Sf2Sample a = SineSample(100, 400, 44100, 60);
    Sf2Preset p;
    p.zones.push_back(Sf2Zone{60, 60, 0, {{54, 1}, {57, 1}}});
    p.zones.push_back(Sf2Zone{62, 62, 0, {{54, 1}, {57, 1}}});
    p.zones.push_back(Sf2Zone{64, 64, 0, {{54, 1}}});
    HSOUNDFONT f = LoadFont({a}, {p});
    TestStream s({f}, BASS_MIDI_NOFX);
    s.Note(0, 60, 127);
    s.Note(0, 64, 127);
    s.Render(4410);
    float v = 0;
    BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
    EXPECT_EQ(v, 2);
    s.Note(0, 62, 127);
    s.Render(4410); // 100 ms: the cut voice has faded out
    BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
    EXPECT_EQ(v, 2); // 62 and the unrelated 64
    BASS_MIDI_FontFree(f);
}

TEST(Sound, ExclusiveClassesStayWithTheirChannelThroughChurn) {
    // Keys 60 and 62 share class 1, key 64 has class 2, key 66 none; all
    // loop, so only a cut or a release ends them. Voices of class 2 come and
    // go many times in between, on both channels, before a class-1 note on
    // channel 0 must find exactly the class-1 voice of its own channel.
    Sf2Sample a = SineSample(100, 400, 44100, 60);
    Sf2Preset p;
    p.zones.push_back(Sf2Zone{60, 60, 0, {{54, 1}, {57, 1}}});
    p.zones.push_back(Sf2Zone{62, 62, 0, {{54, 1}, {57, 1}}});
    p.zones.push_back(Sf2Zone{64, 64, 0, {{54, 1}, {57, 2}}});
    p.zones.push_back(Sf2Zone{66, 66, 0, {{54, 1}}});
    HSOUNDFONT f = LoadFont({a}, {p});
    TestStream s({f}, BASS_MIDI_NOFX);
    auto active = [&] {
        float v = 0;
        BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
        return static_cast<int>(v);
    };
    s.Note(0, 60, 127);
    s.Note(0, 66, 127);
    s.Note(1, 60, 127);
    s.Render(441);
    for (int i = 0; i < 40; ++i) {
        const int c = i % 2;
        s.Note(c, 64, 100); // cuts the class-2 voice still fading, if any
        s.Render(64);
        if (i % 3 == 0) s.Note(c, 64, 0);
        s.Render(441 * (i % 4));
    }
    s.Note(0, 64, 0);
    s.Note(1, 64, 0);
    s.Render(4410);
    EXPECT_EQ(active(), 3); // 60 and 66 on channel 0, 60 on channel 1
    s.Note(0, 62, 127);
    s.Render(4410); // the cut voice has faded out
    EXPECT_EQ(active(), 3); // 62 and 66 on channel 0; channel 1 keeps its 60
    s.Note(1, 62, 127);
    s.Render(4410);
    EXPECT_EQ(active(), 3);
    s.Note(0, 66, 0);
    s.Render(4410);
    EXPECT_EQ(active(), 2);
    BASS_MIDI_FontFree(f);
}

TEST(Sound, TwentyFourBitSamplesKeepTheirLowByte) {
    // A sine whose 24-bit values are exactly 1/256 of a 16-bit one: the high
    // 16 bits carry only the sign, everything else is in the low byte. Looped,
    // so the loop seam's low bytes are read too.
    Sf2Sample big = SineSample(100, 40, 44100, 60, 200);
    Sf2Sample small = big;
    for (size_t i = 0; i < big.pcm.size(); ++i) {
        const int32_t v24 = big.pcm[i]; // 200 * sin, as a 24-bit value
        small.pcm[i] = static_cast<int16_t>(v24 >> 8);
        small.low.push_back(static_cast<uint8_t>(v24 & 0xff));
    }
    Sf2Preset p0, p1;
    p1.program = 1;
    p0.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}}});
    p1.zones.push_back(Sf2Zone{0, 127, 1, {{54, 1}}});
    HSOUNDFONT f = LoadFont({big, small}, {p0, p1});
    TestStream s({f}, BASS_MIDI_NOFX);
    s.Note(0, 60, 127);
    s.Event(1, MIDI_EVENT_PROGRAM, 1);
    s.Note(1, 60, 127);
    s.Event(1, MIDI_EVENT_PAN, 127);
    s.Event(0, MIDI_EVENT_PAN, 0);
    auto x = s.Render(8820);
    auto l = Channel(x, 2, 0), r = Channel(x, 2, 1);
    // Hard left is channel 0 (16-bit), hard right channel 1 (24-bit); the
    // loop (frames 100..4000) wraps twice in this window.
    double ratio = Rms(r, 4410, 4410) / Rms(l, 4410, 4410);
    EXPECT_NEAR(ratio, 1.0 / 256, 1e-5);
    for (size_t i = 4410; i < 8820; i += 37) EXPECT_NEAR(r[i] * 256, l[i], 2e-4 * Rms(l, 4410, 4410)) << i;
    BASS_MIDI_FontFree(f);
}
