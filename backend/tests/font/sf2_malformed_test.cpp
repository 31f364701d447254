// Malformed and truncated SoundFonts fail cleanly with BASS_ERROR_FILEFORM.
#include <gtest/gtest.h>

#include "bassmidi.h"
#include "font/readers.h"
#include "sf2_writer.h"

using namespace tsl::font;
using namespace sf2test;

namespace {

TFont Small() {
    TFont t;
    TSample s;
    s.data = Sine(300, 30);
    s.loopStart = 30;
    s.loopEnd = 270;
    t.samples = {s, s};
    t.insts.push_back({"I", {Zone{{{kGenPan, 100}}, {}}, Zone{{{kGenSampleId, 0}}, {}}, Zone{{{kGenSampleId, 1}}, {}}}});
    t.presets.push_back({"P", 0, 0, {Zone{{{kGenInstrument, 0}}, {}}}});
    t.presets.push_back({"D", 0, 128, {Zone{{{kGenInstrument, 0}}, {}}}});
    return t;
}

int OpenError(const std::vector<uint8_t>& bytes) {
    int e = 0;
    auto f = OpenSf2(std::make_unique<MemorySource>(bytes), 0, &e);
    if (f) {
        // Whatever opened must also load and answer notes without trouble.
        int le = 0;
        f->Load(-1, -1, &le);
        VoiceDesc out[8];
        for (auto& p : f->presets) {
            NoteRequest n;
            CollectVoices(*p, n, out, 8);
        }
        return 0;
    }
    return e;
}

// Offset of a pdta sub-chunk's data.
size_t DataOf(const std::vector<uint8_t>& f, const char* id) { return Find(f, id) + 8; }

} // namespace

TEST(Sf2Malformed, ReferenceFileOpens) { EXPECT_EQ(OpenError(Build(Small())), 0); }

TEST(Sf2Malformed, TruncatedAtEveryChunkBoundary) {
    Layout layout;
    std::vector<uint8_t> full = Build(Small(), &layout);
    ASSERT_GT(layout.chunks.size(), 10u);
    for (auto& [id, at] : layout.chunks) {
        for (size_t cut : {at, at + 4, at + 8, at + 9}) {
            if (cut >= full.size()) continue;
            std::vector<uint8_t> part(full.begin(), full.begin() + long(cut));
            EXPECT_EQ(OpenError(part), BASS_ERROR_FILEFORM) << id << " cut at " << cut;
        }
    }
    // And at every byte of the last 400 (the whole pdta list).
    for (size_t cut = full.size() - 400; cut < full.size(); ++cut) {
        std::vector<uint8_t> part(full.begin(), full.begin() + long(cut));
        EXPECT_EQ(OpenError(part), BASS_ERROR_FILEFORM) << cut;
    }
    for (size_t cut = 0; cut < 64; ++cut) {
        std::vector<uint8_t> part(full.begin(), full.begin() + long(cut));
        EXPECT_EQ(OpenError(part), BASS_ERROR_FILEFORM) << cut;
    }
}

TEST(Sf2Malformed, LyingChunkSizes) {
    std::vector<uint8_t> full = Build(Small());
    for (const char* id : {"phdr", "pbag", "pmod", "pgen", "inst", "ibag", "imod", "igen", "shdr", "smpl", "ifil"}) {
        for (uint32_t size : {0xFFFFFFFFu, 0x7FFFFFF0u, uint32_t(full.size())}) {
            std::vector<uint8_t> f = full;
            Poke32(f, Find(f, id) + 4, size);
            EXPECT_EQ(OpenError(f), BASS_ERROR_FILEFORM) << id << " " << size;
        }
    }
    // A record size that is not a multiple of the record length.
    for (const char* id : {"phdr", "pbag", "shdr", "igen"}) {
        std::vector<uint8_t> f = full;
        size_t at = Find(f, id) + 4;
        Poke32(f, at, uint32_t(f[at] | f[at + 1] << 8) - 2);
        EXPECT_EQ(OpenError(f), BASS_ERROR_FILEFORM) << id;
    }
    // LIST sizes.
    std::vector<uint8_t> f = full;
    size_t pdta = Find(f, "pdta");
    Poke32(f, pdta - 4, 0xFFFFFF00u);
    EXPECT_EQ(OpenError(f), BASS_ERROR_FILEFORM);
}

TEST(Sf2Malformed, BadHeadersAndMissingChunks) {
    std::vector<uint8_t> full = Build(Small());
    std::vector<uint8_t> f = full;
    f[8] = 'X'; // not sfbk
    EXPECT_EQ(OpenError(f), BASS_ERROR_FILEFORM);
    f = full;
    f[0] = 'X'; // not RIFF
    EXPECT_EQ(OpenError(f), BASS_ERROR_FILEFORM);
    f = full;
    std::memcpy(&f[Find(f, "shdr")], "xhdr", 4); // a missing pdta sub-chunk
    EXPECT_EQ(OpenError(f), BASS_ERROR_FILEFORM);
    f = full;
    std::memcpy(&f[Find(f, "smpl")], "xmpl", 4); // no sample data
    EXPECT_EQ(OpenError(f), BASS_ERROR_FILEFORM);
    TFont t = Small();
    t.withIfil = false;
    EXPECT_EQ(OpenError(Build(t)), BASS_ERROR_FILEFORM);
    t = Small();
    t.major = 1;
    EXPECT_EQ(OpenError(Build(t)), BASS_ERROR_FILEFORM);
    // A RIFF size larger than the file is cut to the file.
    f = full;
    Poke32(f, 4, uint32_t(f.size() + 1000));
    EXPECT_EQ(OpenError(f), 0);
}

TEST(Sf2Malformed, BadIndices) {
    std::vector<uint8_t> full = Build(Small());
    // Non-monotonic bag index in the preset headers (preset 1's bag before preset 0's).
    std::vector<uint8_t> f = full;
    Poke16(f, DataOf(f, "phdr") + 38 + 24, 0);
    Poke16(f, DataOf(f, "phdr") + 24, 1);
    EXPECT_EQ(OpenError(f), BASS_ERROR_FILEFORM);
    // Terminal preset header pointing beyond the bags.
    f = full;
    Poke16(f, DataOf(f, "phdr") + 2 * 38 + 24, 50);
    EXPECT_EQ(OpenError(f), BASS_ERROR_FILEFORM);
    // Terminal bag pointing beyond the generators.
    f = full;
    Poke16(f, DataOf(f, "ibag") + 3 * 4, 200);
    EXPECT_EQ(OpenError(f), BASS_ERROR_FILEFORM);
    // Non-monotonic generator index in the instrument bags.
    f = full;
    Poke16(f, DataOf(f, "ibag") + 4, 3);
    EXPECT_EQ(OpenError(f), BASS_ERROR_FILEFORM);
    // Modulator index beyond the list.
    f = full;
    Poke16(f, DataOf(f, "pbag") + 2 * 4 + 2, 9);
    EXPECT_EQ(OpenError(f), BASS_ERROR_FILEFORM);
}

TEST(Sf2Malformed, BadReferencesDropZonesNotTheFile) {
    std::vector<uint8_t> full = Build(Small());
    // An instrument zone naming a sample that does not exist: the zone goes.
    std::vector<uint8_t> f = full;
    size_t igen = DataOf(f, "igen");
    Poke16(f, igen + 4 + 2, 77); // second generator is zone 1's sampleID
    int e = 0;
    auto font = OpenSf2(std::make_unique<MemorySource>(f), 0, &e);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->instruments[0]->zones.size(), 1u);
    // A preset zone naming a missing instrument.
    f = full;
    Poke16(f, DataOf(f, "pgen") + 2, 9);
    font = OpenSf2(std::make_unique<MemorySource>(f), 0, &e);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->presets[0]->zones.size(), 0u);
    // Sample end beyond the data: clamped to the data.
    f = full;
    size_t shdr = DataOf(f, "shdr");
    Poke32(f, shdr + 46 + 24, 0x00FFFFFF);
    font = OpenSf2(std::make_unique<MemorySource>(f), 0, &e);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->samples[1]->length, (300u + 46u) * 2u - (300u + 46u));
    // Sample start beyond the data: the sample and its zones go.
    f = full;
    Poke32(f, shdr + 46 + 20, 0x00FFFFF0);
    Poke32(f, shdr + 46 + 24, 0x00FFFFFF);
    font = OpenSf2(std::make_unique<MemorySource>(f), 0, &e);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->samples.size(), 1u);
    EXPECT_EQ(font->instruments[0]->zones.size(), 1u);
    // Huge address offsets are clamped into the sample.
    f = full;
    Poke16(f, igen + 0, kGenStartAddrsCoarseOffset);
    Poke16(f, igen + 2, 0x7FFF);
    EXPECT_EQ(OpenError(f), 0);
}
