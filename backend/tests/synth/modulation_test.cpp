// Modulation heard in the output: the modulation envelope's convex attack,
// both LFOs, linked modulators, controller modulators held to the
// generators' ranges; the level controls (mix level, master
// volume, font volume, soft pedal) and the pedals.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "synth/dsp_math.h"
#include "synth/render_util.h"
#include "synth/voice.h"

using namespace tsl::test;

namespace {

int16_t Tc(double seconds) { return static_cast<int16_t>(std::lrint(1200 * std::log2(seconds))); }
double Db(double a, double b) { return 20 * std::log10(a / b); }

HSOUNDFONT Font(std::vector<std::pair<uint16_t, int16_t>> gens, std::vector<tsl::font::Modulator> mods = {}) {
    Sf2Sample s = SineSample(100, 400, 44100, 69);
    Sf2Preset p;
    gens.push_back({54, 1});
    Sf2Zone z{0, 127, 0, gens};
    z.mods = std::move(mods);
    p.zones.push_back(z);
    return LoadFont({s}, {p});
}

// Pitch in cents from 441 Hz over the 10 ms window starting at `t` seconds.
double CentsAt(const std::vector<float>& x, double t) {
    const size_t at = static_cast<size_t>(t * 44100);
    return Cents(MeasureHz(std::vector<float>(x.begin() + long(at), x.begin() + long(at + 441)), 44100), 441);
}

// A channel whose source `source` (a ModSource operand's low byte) reads v.
struct ChannelStateFor {
    tsl::ChannelState ch{};
    ChannelStateFor() { ch.ResetAll(0); }
    void Set(uint16_t source, int v) {
        const uint8_t b = static_cast<uint8_t>(v);
        if (source & 0x80) ch.cc[source & 127] = b;
        else if (source == 0x0A) ch.keyPressure[v] = b;
        else if (source == 0x0D) ch.channelPressure = b;
    }
};

} // namespace

TEST(Modulation, ModEnvelopeAttackIsConvexAndLfosSwing) {
    // Modulation envelope to pitch, one octave, attack 0.4 s: a quarter of
    // the way in, the convex curve is at 1 + 40/96 log10(0.25) = 0.749.
    HSOUNDFONT f = Font({{7, 1200}, {26, Tc(0.4)}, {29, 0}});
    TestStream s({f}, BASS_MIDI_NOFX);
    s.Note(0, 69, 127);
    auto x = Channel(s.Render(44100), 2, 0);
    EXPECT_NEAR(CentsAt(x, 0.095), 1200 * 0.749, 40);
    EXPECT_NEAR(CentsAt(x, 0.6), 1200, 5); // held at the peak (sustain 100 %)
    BASS_MIDI_FontFree(f);

    // Modulation LFO at 5 Hz, 50 cents; vibrato LFO at its default rate, 30 cents.
    for (bool vib : {false, true}) {
        HSOUNDFONT g = vib ? Font({{6, 30}}) : Font({{5, 50}, {22, static_cast<int16_t>(std::lrint(1200 * std::log2(5 / 8.176)))}});
        TestStream t({g}, BASS_MIDI_NOFX);
        t.Note(0, 69, 127);
        auto y = Channel(t.Render(44100), 2, 0);
        double lo = 1e9, hi = -1e9;
        for (double at = 0.0; at < 0.95; at += 0.005) {
            lo = std::min(lo, CentsAt(y, at));
            hi = std::max(hi, CentsAt(y, at));
        }
        // 10 ms windows blunt the peaks a little.
        EXPECT_NEAR(hi, vib ? 30 : 50, vib ? 6 : 6) << vib;
        EXPECT_NEAR(lo, vib ? -30 : -50, 6) << vib;
        BASS_MIDI_FontFree(g);
    }
}

TEST(Modulation, LinkedModulatorsFeedEachOther) {
    // CC 1 feeds a link (amount 32767, so the link's source reaches 1 at
    // CC 127); the linked modulator turns that into up to 100 cents of fine tune.
    tsl::font::Modulator feed{0x0081, 0x8001, 32767, 0, 0};
    tsl::font::Modulator linked{0x007F, 52, 100, 0, 0};
    HSOUNDFONT f = Font({}, {feed, linked});
    TestStream s({f}, BASS_MIDI_NOFX);
    s.Note(0, 69, 127);
    auto a = Channel(s.Render(8820), 2, 0);
    s.Raw({0xB0, 1, 127});
    auto b = Channel(s.Render(8820), 2, 0);
    EXPECT_NEAR(CentsAt(a, 0.1), 0, 1);
    // CC 1 also drives the default vibrato (50 cents at 8.176 Hz): the pitch
    // is measured over one whole period of it. Fine tune stops at 99 cents.
    const size_t from = 2205, period = static_cast<size_t>(44100 / 8.176);
    const double hz = MeasureHz(std::vector<float>(b.begin() + long(from), b.begin() + long(from + period)), 44100);
    EXPECT_NEAR(Cents(hz, 441), 99, 1);
    BASS_MIDI_FontFree(f);
}

TEST(Modulation, ControllerModulatorsStopAtTheGeneratorsRanges) {
    // CC 16 takes up to 96 dB of attenuation away, CC 17 adds up to 500
    // cents of fine tune: attenuation cannot go below 0 cB, nor fine tune
    // past 99 cents, whether the controller moves before the note or while
    // it sounds.
    tsl::font::Modulator louder{0x0090, 48, -960, 0, 0}, sharper{0x0091, 52, 500, 0, 0};
    HSOUNDFONT f = Font({}, {louder, sharper});
    auto play = [&](bool before) {
        TestStream s({f}, BASS_MIDI_NOFX);
        s.Raw({0xB0, 7, 127});
        s.Raw({0xB0, 11, 127});
        if (before) s.Raw({0xB0, 16, 127});
        s.Note(0, 69, 127);
        auto a = Channel(s.Render(4410), 2, 0);
        s.Raw({0xB0, 16, 127});
        s.Raw({0xB0, 17, 127});
        auto b = Channel(s.Render(8820), 2, 0);
        return std::pair{Rms(a, 2205, 2205), b};
    };
    for (bool before : {false, true}) {
        SCOPED_TRACE(before ? "controller before the note" : "controller while it sounds");
        const auto [first, then] = play(before);
        EXPECT_NEAR(Db(Rms(then, 4410, 4410), first), 0, 0.05);
        EXPECT_NEAR(CentsAt(then, 0.1), 99, 2);
    }
    BASS_MIDI_FontFree(f);
}

TEST(Modulation, GeneratorsAreRoundedAndClampedOneByOneOrFourAtATime) {
    // Halves (which round to even), values just inside and outside each
    // range, and values far outside, against the one-at-a-time rule.
    using namespace tsl::font;
    const float offsets[] = {-0.5f, 0.5f, 1.5f, -1.5f, 2.5f, -0.49f, 0.51f, -1.0f, 1.0f, 0.0f};
    for (float away : {0.0f, 3.0e5f, -3.0e5f, 1.6e7f}) {
        for (float off : offsets) {
            float value[kGenCount], want[kGenCount];
            for (int g = 0; g < kGenCount; ++g) {
                // Each generator near its low bound, its high bound or its middle, in turn.
                const GenRange r = kGenRanges[g];
                const double base = g % 3 == 0 ? r.lo : (g % 3 == 1 ? r.hi : (double(r.lo) + r.hi) / 2);
                const double clipped = std::fabs(base) > 1e6 ? 0.0 : base;
                value[g] = static_cast<float>(clipped + away) + off + 0.125f * static_cast<float>(g % 2);
                want[g] = g == kGenInitialPitch ? value[g]
                                                : static_cast<float>(ClampGen(g, tsl::dsp::RoundToInt(value[g])));
            }
            tsl::ClampGenerators(value);
            for (int g = 0; g < kGenCount; ++g)
                EXPECT_EQ(value[g], want[g]) << "generator " << g << ", offset " << off << ", away " << away;
        }
    }
}

TEST(Modulation, SevenBitSourcesReadFromTheirTableAsComputed) {
    // Every curve type (the undefined ones read as linear), direction and
    // polarity of the 7-bit sources, at every value, against the curve
    // computed from the value itself.
    ChannelStateFor cs;
    for (uint32_t type = 0; type < 6; ++type)
        for (uint16_t flags : {0x000, 0x100, 0x200, 0x300})
            for (uint16_t source : {0x82, 0x87, 0x8B, 0xC0, 0x02, 0x03, 0x0A, 0x0D}) {
                const uint16_t oper = static_cast<uint16_t>(type << 10 | flags | source);
                const bool cc = (source & 0x80) != 0, bipolar = (flags & 0x200) != 0;
                for (int v = 0; v < 128; ++v) {
                    cs.Set(source, v);
                    const float x = v * (cc && bipolar ? (1.0f / 128.0f) : (1.0f / 127.0f));
                    const float want = tsl::dsp::ApplySourceCurve(x, type, (flags & 0x100) != 0, bipolar);
                    const uint8_t key = source == 0x03 || source == 0x0A ? static_cast<uint8_t>(v) : 60;
                    const uint8_t vel = source == 0x02 ? static_cast<uint8_t>(v) : 100;
                    ASSERT_EQ(tsl::ModSource(oper, cs.ch, key, vel), want) << "oper " << oper << " value " << v;
                }
            }
}

TEST(Modulation, LevelControls) {
    HSOUNDFONT f = Font({});
    auto level = [&](auto setup) {
        TestStream s({f}, BASS_MIDI_NOFX);
        setup(s);
        s.Note(0, 69, 127);
        s.Render(4410);
        return Rms(Channel(s.Render(4410), 2, 0), 0, 4410);
    };
    const double full = level([](TestStream&) {});
    EXPECT_NEAR(Db(level([](TestStream& s) { s.Event(0, MIDI_EVENT_MIXLEVEL, 50); }), full), -6.02, 0.1);
    EXPECT_NEAR(Db(level([](TestStream& s) { s.Raw({0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x40, 0xF7}); }), full), -6.02, 0.1);
    EXPECT_NEAR(Db(level([](TestStream& s) { s.Raw({0xB0, 67, 127}); }), full), 20 * std::log10(0.6), 0.1);
    BASS_MIDI_FontSetVolume(f, 0.5f);
    EXPECT_NEAR(Db(level([](TestStream&) {}), full), -6.02, 0.1);
    BASS_MIDI_FontSetVolume(f, 1.0f);
    BASS_MIDI_FontFree(f);
}

TEST(Modulation, SostenutoHoldsOnlyTheNotesDownAndResetControllersLetsGo) {
    HSOUNDFONT f = Font({});
    TestStream s({f}, BASS_MIDI_NOFX);
    float v = 0;
    auto voices = [&] {
        BASS_ChannelGetAttribute(s.h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
        return v;
    };
    s.Note(0, 60, 100);
    s.Raw({0xB0, 66, 127}); // sostenuto catches key 60
    s.Note(0, 64, 100);     // pressed after: not held
    s.Note(0, 60, 0);
    s.Note(0, 64, 0);
    s.Render(4410);
    EXPECT_EQ(voices(), 1);
    s.Raw({0xB0, 66, 0});
    s.Render(4410);
    EXPECT_EQ(voices(), 0);
    // Sustain held, then reset all controllers: the pedal is up, notes go.
    s.Raw({0xB0, 64, 127});
    s.Note(0, 60, 100);
    s.Note(0, 60, 0);
    s.Render(4410);
    EXPECT_EQ(voices(), 1);
    s.Raw({0xB0, 121, 0});
    s.Render(4410);
    EXPECT_EQ(voices(), 0);
    BASS_MIDI_FontFree(f);
}
