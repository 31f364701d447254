// Controllers that shape a playing sound, measured in the output: the GM2
// sound controllers and the GS/XG NRPNs that mirror them (vibrato, filter,
// envelope times), drum-key NRPNs, portamento and mono mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "synth/render_util.h"

using namespace tsl::test;

namespace {

int16_t Tc(double seconds) { return static_cast<int16_t>(std::lrint(1200 * std::log2(seconds))); }
double Db(double a, double b) { return 20 * std::log10(a / b); }

// 441 Hz at key 69 (a looped sine of 100 frames).
HSOUNDFONT SineFont(std::vector<std::pair<uint16_t, int16_t>> gens = {}, uint16_t bank = 0) {
    Sf2Sample s = SineSample(100, 400, 44100, 69);
    Sf2Preset p;
    p.bank = bank;
    gens.push_back({54, 1});
    p.zones.push_back(Sf2Zone{0, 127, 0, gens});
    return LoadFont({s}, {p});
}

// The frequency of every cycle (between upward zero crossings), with the
// time of its middle in seconds.
struct Cycle {
    double t, hz;
};
std::vector<Cycle> Cycles(const std::vector<float>& x, double rate) {
    std::vector<Cycle> out;
    double last = -1;
    for (size_t i = 1; i < x.size(); ++i)
        if (x[i - 1] < 0 && x[i] >= 0) {
            double t = (i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (last >= 0) out.push_back(Cycle{(t + last) / 2 / rate, rate / (t - last)});
            last = t;
        }
    return out;
}

// Peak-to-peak pitch swing in cents and how often it swings (Hz).
struct Swing {
    double cents, hz;
};
Swing PitchSwing(const std::vector<float>& x, double rate, double ref) {
    auto c = Cycles(x, rate);
    double lo = 1e9, hi = -1e9;
    for (auto& k : c) {
        lo = std::min(lo, Cents(k.hz, ref));
        hi = std::max(hi, Cents(k.hz, ref));
    }
    const double mid = (lo + hi) / 2;
    int ups = 0;
    double first = -1, lastUp = -1;
    for (size_t i = 1; i < c.size(); ++i)
        if (Cents(c[i - 1].hz, ref) < mid && Cents(c[i].hz, ref) >= mid) {
            if (first < 0) first = c[i].t;
            lastUp = c[i].t;
            ++ups;
        }
    return Swing{hi - lo, ups > 1 ? (ups - 1) / (lastUp - first) : 0};
}

void Nrpn(TestStream& s, int chan, int msb, int lsb, int value) {
    const uint8_t st = static_cast<uint8_t>(0xB0 | chan);
    s.Raw({st, 99, static_cast<uint8_t>(msb), st, 98, static_cast<uint8_t>(lsb), st, 6, static_cast<uint8_t>(value)});
}

void Cc(TestStream& s, int chan, int cc, int value) {
    s.Raw({static_cast<uint8_t>(0xB0 | chan), static_cast<uint8_t>(cc), static_cast<uint8_t>(value)});
}

const std::vector<uint8_t> kGsReset = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
const std::vector<uint8_t> kXgReset = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};

} // namespace

TEST(Controllers, VibratoDepthRateAndDelayByControllerAndNrpn) {
    HSOUNDFONT f = SineFont();
    auto swing = [&](auto setup, double from = 0.0, double to = 1.0) {
        TestStream s({f}, BASS_MIDI_NOFX);
        setup(s);
        s.Note(0, 69, 100);
        auto x = Channel(s.Render(44100), 2, 0);
        x.resize(static_cast<size_t>(to * 44100));
        x.erase(x.begin(), x.begin() + static_cast<long>(from * 44100));
        return PitchSwing(x, 44100, 441);
    };
    EXPECT_LT(swing([](TestStream&) {}).cents, 2.0); // the font has no vibrato
    // Depth 127: +-50 cents, at the LFO's default 8.18 Hz.
    Swing d = swing([](TestStream& s) { Cc(s, 0, 77, 127); });
    EXPECT_NEAR(d.cents, 100, 12);
    EXPECT_NEAR(d.hz, 8.18, 0.5);
    Swing n = swing([](TestStream& s) { Nrpn(s, 0, 1, 9, 127); });
    EXPECT_NEAR(n.cents, d.cents, 3);
    // Rate 127: 63 steps of 20 cents, about 2.07 times faster.
    Swing r = swing([](TestStream& s) { Cc(s, 0, 77, 127); Nrpn(s, 0, 1, 8, 127); });
    EXPECT_NEAR(r.hz, 8.18 * std::exp2(63 * 20 / 1200.0), 1.0);
    // Delay: from the font's instant start, 127 waits 50 ms x 2^(63 x 80 /
    // 1200) = 0.92 s: nothing moves before.
    Swing none = swing([](TestStream& s) { Cc(s, 0, 77, 127); Cc(s, 0, 78, 127); }, 0.1, 0.8);
    EXPECT_LT(none.cents, 2.0);
    Swing late = swing([](TestStream& s) { Cc(s, 0, 77, 127); Cc(s, 0, 78, 127); }, 0.1, 1.0);
    EXPECT_GT(late.cents, 20.0);
    // A GS reset puts every sound controller back.
    Swing reset = swing([](TestStream& s) { Cc(s, 0, 77, 127); s.Raw(kGsReset); });
    EXPECT_LT(reset.cents, 2.0);
    Swing xg = swing([](TestStream& s) { Nrpn(s, 0, 1, 9, 127); s.Raw(kXgReset); });
    EXPECT_LT(xg.cents, 2.0);
    BASS_MIDI_FontFree(f);
}

TEST(Controllers, CutoffAndResonance) {
    // Cutoff: a square wave (odd harmonics to 22 kHz) loses its highs when
    // the cutoff comes down four octaves; the sample-to-sample difference
    // measures the highs.
    Sf2Sample sq = SineSample(100, 400, 44100, 69);
    for (size_t i = 0; i < sq.pcm.size(); ++i) sq.pcm[i] = (i % 100) < 50 ? 12000 : -12000;
    Sf2Preset p;
    p.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}}});
    HSOUNDFONT f = LoadFont({sq}, {p});
    auto highs = [&](auto setup) {
        TestStream s({f}, BASS_MIDI_NOFX);
        setup(s);
        s.Note(0, 69, 100);
        s.Render(4410);
        auto x = Channel(s.Render(8820), 2, 0);
        std::vector<float> d(x.size() - 1);
        for (size_t i = 1; i < x.size(); ++i) d[i - 1] = x[i] - x[i - 1];
        return Rms(d, 0, d.size()) / Rms(x, 0, x.size());
    };
    const double open = highs([](TestStream&) {});
    EXPECT_LT(highs([](TestStream& s) { Cc(s, 0, 74, 0); }), open * 0.4);
    EXPECT_LT(highs([](TestStream& s) { Nrpn(s, 0, 1, 0x20, 0); }), open * 0.4);
    // Velocity 100 has brought the cutoff down a little (the default
    // velocity-to-cutoff modulator); brightness opens it again.
    EXPECT_GT(highs([](TestStream& s) { Cc(s, 0, 74, 127); }), open * 1.1);
    BASS_MIDI_FontFree(f);

    // Resonance: a sine at the cutoff (441 Hz = 6905 absolute cents; at
    // velocity 127 the velocity-to-cutoff modulator adds nothing) rises by
    // half the added Q, 63 steps of 0.2 dB: the filter takes back the other
    // half from its passband so that resonant sounds do not clip.
    HSOUNDFONT g = SineFont({{8, 6905}});
    auto level = [&](auto setup) {
        TestStream s({g}, BASS_MIDI_NOFX);
        setup(s);
        s.Note(0, 69, 127);
        s.Render(4410);
        return Rms(Channel(s.Render(4410), 2, 0), 0, 4410);
    };
    const double flat = level([](TestStream&) {});
    EXPECT_NEAR(Db(level([](TestStream& s) { Cc(s, 0, 71, 127); }), flat), 6.3, 0.5);
    EXPECT_NEAR(Db(level([](TestStream& s) { Nrpn(s, 0, 1, 0x21, 127); }), flat), 6.3, 0.5);
    // The font's own Q (126 cB, the same 12.6 dB) does the same.
    HSOUNDFONT q = SineFont({{8, 6905}, {9, 126}});
    std::swap(g, q);
    EXPECT_NEAR(Db(level([](TestStream&) {}), flat), 6.3, 0.5);
    BASS_MIDI_FontFree(q);
    BASS_MIDI_FontFree(g);
}

TEST(Controllers, VelocityLowersTheCutoffByItsDefaultModulator) {
    // A sine at 441 Hz through a low-pass set at 441 Hz (6905 absolute
    // cents). Velocity v lowers the cutoff by 2400 x (1 - v/128) cents; the
    // loss against the unfiltered tone at the same velocity (which takes the
    // velocity-to-attenuation curve out) must equal that of velocity 127
    // with the cutoff moved down by the same amount by hand.
    auto loss = [](int vel, int fc) {
        auto level = [&](int cutoff) {
            HSOUNDFONT f = SineFont({{8, static_cast<int16_t>(cutoff)}});
            TestStream s({f}, BASS_MIDI_NOFX);
            s.Note(0, 69, vel);
            s.Render(4410);
            const double r = Rms(Channel(s.Render(4410), 2, 0), 0, 4410);
            BASS_MIDI_FontFree(f);
            return r;
        };
        return Db(level(fc), level(13500));
    };
    const double at127 = loss(127, 6905);
    // Velocity 64: one octave down, the tone now an octave above the cutoff.
    const double at64 = loss(64, 6905);
    EXPECT_LT(at64, at127 - 6);
    EXPECT_NEAR(at64, loss(127, 6905 - 1200 + 19), 0.3);
    // Velocity 1: nearly two octaves.
    EXPECT_NEAR(loss(1, 6905), loss(127, 6905 - 2381 + 19), 0.3);
    EXPECT_LT(loss(1, 6905), at64 - 9); // nearly another octave of a 12 dB slope
}

TEST(Controllers, AttackDecayAndReleaseTimes) {
    // Attack 0.1 s, decay 1 s to -48 dB, release 0.5 s; 15 steps of 80
    // timecents double each of them.
    HSOUNDFONT f = SineFont({{34, Tc(0.1)}, {36, Tc(1.0)}, {37, 480}, {38, Tc(0.5)}});
    const size_t ms = 44;
    for (int way = 0; way < 2; ++way) {
        auto set = [&](TestStream& s, int cc, int nrpnLsb, int v) {
            if (way == 0) Cc(s, 0, cc, v);
            else Nrpn(s, 0, 1, nrpnLsb, v);
        };
        TestStream s({f}, BASS_MIDI_NOFX);
        set(s, 73, 0x63, 79);
        set(s, 75, 0x64, 79);
        set(s, 72, 0x66, 79);
        s.Note(0, 69, 127);
        auto x = Channel(s.Render(44100), 2, 0);
        const double peak = Rms(x, 195 * ms, 10 * ms);
        // Linear attack of 0.2 s: half-way at 0.1 s.
        EXPECT_NEAR(Rms(x, 95 * ms, 10 * ms) / peak, 0.5, 0.06) << way;
        // Decay of 2 s (96 dB): -12 dB a quarter second after the peak.
        EXPECT_NEAR(Db(Rms(x, 445 * ms, 10 * ms), peak), -12, 1.5) << way;
        s.Note(0, 69, 0);
        auto r = Channel(s.Render(44100), 2, 0);
        const double held = Rms(r, 0, 5 * ms);
        // Release of 1 s (96 dB): -24 dB after a quarter second.
        EXPECT_NEAR(Db(Rms(r, 245 * ms, 10 * ms), held), -24, 2.0) << way;
    }
    BASS_MIDI_FontFree(f);
}

TEST(Controllers, DrumKeyNrpnsTuneLevelAndPanOneKey) {
    HSOUNDFONT f = SineFont({}, 128);
    auto play = [&](auto setup, int key) {
        TestStream s({f}, BASS_MIDI_NOFX);
        setup(s);
        s.Note(9, key, 127);
        s.Render(4410);
        return s.Render(8820);
    };
    auto none = [](TestStream&) {};
    auto set = [](TestStream& s) {
        Nrpn(s, 9, 0x18, 69, 76);  // key 69 an octave up
        Nrpn(s, 9, 0x1A, 69, 64);  // level 64: as CC 7 at 64
        Nrpn(s, 9, 0x1C, 69, 1);   // hard left
    };
    auto plain = play(none, 69), changed = play(set, 69), other = play(set, 70);
    EXPECT_NEAR(MeasureHz(Channel(changed, 2, 0), 44100), 882, 2);
    EXPECT_NEAR(MeasureHz(Channel(other, 2, 0), 44100), 441 * std::exp2(1 / 12.0), 2); // another key: untouched
    const double l = Rms(Channel(changed, 2, 0), 0, 8820), r = Rms(Channel(changed, 2, 1), 0, 8820);
    EXPECT_LT(r, l * 0.02);
    // Centre is -3 dB per side; hard left is 0 dB on the left.
    EXPECT_NEAR(Db(l, Rms(Channel(plain, 2, 0), 0, 8820)), 40 * std::log10(64 / 127.0) + 3.0, 0.5);
    // A GS reset forgets them.
    auto reset = play([&](TestStream& s) { set(s); s.Raw(kGsReset); }, 69);
    EXPECT_NEAR(MeasureHz(Channel(reset, 2, 0), 44100), 441, 2);
    BASS_MIDI_FontFree(f);
}

TEST(Controllers, DrumKeyNrpnsSendOneKeyToTheEffectsFineTuneAndFilterIt) {
    // Reverb and chorus sends per key: 0 takes the key out of the effects.
    HSOUNDFONT f = SineFont({}, 128);
    auto wet = [&](auto setup, int key, DWORD cc) {
        auto run = [&](DWORD flags) {
            TestStream s({f}, flags);
            Cc(s, 9, 91, cc == 91 ? 127 : 0);
            Cc(s, 9, 93, cc == 93 ? 127 : 0);
            setup(s);
            s.Note(9, key, 127);
            return Channel(s.Render(22050), 2, 0);
        };
        auto fx = run(0), dry = run(BASS_MIDI_NOFX);
        for (size_t i = 0; i < fx.size(); ++i) fx[i] -= dry[i];
        return Rms(fx, 0, fx.size());
    };
    auto none = [](TestStream&) {};
    auto dryKey = [](TestStream& s) {
        Nrpn(s, 9, 0x1D, 69, 0);
        Nrpn(s, 9, 0x1E, 69, 0);
    };
    auto halfKey = [](TestStream& s) {
        Nrpn(s, 9, 0x1D, 69, 64);
        Nrpn(s, 9, 0x1E, 69, 64);
    };
    for (DWORD cc : {91u, 93u}) {
        const double full = wet(none, 69, cc);
        ASSERT_GT(full, 1e-3) << cc;
        EXPECT_EQ(wet(dryKey, 69, cc), 0.0) << cc;
        EXPECT_NEAR(Db(wet(halfKey, 69, cc), full), Db(64, 127), 0.3) << cc;
        EXPECT_NEAR(Db(wet(dryKey, 70, cc), wet(none, 70, cc)), 0.0, 0.1) << cc; // another key keeps its sends
    }
    // Fine tune: 64 + 20 steps of one cent.
    auto play = [&](auto setup, int key) {
        TestStream s({f}, BASS_MIDI_NOFX);
        setup(s);
        s.Note(9, key, 127);
        s.Render(4410);
        return Channel(s.Render(8820), 2, 0);
    };
    EXPECT_NEAR(Cents(MeasureHz(play([](TestStream& s) { Nrpn(s, 9, 0x19, 69, 84); }, 69), 44100), 441), 20, 1);
    BASS_MIDI_FontFree(f);
    // Cutoff: from two octaves above the tone, 64 steps of 75 cents take it
    // two octaves below (12 dB an octave).
    f = SineFont({{8, 9305}}, 128);
    const double open = Rms(play(none, 69), 0, 8820);
    EXPECT_LT(Db(Rms(play([](TestStream& s) { Nrpn(s, 9, 0x14, 69, 0); }, 69), 0, 8820), open), -18);
    BASS_MIDI_FontFree(f);
}

TEST(Controllers, PortamentoGlidesBetweenTheKeysInItsTime) {
    HSOUNDFONT f = SineFont();
    TestStream s({f}, BASS_MIDI_NOFX);
    Cc(s, 0, 65, 127);
    Cc(s, 0, 5, 80); // 10^(80 * 4 / 127) ms = 331 ms
    const double glide = 0.001 * std::pow(10.0, 80 * 4 / 127.0);
    s.Note(0, 57, 100);
    s.Render(4410);
    s.Note(0, 57, 0);
    s.Note(0, 69, 100);
    auto x = Channel(s.Render(44100), 2, 0);
    auto c = Cycles(x, 44100);
    auto keyAt = [&](double t) {
        for (auto& k : c)
            if (k.t >= t) return 69 + Cents(k.hz, 441) / 100;
        return 0.0;
    };
    EXPECT_NEAR(keyAt(0.01), 57.4, 0.5);       // starts from the last key
    EXPECT_NEAR(keyAt(glide / 2), 63, 0.3);    // half-way at half the time
    EXPECT_NEAR(keyAt(glide + 0.02), 69, 0.05); // there, and stays
    EXPECT_NEAR(keyAt(0.9), 69, 0.02);
    // Off again: the next note starts at its own pitch.
    Cc(s, 0, 65, 0);
    s.Note(0, 69, 0);
    s.Note(0, 57, 100);
    auto y = Channel(s.Render(4410), 2, 0);
    EXPECT_NEAR(Cents(Cycles(y, 44100)[3].hz, 220.5), 0, 2);
    // CC 84 names the key the next note glides from, once.
    s.Note(0, 57, 0);
    Cc(s, 0, 84, 45);
    s.Note(0, 69, 100);
    auto z = Channel(s.Render(2205), 2, 0);
    EXPECT_LT(Cycles(z, 44100)[1].hz, 300);
    BASS_MIDI_FontFree(f);
}

TEST(Controllers, MonoModePlaysOneNoteLegato) {
    HSOUNDFONT f = SineFont({{38, Tc(0.3)}});
    TestStream s({f}, BASS_MIDI_NOFX);
    Cc(s, 0, 126, 1);
    s.Note(0, 69, 100);
    auto a = Channel(s.Render(4410), 2, 0);
    s.Note(0, 81, 100); // legato: the same voice moves up an octave
    auto b = Channel(s.Render(4410), 2, 0);
    float v = 0;
    BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
    EXPECT_EQ(v, 1);
    EXPECT_NEAR(MeasureHz(b, 44100), 882, 2);
    // No new attack: the level carries straight on.
    EXPECT_NEAR(Rms(b, 0, 441) / Rms(a, 3969, 441), 1.0, 0.05);
    s.Note(0, 81, 0); // back to the key still held
    auto c = Channel(s.Render(4410), 2, 0);
    BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
    EXPECT_EQ(v, 1);
    EXPECT_NEAR(MeasureHz(c, 44100), 441, 2);
    s.Note(0, 69, 0);
    s.Render(44100);
    BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
    EXPECT_EQ(v, 0);
    // Separate notes: one voice at a time, the old one fading.
    s.Note(0, 69, 100);
    s.Note(0, 69, 0);
    s.Note(0, 72, 100);
    s.Render(4410);
    BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
    EXPECT_EQ(v, 1);
    // Poly again (CC 127, which also lets go of the held note).
    Cc(s, 0, 127, 0);
    s.Render(44100);
    s.Note(0, 76, 100);
    s.Note(0, 79, 100);
    s.Render(441);
    BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
    EXPECT_EQ(v, 2);
    BASS_MIDI_FontFree(f);
}
