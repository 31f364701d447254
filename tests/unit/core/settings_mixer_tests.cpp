// The four mixer keys of an owner, with and without key suffix.
#include <gtest/gtest.h>

#include <cstring>

#include "settings_test_folder.h"

using namespace tsltest_core;

namespace {

MixerKeys Prefilled(DWORD volume)
{
    MixerKeys keys;
    for (auto& v : keys.volume)
        v = volume;
    for (auto& m : keys.mute)
        m = true;
    keys.master = 7;
    return keys;
}

}  // namespace

TEST(SettingsMixer, FlagsOfAnyOtherLengthThan16ReadAllOff)
{
    StoreInFolder s("[Mixer]\r\nChannelMute=1111\r\nChannelSolo=a000000000000000\r\n");
    MixerKeys keys = Prefilled(60);
    s.store->LoadMixerKeys(keys, {});
    for (int c = 0; c < kMixerChannels; ++c) {
        EXPECT_FALSE(keys.mute[c]) << c;
        EXPECT_EQ(keys.solo[c], c == 0) << c;
    }
}

TEST(SettingsMixer, VolumeListFillsChannelsInOrderAndKeepsTheRest)
{
    StoreInFolder s("[Mixer]\r\nChannelVolume=50;150\r\nChannelVolume2=50;abc;70\r\nChannelVolume3=-5;0;100\r\n");
    MixerKeys keys = Prefilled(60);
    s.store->LoadMixerKeys(keys, {});
    EXPECT_EQ(keys.volume[0], 50u);
    EXPECT_EQ(keys.volume[1], 100u);
    for (int c = 2; c < kMixerChannels; ++c)
        EXPECT_EQ(keys.volume[c], 60u) << c;

    keys = Prefilled(60);
    s.store->LoadMixerKeys(keys, L"2");
    EXPECT_EQ(keys.volume[0], 50u);
    EXPECT_EQ(keys.volume[1], 60u) << "a word that is not a number ends the list";
    EXPECT_EQ(keys.volume[2], 60u);

    keys = Prefilled(60);
    s.store->LoadMixerKeys(keys, L"3");
    EXPECT_EQ(keys.volume[0], 100u) << "negative numbers read as huge unsigned ones";
    EXPECT_EQ(keys.volume[1], 0u);
    EXPECT_EQ(keys.volume[2], 100u);
}

TEST(SettingsMixer, MissingKeysGiveTheNeutralStateAndMasterIsClamped)
{
    StoreInFolder s("[Mixer]\r\nMasterVolume2=-3\r\nMasterVolume3=250\r\n");
    MixerKeys keys = Prefilled(60);
    s.store->LoadMixerKeys(keys, {});
    EXPECT_EQ(keys.master, 100u);
    for (int c = 0; c < kMixerChannels; ++c) {
        EXPECT_EQ(keys.volume[c], 100u);
        EXPECT_FALSE(keys.mute[c]);
    }
    s.store->LoadMixerKeys(keys, L"2");
    EXPECT_EQ(keys.master, 0u);
    s.store->LoadMixerKeys(keys, L"3");
    EXPECT_EQ(keys.master, 100u);
}

TEST(SettingsMixer, SuffixedKeysAndStateFilesRoundTrip)
{
    StoreInFolder s("[Advanced]\r\n");
    MixerKeys keys;
    keys.mute[3] = true;
    keys.solo[15] = true;
    keys.volume[0] = 0;
    keys.volume[9] = 99;
    keys.master = 42;
    s.store->SaveMixerKeys(keys, L"2");
    EXPECT_EQ(s.Stored(L"Mixer", L"ChannelMute2"), L"0001000000000000");
    EXPECT_EQ(s.Stored(L"Mixer", L"ChannelSolo2"), L"0000000000000001");
    EXPECT_EQ(s.Stored(L"Mixer", L"ChannelVolume2"), L"0;100;100;100;100;100;100;100;100;99;100;100;100;100;100;100");
    EXPECT_EQ(s.Stored(L"Mixer", L"MasterVolume2"), L"42");
    EXPECT_EQ(s.Stored(L"Mixer", L"MasterVolume"), L"<none>");

    MixerKeys back;
    s.store->LoadMixerKeys(back, L"2");
    EXPECT_EQ(std::memcmp(&back, &keys, sizeof keys), 0);

    // A mixer-state file: no suffix, whatever the owner's.
    const std::wstring file = s.folder.File(L"state.tslms");
    s.store->SaveMixerKeys(keys, L"3", file);
    EXPECT_EQ(ProfileReadText(file, L"Mixer", L"MasterVolume", L"", 10), L"42");
    EXPECT_EQ(ProfileReadText(file, L"Mixer", L"MasterVolume3", L"<none>", 10), L"<none>");
    MixerKeys fromFile;
    s.store->LoadMixerKeys(fromFile, L"3", file);
    EXPECT_EQ(std::memcmp(&fromFile, &keys, sizeof keys), 0);
}

TEST(SettingsMixer, NeutralStateIsWrittenInFull)
{
    StoreInFolder s("[Advanced]\r\n");
    s.store->SaveMixerKeys(MixerKeys{}, {});
    EXPECT_EQ(s.Stored(L"Mixer", L"ChannelMute"), L"0000000000000000");
    EXPECT_EQ(s.Stored(L"Mixer", L"ChannelSolo"), L"0000000000000000");
    EXPECT_EQ(s.Stored(L"Mixer", L"ChannelVolume"), L"100;100;100;100;100;100;100;100;100;100;100;100;100;100;100;100");
    EXPECT_EQ(s.Stored(L"Mixer", L"MasterVolume"), L"100");
}
