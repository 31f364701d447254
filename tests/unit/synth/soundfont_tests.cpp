// Soundfont sets: the fonts each port's streams get, the checks on a new list,
// and loading with its failure handling (real files of the build host).
#include <gtest/gtest.h>

#include <bassmidi.h>

#include "synth/soundfont_set.h"
#include "synth_test_support.h"

namespace {

SoundFontEntry Entry(const std::wstring& file, DWORD ports, int bank = 0, int preset = -1) {
    SoundFontEntry e;
    e.FileName = file;
    e.EnabledPorts = ports;
    e.Bank = bank;
    e.Preset = preset;
    e.Preload = 0;
    return e;
}

// A decoding stream on the no-sound device, enough to hold fonts.
class DecodeStream {
public:
    DecodeStream() {
        BASS_Init(0, 44100, 0, nullptr, nullptr);
        handle = BASS_MIDI_StreamCreate(16, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT, 44100);
    }
    ~DecodeStream() {
        if (handle) BASS_StreamFree(handle);
        BASS_SetDevice(0);
        BASS_Free();
    }
    HSTREAM handle = 0;
};

uint64_t g_available = 0;
uint64_t FakeAvailable() { return g_available; }

}  // namespace

TEST(SoundFontSet, PortsGetTheirEntriesLastListEntryFirst) {
    const std::vector<LoadedFont> fonts = {{11, -1, 0, 0b01}, {12, 5, 1, 0b11}, {13, -1, 0, 0b10}, {14, -1, 2, 0b01}};
    const auto port0 = FontsForPort(fonts, 0);
    ASSERT_EQ(port0.size(), 3u);
    EXPECT_EQ(port0[0].font, 14u);
    EXPECT_EQ(port0[0].bank, 2);
    EXPECT_EQ(port0[1].font, 12u);
    EXPECT_EQ(port0[1].preset, 5);
    EXPECT_EQ(port0[2].font, 11u);
    const auto port1 = FontsForPort(fonts, 1);
    ASSERT_EQ(port1.size(), 2u);
    EXPECT_EQ(port1[0].font, 13u);
    EXPECT_TRUE(FontsForPort(fonts, 2).empty());
}

TEST(SoundFontSet, DuplicateCheckIgnoresCaseButNotBankPresetOrDisabledRows) {
    SoundFontList list = {Entry(L"C:\\Fonts\\A.sf2", 1), Entry(L"C:\\Fonts\\B.sf2", 1), Entry(L"c:\\fonts\\a.SF2", 2)};
    EXPECT_EQ(FindDuplicateSoundFont(list), std::optional<size_t>(2));
    list[2].Bank = 1;
    EXPECT_FALSE(FindDuplicateSoundFont(list));
    list[2].Bank = 0;
    list[2].Preset = 0;
    EXPECT_FALSE(FindDuplicateSoundFont(list));
    list[2].Preset = -1;
    list[0].EnabledPorts = 0;
    EXPECT_FALSE(FindDuplicateSoundFont(list));
}

TEST(SoundFontSet, AllPortsHaveSoundFonts) {
    SoundFontList list = {Entry(L"a.sf2", 0b01), Entry(L"b.sf2", 0)};
    EXPECT_TRUE(AllPortsHaveSoundFonts(list, 1));
    EXPECT_FALSE(AllPortsHaveSoundFonts(list, 2));
    list[1].EnabledPorts = 0b10;
    EXPECT_TRUE(AllPortsHaveSoundFonts(list, 2));
    EXPECT_FALSE(AllPortsHaveSoundFonts({}, 1));
}

TEST(SoundFontSet, PreloadNeeds100MiBOfHeadroom) {
    const uint64_t MiB = 1024 * 1024;
    EXPECT_TRUE(PreloadFitsMemory(150 * MiB, 50 * MiB));
    EXPECT_FALSE(PreloadFitsMemory(150 * MiB - 1, 50 * MiB));
    EXPECT_FALSE(PreloadFitsMemory(10 * MiB, 50 * MiB));
    EXPECT_TRUE(PreloadFitsMemory(100 * MiB, 0));
}

TEST(SoundFontSet, XgDrumKitNames) {
    EXPECT_TRUE(LooksLikeXgDrumKits("Standard Kit", "Room Kit"));
    EXPECT_TRUE(LooksLikeXgDrumKits("STANDARD 1", "ROOM"));
    EXPECT_FALSE(LooksLikeXgDrumKits("GS Standard", "Room"));
    EXPECT_FALSE(LooksLikeXgDrumKits("Standard", "Room GS"));
    EXPECT_FALSE(LooksLikeXgDrumKits("Standard", nullptr));
    EXPECT_FALSE(LooksLikeXgDrumKits("Power", "Room"));
    EXPECT_FALSE(DetectXgDrums(L"Z:\\nonexistent\\none.sf2"));
}

TEST(SoundFontSet, AMissingFileIsReportedDisabledAndSavedOthersStillLoad) {
    synthtest::TestConfig config;
    SoundFontList list = {Entry(synthtest::HostSoundFont("TimGM6mb.sf2"), 1), Entry(L"Z:\\nonexistent\\gone.sf2", 1),
                          Entry(synthtest::HostSoundFont("sf_GMbank.sf2"), 1)};
    int saves = 0;
    static int* s_saves = nullptr;
    s_saves = &saves;
    SoundFontSet set;
    EXPECT_TRUE(set.Load(list, [] { ++*s_saves; }));
    EXPECT_EQ(config.Messages(), (std::vector<std::wstring>{L"err.sfLoad"}));
    EXPECT_NE(list[0].Font, 0u);
    EXPECT_EQ(list[1].EnabledPorts, 0u);
    EXPECT_EQ(list[1].Font, 0u);
    EXPECT_NE(list[2].Font, 0u);
    // Saved at the failure and again after the later enabled entry.
    EXPECT_EQ(saves, 2);

    // Attached in reverse list order.
    DecodeStream stream;
    ASSERT_NE(stream.handle, 0u);
    EXPECT_EQ(set.Attach(stream.handle, 0), 2u);
    BASS_MIDI_FONT attached[4] = {};
    ASSERT_EQ(BASS_MIDI_StreamGetFonts(stream.handle, attached, 4), 2u);
    EXPECT_EQ(attached[0].font, list[2].Font);
    EXPECT_EQ(attached[1].font, list[0].Font);
    EXPECT_EQ(set.Attach(stream.handle, 1), 0u);
    EXPECT_EQ(BASS_MIDI_StreamGetFonts(stream.handle, attached, 4), 0u);

    set.Free(list);
    EXPECT_EQ(list[0].Font, 0u);
    EXPECT_TRUE(set.Snapshot().empty());
}

TEST(SoundFontSet, PreloadWithoutEnoughMemoryFailsWithCode1AndKeepsTheFont) {
    synthtest::TestConfig config;
    SoundFontList list = {Entry(synthtest::HostSoundFont("TimGM6mb.sf2"), 1)};
    list[0].Preload = 1;
    g_available = 50ull * 1024 * 1024;
    SoundFontSet::SetAvailableMemoryHook(&FakeAvailable);
    SoundFontSet set;
    EXPECT_TRUE(set.Load(list, nullptr));
    SoundFontSet::SetAvailableMemoryHook(nullptr);
    EXPECT_EQ(config.Messages(), (std::vector<std::wstring>{L"err.sfPreload"}));
    EXPECT_EQ(list[0].Preload, 0u);
    EXPECT_EQ(list[0].EnabledPorts, 1u);
    EXPECT_NE(list[0].Font, 0u);
    EXPECT_EQ(set.Snapshot().size(), 1u);
    set.Free(list);

    // With room to spare the same font preloads without a word.
    list[0].Preload = 1;
    g_available = 4ull * 1024 * 1024 * 1024;
    SoundFontSet::SetAvailableMemoryHook(&FakeAvailable);
    EXPECT_FALSE(set.Load(list, nullptr));
    SoundFontSet::SetAvailableMemoryHook(nullptr);
    EXPECT_EQ(list[0].Preload, 1u);
    EXPECT_EQ(config.Messages().size(), 1u);
    set.Free(list);
}
