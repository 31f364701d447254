// Timed events (BASS_MIDI_EVENTS_TIME) change the sound at their exact
// sample, whatever their kind and wherever they fall in a render block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "synth/block_frames.h"
#include "synth/render_util.h"

using namespace tsl::test;

namespace {

constexpr DWORD kFrameBytes = 8; // float stereo

// A constant (DC) looped sample: the output is the gain itself, so the
// first frame that differs from the held level is where a change began.
HSOUNDFONT DcFont(int16_t releaseTimecents = 0) {
    Sf2Sample dc;
    dc.pcm.assign(4000, 20000);
    dc.loopStart = 100;
    dc.loopEnd = 3900;
    Sf2Preset p;
    // Looped, release of 1 s (0 timecents) unless told.
    p.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}, {38, releaseTimecents}}});
    return LoadFont({dc}, {p});
}

// A rising ramp played at its recorded pitch: the step between output frames
// is the playback increment, so a bend shows as a change of step.
HSOUNDFONT RampFont() {
    Sf2Sample ramp;
    for (int i = 0; i < 7000; ++i) ramp.pcm.push_back(static_cast<int16_t>(i * 4));
    Sf2Preset p;
    p.zones.push_back(Sf2Zone{0, 127, 0, {}});
    return LoadFont({ramp}, {p});
}

struct Timed {
    DWORD event, param, frame;
};

// Renders `frames` frames of a fresh stream given a timed list; left channel.
std::vector<float> RenderTimed(HSOUNDFONT f, const std::vector<Timed>& list, uint32_t frames) {
    TestStream s({f}, BASS_MIDI_NOFX);
    std::vector<BASS_MIDI_EVENT> ev;
    for (const Timed& t : list) ev.push_back(BASS_MIDI_EVENT{t.event, t.param, 0, 0, t.frame * kFrameBytes});
    EXPECT_EQ(BASS_MIDI_StreamEvents(s.h, BASS_MIDI_EVENTS_STRUCT | BASS_MIDI_EVENTS_TIME, ev.data(),
                                     static_cast<DWORD>(ev.size())),
              ev.size());
    return Channel(s.Render(frames), 2, 0);
}

// First frame at or after `from` whose value differs from frame from-1.
size_t FirstChange(const std::vector<float>& x, size_t from, float tolerance = 1e-7f) {
    size_t i = from;
    while (i < x.size() && std::fabs(x[i] - x[from - 1]) <= tolerance) ++i;
    return i;
}

// First frame where two renders differ.
size_t FirstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    return i;
}

constexpr DWORD kOn = 60 | 127 << 8, kOff = 60;

} // namespace

TEST(Timing, NoteOffReleasesAtItsExactSample) {
    HSOUNDFONT f = DcFont();
    // Inside blocks, on block edges, and with the note-on in the same block.
    const auto held = RenderTimed(f, {{MIDI_EVENT_NOTE, kOn, 0}}, 1700);
    for (uint32_t at : {1u, 37u, 63u, 64u, 65u, 1000u, 1037u, 1087u}) {
        auto x = RenderTimed(f, {{MIDI_EVENT_NOTE, kOn, 0}, {MIDI_EVENT_NOTE, kOff, at}}, 1700);
        // As the held note up to the note-off, falling from that very frame on.
        EXPECT_EQ(FirstDifference(x, held), at) << at;
        EXPECT_LT(x[at], held[at]) << at;
        EXPECT_LT(x[at + 500], held[at + 500] * 0.99f) << at;
    }
    // A note that starts and ends inside one block sounds exactly its length.
    auto x = RenderTimed(f, {{MIDI_EVENT_NOTE, kOn, 1030}, {MIDI_EVENT_NOTE, kOff, 1050}}, 1200);
    EXPECT_EQ(x[1029], 0.0f);
    EXPECT_GT(x[1030], 0.0f);
    for (size_t i = 1031; i < 1050; ++i) EXPECT_GT(x[i], x[i - 1]) << i; // the onset ramp
    for (size_t i = 1050; i < 1150; ++i) EXPECT_LT(x[i], x[i - 1]) << i; // the release
    BASS_MIDI_FontFree(f);
}

TEST(Timing, PedalsAndNotesOffReleaseAtTheirSample) {
    HSOUNDFONT f = DcFont();
    const auto held = RenderTimed(f, {{MIDI_EVENT_NOTE, kOn, 0}}, 1800);
    // The pedal holds the note past its note-off until the pedal lifts.
    auto x = RenderTimed(f,
                         {{MIDI_EVENT_SUSTAIN, 127, 0}, {MIDI_EVENT_NOTE, kOn, 0}, {MIDI_EVENT_NOTE, kOff, 500},
                          {MIDI_EVENT_SUSTAIN, 0, 1111}},
                         1800);
    EXPECT_EQ(FirstDifference(x, held), 1111u);
    // All notes off and all sound off at a frame inside a block.
    x = RenderTimed(f, {{MIDI_EVENT_NOTE, kOn, 0}, {MIDI_EVENT_NOTESOFF, 0, 777}}, 1800);
    EXPECT_EQ(FirstDifference(x, held), 777u);
    x = RenderTimed(f, {{MIDI_EVENT_NOTE, kOn, 0}, {MIDI_EVENT_SOUNDOFF, 0, 801}}, 1800);
    EXPECT_EQ(FirstDifference(x, held), 801u);
    EXPECT_LT(std::fabs(x[801 + 480]), 1e-4f); // the fast fade is over within about 10 ms
    // ... and silent from where its envelope ends (10 ms), not at the end of
    // the control block it fell in.
    EXPECT_EQ(x[801 + 450], 0.0f);
    EXPECT_GT(std::fabs(x[801 + 400]), 0.0f);
    BASS_MIDI_FontFree(f);
}

TEST(Timing, ControllersAndBendChangeTheSoundAtTheirSample) {
    HSOUNDFONT dc = DcFont();
    const auto held = RenderTimed(dc, {{MIDI_EVENT_NOTE, kOn, 0}}, 1600);
    for (uint32_t at : {130u, 1000u, 1043u}) {
        // Volume and expression reach the voice through modulators.
        auto x = RenderTimed(dc, {{MIDI_EVENT_NOTE, kOn, 0}, {MIDI_EVENT_VOLUME, 40, at}}, 1600);
        EXPECT_EQ(FirstDifference(x, held), at) << at;
        x = RenderTimed(dc, {{MIDI_EVENT_NOTE, kOn, 0}, {MIDI_EVENT_EXPRESSION, 50, at}}, 1600);
        EXPECT_EQ(FirstDifference(x, held), at) << at;
        // After the change the level glides to the new value over the
        // control block that starts there (kBlockFrames).
        EXPECT_LT(x[at + 400], x[at - 1] * 0.5f) << at;
        EXPECT_NEAR(x[at + 520], x[at + 540], 1e-6f) << at;
    }
    BASS_MIDI_FontFree(dc);

    HSOUNDFONT ramp = RampFont();
    for (uint32_t at : {130u, 1000u, 1043u}) {
        auto x = RenderTimed(ramp, {{MIDI_EVENT_NOTE, kOn, 0}, {MIDI_EVENT_PITCH, 8192 + 4096, at}}, at + 200);
        std::vector<float> step(x.size() - 1);
        for (size_t i = 0; i + 1 < x.size(); ++i) step[i] = x[i + 1] - x[i];
        // The step (the increment) is constant up to the bend and larger after.
        EXPECT_EQ(FirstChange(step, 70, 1e-6f), at) << at;
        EXPECT_GT(step[at + 10], step[at - 10] * 1.04f) << at;
    }
    BASS_MIDI_FontFree(ramp);
}

// A release falls 96 dB over its time along an exponential. A fast one
// follows that curve within control blocks too: a straight line from block
// edge to block edge sat up to 5.7 dB above it mid-block for 50 ms (at
// 44.1 kHz) and 1.7 dB for 100 ms; bent at the middle, as a block of half
// the length did. A slower one (200 ms, 0.44 dB) stays straight.
TEST(Timing, FastReleasesFollowTheirCurveWithinBlocks) {
    struct Case {
        int16_t timecents;
        double bound; // dB
    };
    for (const Case c : {Case{-5186, 2.0}, Case{-3986, 0.5}, Case{-2800, 0.5}}) { // 50, 100 and 200 ms
        HSOUNDFONT f = DcFont(c.timecents);
        const double seconds = std::exp2(c.timecents / 1200.0), rate = 44100; // TestStream's
        // The note-off inside a block: the release's first piece starts there.
        const uint32_t off = 700, frames = off + static_cast<uint32_t>(seconds * rate * 0.8);
        const auto x = RenderTimed(f, {{MIDI_EVENT_NOTE, kOn, 0}, {MIDI_EVENT_NOTE, kOff, off}}, frames);
        const float held = x[off - 1];
        double worst = 0;
        uint32_t worstAt = 0;
        // Down to -77 dB.
        for (uint32_t i = off; i < frames; ++i) {
            const double want = -96.0 * (i - off) / (seconds * rate);
            const double got = 20 * std::log10(x[i] / held);
            if (std::fabs(got - want) > worst) {
                worst = std::fabs(got - want);
                worstAt = i;
            }
        }
        EXPECT_LT(worst, c.bound) << c.timecents << " timecents, at frame " << worstAt;
        BASS_MIDI_FontFree(f);
    }
}

// A vibrato moves the pitch within a control block: a ramp played with the
// mod wheel up advances at one speed (its step) in the first half of a block
// and at another in the second, so that the pitch steps no coarser than
// kPitchFrames however long blocks are. The mean step over most of each half
// (rounding of single steps would hide a cent) tells them apart.
TEST(Timing, AVibratoStepsWithinLongBlocks) {
    static_assert(tsl::kBlockFrames == 2 * tsl::kPitchFrames);
    HSOUNDFONT ramp = RampFont();
    const auto x = RenderTimed(ramp, {{MIDI_EVENT_MODULATION, 127, 0}, {MIDI_EVENT_NOTE, kOn, 0}}, 6000);
    auto speed = [&](size_t from) { return (x[from + 224] - x[from]) / 224; };
    int blocks = 0, moved = 0;
    // From the second block (the first has the onset) to before the ramp
    // runs out.
    for (size_t b = tsl::kBlockFrames; b + tsl::kBlockFrames < 5600; b += tsl::kBlockFrames) {
        const float early = speed(b + 16), late = speed(b + tsl::kPitchFrames + 16);
        ++blocks;
        if (std::fabs(late - early) > 2e-4f * early) ++moved;
        // Within a half the pitch holds.
        EXPECT_NEAR(speed(b + 16), (x[b + 16 + 112] - x[b + 16]) / 112, 1e-4f * early) << b;
    }
    EXPECT_GE(moved, blocks - 2) << blocks;
    BASS_MIDI_FontFree(ramp);
}

// Voices side by side in one pass keep to their own events: notes that
// start, enter their release and change pitch step (a vibrato) at different
// frames of the same blocks, through filters whose cutoff sweeps, sound
// together as the sum of each alone (where each has its lanes to itself).
TEST(Timing, VoicesSharingAPassKeepToTheirOwnEvents) {
    Sf2Sample sine = SineSample(100, 200, 44100, 69);
    Sf2Preset p;
    // Looped; cutoff 3.5 kHz swept down by the modulation envelope; a
    // release of 0.1 s.
    p.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}, {8, 9500}, {11, -2400}, {28, -1200}, {38, -3986}}});
    HSOUNDFONT f = LoadFont({sine}, {p});
    std::vector<Timed> notes;
    for (DWORD k = 0; k < 8; ++k) {
        const DWORD key = 57 + 3 * k, on = 600 + 97 * k, off = on + 500 + 61 * k;
        notes.push_back({MIDI_EVENT_NOTE, key | 100 << 8, on});
        notes.push_back({MIDI_EVENT_NOTE, key, off});
    }
    const Timed wheel{MIDI_EVENT_MODULATION, 127, 0};
    std::vector<Timed> all{wheel};
    all.insert(all.end(), notes.begin(), notes.end());
    const auto together = RenderTimed(f, all, 3000);
    std::vector<float> sum(together.size(), 0.0f);
    for (size_t n = 0; n < notes.size(); n += 2) {
        const auto alone = RenderTimed(f, {wheel, notes[n], notes[n + 1]}, 3000);
        for (size_t i = 0; i < sum.size(); ++i) sum[i] += alone[i];
    }
    float peak = 0, worst = 0;
    for (size_t i = 0; i < sum.size(); ++i) {
        peak = std::max(peak, std::fabs(sum[i]));
        worst = std::max(worst, std::fabs(together[i] - sum[i]));
    }
    // Rounding apart: lanes restart their ramps at other voices' events.
    // Taking b0·e as a line (not as the product it is) was off by 9 %.
    EXPECT_GT(peak, 0.05f);
    EXPECT_LT(worst, peak * 1e-4f);
    BASS_MIDI_FontFree(f);
}
