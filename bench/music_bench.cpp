// The realistic voice benchmark: real songs laid over each other (note
// churn, controllers, both effect sends, filters and LFOs from a real GM
// font), rendered against a voice limit so that voices are stolen. It
// reports the processor time per voice and frame, and what that makes in
// voices rendered in real time, beside the best case of tsl_voice_bench.
//
// The default songs ask for about 700 voices at their densest, so the
// default limit of 512 is reached, and voices stolen, in the dense stretches
// (at_limit: the share of the reads that found the limit full). Voices
// fading out after a steal are rendered but not counted, as the stream does
// not count them against its limit either: the figure errs low.
//
// usage: tsl_music_bench FONT [--songs N] [--shift SECONDS] [--seconds S]
//                        [--voices N] [--threads N] [--sinc] [--nofx]
// Prints one line of name=value pairs.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "bass.h"
#include "bassmidi.h"
#include "synth/layered_songs.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tsl_music_bench FONT [--songs N] [--shift SECONDS] [--seconds S] [--voices N] "
                             "[--threads N] [--sinc] [--nofx]\n");
        return 2;
    }
    const char* fontPath = argv[1];
    size_t songs = 31;
    double shift = 0.5, seconds = 30;
    uint32_t voices = 512, threads = 1, rate = 48000;
    DWORD flags = 0;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : "0";
        if (a == "--songs") { songs = std::strtoul(v, nullptr, 10); ++i; }
        else if (a == "--shift") { shift = std::atof(v); ++i; }
        else if (a == "--seconds") { seconds = std::atof(v); ++i; }
        else if (a == "--voices") { voices = static_cast<uint32_t>(std::strtoul(v, nullptr, 10)); ++i; }
        else if (a == "--threads") { threads = static_cast<uint32_t>(std::strtoul(v, nullptr, 10)); ++i; }
        else if (a == "--sinc") flags |= BASS_MIDI_SINCINTER;
        else if (a == "--nofx") flags |= BASS_MIDI_NOFX;
        else { std::fprintf(stderr, "unknown option %s\n", a.c_str()); return 2; }
    }
    const uint32_t frameBytes = 2 * sizeof(float);
    std::vector<BASS_MIDI_EVENT> events =
        tsl::test::LayeredSongs(songs, static_cast<uint32_t>(shift * rate), rate, frameBytes);
    if (events.empty()) { std::fprintf(stderr, "no songs in %s (openttd-openmsx)\n", tsl::test::kLayeredSongsDir); return 1; }
    HSOUNDFONT font = BASS_MIDI_FontInit(fontPath, 0);
    if (!font) { std::fprintf(stderr, "%s: cannot load\n", fontPath); return 1; }
    BASS_MIDI_FontLoad(font, -1, -1);
    BASS_SetConfig(BASS_CONFIG_MIDI_VOICES, voices);
    BASS_SetConfig(BASS_CONFIG_MIDI_THREADS, threads);
    HSTREAM h = BASS_MIDI_StreamCreate(16, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT | flags, rate);
    BASS_MIDI_FONT f{font, -1, 0};
    BASS_MIDI_StreamSetFonts(h, &f, 1);
    BASS_MIDI_StreamEvents(h, BASS_MIDI_EVENTS_STRUCT | BASS_MIDI_EVENTS_TIME, events.data(),
                           static_cast<DWORD>(events.size()));
    std::vector<float> buf(2 * 1024);
    const uint64_t total = static_cast<uint64_t>(seconds * rate);
    double voiceFrames = 0;
    uint32_t peak = 0;
    uint64_t reads = 0, atLimit = 0;
    std::clock_t c0 = std::clock();
    auto w0 = std::chrono::steady_clock::now();
    for (uint64_t done = 0; done < total; done += 1024) {
        if (BASS_ChannelGetData(h, buf.data(), static_cast<DWORD>(buf.size() * sizeof(float))) == static_cast<DWORD>(-1)) break;
        float active = 0;
        BASS_ChannelGetAttribute(h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &active);
        voiceFrames += active * 1024.0;
        if (active > peak) peak = static_cast<uint32_t>(active);
        ++reads;
        if (active >= static_cast<float>(voices)) ++atLimit;
    }
    const double cpu = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
    BASS_StreamFree(h);
    BASS_MIDI_FontFree(font);
    const double ns = voiceFrames > 0 ? cpu * 1e9 / voiceFrames : 0;
    std::printf("audio=%.1f cpu=%.3f wall=%.3f mean_voices=%.0f peak_voices=%u at_limit=%.1f%% "
                "ns_per_voice_frame=%.3f realtime_voices=%.0f\n",
                static_cast<double>(total) / rate, cpu, wall, voiceFrames / static_cast<double>(total), peak,
                reads ? 100.0 * static_cast<double>(atLimit) / static_cast<double>(reads) : 0.0, ns,
                ns > 0 ? 1e9 / (ns * rate) : 0.0);
    return 0;
}
