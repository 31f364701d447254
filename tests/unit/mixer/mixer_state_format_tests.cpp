// The mixer-state text: every malformed value falls back to the documented
// default, and what is written reads back the same.
#include <gtest/gtest.h>

#include "mixer/mixer_state_format.h"

namespace {

MixerKeys Prefilled(uint32_t volume)
{
    MixerKeys keys;
    for (auto& v : keys.volume)
        v = volume;
    for (auto& m : keys.mute)
        m = true;
    for (auto& s : keys.solo)
        s = true;
    keys.master = 7;
    return keys;
}

MixerKeys Parsed(const std::wstring& text, uint32_t previousVolume = 60)
{
    MixerKeys keys = Prefilled(previousVolume);
    ParseMixerStateText(text, keys);
    return keys;
}

}  // namespace

TEST(MixerStateFormat, FlagsMustBeExactlySixteenCharacters)
{
    bool flags[kMixerChannels];
    ParseMixerFlags(L"11", flags);
    for (bool f : flags)
        EXPECT_FALSE(f);
    ParseMixerFlags(L"a000000000000000", flags);
    EXPECT_TRUE(flags[0]) << "any character but '0' sets the flag";
    for (int c = 1; c < kMixerChannels; ++c)
        EXPECT_FALSE(flags[c]) << c;
    ParseMixerFlags(L"00000000000000001", flags);
    for (bool f : flags)
        EXPECT_FALSE(f) << "seventeen characters are not trusted either";
    ParseMixerFlags(L"", flags);
    for (bool f : flags)
        EXPECT_FALSE(f);
}

TEST(MixerStateFormat, VolumeListRules)
{
    uint32_t volume[kMixerChannels];
    auto reset = [&] {
        for (auto& v : volume)
            v = 60;
    };
    reset();
    ParseMixerVolumes(L"50;abc;70", volume);
    EXPECT_EQ(volume[0], 50u);
    for (int c = 1; c < kMixerChannels; ++c)
        EXPECT_EQ(volume[c], 60u) << "a word ends the list; channel " << c;
    reset();
    ParseMixerVolumes(L"500", volume);
    EXPECT_EQ(volume[0], 100u);
    EXPECT_EQ(volume[1], 60u);
    reset();
    ParseMixerVolumes(L"-5;0;99999999999999999999;+7", volume);
    EXPECT_EQ(volume[0], 100u) << "negative numbers read as huge unsigned ones";
    EXPECT_EQ(volume[1], 0u);
    EXPECT_EQ(volume[2], 100u);
    EXPECT_EQ(volume[3], 7u);
    reset();
    ParseMixerVolumes(L"1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17;18", volume);
    EXPECT_EQ(volume[15], 16u) << "at most sixteen numbers";
    reset();
    ParseMixerVolumes(L";; 10 ;; 20", volume);
    EXPECT_EQ(volume[0], 10u);
    EXPECT_EQ(volume[1], 20u);
    reset();
    ParseMixerVolumes(L"", volume);
    EXPECT_EQ(volume[0], 60u);
}

TEST(MixerStateFormat, MasterVolumeAsTheSystemReadsIntegers)
{
    EXPECT_EQ(ParseMasterVolume(L"-3"), 0u);
    EXPECT_EQ(ParseMasterVolume(L"250"), 100u);
    EXPECT_EQ(ParseMasterVolume(L"  42abc"), 42u);
    EXPECT_EQ(ParseMasterVolume(L"abc"), 0u);
    EXPECT_EQ(ParseMasterVolume(L"4294967295"), 0u) << "wraps to -1";
    EXPECT_EQ(ParseMasterVolume(L"4294967396"), 100u) << "wraps to 100";
}

TEST(MixerStateFormat, WholeFileWithMissingAndMalformedKeys)
{
    MixerKeys keys = Parsed(L"");
    for (int c = 0; c < kMixerChannels; ++c) {
        EXPECT_FALSE(keys.mute[c]);
        EXPECT_FALSE(keys.solo[c]);
        EXPECT_EQ(keys.volume[c], 100u) << "a missing list is the neutral one";
    }
    EXPECT_EQ(keys.master, 100u);

    keys = Parsed(L"[Other]\r\nChannelMute=1111111111111111\r\n[Mixer]\r\nMasterVolume=\r\n");
    EXPECT_FALSE(keys.mute[0]) << "keys of other sections are not ours";
    EXPECT_EQ(keys.master, 100u) << "an empty value reads as a missing one";

    keys = Parsed(L"  [ mixer ]\n  channelmute =  \"1000000000000001\"  \nCHANNELVOLUME=10;20\nmastervolume=-3\n"
                  L"ChannelMute=0000000000000000\n");
    EXPECT_TRUE(keys.mute[0]) << "names without regard to case, values trimmed and unquoted, first key wins";
    EXPECT_TRUE(keys.mute[15]);
    EXPECT_EQ(keys.volume[0], 10u);
    EXPECT_EQ(keys.volume[1], 20u);
    EXPECT_EQ(keys.volume[2], 60u) << "channels after the list keep their volume";
    EXPECT_EQ(keys.master, 0u);

    // A value longer than the buffer the system would read it into is cut there first.
    keys = Parsed(L"[Mixer]\nChannelVolume=" + std::wstring(78, L';') + L"5;6\n");
    EXPECT_EQ(keys.volume[0], 5u) << "78 separators and the first digit fit into 79 characters";
    EXPECT_EQ(keys.volume[1], 60u);

    // Muted and soloed together stays so: the owner plays it at 0.
    keys = Parsed(L"[Mixer]\nChannelMute=1000000000000000\nChannelSolo=1000000000000000\n");
    EXPECT_TRUE(keys.mute[0]);
    EXPECT_TRUE(keys.solo[0]);
}

TEST(MixerStateFormat, WrittenTextReadsBackAndNeutralIsAsDocumented)
{
    EXPECT_EQ(FormatMixerStateText(MixerKeys{}),
              L"[Mixer]\r\nChannelMute=0000000000000000\r\nChannelSolo=0000000000000000\r\n"
              L"ChannelVolume=100;100;100;100;100;100;100;100;100;100;100;100;100;100;100;100\r\nMasterVolume=100\r\n");
    MixerKeys keys;
    keys.mute[3] = true;
    keys.solo[15] = true;
    for (int c = 0; c < kMixerChannels; ++c)
        keys.volume[c] = static_cast<uint32_t>(c * 6);
    keys.master = 42;
    MixerKeys back = Parsed(FormatMixerStateText(keys));
    for (int c = 0; c < kMixerChannels; ++c) {
        EXPECT_EQ(back.mute[c], keys.mute[c]);
        EXPECT_EQ(back.solo[c], keys.solo[c]);
        EXPECT_EQ(back.volume[c], keys.volume[c]);
    }
    EXPECT_EQ(back.master, 42u);
}

TEST(MixerStateFormat, BytesInAnyEncodingOrNone)
{
    const char utf16Bytes[] = "\xFF\xFE[\0M\0i\0x\0e\0r\0]\0\n\0M\0a\0s\0t\0e\0r\0V\0o\0l\0u\0m\0e\0=\0\x35\0\x35\0";
    const std::string utf16(utf16Bytes, sizeof utf16Bytes - 1);
    MixerKeys keys;
    ParseMixerStateText(DecodeProfileBytes(utf16), keys);
    EXPECT_EQ(keys.master, 55u);
    ParseMixerStateText(DecodeProfileBytes("\xEF\xBB\xBF[Mixer]\nMasterVolume=33\n"), keys);
    EXPECT_EQ(keys.master, 33u);
    // Broken sequences and stray bytes decode to something; nothing throws.
    const std::wstring text = DecodeProfileBytes(std::string("\xC3\x28\xF0\x9F\x98\x81\xE2\x82[Mixer]\x80\xFF", 16));
    EXPECT_FALSE(text.empty());
    ParseMixerStateText(text, keys);
    EXPECT_EQ(DecodeProfileBytes(std::string("\xFF\xFE\x41", 3)), L"") << "an odd byte at the end is dropped";
}
