#include "mixer/mixer_layout.h"

namespace {

constexpr int kMarginX = 4;
constexpr int kMarginY = 3;
constexpr int kStripWidth = 40;
constexpr int kStripHeight = 160;
constexpr int kMasterGap = 10;
constexpr int kFaderTopUnits = 21;
constexpr int kFaderBottomUnits = 89;

}  // namespace

int MixerUnits(float scale, int units) { return static_cast<int>(static_cast<double>(units) * scale); }

RECT MixerRect(float scale, int left, int top, int right, int bottom)
{
    return {MixerUnits(scale, left), MixerUnits(scale, top), MixerUnits(scale, right), MixerUnits(scale, bottom)};
}

SIZE MixerClientSize(float scale)
{
    const int width = 2 * MixerUnits(scale, kMarginX) + kStripCount * MixerUnits(scale, kStripWidth) +
                      MixerUnits(scale, kMasterGap);
    const int height = 2 * MixerUnits(scale, kMarginY) + MixerUnits(scale, kStripHeight);
    return {width, height};
}

RECT StripRect(float scale, int strip)
{
    int left = MixerUnits(scale, kMarginX) + strip * MixerUnits(scale, kStripWidth);
    if (strip >= kMasterStrip)
        left += MixerUnits(scale, kMasterGap);
    const int top = MixerUnits(scale, kMarginY);
    return {left, top, left + MixerUnits(scale, kStripWidth), top + MixerUnits(scale, kStripHeight)};
}

RECT SoloButtonRect(float scale) { return MixerRect(scale, 18, 122, 34, 138); }
RECT MuteButtonRect(float scale) { return MixerRect(scale, 18, 138, 34, 154); }
RECT ActivityLightRect(float scale) { return MixerRect(scale, 5, 18, 9, 22); }
RECT MeterRect(float scale, bool right) { return right ? MixerRect(scale, 8, 15, 12, 148) : MixerRect(scale, 3, 15, 7, 148); }

RECT KnobRect(float scale, int knobTop)
{
    return {MixerUnits(scale, 17), knobTop, MixerUnits(scale, 35), knobTop + MixerUnits(scale, 28)};
}

int FaderTop(float scale) { return MixerUnits(scale, kFaderTopUnits); }
int FaderBottom(float scale) { return MixerUnits(scale, kFaderBottomUnits); }

int KnobTopForVolume(float scale, DWORD volume)
{
    if (volume > 100)
        volume = 100;
    const int top = FaderTop(scale), bottom = FaderBottom(scale);
    return static_cast<int>((1.0 - volume / 100.0) * (bottom - top)) + top;
}

DWORD VolumeForKnobTop(float scale, int knobTop)
{
    const int top = FaderTop(scale), bottom = FaderBottom(scale);
    if (bottom <= top)
        return 100;
    if (knobTop < top)
        knobTop = top;
    if (knobTop > bottom)
        knobTop = bottom;
    const double volume = (1.0 - static_cast<double>(knobTop - top) / (bottom - top)) * 100.0;
    return static_cast<DWORD>(volume);
}

int MeterUnlitHeight(MeterSide& side, DWORD level, int meterHeight)
{
    int unlit = 0;
    if (level < kMeterClipLevel) {
        level = (level + side.previous) >> 1;
        unlit = MulDiv(meterHeight, static_cast<int>(0x8000 - level), 0x8000);
    } else {
        side.clip = 5;
    }
    side.previous = level;
    return unlit;
}

DWORD KeyStep(DWORD repeatCount) { return repeatCount > 20 ? 3 : 1; }
