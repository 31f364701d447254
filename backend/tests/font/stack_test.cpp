// Font stack resolution: first element wins, exact matches across the whole
// stack before GM fallbacks, bank offsets, single-preset entries, XG drums.
#include <gtest/gtest.h>

#include <filesystem>

#include "bassmidi.h"
#include "font/readers.h"
#include "sf2_writer.h"

using namespace tsl::font;
using namespace sf2test;

namespace {

// A font whose presets are (bank, program, name) with one shared instrument.
std::shared_ptr<Font> MakeFont(std::vector<std::tuple<uint16_t, uint16_t, std::string>> presets, uint32_t flags = 0) {
    TFont t;
    TSample s;
    s.data = Sine(200, 50);
    s.loopStart = 50;
    s.loopEnd = 150;
    t.samples.push_back(s);
    t.insts.push_back({"I", {Zone{{{kGenSampleId, 0}}, {}}}});
    for (auto& [bank, prog, name] : presets) t.presets.push_back({name, prog, bank, {Zone{{{kGenInstrument, 0}}, {}}}});
    int e = 0;
    return OpenSf2(std::make_unique<MemorySource>(Build(t)), flags, &e);
}

std::string Name(const FontStack& st, int bank, int program, bool drums = false, bool xg = false) {
    PresetRequest r;
    r.bank = bank;
    r.program = program;
    r.drums = drums;
    r.xg = xg;
    ResolvedPreset p = ResolvePreset(st, r);
    return p ? p.preset->name : std::string("-");
}

} // namespace

TEST(FontStack, FirstElementWinsAndExactBeatsFallback) {
    auto a = MakeFont({{0, 0, "A piano"}, {8, 4, "A epiano var"}, {128, 0, "A standard"}});
    auto b = MakeFont({{0, 0, "B piano"}, {0, 4, "B epiano"}, {8, 0, "B piano var"}, {128, 8, "B room"},
                       {128, 0, "B standard"}});
    FontStack st({{a, -1, 0}, {b, -1, 0}});
    EXPECT_EQ(Name(st, 0, 0), "A piano");     // both have it: first wins
    EXPECT_EQ(Name(st, 0, 4), "B epiano");    // only the second has it
    EXPECT_EQ(Name(st, 8, 0), "B piano var"); // exact in the second beats the fallback in the first
    EXPECT_EQ(Name(st, 8, 4), "A epiano var");
    EXPECT_EQ(Name(st, 5, 0), "A piano");     // no bank 5 anywhere: same program in bank 0
    EXPECT_EQ(Name(st, 3, 7), "-");           // nothing for program 7 at all
    EXPECT_EQ(Name(st, 0, 8, true), "B room");
    EXPECT_EQ(Name(st, 0, 0, true), "A standard");
    EXPECT_EQ(Name(st, 0, 25, true), "A standard"); // unknown kit: kit 0
    FontStack reversed({{b, -1, 0}, {a, -1, 0}});
    EXPECT_EQ(Name(reversed, 0, 0), "B piano");
    EXPECT_EQ(Name(reversed, 0, 0, true), "B standard");
}

TEST(FontStack, BankOffsetForWholeFont) {
    auto a = MakeFont({{0, 0, "A piano"}, {128, 0, "A standard"}});
    auto b = MakeFont({{0, 0, "B piano"}});
    FontStack st({{a, -1, 2}, {b, -1, 0}}); // A's bank 0 answers bank 2
    EXPECT_EQ(Name(st, 2, 0), "A piano");
    EXPECT_EQ(Name(st, 0, 0), "B piano");
    EXPECT_EQ(Name(st, 1, 0), "B piano");   // fallback to bank 0: A has none there
    EXPECT_EQ(Name(st, 0, 0, true), "A standard"); // the offset leaves drum kits alone
}

TEST(FontStack, SinglePresetEntryOverridesEveryProgram) {
    auto a = MakeFont({{0, 0, "A piano"}, {0, 40, "A violin"}, {128, 0, "A standard"}});
    auto b = MakeFont({{0, 0, "B piano"}, {0, 1, "B bright"}, {128, 0, "B standard"}});
    FontStack st({{a, 40, 0}, {b, -1, 0}});
    EXPECT_EQ(Name(st, 0, 0), "A violin");
    EXPECT_EQ(Name(st, 0, 1), "A violin");
    EXPECT_EQ(Name(st, 3, 99), "A violin");
    EXPECT_EQ(Name(st, 0, 0, true), "B standard"); // a melodic preset does not answer drums
    FontStack missing({{a, 41, 0}, {b, -1, 0}});     // no such preset: the entry answers nothing
    EXPECT_EQ(Name(missing, 0, 0), "B piano");
}

TEST(FontStack, XgDrumKitsFromBank127) {
    auto xg = MakeFont({{0, 0, "piano"}, {127, 0, "XG Standard"}, {128, 0, "GS Standard"}}, BASS_MIDI_FONT_XGDRUMS);
    auto plain = MakeFont({{127, 0, "XG Standard"}, {128, 0, "GS Standard"}});
    EXPECT_EQ(Name(FontStack({{xg, -1, 0}}), 0, 0, true, true), "XG Standard");
    EXPECT_EQ(Name(FontStack({{xg, -1, 0}}), 0, 0, true, false), "GS Standard");
    EXPECT_EQ(Name(FontStack({{plain, -1, 0}}), 0, 0, true, true), "GS Standard");
    EXPECT_EQ(Name(FontStack({{xg, -1, 0}}), 0, 5, true, true), "XG Standard"); // kit 0 fallback
}

TEST(FontStack, EmptyStackAndNullFonts) {
    FontStack empty;
    EXPECT_EQ(Name(empty, 0, 0), "-");
    FontStack withNull({{nullptr, -1, 0}});
    EXPECT_EQ(Name(withNull, 0, 0), "-");
}

// The real GS supplement (banks 1-8 and one drum kit, no bank 0) over a GM font.
TEST(FontStack, FluidR3GsOverTimGm6mb) {
    const char* gsPath = "/usr/share/sounds/sf2/FluidR3_GS.sf2";
    const char* tmPath = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    if (!std::filesystem::exists(gsPath) || !std::filesystem::exists(tmPath)) GTEST_SKIP() << "fonts not installed";
    int e = 0;
    auto gs = OpenFont(gsPath, 0, &e);
    auto tm = OpenFont(tmPath, 0, &e);
    ASSERT_TRUE(gs && tm);
    ASSERT_EQ(gs->FindPreset(0, 0), nullptr); // FluidR3_GS has no bank 0
    FontStack st({{gs, -1, 0}, {tm, -1, 0}});
    auto fontOf = [&](int bank, int prog, bool drums = false) {
        PresetRequest r{bank, prog, drums, false};
        return ResolvePreset(st, r).font;
    };
    EXPECT_EQ(Name(st, 1, 120), "Gtr. Cut Noise");
    EXPECT_EQ(fontOf(1, 120), gs.get());
    EXPECT_EQ(Name(st, 0, 0), "Piano 1");         // GS has no bank 0: TimGM6mb's
    EXPECT_EQ(fontOf(0, 0), tm.get());
    EXPECT_EQ(Name(st, 2, 121), "Breath Noise"); // (2,121) nowhere: bank 0 of TimGM6mb
    EXPECT_EQ(fontOf(2, 121), tm.get());
    EXPECT_EQ(Name(st, 0, 56, true), "SFX");
    EXPECT_EQ(fontOf(0, 56, true), gs.get());
    EXPECT_EQ(Name(st, 0, 8, true), "Room");
    EXPECT_EQ(Name(st, 0, 99, true), "Standard");
    // With TimGM6mb first, GS still answers what only it has.
    FontStack rev({{tm, -1, 0}, {gs, -1, 0}});
    EXPECT_EQ(Name(rev, 1, 120), "Gtr. Cut Noise");
    EXPECT_EQ(Name(rev, 0, 56, true), "SFX");
}
