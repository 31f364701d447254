// Time from BASS_MIDI_StreamEvents to the event's first sample leaving the
// output device, for several AdditionalBuffer values, with the stream driven
// as the synth's update thread drives it: BASS_ChannelUpdate(stream,
// AdditionalBuffer clamped to 20..1000) every millisecond, automatic updating
// off, the playback buffer AdditionalBuffer + 10 ms + the device's minbuf.
//
// Both ends are read on the device's own clock, the frames it has consumed,
// not on the wall clock or in a capture file: at sending, the frame the
// device takes at that moment (Device::FramesConsumedNow); at the output, the
// frame of the device's mix in which the note starts (a tap on the mix).
// Under Wine the ALSA capture is not paced in real time (it holds more audio
// than the run lasted), so positions in it say nothing about when a sample
// left; the device's frame count does, on every platform. The endpoint's own
// buffer adds its constant latency on top (BASS_INFO.latency, shown).
//
// Usage: tsl_latency_bench [notes-per-setting]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "bassmidi.h"
#include "output/device.h"
#include "core/registry.h"
#include "output/device_manager.h"
#include "output/playback.h"

using namespace std::chrono;

namespace {

constexpr uint32_t kRate = 48000;
#ifdef _WIN32
constexpr const char* kFont = "Z:/usr/share/sounds/sf2/TimGM6mb.sf2";
#else
constexpr const char* kFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
#endif

// A note starts where the mix rises above -60 dB after 50 ms below it (the
// stream has no effects, so the previous hit's tail dies out in between).
constexpr float kThreshold = 0.001f;
constexpr uint64_t kQuietFrames = kRate / 20;

// Filled on the mixing thread: no locks, no allocation.
struct Onsets {
    Onsets(size_t capacity, const tsl::PlaybackState& p) : at(capacity), starvedAt(capacity), playback(p) {}
    std::vector<uint64_t> at;
    std::vector<uint64_t> starvedAt; // the stream's starved frames before the onset
    std::atomic<size_t> count{0};
    const tsl::PlaybackState& playback;
    uint64_t starvedBefore = 0; // as of the end of the previous period
    uint64_t quiet = kQuietFrames; // silent before the tap was set
};

void TapMix(void* context, const float* mix, uint32_t frames, uint64_t first) noexcept {
    auto& o = *static_cast<Onsets*>(context);
    for (uint32_t i = 0; i < frames; ++i) {
        if (std::fabs(mix[2 * i]) > kThreshold) {
            const size_t n = o.count.load(std::memory_order_relaxed);
            if (o.quiet >= kQuietFrames && n < o.at.size()) {
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

struct Result {
    double mean = 0, min = 1e9, max = 0;
    double streamMean = 0, streamMin = 1e9, streamMax = 0; // without the frames the device starved
    int found = 0;
    uint32_t fillMs = 0, bufferMs = 0, deviceMs = 0;
    double starvedMs = 0; // the device found the stream's buffer empty
};

Result Measure(uint32_t additional, int notes, HSOUNDFONT font) {
    BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 0);
    if (!BASS_Init(1, kRate, BASS_DEVICE_LATENCY, nullptr, nullptr)) {
        std::fprintf(stderr, "BASS_Init failed: %d\n", BASS_ErrorGetCode());
        std::exit(1);
    }
    BASS_INFO info{};
    BASS_GetInfo(&info);
    Result r;
    r.bufferMs = additional + 10 + info.minbuf;
    r.deviceMs = info.latency;
    BASS_SetConfig(BASS_CONFIG_BUFFER, r.bufferMs);
    const auto device = tsl::output::FindDevice(1);
    // No effects: the onset search needs silence between the hits.
    const HSTREAM s = BASS_MIDI_StreamCreate(16, BASS_SAMPLE_FLOAT | BASS_MIDI_ASYNC | BASS_MIDI_NOFX, kRate);
    BASS_MIDI_FONT f{font, -1, 0};
    BASS_MIDI_StreamSetFonts(s, &f, 1);
    BASS_ChannelPlay(s, FALSE);

    std::atomic<bool> stop{false};
    const DWORD length = std::clamp<uint32_t>(additional, 20, 1000);
    r.fillMs = length;
    std::thread updater([&] {
        while (!stop.load()) {
            BASS_ChannelUpdate(s, length);
            std::this_thread::sleep_for(milliseconds(1));
        }
    });

    std::vector<uint64_t> sent, starvedAtSend;
    std::this_thread::sleep_for(milliseconds(300 + additional));
    const auto playback = tsl::FindChannel(s)->playback;
    const uint64_t starvedBefore = playback->StarvedFrames();
    Onsets onsets(size_t(notes) + 16, *playback);
    onsets.starvedBefore = starvedBefore;
    device->SetTap(&TapMix, &onsets);
    // Woodblock hits on the drum channel: a sharp attack, gone before the next.
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> jitter(0, 37);
    for (int i = 0; i < notes; ++i) {
        const uint8_t on[] = {0x99, 76, 127};
        starvedAtSend.push_back(playback->StarvedFrames());
        sent.push_back(device->FramesConsumedNow());
        BASS_MIDI_StreamEvents(s, BASS_MIDI_EVENTS_RAW, on, 3);
        std::this_thread::sleep_for(milliseconds(30));
        const uint8_t off[] = {0x89, 76, 0};
        BASS_MIDI_StreamEvents(s, BASS_MIDI_EVENTS_RAW, off, 3);
        // Spaced by more than the latency, so each note is heard before the next is sent.
        std::this_thread::sleep_for(milliseconds(220 + additional + jitter(rng)));
    }
    std::this_thread::sleep_for(milliseconds(400 + additional));
    device->SetTap(nullptr, nullptr);
    r.starvedMs = double(playback->StarvedFrames() - starvedBefore) * 1000.0 / kRate;
    stop.store(true);
    updater.join();
    BASS_StreamFree(s);
    BASS_Free();

    const size_t heard = onsets.count.load(std::memory_order_acquire);
    if (heard != sent.size())
        std::fprintf(stderr, "AdditionalBuffer %u: %zu notes sent, %zu heard\n", additional, sent.size(), heard);
    double sum = 0, streamSum = 0;
    for (size_t i = 0; i < std::min(heard, sent.size()); ++i) {
        const double ms = (double(onsets.at[i]) - double(sent[i])) * 1000.0 / kRate;
        sum += ms;
        r.min = std::min(r.min, ms);
        r.max = std::max(r.max, ms);
        const double starved = double(onsets.starvedAt[i] - starvedAtSend[i]) * 1000.0 / kRate;
        streamSum += ms - starved;
        r.streamMin = std::min(r.streamMin, ms - starved);
        r.streamMax = std::max(r.streamMax, ms - starved);
        ++r.found;
    }
    r.mean = r.found ? sum / r.found : 0;
    r.streamMean = r.found ? streamSum / r.found : 0;
    return r;
}

} // namespace

int main(int argc, char** argv) {
    const int notes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const HSOUNDFONT font = BASS_MIDI_FontInit(kFont, 0);
    if (!font || !BASS_MIDI_FontLoad(font, -1, -1)) {
        std::fprintf(stderr, "cannot load %s\n", kFont);
        return 1;
    }
    std::printf("AdditionalBuffer  fill ms  buffer ms  device ms  notes  mean ms  min ms  max ms  jitter ms  starved ms"
                "  | less starved: mean  min  max  jitter\n");
    for (uint32_t additional : {0u, 20u, 250u}) {
        const Result r = Measure(additional, notes, font);
        std::printf("%16u  %7u  %9u  %9u  %5d  %7.2f  %6.2f  %6.2f  %9.2f  %10.1f  | %6.2f  %6.2f  %6.2f  %6.2f\n", additional,
                    r.fillMs, r.bufferMs,
                    r.deviceMs, r.found,
                    r.mean, r.min, r.max, r.found ? r.max - r.min : 0.0, r.starvedMs, r.streamMean, r.streamMin,
                    r.streamMax, r.found ? r.streamMax - r.streamMin : 0.0);
    }
    BASS_MIDI_FontFree(font);
    return 0;
}
