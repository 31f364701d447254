// Reverb and chorus heard through the output: decay time per GS program,
// stereo spread, send and return levels, sends kept apart in shared passes,
// the chorus four frames at a time, the switches that turn them off, and
// tails that end in zeros rather than NaNs or denormals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "synth/effect_types.h"
#include "synth/kernels.h"
#include "synth/render_util.h"

using namespace tsl::test;

namespace {

constexpr uint32_t kRate = 22050;

double Db(double a, double b) { return 20 * std::log10(a / b); }

// A 50 ms burst of white noise, played once: the reverb's impulse.
HSOUNDFONT Burst() {
    Sf2Sample s;
    s.rate = kRate;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> d(-12000, 12000);
    for (uint32_t i = 0; i < kRate / 20; ++i) s.pcm.push_back(static_cast<int16_t>(d(rng)));
    Sf2Preset p;
    p.zones.push_back(Sf2Zone{0, 127, 0, {}});
    return LoadFont({s}, {p});
}

std::vector<uint8_t> Gs(uint8_t address, uint8_t value) {
    const uint8_t sum = static_cast<uint8_t>((128 - (0x40 + 0x01 + address + value) % 128) % 128);
    return {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, address, value, sum, 0xF7};
}

// What the effects add: the same events rendered with and without them.
struct Wet {
    std::vector<float> l, r;
};
template <class Setup>
Wet Render(HSOUNDFONT f, uint32_t frames, Setup setup) {
    auto run = [&](DWORD flags) {
        TestStream s({f}, flags, kRate);
        setup(s);
        s.Note(0, 60, 127);
        return s.Render(frames);
    };
    auto fx = run(0), dry = run(BASS_MIDI_NOFX);
    Wet w;
    for (size_t i = 0; i < fx.size(); i += 2) {
        w.l.push_back(fx[i] - dry[i]);
        w.r.push_back(fx[i + 1] - dry[i + 1]);
    }
    return w;
}

// Decay time from the backward-integrated energy (Schroeder): twice the time
// from -5 dB to -35 dB.
double T60(const Wet& w) {
    std::vector<double> edc(w.l.size() + 1, 0.0);
    for (size_t i = w.l.size(); i-- > 0;) edc[i] = edc[i + 1] + double(w.l[i]) * w.l[i] + double(w.r[i]) * w.r[i];
    const double total = edc[0];
    double t5 = -1, t35 = -1;
    for (size_t i = 0; i < edc.size(); ++i) {
        const double db = 10 * std::log10(edc[i] / total + 1e-30);
        if (t5 < 0 && db <= -5) t5 = double(i) / kRate;
        if (t35 < 0 && db <= -35) { t35 = double(i) / kRate; break; }
    }
    return t5 < 0 || t35 < 0 ? -1 : 2 * (t35 - t5);
}

double Correlation(const std::vector<float>& a, const std::vector<float>& b, size_t from) {
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = from; i < a.size(); ++i) {
        ab += double(a[i]) * b[i];
        aa += double(a[i]) * a[i];
        bb += double(b[i]) * b[i];
    }
    return ab / std::sqrt(aa * bb + 1e-30);
}

void Cc(TestStream& s, int cc, int v) { s.Raw({0xB0, static_cast<uint8_t>(cc), static_cast<uint8_t>(v)}); }

} // namespace

TEST(Effects, EachGsReverbProgramDecaysInItsTime) {
    HSOUNDFONT f = Burst();
    for (uint8_t type = 0; type < 8; ++type) {
        const double nominal = tsl::ReverbProgram(static_cast<tsl::ReverbType>(type)).decaySeconds;
        Wet w = Render(f, static_cast<uint32_t>((nominal * 1.1 + 0.3) * kRate), [&](TestStream& s) {
            Cc(s, 91, 127);
            Cc(s, 93, 0);
            s.Raw(Gs(0x30, type));
        });
        EXPECT_NEAR(T60(w), nominal, 0.2 * nominal) << "GS reverb type " << int(type);
        for (size_t i = 0; i < w.l.size(); ++i) ASSERT_TRUE(std::isfinite(w.l[i]) && std::isfinite(w.r[i]));
        if (type < 6) {
            EXPECT_LT(std::fabs(Correlation(w.l, w.r, kRate / 10)), 0.4) << int(type); // wide
            // and centred: neither side louder
            EXPECT_NEAR(Db(Rms(w.l, 0, w.l.size()), Rms(w.r, 0, w.r.size())), 0.0, 0.5) << int(type);
        }
    }
    // Reverb time 96 makes Room 1 twice as long.
    Wet w = Render(f, static_cast<uint32_t>(2.0 * kRate), [&](TestStream& s) {
        Cc(s, 91, 127);
        s.Raw(Gs(0x30, 0));
        s.Raw(Gs(0x34, 96));
    });
    EXPECT_NEAR(T60(w), 1.6, 0.32);
    BASS_MIDI_FontFree(f);
}

TEST(Effects, SendAndReturnLevels) {
    HSOUNDFONT f = Burst();
    const uint32_t n = kRate;
    auto wet = [&](auto setup) {
        Wet w = Render(f, n, setup);
        return Rms(w.l, 0, n) + Rms(w.r, 0, n);
    };
    // Reverb only, then chorus only.
    const double r64 = wet([](TestStream& s) { Cc(s, 91, 64); Cc(s, 93, 0); });
    EXPECT_GT(r64, 1e-3);
    EXPECT_NEAR(Db(wet([](TestStream& s) { Cc(s, 91, 127); Cc(s, 93, 0); }), r64), Db(127, 64), 0.2);
    // Return levels: the GS message and the level event (in percent) agree.
    const double gs127 = wet([](TestStream& s) { Cc(s, 91, 64); Cc(s, 93, 0); s.Raw(Gs(0x33, 127)); });
    EXPECT_NEAR(Db(gs127, r64), Db(127, 64), 0.2);
    const double ev50 = wet([](TestStream& s) { Cc(s, 91, 64); Cc(s, 93, 0); s.Event(0, MIDI_EVENT_REVERB_LEVEL, 50); });
    EXPECT_NEAR(Db(ev50, r64), 0.0, 0.1);
    // The stream's reverb attribute scales it; 0 silences it.
    const double attr2 = wet([](TestStream& s) { Cc(s, 91, 64); Cc(s, 93, 0); BASS_ChannelSetAttribute(s.h, BASS_ATTRIB_MIDI_REVERB, 2); });
    EXPECT_NEAR(Db(attr2, r64), Db(2, 1), 0.2);
    EXPECT_EQ(wet([](TestStream& s) { Cc(s, 91, 64); Cc(s, 93, 0); BASS_ChannelSetAttribute(s.h, BASS_ATTRIB_MIDI_REVERB, 0); }), 0.0);

    const double c64 = wet([](TestStream& s) { Cc(s, 91, 0); Cc(s, 93, 64); });
    EXPECT_GT(c64, 1e-3);
    EXPECT_NEAR(Db(wet([](TestStream& s) { Cc(s, 91, 0); Cc(s, 93, 127); }), c64), Db(127, 64), 0.2);
    const double cev = wet([](TestStream& s) { Cc(s, 91, 0); Cc(s, 93, 64); s.Event(0, MIDI_EVENT_CHORUS_LEVEL, 100); });
    const double cgs = wet([](TestStream& s) { Cc(s, 91, 0); Cc(s, 93, 64); s.Raw(Gs(0x3A, 127)); });
    EXPECT_NEAR(Db(cev, cgs), 0.0, 0.1);
    // Nothing sent, nothing added.
    EXPECT_EQ(wet([](TestStream& s) { Cc(s, 91, 0); Cc(s, 93, 0); }), 0.0);
    BASS_MIDI_FontFree(f);
}

// Samples often sit off centre. The reverb's lines all add in phase round
// the loop near 0 Hz, so an offset on the send once came back 26 dB louder
// than the dry note, past full scale, and notes starting and stopping
// thumped. Nothing below the audible range may reach the network.
TEST(Effects, ReverbReturnsNoDcOffset) {
    Sf2Sample offset;
    offset.rate = kRate;
    offset.pcm.assign(kRate, 8000);
    offset.loopStart = 100;
    offset.loopEnd = kRate - 100;
    Sf2Preset p;
    p.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}, {16, 1000}}}); // looped, all of it to the reverb
    HSOUNDFONT f = LoadFont({offset}, {p});
    for (uint8_t type : {0, 4}) { // the shortest room and the longest hall
        TestStream fx({f}, 0, kRate), dry({f}, BASS_MIDI_NOFX, kRate);
        for (TestStream* s : {&fx, &dry}) {
            s->Raw(Gs(0x30, type));
            Cc(*s, 93, 0);
            s->Note(0, 60, 127);
        }
        const std::vector<float> a = fx.Render(3 * kRate), b = dry.Render(3 * kRate);
        std::vector<float> wet(a.size());
        for (size_t i = 0; i < a.size(); ++i) wet[i] = a[i] - b[i];
        const double held = Rms(b, 2 * kRate, 2 * kRate);
        ASSERT_GT(held, 1e-2);
        EXPECT_LT(Rms(wet, 2 * kRate, 2 * kRate), held * 0.02) << int(type);
        EXPECT_LT(Rms(wet, 0, 2 * kRate), held * 0.3) << int(type); // the onset's step rings briefly, and quietly
    }
    BASS_MIDI_FontFree(f);
}

// Voices that feed different buses (dry only; reverb; reverb and chorus)
// share the last passes of a block. Each must still reach exactly its own
// buses: the effects are linear, so the notes played together must sound
// as the sum of each played alone.
TEST(Effects, VoicesOfEveryBusSetKeepTheirSendsInOnePass) {
    HSOUNDFONT f = Burst();
    const int sends[3][2] = {{0, 0}, {64, 0}, {64, 64}};
    auto render = [&](int only) {
        TestStream s({f}, 0, kRate);
        for (int c = 0; c < 3; ++c) {
            if (only >= 0 && c != only) continue;
            s.Raw({static_cast<uint8_t>(0xB0 | c), 91, static_cast<uint8_t>(sends[c][0])});
            s.Raw({static_cast<uint8_t>(0xB0 | c), 93, static_cast<uint8_t>(sends[c][1])});
            s.Note(c, 60, 127);
        }
        return s.Render(kRate / 2);
    };
    const std::vector<float> together = render(-1);
    std::vector<float> sum(together.size(), 0.0f);
    for (int c = 0; c < 3; ++c) {
        const std::vector<float> alone = render(c);
        for (size_t i = 0; i < sum.size(); ++i) sum[i] += alone[i];
    }
    const double loud = Rms(together, 0, together.size());
    ASSERT_GT(loud, 1e-3);
    double worst = 0;
    for (size_t i = 0; i < sum.size(); ++i) worst = std::max(worst, std::fabs(static_cast<double>(together[i]) - sum[i]));
    EXPECT_LT(worst, loud * 1e-4);
    BASS_MIDI_FontFree(f);
}

TEST(Effects, ChorusProgramsSpreadAndXgTypesMap) {
    HSOUNDFONT f = Burst();
    for (uint8_t type = 0; type < 8; ++type) {
        Wet w = Render(f, kRate / 2, [&](TestStream& s) { Cc(s, 91, 0); Cc(s, 93, 127); s.Raw(Gs(0x38, type)); });
        EXPECT_GT(Rms(w.l, 0, w.l.size()), 1e-3) << int(type);
        // Swept programs differ left and right.
        if (type < 6) {
            EXPECT_LT(Correlation(w.l, w.r, 0), 0.95) << int(type);
        }
    }
    // XG "no effect" types turn each effect off; a known type turns it on.
    auto total = [&](auto setup) {
        Wet w = Render(f, kRate / 2, setup);
        return Rms(w.l, 0, w.l.size());
    };
    const std::vector<uint8_t> xgOn = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
    EXPECT_EQ(total([&](TestStream& s) {
        s.Raw(xgOn);
        Cc(s, 91, 127);
        Cc(s, 93, 127);
        s.Raw({0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x00, 0x00, 0x00, 0xF7});
        s.Raw({0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x20, 0x00, 0x00, 0xF7});
    }), 0.0);
    EXPECT_GT(total([&](TestStream& s) {
        s.Raw(xgOn);
        Cc(s, 91, 127);
        s.Raw({0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x00, 0x00, 0x00, 0xF7});
        s.Raw({0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x00, 0x04, 0x00, 0xF7}); // plate
    }), 1e-3);
    BASS_MIDI_FontFree(f);
}

// The chorus takes four frames at a time where its shortest delay allows
// (every tap then reads what was written before the four): each program,
// swept, fed back or flanging, must sound as the frame-by-frame loop does.
// The sweep's phase is worked out in another order there, which moves the
// taps by float rounding: a slow sine keeps that far below a wrong frame,
// tap or feedback.
TEST(Effects, ChorusFourFramesAtATimeSoundsAsFrameByFrame) {
    Sf2Preset p;
    p.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}}});
    HSOUNDFONT f = LoadFont({SineSample(110, 40, kRate)}, {p});
    for (uint8_t type = 0; type < 8; ++type) {
        auto wet = [&](bool vectorised) {
            tsl::kernels::SetVectorised(vectorised);
            Wet w = Render(f, kRate / 2, [&](TestStream& s) { Cc(s, 91, 0); Cc(s, 93, 127); s.Raw(Gs(0x38, type)); });
            tsl::kernels::SetVectorised(true);
            return w;
        };
        const Wet four = wet(true), one = wet(false);
        const double loud = Rms(one.l, 0, one.l.size());
        ASSERT_GT(loud, 1e-3) << int(type);
        double worst = 0;
        for (size_t i = 0; i < one.l.size(); ++i)
            worst = std::max({worst, std::fabs(static_cast<double>(four.l[i]) - one.l[i]),
                              std::fabs(static_cast<double>(four.r[i]) - one.r[i])});
        EXPECT_LT(worst, loud * 3e-4) << int(type);
    }
    BASS_MIDI_FontFree(f);
}

TEST(Effects, TailsEndInZerosAndNoFxMeansDry) {
    HSOUNDFONT f = Burst();
    TestStream s({f}, 0, kRate);
    Cc(s, 91, 127);
    Cc(s, 93, 127);
    s.Note(0, 60, 127);
    s.Render(kRate * 3);
    // Long after the tail: exact zeros (no denormal residue, no NaN).
    auto x = s.Render(kRate * 6);
    auto last = std::vector<float>(x.end() - kRate, x.end());
    for (float v : last) {
        ASSERT_TRUE(std::isfinite(v));
        EXPECT_TRUE(v == 0.0f || std::fabs(v) > 1e-30f);
    }
    EXPECT_LT(Rms(last, 0, last.size()), 1e-6);
    // BASS_MIDI_NOFX: what the sends would carry is not heard.
    TestStream a({f}, BASS_MIDI_NOFX, kRate), b({f}, BASS_MIDI_NOFX, kRate);
    Cc(a, 91, 127);
    Cc(a, 93, 127);
    Cc(b, 91, 0);
    Cc(b, 93, 0);
    a.Note(0, 60, 127);
    b.Note(0, 60, 127);
    EXPECT_EQ(a.Render(kRate / 2), b.Render(kRate / 2));
    BASS_MIDI_FontFree(f);
}
