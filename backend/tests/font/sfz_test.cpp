// SFZ instruments and WAV samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "bassmidi.h"
#include "font/readers.h"
#include "font/wav_reader.h"
#include "sf2_writer.h"

using namespace tsl::font;
namespace fs = std::filesystem;

namespace {

struct WavSpec {
    uint16_t channels = 1;
    uint16_t bits = 16;
    bool isFloat = false;
    bool extensible = false;
    uint32_t rate = 22050;
    size_t frames = 1000;
    int loopStart = -1, loopEnd = -1; // inclusive end as in smpl
    int unity = -1;
    bool smplAfterData = false;
};

// Frame i of channel c: a ramp distinct per channel, as a value in [-1, 1).
double WavValue(size_t i, int c) { return (double(int(i % 200)) - 100.0) / 128.0 * (c ? -0.5 : 1.0); }

std::vector<uint8_t> MakeWav(const WavSpec& w) {
    sf2test::Bytes data;
    for (size_t i = 0; i < w.frames; ++i) {
        for (int c = 0; c < w.channels; ++c) {
            double x = WavValue(i, c);
            if (w.isFloat && w.bits == 32) {
                float f = float(x);
                uint32_t u;
                std::memcpy(&u, &f, 4);
                data.U32(u);
            } else if (w.isFloat) {
                uint64_t u;
                std::memcpy(&u, &x, 8);
                data.U32(uint32_t(u));
                data.U32(uint32_t(u >> 32));
            } else if (w.bits == 8) {
                data.U8(uint8_t(int(std::lround(x * 127)) + 128));
            } else if (w.bits == 16) {
                data.U16(uint16_t(int16_t(std::lround(x * 32767))));
            } else if (w.bits == 24) {
                int32_t v = int32_t(std::lround(x * 8388607));
                data.U8(uint8_t(v));
                data.U8(uint8_t(v >> 8));
                data.U8(uint8_t(v >> 16));
            } else {
                data.U32(uint32_t(int32_t(std::lround(x * 2147483647.0))));
            }
        }
    }
    sf2test::Bytes fmt;
    uint16_t align = uint16_t(w.channels * (w.bits / 8));
    fmt.U16(w.extensible ? 0xFFFE : (w.isFloat ? 3 : 1));
    fmt.U16(w.channels);
    fmt.U32(w.rate);
    fmt.U32(w.rate * align);
    fmt.U16(align);
    fmt.U16(w.bits);
    if (w.extensible) {
        fmt.U16(22);
        fmt.U16(w.bits);
        fmt.U32(w.channels == 2 ? 3 : 4);
        fmt.U16(w.isFloat ? 3 : 1);
        const uint8_t guid[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        for (uint8_t b : guid) fmt.U8(b);
    }
    sf2test::Bytes smpl;
    if (w.loopStart >= 0 || w.unity >= 0) {
        for (int i = 0; i < 3; ++i) smpl.U32(0);
        smpl.U32(w.unity >= 0 ? uint32_t(w.unity) : 60);
        smpl.U32(0);
        smpl.U32(0);
        smpl.U32(0);
        smpl.U32(w.loopStart >= 0 ? 1 : 0);
        smpl.U32(0);
        if (w.loopStart >= 0) {
            smpl.U32(0);
            smpl.U32(0);
            smpl.U32(uint32_t(w.loopStart));
            smpl.U32(uint32_t(w.loopEnd));
            smpl.U32(0);
            smpl.U32(0);
        }
    }
    sf2test::Bytes body;
    body.Id("WAVE");
    sf2test::Chunk(body, "fmt ", fmt.b, nullptr, 0);
    if (!smpl.b.empty() && !w.smplAfterData) sf2test::Chunk(body, "smpl", smpl.b, nullptr, 0);
    sf2test::Chunk(body, "data", data.b, nullptr, 0);
    if (!smpl.b.empty() && w.smplAfterData) sf2test::Chunk(body, "smpl", smpl.b, nullptr, 0);
    sf2test::Bytes riff;
    riff.Id("RIFF");
    riff.U32(uint32_t(body.b.size()));
    riff.Append(body.b);
    return riff.b;
}

class SfzTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("tsl_sfz_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "samples");
    }
    void TearDown() override { fs::remove_all(dir); }
    void Write(const std::string& name, const std::string& text) {
        fs::create_directories((dir / name).parent_path());
        std::ofstream(dir / name, std::ios::binary) << text;
    }
    void WriteBytes(const std::string& name, const std::vector<uint8_t>& b) {
        std::ofstream o(dir / name, std::ios::binary);
        o.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    }
    std::shared_ptr<Font> Open(const std::string& name, int* error = nullptr) {
        int e = 0;
        auto f = OpenFont((dir / name).string(), 0, &e);
        if (error) *error = e;
        return f;
    }
    std::vector<VoiceDesc> Voices(Font& f, int key, int vel, NoteRequest n = NoteRequest()) {
        const Preset* p = f.FindPreset(0, 0);
        EXPECT_TRUE(p);
        if (!p) return {};
        EXPECT_TRUE(f.EnsureLoaded(*p));
        n.key = uint8_t(key);
        n.velocity = uint8_t(vel);
        std::vector<VoiceDesc> out(32);
        out.resize(CollectVoices(*p, n, out.data(), out.size()));
        return out;
    }
    fs::path dir;
};

} // namespace

TEST_F(SfzTest, InheritanceAndBasicOpcodes) {
    WriteBytes("samples/a.wav", MakeWav({}));
    Write("inst.sfz",
          "// comment\n"
          "<control> default_path=samples/\n"
          "<global> ampeg_release=0.5 volume=-6\n"
          "<group> lokey=c4 hikey=b4 pitch_keycenter=c4 tune=-15 transpose=1 pan=-50\n"
          "<region> sample=a.wav lovel=1 hivel=63 /* inline */ ampeg_attack=0.25\n"
          "<region> sample=a.wav lovel=64 hivel=127 volume=3 key=f#3\n"
          "<group> <region> sample=a.wav lokey=0 hikey=20 ampeg_sustain=50 ampeg_decay=1\n");
    auto f = Open("inst.sfz");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->name, "inst.sfz");
    ASSERT_EQ(f->presets.size(), 1u);
    EXPECT_EQ(f->FindPreset(0, 0), f->FindPreset(5, 99)); // every bank and program
    EXPECT_EQ(f->FindPreset(128, 0), f->FindPreset(0, 0)); // drum kits too
    ASSERT_EQ(f->samples.size(), 1u); // shared by the regions
    EXPECT_EQ(f->samples[0]->sampleRate, 22050u);

    auto v = Voices(*f, 62, 30);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].rootKey, 60);
    EXPECT_EQ(v[0].gen[kGenCoarseTune], 0); // +100 - 15 cents
    EXPECT_EQ(v[0].gen[kGenFineTune], 85);
    EXPECT_EQ(v[0].gen[kGenPan], -250);
    EXPECT_FLOAT_EQ(v[0].gainDb, -6.0f);
    EXPECT_EQ(v[0].gen[kGenAttackVolEnv], int(std::lround(1200 * std::log2(0.25))));
    EXPECT_EQ(v[0].gen[kGenReleaseVolEnv], int(std::lround(1200 * std::log2(0.5))));
    ASSERT_TRUE(v[0].sfz);
    EXPECT_EQ(v[0].sfz->trigger, Trigger::kAttack);
    EXPECT_EQ(v[0].loopMode, 0); // no loop in the file
    EXPECT_EQ(v[0].end, 1000u);
    // No velocity->attenuation modulator; CC7, CC10, CC11, pitch wheel stay.
    bool vel = false, cc7 = false, bend = false;
    for (int i = 0; i < v[0].modCount; ++i) {
        vel = vel || v[0].mods[i].srcOper == 0x0502;
        cc7 = cc7 || v[0].mods[i].srcOper == 0x0587;
        bend = bend || v[0].mods[i].srcOper == 0x020E;
    }
    EXPECT_FALSE(vel);
    EXPECT_TRUE(cc7);
    EXPECT_TRUE(bend);

    v = Voices(*f, 54, 100); // key=f#3 (54) in the second region
    ASSERT_EQ(v.size(), 1u);
    EXPECT_FLOAT_EQ(v[0].gainDb, 3.0f);
    EXPECT_EQ(v[0].rootKey, 54);
    EXPECT_EQ(Voices(*f, 62, 100).size(), 0u);

    v = Voices(*f, 10, 100); // the second group forgot the first group's opcodes
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].gen[kGenPan], 0);
    EXPECT_EQ(v[0].gen[kGenFineTune], 0);
    EXPECT_FLOAT_EQ(v[0].gainDb, -6.0f); // the global stays
    EXPECT_EQ(v[0].gen[kGenSustainVolEnv], 60); // 50% = 6 dB
    EXPECT_EQ(v[0].gen[kGenDecayVolEnv], 0);
}

TEST_F(SfzTest, DefinesIncludesAndPathsWithSpacesAndBackslashes) {
    WriteBytes("samples/my sample.wav", MakeWav({}));
    Write("sub/common.sfz", "<group> hikey=$HI\n");
    Write("inst.sfz",
          "#define $HI 70\n"
          "#define $NAME my sample\n"
          "#include \"sub/common.sfz\"\n"
          "<region> sample=samples\\$NAME.wav lokey=$HI\n");
    auto f = Open("inst.sfz");
    ASSERT_TRUE(f);
    EXPECT_EQ(Voices(*f, 70, 100).size(), 1u);
    EXPECT_EQ(Voices(*f, 71, 100).size(), 0u);
    EXPECT_EQ(f->samples[0]->source.path, (dir / "samples/my sample.wav").string());
}

TEST_F(SfzTest, MissingIncludeIsError7000) {
    Write("inst.sfz", "#include \"nothere.sfz\"\n<region> sample=x.wav\n");
    int e = 0;
    EXPECT_FALSE(Open("inst.sfz", &e));
    EXPECT_EQ(e, BASS_ERROR_MIDI_INCLUDE);
    std::string p = (dir / "inst.sfz").string();
    EXPECT_EQ(BASS_MIDI_FontInit(p.c_str(), 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_MIDI_INCLUDE);
    // Including itself ends at the depth limit, with the same error.
    Write("self.sfz", "#include \"self.sfz\"\n");
    EXPECT_FALSE(Open("self.sfz", &e));
    EXPECT_EQ(e, BASS_ERROR_MIDI_INCLUDE);
}

TEST_F(SfzTest, UnsupportedOrMissingSamplesFail) {
    Write("bad.wav", "RIFF\x20\0\0\0WAVEjunk");
    Write("a.sfz", "<region> sample=bad.wav\n");
    int e = 0;
    EXPECT_FALSE(Open("a.sfz", &e));
    EXPECT_EQ(e, BASS_ERROR_FILEFORM);
    WavSpec adpcm;
    std::vector<uint8_t> w = MakeWav(adpcm);
    w[20] = 2; // format tag 2: ADPCM
    WriteBytes("adpcm.wav", w);
    Write("b.sfz", "<region> sample=adpcm.wav\n");
    EXPECT_FALSE(Open("b.sfz", &e));
    EXPECT_EQ(e, BASS_ERROR_FILEFORM);
    Write("c.sfz", "<region> sample=none.wav\n");
    EXPECT_FALSE(Open("c.sfz", &e));
    EXPECT_EQ(e, BASS_ERROR_FILEOPEN);
    // Unknown opcodes and headers are ignored; no regions is an empty instrument.
    Write("d.sfz", "<curve> v000=0 <region> sample=*sine foo=bar\n<region>\n");
    auto f = Open("d.sfz", &e);
    ASSERT_TRUE(f);
    EXPECT_EQ(Voices(*f, 60, 100).size(), 0u);
}

TEST_F(SfzTest, LoopsOffsetsAndLoopModes) {
    WavSpec w;
    w.loopStart = 100;
    w.loopEnd = 899;
    w.unity = 57;
    w.smplAfterData = true;
    WriteBytes("l.wav", MakeWav(w));
    WriteBytes("n.wav", MakeWav({}));
    Write("inst.sfz",
          "<region> key=10 sample=l.wav pitch_keycenter=sample\n"
          "<region> key=11 sample=l.wav loop_mode=no_loop\n"
          "<region> key=12 sample=l.wav loop_mode=loop_sustain loop_start=200 loop_end=699 offset=50 end=949\n"
          "<region> key=13 sample=n.wav loop_mode=one_shot\n"
          "<region> key=14 sample=n.wav loop_start=10 loop_end=500\n");
    auto f = Open("inst.sfz");
    ASSERT_TRUE(f);
    auto v = Voices(*f, 10, 100);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].loopMode, 1); // the file's loop: looped by default
    EXPECT_EQ(v[0].loopStart, 100u);
    EXPECT_EQ(v[0].loopEnd, 900u);
    EXPECT_EQ(v[0].rootKey, 57);
    v = Voices(*f, 11, 100);
    EXPECT_EQ(v[0].loopMode, 0);
    v = Voices(*f, 12, 100);
    EXPECT_EQ(v[0].loopMode, 3);
    EXPECT_EQ(v[0].start, 50u);
    EXPECT_EQ(v[0].end, 950u);
    EXPECT_EQ(v[0].loopStart, 200u);
    EXPECT_EQ(v[0].loopEnd, 700u);
    const int16_t* seam = v[0].sample->LoopSeam(v[0].loop);
    EXPECT_EQ(seam[kGuard], v[0].sample->pcm[200]);
    EXPECT_EQ(seam[kGuard - 1], v[0].sample->pcm[699]);
    v = Voices(*f, 13, 100);
    EXPECT_TRUE(v[0].oneShot);
    EXPECT_EQ(v[0].loopMode, 0);
    v = Voices(*f, 14, 100);
    EXPECT_EQ(v[0].loopMode, 1);
    EXPECT_EQ(v[0].loopEnd, 501u);
}

TEST_F(SfzTest, TriggersGroupsRoundRobinRandomAndControllers) {
    WriteBytes("a.wav", MakeWav({}));
    Write("inst.sfz",
          "<group> key=60 group=3 off_by=4\n"
          "<region> sample=a.wav trigger=release rt_decay=6\n"
          "<region> sample=a.wav seq_length=2 seq_position=1 amp_veltrack=50\n"
          "<region> sample=a.wav seq_length=2 seq_position=2\n"
          "<group> key=61\n"
          "<region> sample=a.wav lorand=0 hirand=0.5\n"
          "<region> sample=a.wav lorand=0.5 hirand=1\n"
          "<group> key=62\n"
          "<region> sample=a.wav locc64=64 hicc64=127\n"
          "<region> sample=a.wav hicc64=63 cutoff=1000 resonance=3 fil_type=hpf_2p\n");
    auto f = Open("inst.sfz");
    ASSERT_TRUE(f);
    NoteRequest n;
    auto v = Voices(*f, 60, 100, n);
    ASSERT_EQ(v.size(), 1u); // seq 0: position 1
    EXPECT_FLOAT_EQ(v[0].sfz->ampVeltrack, 50.0f);
    EXPECT_EQ(v[0].group, 3u);
    EXPECT_EQ(v[0].offBy, 4u);
    n.seq = 1;
    v = Voices(*f, 60, 100, n);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_FLOAT_EQ(v[0].sfz->ampVeltrack, 100.0f);
    n.trigger = Trigger::kRelease;
    v = Voices(*f, 60, 100, n);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].sfz->trigger, Trigger::kRelease);
    EXPECT_FLOAT_EQ(v[0].sfz->rtDecay, 6.0f);

    n = NoteRequest();
    n.random = 0.25f;
    v = Voices(*f, 61, 100, n);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_FLOAT_EQ(v[0].sfz->hiRand, 0.5f);
    n.random = 0.75f;
    v = Voices(*f, 61, 100, n);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_FLOAT_EQ(v[0].sfz->loRand, 0.5f);

    uint8_t cc[128] = {};
    n = NoteRequest();
    n.cc = cc;
    v = Voices(*f, 62, 100, n);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].filter, FilterType::kHighpass2);
    EXPECT_NEAR(v[0].gen[kGenInitialFilterFc], 1200 * std::log2(1000 / 8.176), 1);
    EXPECT_EQ(v[0].gen[kGenInitialFilterQ], 30);
    cc[64] = 127;
    v = Voices(*f, 62, 100, n);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].filter, FilterType::kLowpass2);
    EXPECT_EQ(v[0].gen[kGenInitialFilterFc], 13500); // no cutoff: open
}

// A note-on reads only the zones indexed under its key: overlapping,
// nested and edge ranges must still give every matching zone, in file order,
// and the voice cap must stop at the same zones as a full scan would.
TEST_F(SfzTest, EveryKeyFindsItsRegionsInFileOrder) {
    WriteBytes("a.wav", MakeWav({}));
    Write("inst.sfz",
          "<region> sample=a.wav lokey=60 hikey=72\n"
          "<region> sample=a.wav lokey=0 hikey=127 lovel=64\n"
          "<region> sample=a.wav key=64\n"
          "<region> sample=a.wav lokey=127 hikey=127\n"
          "<region> sample=a.wav lokey=0 hikey=0 hivel=20\n"
          "<region> sample=a.wav lokey=48 hikey=64\n");
    auto f = Open("inst.sfz");
    ASSERT_TRUE(f);
    const auto& zones = f->instruments.at(0)->zones;
    ASSERT_EQ(zones.size(), 6u);
    for (int key = 0; key < 128; ++key) {
        for (int vel : {1, 20, 64, 127}) {
            std::vector<const InstrumentZone*> want;
            for (const auto& z : zones)
                if (key >= z.keyLo && key <= z.keyHi && vel >= z.velLo && vel <= z.velHi) want.push_back(&z);
            std::vector<const InstrumentZone*> got;
            for (const auto& v : Voices(*f, key, vel)) got.push_back(v.zone);
            EXPECT_EQ(got, want) << "key " << key << " velocity " << vel;
        }
    }
    const Preset* p = f->FindPreset(0, 0);
    ASSERT_TRUE(p);
    NoteRequest n;
    n.key = 64;
    n.velocity = 100;
    VoiceDesc two[2];
    ASSERT_EQ(CollectVoices(*p, n, two, 2), 2u);
    EXPECT_EQ(two[0].zone, &zones[0]);
    EXPECT_EQ(two[1].zone, &zones[1]);
}

TEST_F(SfzTest, EmptySampleGivesNoVoice) {
    WavSpec w;
    w.frames = 0;
    WriteBytes("e.wav", MakeWav(w));
    Write("inst.sfz", "<region> sample=e.wav\n");
    auto f = Open("inst.sfz");
    ASSERT_TRUE(f);
    EXPECT_EQ(Voices(*f, 60, 100).size(), 0u);
}

TEST_F(SfzTest, StereoSampleGivesTwoLinkedVoices) {
    WavSpec w;
    w.channels = 2;
    WriteBytes("s.wav", MakeWav(w));
    Write("inst.sfz", "<region> sample=s.wav pan=50\n");
    auto f = Open("inst.sfz");
    ASSERT_TRUE(f);
    auto v = Voices(*f, 60, 100);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0].sample->type, SampleType::kLeft);
    EXPECT_EQ(v[1].sample->type, SampleType::kRight);
    EXPECT_EQ(v[0].sample->link, v[1].sample);
    EXPECT_EQ(v[0].gen[kGenPan], 0);   // left channel moved halfway right
    EXPECT_EQ(v[1].gen[kGenPan], 500);
    EXPECT_EQ(v[0].sample->pcm[10], int16_t(std::lround(WavValue(10, 0) * 32767)));
    EXPECT_EQ(v[1].sample->pcm[10], int16_t(std::lround(WavValue(10, 1) * 32767)));
}

TEST_F(SfzTest, OggVorbisSample) {
    // An Ogg Vorbis stream taken out of an SF3 font.
    const char* sf3 = "/usr/share/sounds/sf3/FluidR3Mono_GM.sf3";
    if (!fs::exists(sf3)) GTEST_SKIP() << "no SF3 font installed";
    int e = 0;
    auto font = OpenFont(sf3, 0, &e);
    ASSERT_TRUE(font);
    const Sample& src = *font->samples[0];
    ASSERT_EQ(src.source.kind, Sample::Source::kOgg);
    std::vector<uint8_t> ogg(size_t(src.source.bytes));
    {
        std::ifstream in(sf3, std::ios::binary);
        in.seekg(std::streamoff(src.source.offset));
        in.read(reinterpret_cast<char*>(ogg.data()), std::streamsize(ogg.size()));
    }
    WriteBytes("s.ogg", ogg);
    Write("inst.sfz", "<region> sample=s.ogg loop_start=10 loop_end=200\n");
    auto f = Open("inst.sfz");
    ASSERT_TRUE(f);
    auto v = Voices(*f, 60, 100);
    ASSERT_EQ(v.size(), 1u);
    for (auto& p : font->presets)
        if (std::find(p->samples.begin(), p->samples.end(), &src) != p->samples.end()) font->EnsureLoaded(*p);
    ASSERT_TRUE(src.Ready());
    EXPECT_EQ(v[0].sample->length, src.length); // decodes like the SF3's own copy
    EXPECT_EQ(std::memcmp(v[0].sample->pcm, src.pcm, src.length * 2), 0);
    EXPECT_EQ(v[0].loopMode, 1);
    EXPECT_EQ(v[0].loopEnd, 201u);
}

TEST(WavReader, AllSampleFormats) {
    struct Case {
        uint16_t bits;
        bool isFloat, extensible;
    };
    for (Case c : {Case{8, false, false}, Case{16, false, false}, Case{24, false, false}, Case{32, false, false},
                   Case{32, true, false}, Case{64, true, false}, Case{24, false, true}, Case{32, true, true}}) {
        for (uint16_t ch : {1, 2}) {
            WavSpec w;
            w.bits = c.bits;
            w.isFloat = c.isFloat;
            w.extensible = c.extensible;
            w.channels = ch;
            MemorySource src(MakeWav(w));
            for (int channel = 0; channel < ch; ++channel) {
                std::vector<int16_t> pcm;
                std::vector<uint8_t> low;
                WavInfo info;
                ASSERT_TRUE(DecodeWavChannel(src, channel, pcm, low, &info)) << c.bits << " " << ch;
                ASSERT_EQ(pcm.size(), 1000u);
                EXPECT_EQ(info.rate, 22050u);
                EXPECT_EQ(low.empty(), c.bits <= 16);
                for (size_t i = 0; i < 1000; i += 37) {
                    double want = WavValue(i, channel);
                    double got = (pcm[i] * 256.0 + (low.empty() ? 0 : low[i])) / 8388608.0;
                    EXPECT_NEAR(got, want, c.bits == 8 ? 0.01 : 0.0001) << c.bits << " " << i;
                }
            }
        }
    }
}

TEST(WavReader, RejectsBrokenFiles) {
    std::vector<uint8_t> good = MakeWav({});
    WavInfo info;
    for (size_t cut = 0; cut < 60; ++cut) {
        MemorySource src(std::vector<uint8_t>(good.begin(), good.begin() + long(cut)));
        if (cut < 44) { // up to the data chunk's header
            EXPECT_FALSE(ReadWavInfo(src, &info)) << cut;
        } else {
            ASSERT_TRUE(ReadWavInfo(src, &info)) << cut;
            EXPECT_EQ(info.frames, (cut - 44) / 2);
        }
    }
    // A data chunk cut short: the frames that are there.
    MemorySource cut(std::vector<uint8_t>(good.begin(), good.end() - 100));
    ASSERT_TRUE(ReadWavInfo(cut, &info));
    EXPECT_EQ(info.frames, 950u);
    std::vector<uint8_t> bad = good;
    bad[22] = 3; // three channels
    MemorySource three(bad);
    EXPECT_FALSE(ReadWavInfo(three, &info));
    bad = good;
    bad[34] = 12; // 12 bits
    MemorySource twelve(bad);
    EXPECT_FALSE(ReadWavInfo(twelve, &info));
}

TEST(SfzExport, PolyphoneExportOfTimGm6mbLoads) {
    const char* sf2 = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    if (!fs::exists(sf2) || std::system("command -v polyphone >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "polyphone or TimGM6mb not installed";
    fs::path out = fs::temp_directory_path() / "tsl_sfz_polyphone";
    fs::remove_all(out);
    fs::create_directories(out);
    std::string cmd = "QT_QPA_PLATFORM=offscreen polyphone -3 -i " + std::string(sf2) + " -d '" + out.string() +
                      "' -c 100 >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    size_t files = 0, withRegions = 0, withOffBy = 0;
    for (auto& e : fs::recursive_directory_iterator(out)) {
        if (e.path().extension() != ".sfz") continue;
        ++files;
        int err = 0;
        auto f = OpenFont(e.path().string(), 0, &err);
        ASSERT_TRUE(f) << e.path() << " error " << err;
        const Preset* p = f->FindPreset(0, 0);
        ASSERT_TRUE(p);
        if (!p->zones[0].instrument->zones.empty()) ++withRegions;
        for (auto& z : p->zones[0].instrument->zones)
            if (z.offBy) {
                ++withOffBy;
                break;
            }
        ASSERT_TRUE(f->EnsureLoaded(*p)) << e.path();
    }
    EXPECT_GE(files, 130u);
    EXPECT_EQ(withRegions, files);
    EXPECT_GE(withOffBy, 1u); // drum kits close hi-hats with off_by
    fs::remove_all(out);
}
