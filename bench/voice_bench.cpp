// How many voices one core renders in real time: a decoding stream at
// 48 kHz with N sustained looped voices, rendered for one second of audio;
// the largest N whose render takes less than one second of processor time.
//
// usage: tsl_voice_bench [seconds-per-trial]
//        tsl_voice_bench --fixed VOICES SECONDS [nofx]   (one trial; a fixed
//        workload for valgrind --tool=callgrind)
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bass.h"
#include "bassmidi.h"
#include "synth/sf2_writer.h"

using namespace tsl::test;

namespace {

HSOUNDFONT BenchFont() {
    // A sustained looped sine with a slow decay to a loud sustain, like a
    // pad or an organ: every voice stays audible for the whole trial.
    Sf2Sample s = SineSample(97, 2000, 44100, 60, 12000);
    Sf2Preset p;
    p.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}, {37, 60}}});
    std::string path = WriteTempFile(BuildSf2({s}, {p}), "bench.sf2");
    HSOUNDFONT f = BASS_MIDI_FontInit(path.c_str(), 0);
    BASS_MIDI_FontLoad(f, -1, -1);
    return f;
}

// Seconds of wall time to render `audio` seconds with n voices.
double Trial(HSOUNDFONT f, DWORD flags, uint32_t n, double audio) {
    BASS_SetConfig(BASS_CONFIG_MIDI_VOICES, n + 16);
    HSTREAM h = BASS_MIDI_StreamCreate(16, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT | flags, 48000);
    BASS_MIDI_FONT ft{f, -1, 0};
    BASS_MIDI_StreamSetFonts(h, &ft, 1);
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t chan = i % 15, key = 36 + (i / 15) % 60;
        if (chan >= 9) ++chan; // channel 10 plays drums, which this font has none of
        BASS_MIDI_StreamEvent(h, chan, MIDI_EVENT_NOTE, key | (90 + i % 30) << 8);
        if (i % 4096 == 4095) {
            float tmp[64];
            BASS_ChannelGetData(h, tmp, sizeof tmp); // let the queue drain
        }
    }
    std::vector<float> buf(2 * 4800);
    BASS_ChannelGetData(h, buf.data(), static_cast<DWORD>(buf.size() * 4)); // start every note
    float active = 0;
    BASS_ChannelGetAttribute(h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &active);
    // Processor time of this process: a decoding stream renders on the
    // calling thread only, and the machines benchmarks run on are shared.
    std::clock_t t0 = std::clock();
    uint32_t blocks = static_cast<uint32_t>(audio * 10);
    for (uint32_t i = 0; i < blocks; ++i) BASS_ChannelGetData(h, buf.data(), static_cast<DWORD>(buf.size() * 4));
    double took = static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
    BASS_StreamFree(h);
    if (active + 0.5f < n) std::fprintf(stderr, "  (only %.0f of %u voices active)\n", active, n);
    return took;
}

} // namespace

int main(int argc, char** argv) {
    BASS_SetConfig(BASS_CONFIG_MIDI_THREADS, 1); // what one core does
    if (argc > 3 && std::string(argv[1]) == "--fixed") {
        HSOUNDFONT f = BenchFont();
        DWORD flags = argc > 4 && std::string(argv[4]) == "nofx" ? BASS_MIDI_NOFX : 0;
        double t = Trial(f, flags, static_cast<uint32_t>(std::atoi(argv[2])), std::atof(argv[3]));
        std::printf("%.3f s CPU\n", t);
        BASS_MIDI_FontFree(f);
        return 0;
    }
    double audio = argc > 1 ? std::atof(argv[1]) : 1.0;
    HSOUNDFONT f = BenchFont();
    struct Mode {
        const char* name;
        DWORD flags;
    } modes[] = {{"linear, effects", 0},
                 {"linear, no effects", BASS_MIDI_NOFX},
                 {"sinc, effects", BASS_MIDI_SINCINTER},
                 {"sinc, no effects", BASS_MIDI_SINCINTER | BASS_MIDI_NOFX}};
    for (const Mode& m : modes) {
        // Grow until too slow, then bisect.
        uint32_t lo = 0, hi = 1000;
        while (hi <= 64000 && Trial(f, m.flags, hi, audio) < audio) { lo = hi; hi *= 2; }
        while (hi - lo > hi / 50) {
            uint32_t mid = (lo + hi) / 2;
            if (Trial(f, m.flags, mid, audio) < audio) lo = mid;
            else hi = mid;
        }
        double t = lo ? Trial(f, m.flags, lo, audio) : 0;
        std::printf("%-20s %6u voices in real time at 48 kHz (%.2fx real time at that count)\n", m.name, lo,
                    t > 0 ? audio / t : 0.0);
        std::fflush(stdout);
    }
    BASS_MIDI_FontFree(f);
    return 0;
}
