#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "bassmidi.h"
#include "midifile/fixtures.h"
#include "midifile/smf_builder.h"

using namespace tsl::test;

namespace {

constexpr const char* kFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
constexpr DWORD kDecode = BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT;

class TempFile {
public:
    TempFile(const char* name, const Bytes& bytes)
        : path_(std::filesystem::temp_directory_path() / (std::string("tsl-midifile-") + name)) {
        std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    ~TempFile() { std::filesystem::remove(path_); }
    std::string Path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

// 96 ticks per quarter; 120 bpm, then 60 bpm from tick 192 (set in a second track).
Bytes Song() {
    Track conductor, music;
    conductor.Tempo(0, 500000).Tempo(192, 1000000).End();
    music.Ev(0, {0xC0, 0})                                    // piano
        .Ev(0, {0xB0, 7, 100})                                // volume
        .SysEx(0, 0xF0, {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7})
        .Ev(0, {0x90, 69, 100})                               // A4
        .Ev(96, {0xE0, 0x00, 0x40})                           // pitch centre at 0.5 s
        .Ev(96, {0x80, 69, 64})                               // off at 1.0 s
        .Ev(96, {0x90, 60, 90}).Ev(0, {60, 0})                // tick 288 = 1.0 + 1.0 s
        .End();
    return Smf(1, 96, {conductor, music});
}

std::vector<BASS_MIDI_EVENT> Events(HSTREAM h, int track = -1, DWORD filter = 0) {
    const DWORD n = BASS_MIDI_StreamGetEvents(h, track, filter, nullptr);
    EXPECT_NE(n, DWORD(-1));
    std::vector<BASS_MIDI_EVENT> ev(n == DWORD(-1) ? 0 : n);
    if (n && n != DWORD(-1)) {
        EXPECT_EQ(BASS_MIDI_StreamGetEvents(h, track, filter, ev.data()), n);
    }
    return ev;
}

} // namespace

TEST(MidiFileStream, EventsWithTicksAndBytePositions) {
    TempFile f("song.mid", Song());
    const HSTREAM h = BASS_MIDI_StreamCreateFile(FALSE, f.Path().c_str(), 0, 0, kDecode, 44100);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    const auto ev = Events(h);
    ASSERT_FALSE(ev.empty());
    EXPECT_EQ(ev.back().event, DWORD(MIDI_EVENT_END));
    EXPECT_EQ(ev.back().tick, 288u);
    EXPECT_EQ(ev.back().pos, 2u * 44100 * 8); // two seconds of float stereo

    const auto notes = Events(h, -1, MIDI_EVENT_NOTE);
    ASSERT_EQ(notes.size(), 4u);
    EXPECT_EQ(notes[0].param, 69u | 100u << 8);
    EXPECT_EQ(notes[1].param, 69u);           // note-off: velocity 0
    EXPECT_EQ(notes[1].pos, 44100u * 8);       // 1.0 s
    EXPECT_EQ(notes[2].pos, 2u * 44100 * 8);   // after the tempo change: 60 bpm
    EXPECT_EQ(notes[3].param, 60u);            // running-status note-on with velocity 0

    const auto pitch = Events(h, -1, MIDI_EVENT_PITCH);
    ASSERT_EQ(pitch.size(), 1u);
    EXPECT_EQ(pitch[0].param, 8192u);
    EXPECT_EQ(pitch[0].pos, 44100u * 4);       // 0.5 s

    const auto ctl = Events(h, -1, MIDI_EVENT_CONTROL);
    ASSERT_EQ(ctl.size(), 1u);
    EXPECT_EQ(ctl[0].param, 7u | 100u << 8);

    const auto tempo = Events(h, 0, MIDI_EVENT_TEMPO);
    ASSERT_EQ(tempo.size(), 2u);
    EXPECT_EQ(tempo[1].param, 1000000u);
    EXPECT_EQ(Events(h, 1, MIDI_EVENT_TEMPO).size(), 0u); // per-track selection

    const auto sysex = Events(h, -1, MIDI_EVENT_SYSTEMEX);
    ASSERT_EQ(sysex.size(), 1u);
    uint8_t buf[16] = {};
    ASSERT_EQ(BASS_MIDI_GetSysEx(sysex[0].param, buf, sizeof buf), 11u);
    EXPECT_EQ(buf[0], 0xF0);
    EXPECT_EQ(buf[10], 0xF7);

    EXPECT_EQ(BASS_MIDI_StreamGetEvents(h, 5, 0, nullptr), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    BASS_StreamFree(h);
}

TEST(MidiFileStream, PositionsFollowTheStreamFormat) {
    TempFile f("song16.mid", Song());
    const HSTREAM h = BASS_MIDI_StreamCreateFile(FALSE, f.Path().c_str(), 0, 0,
                                                 BASS_STREAM_DECODE | BASS_SAMPLE_MONO, 48000);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(Events(h).back().pos, 2u * 48000 * 2); // 16-bit mono
    BASS_StreamFree(h);
}

TEST(MidiFileStream, UnicodePathRmidAndFailures) {
    TempFile f("r\xC3\xA9sum\xC3\xA9.rmi", Rmid(Song()));
    const std::filesystem::path p = std::filesystem::u8path(f.Path());
    const std::u16string wide = p.u16string();
    const HSTREAM h = BASS_MIDI_StreamCreateFile(FALSE, wide.c_str(), 0, 0, kDecode | BASS_UNICODE, 44100);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(Events(h, -1, MIDI_EVENT_NOTE).size(), 4u);
    BASS_StreamFree(h);

    EXPECT_EQ(BASS_MIDI_StreamCreateFile(FALSE, "/nonexistent/x.mid", 0, 0, kDecode, 44100), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    Bytes junk = Song();
    junk.resize(40);
    TempFile bad("bad.mid", junk);
    EXPECT_EQ(BASS_MIDI_StreamCreateFile(FALSE, bad.Path().c_str(), 0, 0, kDecode, 44100), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    EXPECT_EQ(BASS_MIDI_StreamCreateFile(FALSE, f.Path().c_str(), 0, 0, kDecode, 1000), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FORMAT);
    // A memory image works too.
    const Bytes song = Song();
    const HSTREAM m = BASS_MIDI_StreamCreateFile(TRUE, song.data(), 0, song.size(), kDecode, 44100);
    EXPECT_NE(m, 0u);
    BASS_StreamFree(m);
}

TEST(MidiFileStream, PlaysToTheEndAndRingsOut) {
    if (!std::filesystem::exists(kFont)) GTEST_SKIP() << kFont << " absent";
    TempFile f("ring.mid", Song());
    const HSTREAM h = BASS_MIDI_StreamCreateFile(FALSE, f.Path().c_str(), 0, 0, kDecode | BASS_MIDI_DECAYEND, 44100);
    ASSERT_NE(h, 0u);
    const HSOUNDFONT font = BASS_MIDI_FontInit(kFont, 0);
    ASSERT_NE(font, 0u);
    BASS_MIDI_FONT ff{font, -1, 0};
    ASSERT_TRUE(BASS_MIDI_StreamSetFonts(h, &ff, 1));
    const DWORD endPos = Events(h).back().pos;

    std::vector<float> block(44100 / 10 * 2);
    uint64_t total = 0;
    double firstHalfSecond = 0;
    DWORD got = 0;
    for (int i = 0; i < 600; ++i) { // at most a minute of audio
        got = BASS_ChannelGetData(h, block.data(), DWORD(block.size() * 4));
        if (got == DWORD(-1)) break;
        if (total < 44100 * 4)
            for (size_t k = 0; k < got / 4; ++k) firstHalfSecond = std::max(firstHalfSecond, double(std::fabs(block[k])));
        total += got;
    }
    EXPECT_EQ(got, DWORD(-1)); // ended
    EXPECT_GT(firstHalfSecond, 0.01); // the first note sounds
    EXPECT_GE(total, uint64_t(endPos)); // the release rings past the last event
    EXPECT_LT(total, uint64_t(endPos) + 44100u * 8 * 20);
    BASS_StreamFree(h);
    BASS_MIDI_FontFree(font);
}

TEST(MidiFileStream, PlayableStreamNeedsADevice) {
    TempFile f("dev.mid", Song());
    EXPECT_EQ(BASS_MIDI_StreamCreateFile(FALSE, f.Path().c_str(), 0, 0, BASS_SAMPLE_FLOAT, 44100), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
}

TEST(MidiFileStreamFixtures, RealFiles) {
    TSL_REQUIRE_MIDIFILE_FIXTURES(dir);
    for (const char* name : {"MIDIOkFormat0.mid", "MIDIOkFormat1.mid", "MIDIOkFormat2.mid", "MIDIOkFormat1-lyrics.mid"}) {
        const HSTREAM h = BASS_MIDI_StreamCreateFile(FALSE, (dir / name).string().c_str(), 0, 0, kDecode, 44100);
        ASSERT_NE(h, 0u) << name;
        EXPECT_FALSE(Events(h, -1, MIDI_EVENT_NOTE).empty()) << name;
        BASS_StreamFree(h);
    }
    for (const char* name : {"MIDIBadHeaderChunk.mid", "MIDIBadTrackLength.mid", "MIDIBadHeaderSMTPE.mid"}) {
        EXPECT_EQ(BASS_MIDI_StreamCreateFile(FALSE, (dir / name).string().c_str(), 0, 0, kDecode, 44100), 0u);
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM) << name;
    }
}
