// Time from BASS_MIDI_StreamEvents to the event's first sample leaving the
// output device, for several AdditionalBuffer values, with the stream driven
// as the synth's update thread drives it: BASS_ChannelUpdate(stream,
// AdditionalBuffer clamped to 20..1000) every millisecond, automatic updating
// off, the playback buffer AdditionalBuffer + 10 ms + the device's minbuf.
//
// The device's output is captured (TSL_AUDIO_CAPTURE: the null device of
// native builds, the ALSA file capture under Wine); each note's onset in the
// capture, against the moment it was sent, gives its latency.
//
// Usage: tsl_latency_bench [notes-per-setting]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>
#include <vector>

#include "bassmidi.h"
#include "output/capture.h"

using namespace std::chrono;

namespace {

constexpr uint32_t kRate = 48000;
#ifdef _WIN32
constexpr const char* kFont = "Z:/usr/share/sounds/sf2/TimGM6mb.sf2";
#else
constexpr const char* kFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
#endif

struct Result {
    double mean = 0, min = 1e9, max = 0;
    int found = 0;
};

Result Measure(uint32_t additional, int notes, const std::string& capture, HSOUNDFONT font) {
    BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 0);
    if (!BASS_Init(1, kRate, BASS_DEVICE_LATENCY, nullptr, nullptr)) {
        std::fprintf(stderr, "BASS_Init failed: %d\n", BASS_ErrorGetCode());
        std::exit(1);
    }
    const auto t0 = steady_clock::now();
    BASS_INFO info{};
    BASS_GetInfo(&info);
    BASS_SetConfig(BASS_CONFIG_BUFFER, additional + 10 + info.minbuf);
    const HSTREAM s = BASS_MIDI_StreamCreate(16, BASS_SAMPLE_FLOAT | BASS_MIDI_ASYNC, kRate);
    BASS_MIDI_FONT f{font, -1, 0};
    BASS_MIDI_StreamSetFonts(s, &f, 1);
    BASS_ChannelPlay(s, FALSE);

    std::atomic<bool> stop{false};
    const DWORD length = std::clamp<uint32_t>(additional, 20, 1000);
    std::thread updater([&] {
        while (!stop.load()) {
            BASS_ChannelUpdate(s, length);
            std::this_thread::sleep_for(milliseconds(1));
        }
    });

    // Woodblock hits on the drum channel: a sharp attack, gone before the next.
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> jitter(0, 37);
    std::vector<double> sent;
    std::this_thread::sleep_for(milliseconds(300 + additional));
    for (int i = 0; i < notes; ++i) {
        const uint8_t on[] = {0x99, 76, 127};
        sent.push_back(duration<double, std::milli>(steady_clock::now() - t0).count());
        BASS_MIDI_StreamEvents(s, BASS_MIDI_EVENTS_RAW, on, 3);
        std::this_thread::sleep_for(milliseconds(30));
        const uint8_t off[] = {0x89, 76, 0};
        BASS_MIDI_StreamEvents(s, BASS_MIDI_EVENTS_RAW, off, 3);
        // Spaced by more than the latency, so each search window holds one hit.
        std::this_thread::sleep_for(milliseconds(220 + additional + jitter(rng)));
    }
    std::this_thread::sleep_for(milliseconds(400 + additional));
    stop.store(true);
    updater.join();
    BASS_StreamFree(s);
    BASS_Free();

    const auto cap = tsl::test::ReadCapture(capture);
    Result r;
    if (!cap.rate) return r;
    size_t from = 0;
    double sum = 0;
    for (double at : sent) {
        from = std::max(from, size_t(at * cap.rate / 1000));
        size_t i = from;
        const size_t limit = std::min(cap.left.size(), from + cap.rate * (additional + 200) / 1000);
        while (i < limit && std::fabs(cap.left[i]) < 0.02f) ++i;
        if (i >= limit) continue;
        const double ms = i * 1000.0 / cap.rate - at;
        sum += ms;
        r.min = std::min(r.min, ms);
        r.max = std::max(r.max, ms);
        ++r.found;
        from = i + cap.rate / 10; // past this hit's attack
    }
    r.mean = r.found ? sum / r.found : 0;
    return r;
}

} // namespace

int main(int argc, char** argv) {
    const int notes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    std::string capture = tsl::test::CapturePath();
    if (capture.empty()) {
#ifndef _WIN32
        capture = (std::filesystem::temp_directory_path() / "tsl-latency-capture.wav").string();
        setenv("TSL_AUDIO_CAPTURE", capture.c_str(), 1);
#else
        std::fprintf(stderr, "set TSL_AUDIO_CAPTURE (tools/wine-run does)\n");
        return 1;
#endif
    }
    const HSOUNDFONT font = BASS_MIDI_FontInit(kFont, 0);
    if (!font || !BASS_MIDI_FontLoad(font, -1, -1)) {
        std::fprintf(stderr, "cannot load %s\n", kFont);
        return 1;
    }
    std::printf("AdditionalBuffer  notes  mean ms  min ms  max ms  jitter ms\n");
    for (uint32_t additional : {0u, 20u, 250u}) {
        const Result r = Measure(additional, notes, capture, font);
        std::printf("%16u  %5d  %7.2f  %6.2f  %6.2f  %9.2f\n", additional, r.found, r.mean, r.min, r.max,
                    r.found ? r.max - r.min : 0.0);
    }
    BASS_MIDI_FontFree(font);
    return 0;
}
