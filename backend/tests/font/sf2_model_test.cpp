// SF2 reading and the instrument model: generator and modulator combination,
// ranges, sample positions and loop seams, lazy loading, sm24.
#include <gtest/gtest.h>

#include <algorithm>

#include "bassmidi.h"
#include "font/readers.h"
#include "sf2_writer.h"

using namespace tsl::font;
using namespace sf2test;

namespace {

std::shared_ptr<Font> Open(const std::vector<uint8_t>& bytes, int* error = nullptr, uint32_t flags = 0) {
    int e = 0;
    auto f = OpenSf2(std::make_unique<MemorySource>(bytes), flags, &e);
    if (error) *error = e;
    return f;
}

Zone InstZone(std::vector<GenAmt> gens, uint16_t sample, std::vector<Modulator> mods = {}) {
    gens.push_back({kGenSampleId, sample});
    return {gens, mods};
}
Zone PresetZoneOf(std::vector<GenAmt> gens, uint16_t inst, std::vector<Modulator> mods = {}) {
    gens.push_back({kGenInstrument, inst});
    return {gens, mods};
}

// One sine sample (1000 frames, loop 100..900), one instrument, one preset.
TFont Basic() {
    TFont f;
    TSample s;
    s.data = Sine(1000, 100);
    s.loopStart = 100;
    s.loopEnd = 900;
    f.samples.push_back(s);
    f.insts.push_back({"Inst", {InstZone({Val(kGenSampleModes, 1)}, 0)}});
    f.presets.push_back({"Piano", 0, 0, {PresetZoneOf({}, 0)}});
    return f;
}

const Modulator* FindMod(const VoiceDesc& v, uint16_t src, uint16_t dest) {
    for (int i = 0; i < v.modCount; ++i)
        if (v.mods[i].srcOper == src && v.mods[i].destOper == dest) return &v.mods[i];
    return nullptr;
}

std::vector<VoiceDesc> Voices(Font& f, const Preset& p, int key, int vel) {
    EXPECT_TRUE(f.EnsureLoaded(p));
    std::vector<VoiceDesc> out(16);
    NoteRequest n;
    n.key = uint8_t(key);
    n.velocity = uint8_t(vel);
    out.resize(CollectVoices(p, n, out.data(), out.size()));
    return out;
}

} // namespace

TEST(Sf2Model, BasicFontOpensWithInfo) {
    TFont t = Basic();
    t.copyright = "(c) nobody";
    t.comment = "a comment";
    auto f = Open(Build(t));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->name, "Test font");
    EXPECT_EQ(f->copyright, "(c) nobody");
    EXPECT_EQ(f->comment, "a comment");
    EXPECT_EQ(f->versionMajor, 2);
    EXPECT_EQ(f->versionMinor, 4);
    ASSERT_EQ(f->presets.size(), 1u);
    EXPECT_EQ(f->presets[0]->name, "Piano");
    EXPECT_EQ(f->sampleBytes, (1000u + 46u) * 2u);
    EXPECT_EQ(f->sampleType, DWORD(BASS_MIDI_SAMTYPE_PCM));
}

TEST(Sf2Model, GeneratorsOverrideInInstrumentAndAddInPreset) {
    TFont t = Basic();
    // Instrument: global sets attack -1000 and pan 100; the local zone overrides pan.
    t.insts[0].zones = {Zone{{Val(kGenAttackVolEnv, -1000), Val(kGenPan, 100), Val(kGenCoarseTune, 2)}, {}},
                        InstZone({Val(kGenPan, 200), Val(kGenSampleModes, 1)}, 0)};
    // Preset: global adds attenuation 50 and pan 10; the local zone overrides
    // the attenuation offset with 100; sampleModes and exclusiveClass are not
    // allowed at preset level.
    t.presets[0].zones = {Zone{{Val(kGenInitialAttenuation, 50), Val(kGenPan, 10), Val(kGenCoarseTune, 1)}, {}},
                          PresetZoneOf({Val(kGenInitialAttenuation, 100), Val(kGenSampleModes, 3),
                                        Val(kGenExclusiveClass, 5)},
                                       0)};
    auto f = Open(Build(t));
    ASSERT_TRUE(f);
    auto v = Voices(*f, *f->presets[0], 60, 100);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].gen[kGenAttackVolEnv], -1000);       // global instrument, no preset offset
    EXPECT_EQ(v[0].gen[kGenPan], 210);                  // local 200 overrides global 100, + preset 10
    EXPECT_EQ(v[0].gen[kGenInitialAttenuation], 100);   // preset local overrides preset global
    EXPECT_EQ(v[0].gen[kGenCoarseTune], 3);             // 2 + 1
    EXPECT_EQ(v[0].gen[kGenSampleModes], 1);            // preset value ignored
    EXPECT_EQ(v[0].gen[kGenExclusiveClass], 0);
    EXPECT_EQ(v[0].gen[kGenInitialFilterFc], 13500);    // default
    EXPECT_EQ(v[0].gen[kGenScaleTuning], 100);
    EXPECT_EQ(v[0].gen[kGenReleaseVolEnv], -12000);
    EXPECT_EQ(v[0].gen[kGenKeynum], -1);
    EXPECT_EQ(v[0].loopMode, 1);
}

TEST(Sf2Model, KeyAndVelocityRanges) {
    TFont t = Basic();
    t.samples.push_back(t.samples[0]);
    t.insts = {
        {"Low", {InstZone({Range(kGenVelRange, 0, 63)}, 0), InstZone({Range(kGenVelRange, 64, 127)}, 1)}},
        // Global zone key range applies to the local zone without one.
        {"High", {Zone{{Range(kGenKeyRange, 70, 80)}, {}}, InstZone({}, 0)}},
    };
    t.presets[0].zones = {PresetZoneOf({Range(kGenKeyRange, 0, 59)}, 0),
                          PresetZoneOf({Range(kGenKeyRange, 60, 127), Range(kGenVelRange, 10, 127)}, 1)};
    auto f = Open(Build(t));
    ASSERT_TRUE(f);
    const Preset& p = *f->presets[0];
    auto v = Voices(*f, p, 40, 30);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].sample, f->samples[0].get());
    v = Voices(*f, p, 40, 100);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].sample, f->samples[1].get());
    EXPECT_EQ(Voices(*f, p, 65, 100).size(), 0u); // outside the instrument's global range
    EXPECT_EQ(Voices(*f, p, 75, 100).size(), 1u);
    EXPECT_EQ(Voices(*f, p, 75, 5).size(), 0u);   // preset velocity range
    EXPECT_EQ(Voices(*f, p, 81, 100).size(), 0u);
}

TEST(Sf2Model, DefaultModulatorsAndFileModulators) {
    TFont t = Basic();
    // Instrument overrides CC7->attenuation (960 -> 480) and adds CC74->filter.
    Modulator cc7{0x0587, kGenInitialAttenuation, 480, 0, 0};
    Modulator cc74{0x00CA, kGenInitialFilterFc, 1200, 0, 0};
    Modulator linked{0x007F, kGenPan, 100, 0, 0}; // a "link" source: dropped
    t.insts[0].zones = {InstZone({}, 0, {cc7, cc74, linked})};
    // Preset adds to the velocity->attenuation default and to CC74, and brings a new one.
    Modulator vel{0x0502, kGenInitialAttenuation, 100, 0, 0};
    Modulator cc74p{0x00CA, kGenInitialFilterFc, 300, 0, 0};
    Modulator cc1{0x0081, kGenModLfoToPitch, 25, 0, 0};
    t.presets[0].zones = {PresetZoneOf({}, 0, {vel, cc74p, cc1})};
    auto f = Open(Build(t));
    ASSERT_TRUE(f);
    auto v = Voices(*f, *f->presets[0], 60, 100);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].modCount, 12); // 10 defaults + CC74 + CC1->mod LFO pitch
    const Modulator* m = FindMod(v[0], 0x0587, kGenInitialAttenuation);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->amount, 480);
    m = FindMod(v[0], 0x0502, kGenInitialAttenuation);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->amount, 1060);
    m = FindMod(v[0], 0x00CA, kGenInitialFilterFc);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->amount, 1500);
    m = FindMod(v[0], 0x0081, kGenModLfoToPitch);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->amount, 25);
    m = FindMod(v[0], 0x020E, kGenInitialPitch);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->amount, 12700);
    EXPECT_EQ(m->amtSrcOper, 0x0010);
    m = FindMod(v[0], 0x028A, kGenPan);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->amount, 500);
}

TEST(Sf2Model, DefaultModulatorsWithoutFileModulators) {
    auto f = Open(Build(Basic()));
    ASSERT_TRUE(f);
    auto v = Voices(*f, *f->presets[0], 60, 100);
    ASSERT_EQ(v.size(), 1u);
    ASSERT_EQ(v[0].modCount, 10);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(v[0].mods[i].srcOper, kDefaultModulators[i].srcOper);
        EXPECT_EQ(v[0].mods[i].destOper, kDefaultModulators[i].destOper);
        EXPECT_EQ(v[0].mods[i].amount, kDefaultModulators[i].amount);
    }
}

TEST(Sf2Model, SamplePositionsLoopSeamsAndGuards) {
    TFont t = Basic();
    t.samples[0].pitch = 64;
    t.samples[0].correction = -7;
    // Second zone: start +10, end -20, loop start +5, loop end -50 (a second loop).
    t.insts[0].zones.push_back(InstZone({Range(kGenKeyRange, 90, 127), Val(kGenStartAddrsOffset, 10),
                                         Val(kGenEndAddrsOffset, -20), Val(kGenStartloopAddrsOffset, 5),
                                         Val(kGenEndloopAddrsOffset, -50), Val(kGenSampleModes, 3),
                                         Val(kGenOverridingRootKey, 70)},
                                        0));
    t.insts[0].zones[0].gens.insert(t.insts[0].zones[0].gens.begin(), Range(kGenKeyRange, 0, 89));
    auto f = Open(Build(t));
    ASSERT_TRUE(f);
    const Sample& s = *f->samples[0];
    EXPECT_FALSE(s.Ready());
    EXPECT_EQ(s.length, 1000u);
    EXPECT_EQ(s.originalPitch, 64);
    EXPECT_EQ(s.pitchCorrection, -7);
    ASSERT_EQ(s.loops.size(), 2u);
    auto v = Voices(*f, *f->presets[0], 60, 100);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].start, 0u);
    EXPECT_EQ(v[0].end, 1000u);
    EXPECT_EQ(v[0].loopStart, 100u);
    EXPECT_EQ(v[0].loopEnd, 900u);
    EXPECT_EQ(v[0].rootKey, 64);
    v = Voices(*f, *f->presets[0], 100, 100);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].start, 10u);
    EXPECT_EQ(v[0].end, 980u);
    EXPECT_EQ(v[0].loopStart, 105u);
    EXPECT_EQ(v[0].loopEnd, 850u);
    EXPECT_EQ(v[0].loopMode, 3);
    EXPECT_EQ(v[0].rootKey, 70);
    EXPECT_EQ(v[0].loop, 1);

    // Data, guards and seams.
    ASSERT_TRUE(s.Ready());
    std::vector<int16_t> sine = Sine(1000, 100);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(s.pcm[i], sine[size_t(i)]) << i;
    for (int i = 1; i <= kGuard; ++i) {
        EXPECT_EQ(s.pcm[-i], 0);
        EXPECT_EQ(s.pcm[999 + i], 0);
    }
    for (size_t li = 0; li < 2; ++li) {
        const LoopSpan& l = s.loops[li];
        // Both loops are short: their seams hold the loop over and over
        // for kSeamRun frames past a whole loop.
        ASSERT_LT(l.end - l.start, kShortLoop);
        EXPECT_EQ(l.seamLength, kGuard + (l.end - l.start) + kSeamRun);
        const int16_t* seam = s.LoopSeam(li);
        for (int j = 0; j < int(l.seamLength); ++j) {
            int64_t q = int64_t(l.end) - kGuard + j;
            if (q >= l.end) q = l.start + (q - l.end) % (l.end - l.start);
            ASSERT_EQ(seam[j], sine[size_t(q)]) << li << " " << j;
        }
    }
    EXPECT_EQ(s.pcmLow, nullptr);
}

TEST(Sf2Model, BadLoopPlaysUnlooped) {
    TFont t = Basic();
    t.samples[0].loopStart = 500;
    t.samples[0].loopEnd = 400; // reversed
    auto f = Open(Build(t));
    ASSERT_TRUE(f);
    auto v = Voices(*f, *f->presets[0], 60, 100);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].loopMode, 0);
    EXPECT_EQ(v[0].end, 1000u);
}

TEST(Sf2Model, LazyLoadingUnloadAndDeferredFree) {
    auto f = Open(Build(Basic()));
    ASSERT_TRUE(f);
    const Preset& p = *f->presets[0];
    const Sample& s = *f->samples[0];
    EXPECT_EQ(f->LoadedBytes(), 0u);
    EXPECT_FALSE(f->IsLoaded(p));
    NoteRequest n;
    VoiceDesc out[4];
    EXPECT_EQ(CollectVoices(p, n, out, 4), 0u); // not ready: skipped
    EXPECT_FALSE(s.Acquire());
    ASSERT_TRUE(f->EnsureLoaded(p));
    EXPECT_TRUE(f->IsLoaded(p));
    EXPECT_EQ(f->LoadedBytes(), 2000u);
    EXPECT_EQ(CollectVoices(p, n, out, 4), 1u);

    // A voice holds the sample: unloading leaves the data where it is.
    ASSERT_TRUE(s.Acquire());
    const int16_t* data = s.pcm;
    EXPECT_TRUE(f->Unload(-1, -1));
    EXPECT_FALSE(s.Ready());
    EXPECT_EQ(s.pcm, data);
    EXPECT_EQ(s.pcm[25], 16000); // still readable
    EXPECT_FALSE(s.Acquire());
    s.Release();
    // The next call frees it.
    EXPECT_TRUE(f->Unload(0, 0));
    EXPECT_EQ(s.pcm, nullptr);
    EXPECT_EQ(f->LoadedBytes(), 0u);

    int error = 0;
    EXPECT_TRUE(f->Load(-1, -1, &error));
    EXPECT_TRUE(s.Ready());
    EXPECT_FALSE(f->Load(5, 0, &error)); // no such preset
    EXPECT_EQ(error, BASS_ERROR_ILLPARAM);
    EXPECT_TRUE(f->Unload(0, -1));
    EXPECT_FALSE(s.Ready());
    EXPECT_TRUE(f->Load(0, 0, &error));
    EXPECT_TRUE(s.Ready());
}

TEST(Sf2Model, Sm24LowBytes) {
    TFont t = Basic();
    t.sm24 = true;
    t.samples[0].low.resize(1000);
    for (size_t i = 0; i < 1000; ++i) t.samples[0].low[i] = uint8_t(i * 7);
    auto f = Open(Build(t));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->sampleBytes, (1000u + 46u) * 3u);
    ASSERT_TRUE(f->EnsureLoaded(*f->presets[0]));
    const Sample& s = *f->samples[0];
    ASSERT_NE(s.pcmLow, nullptr);
    for (size_t i = 0; i < 1000; ++i) ASSERT_EQ(s.pcmLow[i], uint8_t(i * 7));
    EXPECT_EQ(s.pcmLow[-1], 0);
    EXPECT_EQ(s.LoopSeamLow(0)[kGuard], uint8_t(100 * 7)); // loop start
    EXPECT_EQ(f->LoadedBytes(), 3000u);

    // Before 2.04 the sm24 chunk is ignored.
    t.minor = 1;
    f = Open(Build(t));
    ASSERT_TRUE(f);
    ASSERT_TRUE(f->EnsureLoaded(*f->presets[0]));
    EXPECT_EQ(f->samples[0]->pcmLow, nullptr);
}

TEST(Sf2Model, StereoLinkAndRomSamples) {
    TFont t = Basic();
    TSample l = t.samples[0], r = t.samples[0], rom = t.samples[0];
    l.type = 4;
    l.link = 2;
    r.type = 2;
    r.link = 1;
    rom.type = 0x8001;
    t.samples = {t.samples[0], l, r, rom};
    t.insts[0].zones = {InstZone({Val(kGenPan, -500)}, 1), InstZone({Val(kGenPan, 500)}, 2), InstZone({}, 3)};
    auto f = Open(Build(t));
    ASSERT_TRUE(f);
    ASSERT_EQ(f->samples.size(), 3u); // the ROM sample is left out
    auto v = Voices(*f, *f->presets[0], 60, 100);
    ASSERT_EQ(v.size(), 2u); // the zone of the ROM sample is dropped
    EXPECT_EQ(v[0].sample->type, SampleType::kLeft);
    EXPECT_EQ(v[1].sample->type, SampleType::kRight);
    EXPECT_EQ(v[0].sample->link, v[1].sample);
    EXPECT_EQ(v[1].sample->link, v[0].sample);
    EXPECT_EQ(v[0].gen[kGenPan], -500);
    EXPECT_EQ(v[1].gen[kGenPan], 500);
}

TEST(Sf2Model, ExclusiveClassBecomesGroupAndOffBy) {
    TFont t = Basic();
    t.insts[0].zones = {InstZone({Val(kGenExclusiveClass, 7)}, 0)};
    auto f = Open(Build(t));
    ASSERT_TRUE(f);
    auto v = Voices(*f, *f->presets[0], 60, 100);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].group, 7u);
    EXPECT_EQ(v[0].offBy, 7u);
    EXPECT_EQ(v[0].sfz, nullptr);
}

TEST(Sf2Model, CapacityIsRespected) {
    TFont t = Basic();
    for (int i = 0; i < 5; ++i) t.insts[0].zones.push_back(t.insts[0].zones[0]);
    auto f = Open(Build(t));
    ASSERT_TRUE(f);
    ASSERT_TRUE(f->EnsureLoaded(*f->presets[0]));
    VoiceDesc out[3];
    NoteRequest n;
    EXPECT_EQ(CollectVoices(*f->presets[0], n, out, 3), 3u);
    n.trigger = Trigger::kRelease; // SF2 zones never answer note-off triggers
    EXPECT_EQ(CollectVoices(*f->presets[0], n, out, 3), 0u);
}

TEST(Sf2Model, OddChunkWithoutPadByteIsTolerated) {
    TFont t = Basic();
    t.name = "Odd";
    auto f = Open(Build(t, nullptr, true));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->name, "Odd");
    EXPECT_EQ(f->presets.size(), 1u);
}

TEST(Sf2Model, DuplicatePresetsFirstWins) {
    TFont t = Basic();
    t.presets.push_back({"Second", 0, 0, {PresetZoneOf({}, 0)}});
    t.presets.push_back({"Drums", 0, 128, {PresetZoneOf({}, 0)}});
    auto f = Open(Build(t));
    ASSERT_TRUE(f);
    ASSERT_TRUE(f->FindPreset(0, 0));
    EXPECT_EQ(f->FindPreset(0, 0)->name, "Piano");
    ASSERT_TRUE(f->FindPreset(128, 0));
    EXPECT_EQ(f->FindPreset(128, 0)->name, "Drums");
    EXPECT_EQ(f->FindPreset(1, 0), nullptr);
}
