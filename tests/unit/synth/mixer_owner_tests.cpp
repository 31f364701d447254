// Effective channel levels from mute, solo, volume and master volume.
#include <gtest/gtest.h>

#include <vector>

#include "mixer/mixer_owner.h"
#include "synth_test_support.h"

namespace {

class RecordingOwner : public IMixerOwner {
public:
    DWORD GetLevel() override { return 0; }
    std::wstring GetChannelInstrument(DWORD) override { return {}; }
    std::wstring GetName() const override { return L"test"; }
    void ApplyMixLevel(DWORD channel) override { applied.push_back(channel); }
    std::vector<DWORD> applied;
};

}  // namespace

TEST(MixerOwner, EffectiveVolumeRules) {
    synthtest::TestConfig config("[Mixer]\r\nSoloRatio=20\r\n");
    RecordingOwner owner;
    owner.LoadMixerState();
    EXPECT_TRUE(owner.IsNeutral());
    EXPECT_EQ(owner.GetEffectiveVolume(0), 100u);
    owner.ChannelVolume[0] = 99;
    owner.MasterVolume = 99;
    EXPECT_EQ(owner.GetEffectiveVolume(0), 98u);
    owner.ChannelVolume[1] = 50;
    owner.MasterVolume = 50;
    owner.ChannelSolo[5] = 1;
    EXPECT_EQ(owner.GetEffectiveVolume(1), 5u);
    EXPECT_EQ(owner.GetEffectiveVolume(5), 50u);
    owner.ChannelMute[5] = 1;  // muted wins over solo
    EXPECT_EQ(owner.GetEffectiveVolume(5), 0u);
    EXPECT_EQ(owner.GetEffectiveVolume(16), 100u);
}

TEST(MixerOwner, MuteClearsSoloAndSoloClearsMute) {
    synthtest::TestConfig config;
    RecordingOwner owner;
    owner.LoadMixerState();
    owner.SetSolo(true, 4);
    EXPECT_EQ(owner.applied.back(), 16u);
    owner.SetMute(true, 2);
    EXPECT_EQ(owner.applied.back(), 2u);
    owner.SetMute(true, 4);
    EXPECT_EQ(owner.ChannelSolo[4], 0u);
    EXPECT_EQ(owner.applied.back(), 16u);
    owner.SetSolo(true, 2);
    EXPECT_EQ(owner.ChannelMute[2], 0u);
    owner.SetVolume(500, 16);
    EXPECT_EQ(owner.ChannelVolume[15], 100u);
    owner.SaveMixerState();
    EXPECT_EQ(config.Stored(L"Mixer", L"ChannelSolo"), L"0010000000000000");
    EXPECT_EQ(config.Stored(L"Mixer", L"ChannelMute"), L"0000100000000000");
}
