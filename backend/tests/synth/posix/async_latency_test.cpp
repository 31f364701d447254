// Live events of a playing BASS_MIDI_ASYNC stream reach the device one
// constant latency after they were sent, however the rendering is bunched.
//
// The output clock is moved by hand: the null device mixes a 10 ms period
// each time the clock crosses one, and the capture it writes is the device's
// timeline frame for frame. Notes are sent at irregular moments between
// periods while another thread renders ahead in bursts, as the synth's
// update thread does; each note's onset in the capture, against the clock at
// its sending, is its latency, which must be the same for every note. Waits
// are for progress (a mix, a refill), never for an amount of time, so a
// loaded machine only makes the test slower.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bass.h"
#include "bassmidi.h"
#include "output/capture.h"
#include "output/clock.h"
#include "output/device.h"
#include "output/device_manager.h"
#include "synth/render_util.h"

namespace {

using namespace std::chrono;
using tsl::test::LoadFont;
using tsl::test::Sf2Preset;
using tsl::test::Sf2Sample;
using tsl::test::Sf2Zone;

constexpr uint32_t kRate = 48000;
constexpr uint64_t kPeriod = kRate / 100; // the null device's 10 ms

int64_t NsOf(uint64_t frame) { return int64_t((frame * 1'000'000'000ull + kRate - 1) / kRate); }

// Progress, not time: the deadline only keeps a broken build from hanging.
bool WaitFor(const std::function<bool()>& done) {
    const auto until = steady_clock::now() + seconds(60);
    while (!done()) {
        if (steady_clock::now() > until) return false;
        std::this_thread::sleep_for(microseconds(100));
    }
    return true;
}

struct Sent {
    uint64_t frame;  // device clock at sending
    bool on;
};

struct Outcome {
    std::vector<uint64_t> onsets; // device frames where sound starts after silence
    std::vector<uint64_t> sent;   // device frame of each note-on
    uint64_t target = 0;          // the playback buffer's fill target, frames
};

class AsyncLatency : public ::testing::Test {
protected:
    void SetUp() override {
        capture_ = (std::filesystem::temp_directory_path() /
                    ("tsl-async-latency-" + std::to_string(getpid()) + ".wav"))
                       .string();
        setenv("TSL_AUDIO_CAPTURE", capture_.c_str(), 1);
        // A constant sample: the first non-zero frame of the capture after
        // silence is the note's first sample.
        Sf2Sample dc;
        dc.rate = kRate;
        dc.pcm.assign(4000, 20000);
        dc.loopStart = 100;
        dc.loopEnd = 3900;
        Sf2Preset p;
        p.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}}});
        font_ = LoadFont({dc}, {p});
        ASSERT_NE(font_, 0u);
    }
    void TearDown() override {
        if (font_) BASS_MIDI_FontFree(font_);
        tsl::output::ReleaseManualClock();
        std::filesystem::remove(capture_);
    }

    // The synth's arrangement: automatic updating off, a thread calling
    // BASS_ChannelUpdate(additional clamped to 20..1000), buffer additional +
    // 10 ms + minbuf.
    Outcome Play(uint32_t additional, DWORD flags, uint32_t seed) {
        Outcome r;
        uint64_t now = 0;
        tsl::output::SetManualClock(NsOf(now));
        BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 0);
        if (!BASS_Init(1, kRate, BASS_DEVICE_LATENCY, nullptr, nullptr)) {
            ADD_FAILURE() << "BASS_Init " << BASS_ErrorGetCode();
            return r;
        }
        BASS_INFO info{};
        BASS_GetInfo(&info);
        BASS_SetConfig(BASS_CONFIG_BUFFER, additional + 10 + info.minbuf);
        const DWORD length = std::clamp<uint32_t>(additional, 20, 1000);
        r.target = uint64_t(length) * kRate / 1000;
        const auto device = tsl::output::FindDevice(1);
        const HSTREAM s = BASS_MIDI_StreamCreate(16, BASS_SAMPLE_FLOAT | BASS_MIDI_NOFX | flags, kRate);
        BASS_MIDI_FONT f{font_, -1, 0};
        EXPECT_TRUE(BASS_MIDI_StreamSetFonts(s, &f, 1));
        EXPECT_TRUE(BASS_ChannelPlay(s, FALSE));

        std::atomic<bool> stop{false};
        std::atomic<uint32_t> cycles{0};
        std::thread updater([&] {
            std::mt19937 rng(seed);
            while (!stop.load()) {
                BASS_ChannelUpdate(s, length);
                cycles.fetch_add(1);
                std::this_thread::sleep_for(microseconds(rng() % 3000));
            }
        });
        const auto refilled = [&] {
            const uint32_t c = cycles.load();
            return WaitFor([&] { return cycles.load() >= c + 2; });
        };
        // Moves the clock to `to`, one period at a time; after each period
        // the device has mixed it and the updater has refilled the buffer.
        bool ok = refilled();
        const auto advance = [&](uint64_t to) {
            while (ok && now < to) {
                const uint64_t boundary = (now / kPeriod + 1) * kPeriod;
                now = std::min(to, boundary);
                tsl::output::SetManualClock(NsOf(now));
                if (now == boundary)
                    ok = WaitFor([&] { return device->FramesMixed() >= boundary; }) && refilled();
            }
        };

        std::mt19937 rng(seed);
        std::vector<Sent> plan;
        uint64_t at = 1000;
        for (int i = 0; i < 12; ++i) {
            plan.push_back({at, true});
            plan.push_back({at + 600 + rng() % 300, false}); // a period or more later
            at += 2000 + rng() % 3000;
        }
        for (const Sent& e : plan) {
            advance(e.frame);
            const uint8_t msg[3] = {uint8_t(e.on ? 0x90 : 0x80), 60, uint8_t(e.on ? 127 : 0)};
            EXPECT_EQ(BASS_MIDI_StreamEvents(s, BASS_MIDI_EVENTS_RAW, msg, 3), 1u);
            if (e.on) r.sent.push_back(e.frame);
        }
        advance(at + r.target + 2000);
        EXPECT_TRUE(ok) << "the device or the updater made no progress";
        stop.store(true);
        updater.join();
        BASS_StreamFree(s);
        BASS_Free(); // closes the capture

        const auto cap = tsl::test::ReadCapture(capture_);
        EXPECT_EQ(cap.rate, kRate);
        // Each note sounds alone and falls silent before the next starts.
        for (size_t i = 0; i < cap.left.size(); ++i)
            if (cap.left[i] != 0.0f && (i == 0 || cap.left[i - 1] == 0.0f)) r.onsets.push_back(i);
        return r;
    }

    std::string capture_;
    HSOUNDFONT font_ = 0;
};

TEST_F(AsyncLatency, NotesLeaveTheDeviceOneConstantLatencyAfterSending) {
    uint32_t seed = 7;
    for (uint32_t additional : {0u, 20u, 250u}) {
        SCOPED_TRACE("AdditionalBuffer " + std::to_string(additional));
        const Outcome r = Play(additional, BASS_MIDI_ASYNC, seed++);
        ASSERT_EQ(r.onsets.size(), 12u);
        // One latency for all: the fill target, plus less than a millisecond
        // of margin; a frame of rounding either way between notes.
        const double latency = double(r.onsets[0] - r.sent[0]);
        EXPECT_GE(latency, double(r.target));
        EXPECT_LE(latency, double(r.target + kRate / 1000));
        for (size_t i = 1; i < r.sent.size(); ++i) {
            SCOPED_TRACE("note " + std::to_string(i));
            EXPECT_NEAR(double(r.onsets[i] - r.sent[i]), latency, 1.0);
            EXPECT_NEAR(double(r.onsets[i] - r.onsets[i - 1]), double(r.sent[i] - r.sent[i - 1]), 1.0);
        }
    }
}

// Without BASS_MIDI_ASYNC an event starts the next rendered frame: with the
// buffer kept full, that is the fill target past the last device period, so
// the latency varies with where in the period the event was sent.
TEST_F(AsyncLatency, WithoutAsyncEventsStartAtTheNextRenderedFrame) {
    const Outcome r = Play(20, 0, 11);
    ASSERT_EQ(r.onsets.size(), 12u);
    for (size_t i = 0; i < r.sent.size(); ++i) {
        SCOPED_TRACE("note " + std::to_string(i));
        EXPECT_EQ(r.onsets[i], r.sent[i] / kPeriod * kPeriod + r.target);
    }
}

} // namespace
