// Pitch: the played frequency follows key, root, tuning generators, pitch
// bend with its RPN range, and the channel tuning RPNs, within a cent.
#include <gtest/gtest.h>

#include <numbers>

#include "synth/dsp_math.h"
#include "synth/render_util.h"

using namespace tsl::test;

namespace {

// A sine whose root key 69 sounds 440 Hz: period 100 frames at 44 kHz.
HSOUNDFONT SineFont(std::vector<std::pair<uint16_t, int16_t>> gens = {}) {
    Sf2Sample s = SineSample(100, 200, 44000, 69);
    Sf2Preset p;
    p.zones.push_back(Sf2Zone{0, 127, 0, gens});
    p.zones[0].gens.push_back({54, 1}); // loop continuously
    return LoadFont({s}, {p});
}

double PlayAndMeasure(TestStream& s, int key, int settleFrames = 4410) {
    s.Note(0, key, 100);
    s.Render(settleFrames);
    auto out = s.Render(44100);
    return MeasureHz(Channel(out, 2, 0), s.rate);
}

} // namespace

TEST(Pitch, KeysFollowEqualTemperamentWithinACent) {
    HSOUNDFONT f = SineFont();
    for (int key : {45, 60, 69, 81, 96}) {
        TestStream s({f}, 0, 48000);
        double hz = PlayAndMeasure(s, key);
        EXPECT_NEAR(Cents(hz, KeyHz(key)), 0.0, 1.0) << "key " << key;
    }
    BASS_MIDI_FontFree(f);
}

TEST(Pitch, TuningGeneratorsShiftThePitch) {
    // coarse +2 semitones, fine -30 cents, scale tuning 50 cents per key.
    HSOUNDFONT f = SineFont({{51, 2}, {52, -30}, {56, 50}});
    TestStream s({f});
    double hz = PlayAndMeasure(s, 81); // 12 keys above the root at 50 cents = 600 cents
    EXPECT_NEAR(Cents(hz, 440.0), 600 + 200 - 30, 1.0);
    BASS_MIDI_FontFree(f);
}

TEST(Pitch, BendUsesTheRpnRangeAndTuningRpnsAdd) {
    HSOUNDFONT f = SineFont();
    {
        TestStream s({f});
        s.Event(0, MIDI_EVENT_PITCH, 16383);
        EXPECT_NEAR(Cents(PlayAndMeasure(s, 69), 440.0), 200 * 8191.0 / 8192.0, 1.0);
    }
    {
        // RPN 0 = 12 semitones, bend fully down: an octave lower.
        TestStream s({f});
        s.Raw({0xB0, 101, 0, 100, 0, 6, 12, 38, 0, 0xE0, 0, 0});
        EXPECT_NEAR(Cents(PlayAndMeasure(s, 69), 440.0), -1200, 1.0);
    }
    {
        // RPN 2 coarse +3 and RPN 1 fine +50 cents (value 8192 + 4096).
        TestStream s({f});
        s.Raw({0xB0, 101, 0, 100, 2, 6, 67, 100, 1, 6, 96, 38, 0});
        EXPECT_NEAR(Cents(PlayAndMeasure(s, 69), 440.0), 350, 1.0);
    }
    {
        // Transposition moves the key, drums excepted.
        TestStream s({f});
        s.Event(0, MIDI_EVENT_TRANSPOSE, 112);
        EXPECT_NEAR(Cents(PlayAndMeasure(s, 57), 440.0), 0, 1.0);
    }
    BASS_MIDI_FontFree(f);
}

TEST(Pitch, SincAliasesLessThanLinearOnAHighNote) {
    // A sine of 8-frame period played 7 semitones up: linear interpolation
    // leaves images; the windowed sinc should leave far less.
    Sf2Sample smp = SineSample(8, 4000, 44100, 60);
    Sf2Preset p;
    p.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}}});
    HSOUNDFONT f = LoadFont({smp}, {p});
    auto residual = [&](DWORD flags) {
        TestStream s({f}, flags | BASS_MIDI_NOFX, 44100);
        s.Note(0, 67, 127);
        s.Render(8820);
        auto x = Channel(s.Render(8192), 2, 0);
        // Least-squares fit of a sine at the expected frequency; what is
        // left is distortion.
        double w = 2 * std::numbers::pi * (44100.0 / 8 * std::pow(2.0, 7 / 12.0)) / 44100;
        double sc = 0, ss = 0, c2 = 0, sx = 0, cx = 0;
        for (size_t i = 0; i < x.size(); ++i) {
            double si = std::sin(w * i), co = std::cos(w * i);
            ss += si * si; c2 += co * co; sc += si * co; sx += si * x[i]; cx += co * x[i];
        }
        double det = ss * c2 - sc * sc;
        double a = (sx * c2 - cx * sc) / det, b = (cx * ss - sx * sc) / det;
        double err = 0, pow = 0;
        for (size_t i = 0; i < x.size(); ++i) {
            double fit = a * std::sin(w * i) + b * std::cos(w * i);
            err += (x[i] - fit) * (x[i] - fit);
            pow += fit * fit;
        }
        return 10 * std::log10(err / pow);
    };
    double linear = residual(0), sinc = residual(BASS_MIDI_SINCINTER);
    EXPECT_LT(sinc, linear - 15) << "linear " << linear << " dB, sinc " << sinc << " dB";
    BASS_MIDI_FontFree(f);
}

// A block plays one pitch; a sweep keeps its phase only if that pitch is the
// block's middle's. A pitch envelope falling (or rising) 600 cents to the
// root over a quarter of a second, linearly in cents, leaves the sine that
// many cycles on; taken at each block's end it lost about half a cycle.
TEST(Pitch, APitchSweepKeepsItsPhase) {
    const double rate = 48000, sweep = 0.25;
    for (int depth : {600, -600}) {
        // Pitch envelope depth; decay to a sustain of zero, no delay or attack.
        HSOUNDFONT f = SineFont({{7, static_cast<int16_t>(depth)}, {28, -2400}, {29, 1000}});
        TestStream s({f}, BASS_MIDI_NOFX, static_cast<uint32_t>(rate));
        s.Note(0, 69, 127);
        const auto x = Channel(s.Render(static_cast<uint32_t>(0.4 * rate)), 2, 0);
        const double octaves = depth / 1200.0;
        const double swept = 440 * sweep * (std::exp2(octaves) - 1) / (octaves * std::numbers::ln2);
        // Each upward zero crossing after the sweep is a whole cycle of the
        // sample from its first frame.
        double worst = 0;
        int crossings = 0;
        for (size_t i = static_cast<size_t>(0.3 * rate); i < x.size(); ++i) {
            if (!(x[i - 1] < 0 && x[i] >= 0)) continue;
            const double t = ((i - 1) + x[i - 1] / (x[i - 1] - x[i])) / rate;
            const double cycles = swept + 440 * (t - sweep);
            worst = std::max(worst, std::fabs(cycles - std::round(cycles)));
            ++crossings;
        }
        EXPECT_GT(crossings, 40);
        EXPECT_LT(worst, 0.01) << "depth " << depth << " cents";
        BASS_MIDI_FontFree(f);
    }
}

// The exponential behind pitch, envelope and attenuation conversions: as exact
// as a float across the range voices use, at integers and half-way points
// (where the polynomial's argument is at its widest) alike.
TEST(Pitch, Exp2IsFloatExactAcrossItsRange) {
    double worst = 0;
    for (double x = -100.0; x <= 100.0; x += 0.0625)
        for (double dx : {0.0, 0.4999, 0.5, 0.5001})
            worst = std::max(worst, std::fabs(tsl::dsp::Exp2(static_cast<float>(x + dx)) / std::exp2(static_cast<float>(x + dx)) - 1.0));
    EXPECT_LT(worst, 4e-7);
    EXPECT_EQ(tsl::dsp::Exp2(-200.0f), 0.0f);
    EXPECT_EQ(tsl::dsp::Exp2(0.0f), 1.0f);
    EXPECT_EQ(tsl::dsp::Exp2(10.0f), 1024.0f);
    // One cent and one centibel, the smallest steps anything asks for.
    EXPECT_NEAR(tsl::dsp::CentsToRatio(1.0f), 1.000577789, 1e-7);
    EXPECT_NEAR(tsl::dsp::CentibelsToGain(60.0f), 0.5011872, 1e-7);
}
