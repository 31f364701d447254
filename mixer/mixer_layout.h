// Where everything of the mixer window goes at a given scale (zoom x DPI
// factor). Every length is designed in units and truncated to whole pixels on
// its own, so the window at 150 % is 1047 x 248 pixels, not 1047 x 249.
// Pure functions: no window is needed to check them.
#pragma once

#include <windows.h>

constexpr int kStripCount = 17;   // sixteen channels and the master
constexpr int kMasterStrip = 16;

// One design length at `scale`, truncated.
int MixerUnits(float scale, int units);
RECT MixerRect(float scale, int left, int top, int right, int bottom);

// The client area of the window.
SIZE MixerClientSize(float scale);
// A strip's rectangle in the window's client area.
RECT StripRect(float scale, int strip);

// Elements, relative to the strip's top-left corner.
RECT SoloButtonRect(float scale);
RECT MuteButtonRect(float scale);  // the master's menu button sits here
RECT ActivityLightRect(float scale);
RECT MeterRect(float scale, bool right);
// The fader knob with its top at `knobTop` pixels.
RECT KnobRect(float scale, int knobTop);
// The knob's top at volume 100 and at volume 0.
int FaderTop(float scale);
int FaderBottom(float scale);
int KnobTopForVolume(float scale, DWORD volume);
// The volume a knob top stands for (limited to the fader's travel).
DWORD VolumeForKnobTop(float scale, int knobTop);

// Master meter: one side's new smoothed value and unlit height, and its clip
// counter, from the raw level 0-32768.
struct MeterSide {
    DWORD previous = 0;
    int clip = 0;
};
constexpr DWORD kMeterClipLevel = 0x7D70;
constexpr int kClipMarkerUnits = 8;
int MeterUnlitHeight(MeterSide& side, DWORD level, int meterHeight);

// Keyboard volume step: 1 for the first twenty presses of a held key, then 3.
DWORD KeyStep(DWORD repeatCount);
