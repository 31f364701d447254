// What the latency benchmarks share: a tap on an output device's mix that
// finds where each note starts, and the figures made from the frames at which
// notes were sent and heard.
//
// Both ends are frames of the device's own clock, never the wall clock or a
// capture file: under Wine the ALSA capture is not paced in real time, so
// positions in it say nothing about when a sample left.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

#include "output/playback.h"

namespace latency {

// A note starts where the mix rises above -60 dB after 50 ms below it (the
// streams measured have no effects, so one hit's tail dies out before the next).
constexpr float kThreshold = 0.001f;

// Filled on the device's mixing thread, so no locks and no allocation there.
struct Onsets {
    Onsets(size_t capacity, uint32_t rate, const tsl::PlaybackState& p)
        : at(capacity), starvedAt(capacity), quietFrames(rate / 20), playback(p), quiet(quietFrames),
          starvedBefore(p.StarvedFrames())
    {
    }
    std::vector<uint64_t> at;         // the device frame of each onset
    std::vector<uint64_t> starvedAt;  // the stream's starved frames before that onset
    std::atomic<size_t> count{0};
    const uint64_t quietFrames;
    const tsl::PlaybackState& playback;
    uint64_t quiet;          // the stream was silent before the tap was set
    uint64_t starvedBefore;  // as of the end of the previous period
};

// Device::Tap.
inline void TapMix(void* context, const float* mix, uint32_t frames, uint64_t first) noexcept
{
    auto& o = *static_cast<Onsets*>(context);
    for (uint32_t i = 0; i < frames; ++i) {
        if (std::fabs(mix[2 * i]) > kThreshold) {
            const size_t n = o.count.load(std::memory_order_relaxed);
            if (o.quiet >= o.quietFrames && n < o.at.size()) {
                o.at[n] = first + i;
                // A period's starved frames come after what the stream had
                // ready, so after this onset: count only earlier periods'.
                o.starvedAt[n] = o.starvedBefore;
                o.count.store(n + 1, std::memory_order_release);
            }
            o.quiet = 0;
        } else {
            ++o.quiet;
        }
    }
    o.starvedBefore = o.playback.StarvedFrames();
}

// What was sent: the device's frame (Device::FramesConsumedNow) and the
// stream's starved frames at the moment of sending, one pair per note.
struct Sends {
    std::vector<uint64_t> at;
    std::vector<uint64_t> starved;
    void Add(uint64_t frame, uint64_t starvedFrames)
    {
        at.push_back(frame);
        starved.push_back(starvedFrames);
    }
};

// Woodblock hits on the drum channel: a sharp attack, gone before the next.
constexpr uint8_t kHitOn[3] = {0x99, 76, 127};
constexpr uint8_t kHitOff[3] = {0x89, 76, 0};

// Calls hit(true) and, 30 ms later, hit(false) `notes` times at irregular
// moments (250 ms + AdditionalBuffer + 0..37 ms apart, the same sequence on
// every run), spaced by more than the latency so that each note is heard
// before the next is sent.
template <class Hit>
void PlayHits(int notes, uint32_t additionalMs, Hit&& hit)
{
    using std::chrono::milliseconds;
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> jitter(0, 37);
    for (int i = 0; i < notes; ++i) {
        hit(true);
        std::this_thread::sleep_for(milliseconds(30));
        hit(false);
        std::this_thread::sleep_for(milliseconds(220 + additionalMs + uint32_t(jitter(rng))));
    }
}

struct Figures {
    uint32_t additionalMs = 0, fillMs = 0, bufferMs = 0, deviceMs = 0;
    int found = 0;
    double mean = 0, min = 0, max = 0;
    // With the frames the device starved between sending and onset taken out:
    // the placement the stream itself achieved.
    double streamMean = 0, streamMin = 0, streamMax = 0;
    double starvedMs = 0;  // the device found the stream's buffer empty during the run
};

// Pairs the n-th send with the n-th onset; says so when their numbers differ.
inline void Summarise(Figures& f, const Sends& sent, const Onsets& onsets, uint32_t rate)
{
    const size_t heard = onsets.count.load(std::memory_order_acquire);
    if (heard != sent.at.size())
        std::fprintf(stderr, "AdditionalBuffer %u: %zu notes sent, %zu heard\n", f.additionalMs, sent.at.size(), heard);
    const size_t n = std::min(heard, sent.at.size());
    double sum = 0, streamSum = 0;
    f.min = f.streamMin = 1e9;
    f.max = f.streamMax = -1e9;
    for (size_t i = 0; i < n; ++i) {
        const double ms = (double(onsets.at[i]) - double(sent.at[i])) * 1000.0 / rate;
        const double starved = double(onsets.starvedAt[i] - sent.starved[i]) * 1000.0 / rate;
        sum += ms;
        streamSum += ms - starved;
        f.min = std::min(f.min, ms);
        f.max = std::max(f.max, ms);
        f.streamMin = std::min(f.streamMin, ms - starved);
        f.streamMax = std::max(f.streamMax, ms - starved);
    }
    f.found = int(n);
    if (n == 0) {
        f.min = f.max = f.streamMin = f.streamMax = 0;
        return;
    }
    f.mean = sum / double(n);
    f.streamMean = streamSum / double(n);
}

inline void PrintHeader()
{
    std::printf("AdditionalBuffer  fill ms  buffer ms  device ms  notes  mean ms  min ms  max ms  jitter ms  starved ms"
                "  | less starved: mean  min  max  jitter\n");
}

inline void PrintRow(const Figures& f)
{
    std::printf("%16u  %7u  %9u  %9u  %5d  %7.2f  %6.2f  %6.2f  %9.2f  %10.1f  | %6.2f  %6.2f  %6.2f  %6.2f\n",
                f.additionalMs, f.fillMs, f.bufferMs, f.deviceMs, f.found, f.mean, f.min, f.max, f.max - f.min,
                f.starvedMs, f.streamMean, f.streamMin, f.streamMax, f.streamMax - f.streamMin);
    std::fflush(stdout);
}

}  // namespace latency
