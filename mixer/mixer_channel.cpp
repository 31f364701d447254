#include "mixer/mixer_channel.h"

#include <windowsx.h>

#include "core/language.h"
#include "core/settings.h"
#include "mixer/mixer_art.h"
#include "mixer/mixer_dialog.h"
#include "mixer/mixer_owner.h"

namespace {

constexpr wchar_t kStripClass[] = L"TessalineMixerStrip";
const COLORREF kBackground = RGB(24, 24, 24);
const COLORREF kCaptionColour = RGB(200, 200, 200);
const COLORREF kLightOn = RGB(0, 130, 0);

bool MetersOn() { return !g_Settings || g_Settings->DisableVUMeter.Get() == 0; }

bool Inside(const RECT& r, POINT p) { return ::PtInRect(&r, p) != 0; }

// An off-screen copy of a strip: everything is drawn here and copied in one go.
class COffscreen {
public:
    COffscreen(HDC target, int width, int height)
        : m_target(target), m_width(width), m_height(height), m_dc(::CreateCompatibleDC(target)),
          m_bitmap(::CreateCompatibleBitmap(target, width, height))
    {
        m_old = ::SelectObject(m_dc, m_bitmap);
    }
    ~COffscreen()
    {
        ::BitBlt(m_target, 0, 0, m_width, m_height, m_dc, 0, 0, SRCCOPY);
        ::SelectObject(m_dc, m_old);
        ::DeleteObject(m_bitmap);
        ::DeleteDC(m_dc);
    }
    COffscreen(const COffscreen&) = delete;
    COffscreen& operator=(const COffscreen&) = delete;
    HDC Dc() const { return m_dc; }

private:
    HDC m_target;
    int m_width, m_height;
    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_old = nullptr;
};

}  // namespace

CMixerChannel::CMixerChannel(CMixerDialog& dialog, IMixerOwner& owner, int index)
    : m_dialog(dialog), m_owner(owner), m_index(index)
{
    m_caption = IsMaster() ? GetText(L"mixer.master").substr(0, 9) : std::to_wstring(index + 1);
}

void CMixerChannel::Create(HWND parent)
{
    CreateEx(0, kStripClass, m_caption.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0, 0, parent,
             reinterpret_cast<HMENU>(static_cast<INT_PTR>(1000 + m_index)));
}

const CMixerArt& CMixerChannel::Art() const { return m_dialog.Art(); }
float CMixerChannel::Scale() const { return Art().Scale(); }

DWORD CMixerChannel::Volume() const { return IsMaster() ? m_owner.MasterVolume : m_owner.ChannelVolume[m_index]; }

void CMixerChannel::SetStripVolume(DWORD volume)
{
    if (IsMaster())
        m_owner.SetMasterVolume(volume);
    else
        m_owner.SetVolume(volume, static_cast<DWORD>(m_index));
}

RECT CMixerChannel::ThumbRect() const { return KnobRect(Scale(), m_knobTop); }

void CMixerChannel::Refresh()
{
    if (!IsWindow())
        return;
    if (!m_dragging)
        m_knobTop = KnobTopForVolume(Scale(), Volume());
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CMixerChannel::ResetIndicators()
{
    m_lightShown = false;
    m_meter[0] = m_meter[1] = MeterSide{};
}

void CMixerChannel::DrawLight(HDC dc, bool active) const
{
    const RECT light = ActivityLightRect(Scale());
    HBRUSH brush = ::CreateSolidBrush(active ? kLightOn : RGB(0, 0, 0));
    ::FillRect(dc, &light, brush);
    ::DeleteObject(brush);
}

void CMixerChannel::UpdateLight(bool force)
{
    if (IsMaster() || !IsWindow())
        return;
    const bool active = m_owner.ChannelActive[m_index].load(std::memory_order_relaxed) != 0;
    std::lock_guard<std::mutex> guard(CMixerArt::DrawingLock());
    if (!force && active == m_lightShown)
        return;
    m_lightShown = active;
    if (HDC dc = ::GetDC(m_hWnd)) {
        DrawLight(dc, active);
        ::ReleaseDC(m_hWnd, dc);
    }
}

void CMixerChannel::DrawMeter(HDC dc)
{
    const DWORD level = m_owner.GetLevel();
    if (level == 0xFFFFFFFF)
        return;
    const CMixerArt& art = Art();
    const float scale = art.Scale();
    const int clipHeight = MixerUnits(scale, kClipMarkerUnits);
    for (int side = 0; side < 2; ++side) {
        const RECT meter = MeterRect(scale, side == 1);
        const int width = meter.right - meter.left, height = meter.bottom - meter.top;
        const DWORD value = side == 0 ? (level & 0xFFFF) : (level >> 16);
        const int unlit = MeterUnlitHeight(m_meter[side], value, height);
        // The images go over whatever was there: paint the meter's ground first.
        HBRUSH ground = ::CreateSolidBrush(kBackground);
        ::FillRect(dc, &meter, ground);
        ::DeleteObject(ground);
        art.DrawPart(dc, MixerImage::MeterOff, meter, {0, 0, width, height});
        if (unlit < height)
            art.DrawPart(dc, MixerImage::MeterOn, {meter.left, meter.top + unlit, meter.right, meter.bottom},
                         {0, unlit, width, height});
        if (m_meter[side].clip > 0) {
            art.DrawPart(dc, MixerImage::MeterOn, {meter.left, meter.top, meter.right, meter.top + clipHeight},
                         {0, 0, width, clipHeight});
            --m_meter[side].clip;
        }
    }
}

void CMixerChannel::Paint(HDC target)
{
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    std::lock_guard<std::mutex> guard(CMixerArt::DrawingLock());
    COffscreen off(target, client.right, client.bottom);
    HDC dc = off.Dc();
    const CMixerArt& art = Art();
    const float scale = art.Scale();

    HBRUSH ground = ::CreateSolidBrush(kBackground);
    ::FillRect(dc, &client, ground);
    ::DeleteObject(ground);
    art.Draw(dc, MixerImage::Strip, 0, 0);
    const RECT solo = SoloButtonRect(scale), mute = MuteButtonRect(scale);
    if (IsMaster()) {
        art.Draw(dc, MixerImage::MenuButton, mute.left, mute.top);
    } else {
        art.Draw(dc, m_owner.ChannelMute[m_index] ? MixerImage::MuteOn : MixerImage::MuteOff, mute.left, mute.top);
        art.Draw(dc, m_owner.ChannelSolo[m_index] ? MixerImage::SoloOn : MixerImage::SoloOff, solo.left, solo.top);
    }
    const RECT knob = ThumbRect();
    art.Draw(dc, MixerImage::Knob, knob.left, knob.top);

    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, kCaptionColour);
    HGDIOBJ oldFont = ::SelectObject(dc, art.CaptionFont(m_dialog.SelectedStrip() == m_index));
    RECT captionRect = MixerRect(scale, 0, 1, 40, 15);
    ::DrawTextW(dc, m_caption.c_str(), static_cast<int>(m_caption.size()), &captionRect,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (!IsMaster()) {
        const std::wstring name = m_owner.GetChannelInstrument(static_cast<DWORD>(m_index));
        if (!name.empty()) {
            ::SelectObject(dc, art.NameFont());
            // Turned text runs upward from its start; keep it off the light and caption.
            const RECT lane = MixerRect(scale, 0, 24, 16, 147);
            const POINT start{MixerUnits(scale, 1), MixerUnits(scale, 146)};
            ::ExtTextOutW(dc, start.x, start.y, ETO_CLIPPED, &lane, name.c_str(), static_cast<UINT>(name.size()), nullptr);
        }
    }
    ::SelectObject(dc, oldFont);
    if (MetersOn()) {
        if (IsMaster()) {
            DrawMeter(dc);
        } else {
            m_lightShown = m_owner.ChannelActive[m_index].load(std::memory_order_relaxed) != 0;
            DrawLight(dc, m_lightShown);
        }
    }
}

void CMixerChannel::OnLeftDown(POINT at)
{
    m_dialog.SelectStrip(m_index);
    const float scale = Scale();
    if (Inside(MuteButtonRect(scale), at)) {
        if (IsMaster()) {
            m_dialog.ShowContextMenu();
        } else {
            m_owner.SetMute(!m_owner.ChannelMute[m_index], static_cast<DWORD>(m_index));
            Refresh();
        }
        return;
    }
    if (Inside(SoloButtonRect(scale), at)) {
        if (!IsMaster()) {
            m_owner.SetSolo(!m_owner.ChannelSolo[m_index], static_cast<DWORD>(m_index));
            Refresh();
        }
        return;
    }
    if (Inside(ThumbRect(), at)) {
        m_dragging = true;
        m_pressAt = at;
        m_pressKnobTop = m_knobTop;
        ::SetCapture(m_hWnd);
        return;
    }
    // Anywhere else the strip is a handle for the whole window.
    ::ReleaseCapture();
    ::SendMessageW(m_dialog.GetHwnd(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

void CMixerChannel::OnMouseMove(POINT at)
{
    if (!m_dragging)
        return;
    const float scale = Scale();
    int top = m_pressKnobTop + (at.y - m_pressAt.y);
    top = std::max(FaderTop(scale), std::min(FaderBottom(scale), top));
    m_knobTop = top;
    SetStripVolume(VolumeForKnobTop(scale, top));
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CMixerChannel::EndDrag()
{
    if (!m_dragging)
        return;
    m_dragging = false;
    if (::GetCapture() == m_hWnd)
        ::ReleaseCapture();
}

LRESULT CMixerChannel::WndProc(UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(m_hWnd, &ps);
        Paint(dc);
        ::EndPaint(m_hWnd, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
        OnLeftDown({GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove({GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
        return 0;
    case WM_LBUTTONUP:
        EndDrag();
        return 0;
    case WM_CAPTURECHANGED:
        m_dragging = false;
        return 0;
    case WM_RBUTTONUP:
        m_dialog.ShowContextMenu();
        return 0;
    }
    return FinalWindowProc(msg, wparam, lparam);
}
