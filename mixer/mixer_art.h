// The drawing resources every mixer window shares: the caption and name
// fonts and the strip images, made for one scale from the high-resolution
// masters in the resources, and the one lock that every drawing of a strip,
// a light or the meter takes (the window thread and the meter threads draw
// into the same windows).
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>

#include "ui/gdi_object.h"

enum class MixerImage { Strip, MuteOn, MuteOff, SoloOn, SoloOff, MenuButton, MeterOff, MeterOn, Knob, Count };

class CMixerArt {
public:
    // The resources for `scale`, made on first use and kept for the process
    // (a handful of scales at most: zoom levels times monitor DPIs).
    static const CMixerArt& ForScale(float scale);
    // Taken around every drawing into a strip.
    static std::mutex& DrawingLock();

    float Scale() const noexcept { return m_scale; }
    HFONT CaptionFont(bool underlined) const noexcept { return underlined ? m_captionUnderlined : m_caption; }
    HFONT NameFont() const noexcept { return m_name; }
    // Draws the image with its alpha at its size for this scale, or the part
    // `source` of it (pixels of the scaled image) into `target`.
    void Draw(HDC dc, MixerImage image, int x, int y) const;
    void DrawPart(HDC dc, MixerImage image, const RECT& target, const RECT& source) const;
    SIZE ImageSize(MixerImage image) const;

    explicit CMixerArt(float scale);
    CMixerArt(const CMixerArt&) = delete;
    CMixerArt& operator=(const CMixerArt&) = delete;

private:
    struct Image {
        CBitmap bitmap;
        SIZE size{};
    };
    float m_scale;
    CFont m_caption, m_captionUnderlined, m_name;
    Image m_images[static_cast<int>(MixerImage::Count)];
};

// A menu image from a resource, `size` pixels square (premultiplied 32-bit,
// as menus draw them with their alpha); null when the resource is missing.
HBITMAP CreateMenuImage(UINT resourceId, int size);
