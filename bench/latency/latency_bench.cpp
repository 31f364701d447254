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
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "bassmidi.h"
#include "core/registry.h"
#include "latency_probe.h"
#include "output/device.h"
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

latency::Figures Measure(uint32_t additional, int notes, HSOUNDFONT font) {
    BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 0);
    if (!BASS_Init(1, kRate, BASS_DEVICE_LATENCY, nullptr, nullptr)) {
        std::fprintf(stderr, "BASS_Init failed: %d\n", BASS_ErrorGetCode());
        std::exit(1);
    }
    BASS_INFO info{};
    BASS_GetInfo(&info);
    latency::Figures r;
    r.additionalMs = additional;
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

    std::this_thread::sleep_for(milliseconds(300 + additional));
    const auto playback = tsl::FindChannel(s)->playback;
    const uint64_t starvedBefore = playback->StarvedFrames();
    latency::Onsets onsets(size_t(notes) + 16, kRate, *playback);
    latency::Sends sent;
    device->SetTap(&latency::TapMix, &onsets);
    latency::PlayHits(notes, additional, [&](bool on) {
        if (on) sent.Add(device->FramesConsumedNow(), playback->StarvedFrames());
        BASS_MIDI_StreamEvents(s, BASS_MIDI_EVENTS_RAW, on ? latency::kHitOn : latency::kHitOff, 3);
    });
    std::this_thread::sleep_for(milliseconds(400 + additional));
    device->SetTap(nullptr, nullptr);
    r.starvedMs = double(playback->StarvedFrames() - starvedBefore) * 1000.0 / kRate;
    stop.store(true);
    updater.join();
    BASS_StreamFree(s);
    BASS_Free();
    latency::Summarise(r, sent, onsets, kRate);
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
    latency::PrintHeader();
    for (uint32_t additional : {0u, 20u, 250u})
        latency::PrintRow(Measure(additional, notes, font));
    BASS_MIDI_FontFree(font);
    return 0;
}
