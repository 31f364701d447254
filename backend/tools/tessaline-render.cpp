// tessaline-render: renders a MIDI file to a WAV file through the back end's
// normal path (a decoding MIDI stream fed one timed event list, pulled with
// BASS_ChannelGetData) until the last voice has died away.
//
//   tessaline-render [--rate N] [--voices N] [--threads N] [--sinc] [--nofx]
//                    [--16|--float] -f FONT [-f FONT ...] -o OUT.wav IN.mid
//
// The first font given wins where several have a preset. --threads 0 (the
// default) uses every processor for dense passages; 1 keeps to one thread.
// While rendering to a terminal it shows how far into the file it is and
// how many times faster than real time it goes; redirected, it stays quiet.
// At the end it prints on stderr the seconds of audio, the seconds the
// render took and the peak number of voices sounding at once.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bass.h"
#include "bassmidi.h"
#include "midifile/event_list.h"
#include "midifile/smf_reader.h"
#include "synth/sysex_store.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: tessaline-render [--rate N] [--voices N] [--threads N] [--sinc] [--nofx]\n"
                 "                        [--16|--float] -f FONT [-f FONT ...] -o OUT.wav IN.mid\n");
    return 2;
}

void Put16(std::vector<uint8_t>& v, uint32_t x) { v.push_back(x & 0xff); v.push_back((x >> 8) & 0xff); }
void Put32(std::vector<uint8_t>& v, uint32_t x) { Put16(v, x & 0xffff); Put16(v, x >> 16); }

std::vector<uint8_t> WavHeader(uint32_t rate, uint32_t channels, uint32_t bits, bool isFloat, uint64_t dataBytes) {
    uint32_t data = dataBytes > 0xFFFFFFF0u - 36 ? 0xFFFFFFF0u - 36 : static_cast<uint32_t>(dataBytes);
    std::vector<uint8_t> h;
    h.insert(h.end(), {'R', 'I', 'F', 'F'});
    Put32(h, 36 + data);
    h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(h, 16);
    Put16(h, isFloat ? 3 : 1);
    Put16(h, channels);
    Put32(h, rate);
    Put32(h, rate * channels * bits / 8);
    Put16(h, channels * bits / 8);
    Put16(h, bits);
    h.insert(h.end(), {'d', 'a', 't', 'a'});
    Put32(h, data);
    return h;
}

bool StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

// One line, rewritten in place: how far into the file, and how fast.
class Progress {
public:
    Progress(bool shown, double fileSeconds) : shown_(shown), fileSeconds_(fileSeconds) {}
    void Update(double audioSeconds, double elapsed, bool force = false) {
        if (!shown_) return;
        if (!force && elapsed - lastShown_ < 0.1) return;
        lastShown_ = elapsed;
        double pct = fileSeconds_ > 0 ? std::min(100.0, 100.0 * audioSeconds / fileSeconds_) : 100.0;
        double speed = elapsed > 0 ? audioSeconds / elapsed : 0.0;
        std::fprintf(stderr, "\r%5.1f%%  %.1fx real time ", pct, speed);
        std::fflush(stderr);
        open_ = true;
    }
    // Ends the line, if one was shown and is not ended yet.
    void Done() {
        if (open_) std::fputc('\n', stderr);
        open_ = false;
    }

private:
    bool shown_;
    bool open_ = false;
    double fileSeconds_;
    double lastShown_ = -1;
};

} // namespace

int main(int argc, char** argv) {
    uint32_t rate = 48000, voices = 1000, threads = 0;
    bool sinc = false, nofx = false, isFloat = false;
    std::vector<std::string> fonts;
    std::string out, in;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--rate") { const char* v = next(); if (!v) return Usage(); rate = static_cast<uint32_t>(std::strtoul(v, nullptr, 10)); }
        else if (a == "--voices") { const char* v = next(); if (!v) return Usage(); voices = static_cast<uint32_t>(std::strtoul(v, nullptr, 10)); }
        else if (a == "--threads") {
            const char* v = next();
            char* end = nullptr;
            if (!v) return Usage();
            unsigned long t = std::strtoul(v, &end, 10);
            if (*end || t > 64) { std::fprintf(stderr, "--threads: a number from 0 (automatic) to 64\n"); return 2; }
            threads = static_cast<uint32_t>(t);
        }
        else if (a == "--sinc") sinc = true;
        else if (a == "--nofx") nofx = true;
        else if (a == "--16") isFloat = false;
        else if (a == "--float") isFloat = true;
        else if (a == "-f") { const char* v = next(); if (!v) return Usage(); fonts.push_back(v); }
        else if (a == "-o") { const char* v = next(); if (!v) return Usage(); out = v; }
        else if (!a.empty() && a[0] == '-') return Usage();
        else in = a;
    }
    if (fonts.empty() || out.empty() || in.empty()) return Usage();

    std::ifstream f(in, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    tsl::midifile::SmfFile smf;
    if (!f.good() && bytes.empty()) { std::fprintf(stderr, "cannot read %s\n", in.c_str()); return 1; }
    if (tsl::midifile::ReadSmf(bytes, smf) != tsl::midifile::SmfStatus::Ok) {
        std::fprintf(stderr, "%s: not a readable MIDI file\n", in.c_str());
        return 1;
    }

    BASS_SetConfig(BASS_CONFIG_MIDI_VOICES, voices);
    BASS_SetConfig(BASS_CONFIG_MIDI_THREADS, threads);
    DWORD flags = BASS_STREAM_DECODE | BASS_MIDI_DECAYEND | (isFloat ? BASS_SAMPLE_FLOAT : 0) |
                  (sinc ? BASS_MIDI_SINCINTER : 0) | (nofx ? BASS_MIDI_NOFX : 0);
    HSTREAM stream = BASS_MIDI_StreamCreate(16, flags, rate);
    if (!stream) { std::fprintf(stderr, "cannot create the stream (error %d)\n", BASS_ErrorGetCode()); return 1; }

    auto loadStart = std::chrono::steady_clock::now();
    std::vector<BASS_MIDI_FONT> stack;
    for (const std::string& path : fonts) {
        HSOUNDFONT h = BASS_MIDI_FontInit(path.c_str(), 0);
        if (!h) { std::fprintf(stderr, "%s: cannot load (error %d)\n", path.c_str(), BASS_ErrorGetCode()); return 1; }
        BASS_MIDI_FontLoad(h, -1, -1);
        stack.push_back(BASS_MIDI_FONT{h, -1, 0});
    }
    if (!BASS_MIDI_StreamSetFonts(stream, stack.data(), static_cast<DWORD>(stack.size()))) {
        std::fprintf(stderr, "cannot set the fonts (error %d)\n", BASS_ErrorGetCode());
        return 1;
    }
    double loadSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - loadStart).count();

    const uint32_t channels = 2, bits = isFloat ? 32 : 16;
    const uint32_t frameBytes = channels * bits / 8;
    tsl::midifile::EventList list = tsl::midifile::BuildEventList(
        smf, rate, frameBytes, [](std::span<const uint8_t> s) { return tsl::SysExStore::Intern(s.data(), s.size()); });

    auto start = std::chrono::steady_clock::now();
    if (BASS_MIDI_StreamEvents(stream, BASS_MIDI_EVENTS_STRUCT | BASS_MIDI_EVENTS_TIME, list.events.data(),
                               static_cast<DWORD>(list.events.size())) == static_cast<DWORD>(-1)) {
        std::fprintf(stderr, "cannot queue the events (error %d)\n", BASS_ErrorGetCode());
        return 1;
    }

    const double bytesPerSecond = static_cast<double>(frameBytes) * rate;
    Progress progress(StderrIsTerminal(), static_cast<double>(list.endBytes) / bytesPerSecond);
    std::FILE* o = std::fopen(out.c_str(), "wb");
    if (!o) { std::fprintf(stderr, "cannot write %s: %s\n", out.c_str(), std::strerror(errno)); return 1; }
    // A full disk shows only at a flush, the seek back to the header or the
    // close: each is checked, so that a cut-off file is never reported done.
    auto writeFailed = [&]() {
        const int error = errno;
        progress.Done();
        std::fprintf(stderr, "cannot write %s: %s\n", out.c_str(), std::strerror(error));
        if (o) std::fclose(o);
        BASS_StreamFree(stream);
        return 1;
    };
    std::vector<char> fileBuffer(1 << 20);
    std::setvbuf(o, fileBuffer.data(), _IOFBF, fileBuffer.size());
    std::vector<uint8_t> header = WavHeader(rate, channels, bits, isFloat, 0);
    if (std::fwrite(header.data(), 1, header.size(), o) != header.size()) return writeFailed();
    // Long reads, a whole number of control blocks each: before a read
    // returns, the stream lets its helper threads finish the last block, and
    // they sit idle while the data is written.
    std::vector<uint8_t> buf(8192 * frameBytes);
    uint64_t total = 0;
    float peak = 0;
    double voiceSum = 0;
    uint64_t reads = 0;
    for (;;) {
        DWORD n = BASS_ChannelGetData(stream, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == static_cast<DWORD>(-1)) break;
        if (std::fwrite(buf.data(), 1, n, o) != n) return writeFailed();
        total += n;
        float v = 0;
        if (BASS_ChannelGetAttribute(stream, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v) && v > peak) peak = v;
        voiceSum += v;
        ++reads;
        progress.Update(static_cast<double>(total) / bytesPerSecond,
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    progress.Update(static_cast<double>(total) / bytesPerSecond, took, true);
    progress.Done();
    header = WavHeader(rate, channels, bits, isFloat, total);
    if (std::fseek(o, 0, SEEK_SET) != 0 || std::fwrite(header.data(), 1, header.size(), o) != header.size())
        return writeFailed();
    const int closed = std::fclose(o); // the last flush
    o = nullptr;
    if (closed != 0) return writeFailed();
    BASS_StreamFree(stream);

    std::fprintf(stderr, "audio %.3f s, render %.3f s (font load %.3f s), peak voices %d, mean %.0f\n",
                 static_cast<double>(total) / frameBytes / rate, took, loadSeconds, static_cast<int>(peak),
                 reads ? voiceSum / static_cast<double>(reads) : 0.0);
    return 0;
}
