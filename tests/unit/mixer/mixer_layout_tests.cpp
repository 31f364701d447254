// Geometry of the mixer window and its strips, the fader mapping, the meter
// and the scaling of the artwork.
#include <gtest/gtest.h>

#include "mixer/art_resample.h"
#include "mixer/mixer_layout.h"

TEST(MixerLayout, ClientSizeTruncatesEachLengthOnItsOwn)
{
    EXPECT_EQ(MixerClientSize(1.0f).cx, 698);
    EXPECT_EQ(MixerClientSize(1.0f).cy, 166);
    EXPECT_EQ(MixerClientSize(1.5f).cx, 1047);
    EXPECT_EQ(MixerClientSize(1.5f).cy, 248) << "margins of 4.5 become 4";
    EXPECT_EQ(MixerClientSize(2.0f).cx, 1396);
    EXPECT_EQ(MixerClientSize(2.0f).cy, 332);
    const RECT master = StripRect(1.0f, kMasterStrip);
    EXPECT_EQ(master.left, 4 + 16 * 40 + 10);
    EXPECT_EQ(master.right, master.left + 40);
    EXPECT_EQ(StripRect(1.0f, 15).right, 4 + 16 * 40);
}

TEST(MixerLayout, FaderTravelsSixtyEightPixelsAtOneHundredPercent)
{
    EXPECT_EQ(FaderTop(1.0f), 21);
    EXPECT_EQ(FaderBottom(1.0f), 89);
    EXPECT_EQ(KnobTopForVolume(1.0f, 100), 21);
    EXPECT_EQ(KnobTopForVolume(1.0f, 0), 89);
    EXPECT_EQ(KnobTopForVolume(1.0f, 50), 55);
    EXPECT_EQ(VolumeForKnobTop(1.0f, 55), 50u);
    EXPECT_EQ(VolumeForKnobTop(1.0f, 0), 100u) << "above the fader is its top";
    EXPECT_EQ(VolumeForKnobTop(1.0f, 500), 0u);
    // One pixel of drag is about 1.5 volume steps.
    EXPECT_EQ(VolumeForKnobTop(1.0f, 22), 98u);
    EXPECT_EQ(KnobRect(1.5f, 40).bottom - 40, 42);
}

TEST(MixerLayout, MeterSmoothsAndHoldsTheClipMarkerForFiveDrawings)
{
    MeterSide side;
    EXPECT_EQ(MeterUnlitHeight(side, 0x4000, 133), 100) << "(0x4000 + 0) / 2 = a quarter lit";
    EXPECT_EQ(side.previous, 0x2000u);
    EXPECT_EQ(MeterUnlitHeight(side, 0x4000, 133), MulDiv(133, 0x8000 - 0x3000, 0x8000));
    EXPECT_EQ(MeterUnlitHeight(side, kMeterClipLevel, 133), 0) << "clipping fills the meter";
    EXPECT_EQ(side.clip, 5);
    EXPECT_EQ(MeterUnlitHeight(side, 0, 133), MulDiv(133, 0x8000 - kMeterClipLevel / 2, 0x8000));
}

TEST(MixerLayout, HeldKeysSpeedUpAfterTwentyRepeats)
{
    EXPECT_EQ(KeyStep(1), 1u);
    EXPECT_EQ(KeyStep(20), 1u);
    EXPECT_EQ(KeyStep(21), 3u);
}

TEST(ArtResample, AveragesAreaAndPremultiplies)
{
    // 2x2 opaque red, green, blue, white into one pixel: their average.
    const uint32_t square[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    const auto one = ResampleArea(square, 2, 2, 1, 1);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0], 0xFF808080u);
    // Transparent pixels carry no colour into the average.
    const uint32_t edge[] = {0x00FF00FF, 0xFFFFFFFF};
    const auto half = ResampleArea(edge, 2, 1, 1, 1);
    EXPECT_EQ(half[0], 0x80808080u) << "half covered white, premultiplied";
    // A flat colour stays flat at a size that does not divide evenly.
    std::vector<uint32_t> flat(16 * 16, 0xFF336699);
    for (uint32_t p : ResampleArea(flat.data(), 16, 16, 7, 5))
        EXPECT_EQ(p, 0xFF336699u);
    EXPECT_TRUE(ResampleArea(flat.data(), 16, 16, 0, 5).empty());
}
