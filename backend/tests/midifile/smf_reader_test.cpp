#include <gtest/gtest.h>

#include "midifile/smf_reader.h"
#include "midifile/tempo_map.h"
#include "midifile/fixtures.h"
#include "midifile/smf_builder.h"

using namespace tsl::midifile;
using namespace tsl::test;

namespace {

SmfStatus Read(const Bytes& b, SmfFile& f) { return ReadSmf(b, f); }

std::vector<uint8_t> NoteOns(const SmfFile& f) {
    std::vector<uint8_t> keys;
    for (const auto& e : f.events)
        if ((e.status & 0xF0) == 0x90 && e.data2) keys.push_back(e.data1);
    return keys;
}

} // namespace

TEST(SmfReader, RunningStatusSurvivesMetaAndSysEx) {
    Track t;
    t.Ev(0, {0x90, 60, 100}).Ev(10, {61, 100})   // running status
        .Meta(0, 0x01, {'x'}).Ev(0, {62, 100})     // across a text event
        .SysEx(0, 0xF0, {0x7E, 0x7F, 0x09, 0x01, 0xF7}).Ev(5, {63, 0}).End();
    SmfFile f;
    ASSERT_EQ(Read(Smf(0, 96, {t}), f), SmfStatus::Ok);
    EXPECT_EQ(NoteOns(f), (std::vector<uint8_t>{60, 61, 62}));
    ASSERT_EQ(f.events.size(), 6u);
    EXPECT_EQ(f.events.back().status, 0x90);
    EXPECT_EQ(f.events.back().data1, 63);
    EXPECT_EQ(f.events.back().tick, 15u);
    EXPECT_EQ(f.endTick, 15u);
}

TEST(SmfReader, SysExFormsAreReassembled) {
    Track t;
    t.SysEx(0, 0xF0, {0x41, 0x10})                 // split message: F0 packet ...
        .Ev(3, {0x90, 60, 1})                      // ... an event between packets ...
        .SysEx(2, 0xF7, {0x42, 0x12, 0xF7})        // ... and the closing F7 packet
        .SysEx(0, 0xF7, {0xF0, 0x7E, 0x7F, 0xF7})  // escape carrying a whole message
        .SysEx(0, 0xF7, {0xF8})                    // escape with something else: dropped
        .End();
    SmfFile f;
    ASSERT_EQ(Read(Smf(0, 96, {t}), f), SmfStatus::Ok);
    std::vector<std::vector<uint8_t>> sysex;
    std::vector<uint32_t> ticks;
    for (const auto& e : f.events)
        if (e.status == 0xF0) {
            auto d = f.Data(e);
            sysex.emplace_back(d.begin(), d.end());
            ticks.push_back(e.tick);
        }
    ASSERT_EQ(sysex.size(), 2u);
    EXPECT_EQ(sysex[0], (std::vector<uint8_t>{0xF0, 0x41, 0x10, 0x42, 0x12, 0xF7}));
    EXPECT_EQ(ticks[0], 0u); // a split message sounds where it began
    EXPECT_EQ(sysex[1], (std::vector<uint8_t>{0xF0, 0x7E, 0x7F, 0xF7}));
    EXPECT_EQ(ticks[1], 5u);
}

TEST(SmfReader, Format1MergesTracksAndFormat2ChainsThem) {
    Track a, b;
    a.Ev(0, {0x90, 60, 100}).Ev(100, {0x80, 60, 0}).End(20);
    b.Ev(50, {0x91, 70, 100}).Ev(10, {0x81, 70, 0}).End();
    SmfFile f1, f2;
    ASSERT_EQ(Read(Smf(1, 96, {a, b}), f1), SmfStatus::Ok);
    EXPECT_EQ(NoteOns(f1), (std::vector<uint8_t>{60, 70}));
    EXPECT_EQ(f1.events[1].tick, 50u);
    EXPECT_EQ(f1.events[1].track, 1u);
    EXPECT_EQ(f1.endTick, 120u);

    ASSERT_EQ(Read(Smf(2, 96, {a, b}), f2), SmfStatus::Ok);
    EXPECT_EQ(f2.events[2].tick, 120u + 50u); // second track starts where the first ended
    EXPECT_EQ(f2.endTick, 180u);
}

TEST(SmfReader, RmidWrapperAndUnknownChunks) {
    Track t;
    t.Ev(0, {0xC0, 5}).Ev(0, {0x90, 64, 90}).End();
    Bytes smf = Smf(0, 480, {t});
    // an unknown chunk before the track and junk after it are skipped
    Bytes extra = {'X', 'F', 'I', 'H', 0, 0, 0, 2, 1, 2};
    smf.insert(smf.begin() + 14, extra.begin(), extra.end());
    smf.insert(smf.end(), {0, 0, 0});
    SmfFile f;
    ASSERT_EQ(Read(Rmid(smf), f), SmfStatus::Ok);
    EXPECT_EQ(f.ticksPerQuarter, 480);
    EXPECT_EQ(NoteOns(f), std::vector<uint8_t>{64});
}

TEST(SmfReader, BadInputFailsCleanly) {
    Track t;
    t.Ev(0, {0x90, 60, 100}).End();
    const Bytes good = Smf(0, 96, {t});
    SmfFile f;
    EXPECT_EQ(Read({}, f), SmfStatus::NotMidi);
    EXPECT_EQ(Read(Bytes(good.begin(), good.begin() + 10), f), SmfStatus::NotMidi);

    Bytes b = good;
    b[9] = 3; // format 3
    EXPECT_EQ(Read(b, f), SmfStatus::BadHeader);
    b = good;
    b[12] = 0, b[13] = 0; // division 0
    EXPECT_EQ(Read(b, f), SmfStatus::BadHeader);
    b = good;
    b[12] = 0xF0; // -16 frames per second does not exist
    EXPECT_EQ(Read(b, f), SmfStatus::BadHeader);

    // a track length that claims far more than the file holds
    b = good;
    b[18] = 0x7F;
    EXPECT_EQ(Read(b, f), SmfStatus::Truncated);
    // an event cut by the end of its track
    Track cut;
    cut.Ev(0, {0x90, 60});
    EXPECT_EQ(Read(Smf(0, 96, {cut}), f), SmfStatus::Truncated);
    // a SysEx whose length runs past the track
    Track lying;
    lying.Ev(0, {0xF0, 0x8F, 0xFF, 0xFF, 0x7F, 0x00});
    EXPECT_EQ(Read(Smf(0, 96, {lying}), f), SmfStatus::Truncated);
    // data bytes with no status to run on
    Track orphan;
    orphan.Ev(0, {60, 100}).End();
    EXPECT_EQ(Read(Smf(0, 96, {orphan}), f), SmfStatus::BadEvent);
    // a five-byte delta time
    Track vlq;
    vlq.Ev(0, {}).Ev(0, {});
    Bytes v = Smf(0, 96, {vlq});
    v.insert(v.end() - 2, {0x81, 0x81, 0x81, 0x81});
    v[21] += 4;
    EXPECT_EQ(Read(v, f), SmfStatus::BadEvent);
    // a header with no track at all
    EXPECT_EQ(Read(Smf(1, 96, {}), f), SmfStatus::NoTracks);
}

TEST(TempoMap, ChangesFromAnyTrackApplyToAll) {
    Track conductor, music;
    conductor.Tempo(0, 1000000).Tempo(96, 250000).End();   // 1 s per quarter, then 0.25 s
    music.Ev(192, {0x90, 60, 100}).End();
    SmfFile f;
    ASSERT_EQ(Read(Smf(1, 96, {conductor, music}), f), SmfStatus::Ok);
    TempoMap map(f);
    EXPECT_DOUBLE_EQ(map.Seconds(0), 0.0);
    EXPECT_DOUBLE_EQ(map.Seconds(48), 0.5);
    EXPECT_DOUBLE_EQ(map.Seconds(96), 1.0);
    EXPECT_DOUBLE_EQ(map.Seconds(192), 1.25);
}

TEST(TempoMap, DefaultTempoAndSmpteTiming) {
    Track t;
    t.Ev(0, {0x90, 60, 100}).Tempo(0, 100).End();
    SmfFile f;
    ASSERT_EQ(Read(Smf(0, 96, {t}), f), SmfStatus::Ok);
    f.events.erase(f.events.begin() + 1); // drop the tempo: 120 bpm applies
    EXPECT_DOUBLE_EQ(TempoMap(f).Seconds(96), 0.5);

    ASSERT_EQ(Read(Smf(0, 0xE728, {t}), f), SmfStatus::Ok); // 25 fps, 40 ticks per frame
    EXPECT_EQ(f.smpteFps, 25);
    EXPECT_DOUBLE_EQ(TempoMap(f).Seconds(1000), 1.0); // tempo events do not matter
}

TEST(SmfReaderFixtures, GoodFilesOfEveryFormat) {
    TSL_REQUIRE_MIDIFILE_FIXTURES(dir);
    struct Case { const char* name; uint16_t format, tracks; size_t notes; };
    for (const Case& c : {Case{"MIDIOkFormat0.mid", 0, 1, 0}, Case{"MIDIOkFormat1.mid", 1, 4, 0},
                          Case{"MIDIOkFormat2.mid", 2, 9, 8}, Case{"MIDIOkFormat1-lyrics.mid", 1, 1, 0},
                          Case{"MIDIBadFormat1.mid", 1, 4, 0}}) {
        SmfFile f;
        ASSERT_EQ(ReadSmf(ReadAll(dir / c.name), f), SmfStatus::Ok) << c.name;
        EXPECT_EQ(f.format, c.format) << c.name;
        EXPECT_EQ(f.trackCount, c.tracks) << c.name;
        EXPECT_FALSE(NoteOns(f).empty()) << c.name;
        if (c.notes) {
            EXPECT_EQ(NoteOns(f).size(), c.notes) << c.name;
        }
    }
    // Format 2: the scale plays one note per track, one after another.
    SmfFile f;
    ASSERT_EQ(ReadSmf(ReadAll(dir / "MIDIOkFormat2.mid"), f), SmfStatus::Ok);
    EXPECT_EQ(NoteOns(f), (std::vector<uint8_t>{48, 50, 52, 53, 55, 57, 59, 60}));
    uint32_t last = 0;
    for (const auto& e : f.events)
        if ((e.status & 0xF0) == 0x90 && e.data2) {
            EXPECT_GT(e.tick + (last == 0), last);
            last = e.tick;
        }
}

TEST(SmfReaderFixtures, BadFilesAreRejected) {
    TSL_REQUIRE_MIDIFILE_FIXTURES(dir);
    for (const char* name : {"MIDIBadHeaderChunk.mid", "MIDIBadHeaderFormat.mid", "MIDIBadHeaderLength.mid",
                             "MIDIBadHeaderSMTPE.mid", "MIDIBadTrackHdr.mid", "MIDIBadTrackLength.mid"}) {
        SmfFile f;
        EXPECT_NE(ReadSmf(ReadAll(dir / name), f), SmfStatus::Ok) << name;
    }
    // One track where two are announced: what is there still plays.
    SmfFile f;
    EXPECT_EQ(ReadSmf(ReadAll(dir / "MIDIBadHeaderTracksNum.mid"), f), SmfStatus::Ok);
    EXPECT_EQ(f.trackCount, 1);
}

TEST(SmfReaderFixtures, EveryPrefixOfARealFileFailsOrParses) {
    TSL_REQUIRE_MIDIFILE_FIXTURES(dir);
    const auto bytes = ReadAll(dir / "MIDIOkFormat2.mid");
    for (size_t n = 0; n < bytes.size(); ++n) {
        SmfFile f;
        const SmfStatus s = ReadSmf(std::span(bytes.data(), n), f);
        if (s == SmfStatus::Ok) {
            EXPECT_GE(f.trackCount, 1);
        }
    }
}
