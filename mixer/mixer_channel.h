// One vertical strip of the mixer window: a channel strip (fader, mute, solo,
// activity light, instrument name) or the master strip (fader, stereo meter,
// menu button). Painted off screen in one go and never erased separately, so
// nothing flickers while the meter thread redraws lights and levels.
#pragma once

#include <windows.h>

#include <string>

#include "mixer/mixer_layout.h"
#include "ui/win32xx/wnd.h"

class CMixerDialog;
class CMixerArt;
class IMixerOwner;

class CMixerChannel : public Win32xx::CWnd {
public:
    CMixerChannel(CMixerDialog& dialog, IMixerOwner& owner, int index);

    void Create(HWND parent);
    int Index() const noexcept { return m_index; }
    bool IsMaster() const noexcept { return m_index == kMasterStrip; }
    const std::wstring& Caption() const noexcept { return m_caption; }

    // Moves the knob to the model's volume (unless the user is dragging it) and redraws.
    void Refresh();
    // The knob as it is drawn now, in strip pixels.
    RECT ThumbRect() const;
    // Volume shown by this strip: the channel's, or the master's.
    DWORD Volume() const;
    void SetStripVolume(DWORD volume);

    // Meter thread: redraws the light when the owner's flag changed since last shown.
    void UpdateLight(bool force);
    // Meter thread and paint: the master meter from the owner's level now.
    void DrawMeter(HDC dc);
    // Forgets the lights and meters shown (the meter thread starts afresh).
    void ResetIndicators();

protected:
    LRESULT WndProc(UINT msg, WPARAM wparam, LPARAM lparam) override;

private:
    void Paint(HDC dc);
    void DrawLight(HDC dc, bool active) const;
    void OnLeftDown(POINT at);
    void OnMouseMove(POINT at);
    void EndDrag();
    const CMixerArt& Art() const;
    float Scale() const;

    CMixerDialog& m_dialog;
    IMixerOwner& m_owner;
    const int m_index;
    std::wstring m_caption;
    int m_knobTop = 0;
    bool m_dragging = false;
    POINT m_pressAt{};
    int m_pressKnobTop = 0;
    bool m_lightShown = false;
    MeterSide m_meter[2];
};
