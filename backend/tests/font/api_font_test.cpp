// The BASS_MIDI_Font* functions, on written and on installed fonts.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "bassmidi.h"
#include "font/font_table.h"
#include "font/readers.h"
#include "sf2_writer.h"

using namespace tsl::font;
using namespace sf2test;

namespace {

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("tsl_font_" + name)).string();
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream o(path, std::ios::binary);
    o.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint16_t> Utf16(const std::string& ascii) {
    std::vector<uint16_t> w(ascii.begin(), ascii.end());
    w.push_back(0);
    return w;
}

TFont TwoPresets() {
    TFont t;
    t.name = "Api font";
    t.copyright = "none";
    TSample s;
    s.data = Sine(500, 50);
    s.loopStart = 50;
    s.loopEnd = 450;
    t.samples.push_back(s);
    t.insts.push_back({"I", {Zone{{{kGenSampleId, 0}}, {}}}});
    t.presets.push_back({"Piano", 0, 0, {Zone{{{kGenInstrument, 0}}, {}}}});
    t.presets.push_back({"Kit", 0, 128, {Zone{{{kGenInstrument, 0}}, {}}}});
    return t;
}

const char* kTim = "/usr/share/sounds/sf2/TimGM6mb.sf2";
const char* kFluidGm = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
const char* kFluidGs = "/usr/share/sounds/sf2/FluidR3_GS.sf2";
const char* kMono = "/usr/share/sounds/sf3/FluidR3Mono_GM.sf3";

} // namespace

TEST(FontApi, InitInfoPresetsVolumeFree) {
    std::string path = TempPath("api.sf2");
    WriteFile(path, Build(TwoPresets()));
    auto w = Utf16(path);
    HSOUNDFONT h = BASS_MIDI_FontInit(w.data(), BASS_UNICODE);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    BASS_MIDI_FONTINFO info{};
    ASSERT_TRUE(BASS_MIDI_FontGetInfo(h, &info));
    EXPECT_STREQ(info.name, "Api font");
    EXPECT_STREQ(info.copyright, "none");
    EXPECT_EQ(info.comment, nullptr);
    EXPECT_EQ(info.presets, 2u);
    EXPECT_EQ(info.samsize, (500u + 46u) * 2u);
    EXPECT_EQ(info.samload, 0u);
    EXPECT_EQ(info.samtype, DWORD(BASS_MIDI_SAMTYPE_PCM));
    DWORD presets[2];
    ASSERT_TRUE(BASS_MIDI_FontGetPresets(h, presets));
    EXPECT_EQ(presets[0], 0u);
    EXPECT_EQ(presets[1], 128u << 16);
    EXPECT_STREQ(BASS_MIDI_FontGetPreset(h, 0, 128), "Kit");
    EXPECT_EQ(BASS_MIDI_FontGetPreset(h, 1, 0), nullptr);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);

    EXPECT_TRUE(BASS_MIDI_FontSetVolume(h, 0.5f));
    EXPECT_FLOAT_EQ(BASS_MIDI_FontGetVolume(h), 0.5f);

    ASSERT_TRUE(BASS_MIDI_FontLoad(h, -1, -1));
    ASSERT_TRUE(BASS_MIDI_FontGetInfo(h, &info));
    EXPECT_EQ(info.samload, 1000u);
    ASSERT_TRUE(BASS_MIDI_FontUnload(h, 0, 0));
    ASSERT_TRUE(BASS_MIDI_FontGetInfo(h, &info));
    EXPECT_EQ(info.samload, 0u);
    EXPECT_FALSE(BASS_MIDI_FontLoad(h, 5, 5));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);

    // A stream's reference keeps the font after FontFree; the handle is gone.
    std::shared_ptr<Font> held = FindFont(h);
    ASSERT_TRUE(held);
    EXPECT_TRUE(BASS_MIDI_FontFree(h));
    EXPECT_FALSE(BASS_MIDI_FontFree(h));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(BASS_MIDI_FontGetInfo(h, &info));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_TRUE(held->EnsureLoaded(*held->presets[0]));
    EXPECT_EQ(held->name, "Api font");

    // Handles are not reused.
    HSOUNDFONT h2 = BASS_MIDI_FontInit(path.c_str(), 0);
    ASSERT_NE(h2, 0u);
    EXPECT_NE(h2, h);
    EXPECT_TRUE(BASS_MIDI_FontFree(h2));
    held.reset(); // the font keeps its file open (Windows would refuse the removal)
    std::filesystem::remove(path);
}

TEST(FontApi, Errors) {
    EXPECT_EQ(BASS_MIDI_FontInit("/nonexistent/x.sf2", 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    std::string path = TempPath("garbage.sf2");
    WriteFile(path, std::vector<uint8_t>(1000, 'x'));
    EXPECT_EQ(BASS_MIDI_FontInit(path.c_str(), 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    std::vector<uint8_t> bytes = Build(TwoPresets());
    bytes.erase(bytes.end() - 30, bytes.end());
    WriteFile(path, bytes);
    EXPECT_EQ(BASS_MIDI_FontInit(path.c_str(), 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    std::filesystem::remove(path);
    EXPECT_FALSE(BASS_MIDI_FontSetVolume(12345, 1.0f));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_MIDI_FontGetVolume(12345), -1.0f);
    EXPECT_FALSE(BASS_MIDI_FontLoad(0, -1, -1));
    EXPECT_EQ(BASS_MIDI_FontGetPreset(0, 0, 0), nullptr);
}

TEST(FontApi, NonAsciiUtf16Path) {
    // "tsl_font_ü€🎹.sf2": a character outside the BMP too (a surrogate pair in UTF-16).
    std::filesystem::path p =
        std::filesystem::temp_directory_path() / std::filesystem::path(u8"tsl_font_\u00FC\u20AC\U0001F3B9.sf2");
    {
        std::ofstream o(p, std::ios::binary);
        std::vector<uint8_t> bytes = Build(TwoPresets());
        o.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::u16string u = p.u16string();
    std::vector<uint16_t> w(u.begin(), u.end());
    w.push_back(0);
    HSOUNDFONT h = BASS_MIDI_FontInit(w.data(), BASS_UNICODE);
    EXPECT_NE(h, 0u) << BASS_ErrorGetCode();
    BASS_MIDI_FontFree(h);
    std::filesystem::remove(p);
}

TEST(RealFonts, PresetCountsAndNames) {
    struct Expect {
        const char* path;
        DWORD presets;
        const char* name;
    };
    for (const Expect& e : {Expect{kTim, 136, "TimGM6mb1.sf2"}, Expect{kFluidGs, 33, "Fluid R3 GS+SFX Portion"},
                            Expect{kFluidGm, 189, "Fluid R3 GM"}, Expect{kMono, 197, "FluidR3Mono_GM.sf3"}}) {
        if (!std::filesystem::exists(e.path)) continue;
        auto t0 = std::chrono::steady_clock::now();
        HSOUNDFONT h = BASS_MIDI_FontInit(e.path, 0);
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        ASSERT_NE(h, 0u) << e.path;
        EXPECT_LT(ms, 1000.0) << e.path; // no sample data is read at FontInit
        BASS_MIDI_FONTINFO info{};
        ASSERT_TRUE(BASS_MIDI_FontGetInfo(h, &info));
        EXPECT_EQ(info.presets, e.presets) << e.path;
        EXPECT_STREQ(info.name, e.name);
        EXPECT_EQ(info.samload, 0u);
        BASS_MIDI_FontFree(h);
    }
    if (std::filesystem::exists(kTim)) {
        HSOUNDFONT h = BASS_MIDI_FontInit(kTim, 0);
        EXPECT_STREQ(BASS_MIDI_FontGetPreset(h, 0, 0), "Piano 1");
        EXPECT_STREQ(BASS_MIDI_FontGetPreset(h, 0, 128), "Standard");
        EXPECT_TRUE(BASS_MIDI_FontLoad(h, -1, -1));
        BASS_MIDI_FONTINFO info{};
        BASS_MIDI_FontGetInfo(h, &info);
        EXPECT_GT(info.samload, 5000000u);
        EXPECT_LE(info.samload, info.samsize);
        BASS_MIDI_FontFree(h);
    }
}

TEST(RealFonts, FluidR3GmOpensFastAndLoadsOnePresetLazily) {
    if (!std::filesystem::exists(kFluidGm)) GTEST_SKIP();
    int e = 0;
    auto t0 = std::chrono::steady_clock::now();
    auto f = OpenFont(kFluidGm, 0, &e);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    ASSERT_TRUE(f);
    EXPECT_LT(ms, 1000.0);
    const Preset* piano = f->FindPreset(0, 0);
    ASSERT_TRUE(piano);
    ASSERT_TRUE(f->EnsureLoaded(*piano));
    EXPECT_GT(f->LoadedBytes(), 0u);
    EXPECT_LT(f->LoadedBytes(), f->sampleBytes / 4);
    VoiceDesc out[16];
    NoteRequest n;
    size_t count = CollectVoices(*piano, n, out, 16);
    ASSERT_GE(count, 1u);
    for (size_t i = 0; i < count; ++i) {
        EXPECT_TRUE(out[i].sample->Ready());
        EXPECT_LT(out[i].start, out[i].end);
        EXPECT_LE(out[i].end, out[i].sample->length);
    }
}

TEST(RealFonts, Sf3SamplesDecode) {
    if (!std::filesystem::exists(kMono)) GTEST_SKIP();
    int e = 0;
    auto f = OpenFont(kMono, 0, &e);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->sampleType, DWORD(BASS_MIDI_SAMTYPE_OGG));
    EXPECT_EQ(f->versionMajor, 3);
    const Preset* piano = f->FindPreset(0, 0);
    ASSERT_TRUE(piano);
    ASSERT_TRUE(f->EnsureLoaded(*piano));
    VoiceDesc out[16];
    NoteRequest n;
    n.key = 60;
    n.velocity = 100;
    size_t count = CollectVoices(*piano, n, out, 16);
    ASSERT_GE(count, 1u);
    const Sample& s = *out[0].sample;
    EXPECT_GT(s.length, 1000u);
    int peak = 0;
    for (uint32_t i = 0; i < s.length; ++i) peak = std::max(peak, std::abs(int(s.pcm[i])));
    EXPECT_GT(peak, 1000); // real audio, not silence
    EXPECT_LE(out[0].loopEnd, s.length);
    if (out[0].loopMode) {
        EXPECT_LT(out[0].loopStart, out[0].loopEnd);
    }
    // The drum kit decodes too.
    const Preset* kit = f->FindPreset(128, 0);
    ASSERT_TRUE(kit);
    EXPECT_TRUE(f->EnsureLoaded(*kit));
}
