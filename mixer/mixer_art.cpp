#include "mixer/mixer_art.h"

#include <algorithm>
#include <map>
#include <vector>

#include "mixer/art_resample.h"
#include "mixer/mixer_layout.h"
#include "mixer/mixer_resources.h"

namespace {

struct ImageInfo {
    UINT resource;
    int width, height;  // design units
};

constexpr ImageInfo kImages[] = {
    {IDB_MIXER_STRIP, 40, 160},     {IDB_MIXER_MUTE_ON, 16, 16},   {IDB_MIXER_MUTE_OFF, 16, 16},
    {IDB_MIXER_SOLO_ON, 16, 16},    {IDB_MIXER_SOLO_OFF, 16, 16},  {IDB_MIXER_MENU_BUTTON, 16, 16},
    {IDB_MIXER_METER_OFF, 4, 133},  {IDB_MIXER_METER_ON, 4, 133},  {IDB_MIXER_KNOB, 18, 28},
};
static_assert(std::size(kImages) == static_cast<size_t>(MixerImage::Count));

// A master image from the resources: 32-bit rows with straight alpha, top to bottom.
struct Master {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

Master LoadMaster(UINT resource)
{
    Master master;
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(resource), MAKEINTRESOURCEW(2) /* RT_BITMAP */);
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const auto* header = loaded ? static_cast<const BITMAPINFOHEADER*>(::LockResource(loaded)) : nullptr;
    const DWORD size = found ? ::SizeofResource(module, found) : 0;
    if (!header || size < sizeof(BITMAPINFOHEADER) || header->biBitCount != 32 || header->biCompression != BI_RGB)
        return master;
    const int width = header->biWidth, height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
    const size_t count = static_cast<size_t>(width) * height;
    if (width <= 0 || height <= 0 || header->biSize + count * 4 > size)
        return master;
    const auto* bits = reinterpret_cast<const uint32_t*>(reinterpret_cast<const BYTE*>(header) + header->biSize);
    master.width = width;
    master.height = height;
    master.pixels.resize(count);
    for (int y = 0; y < height; ++y) {
        const int from = header->biHeight > 0 ? height - 1 - y : y;
        std::copy_n(bits + static_cast<size_t>(from) * width, width, master.pixels.begin() + static_cast<ptrdiff_t>(y) * width);
    }
    return master;
}

// A top-down 32-bit DIB section holding premultiplied pixels.
HBITMAP CreatePremultipliedBitmap(const std::vector<uint32_t>& pixels, int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits)
        std::copy(pixels.begin(), pixels.end(), static_cast<uint32_t*>(bits));
    return bitmap;
}

HBITMAP ScaledImage(UINT resource, int width, int height)
{
    const Master master = LoadMaster(resource);
    if (master.pixels.empty() || width <= 0 || height <= 0)
        return nullptr;
    return CreatePremultipliedBitmap(ResampleArea(master.pixels.data(), master.width, master.height, width, height),
                                     width, height);
}

HFONT CreateTahoma(int height, int weight, bool underlined, int escapement)
{
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWeight = weight;
    font.lfUnderline = underlined;
    font.lfEscapement = escapement;
    font.lfOrientation = escapement;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = CLEARTYPE_QUALITY;
    wcscpy(font.lfFaceName, L"Tahoma");
    return ::CreateFontIndirectW(&font);
}

}  // namespace

CMixerArt::CMixerArt(float scale) : m_scale(scale)
{
    const int caption = MixerUnits(scale, 12);
    m_caption.Reset(CreateTahoma(caption, FW_BOLD, false, 0));
    m_captionUnderlined.Reset(CreateTahoma(caption, FW_BOLD, true, 0));
    m_name.Reset(CreateTahoma(MixerUnits(scale, 11), FW_LIGHT, false, 900));
    // The meters are drawn over the meter rectangle, whose edges are truncated
    // on their own: their images take its size, not the truncated length.
    const RECT meter = MeterRect(scale, false);
    for (size_t i = 0; i < std::size(kImages); ++i) {
        Image& image = m_images[i];
        const auto kind = static_cast<MixerImage>(i);
        if (kind == MixerImage::MeterOff || kind == MixerImage::MeterOn)
            image.size = {meter.right - meter.left, meter.bottom - meter.top};
        else
            image.size = {MixerUnits(scale, kImages[i].width), MixerUnits(scale, kImages[i].height)};
        image.bitmap.Reset(ScaledImage(kImages[i].resource, image.size.cx, image.size.cy));
    }
}

const CMixerArt& CMixerArt::ForScale(float scale)
{
    // Only the window thread asks; the meter threads draw with the art their
    // window holds.
    static std::map<float, std::unique_ptr<CMixerArt>> cache;
    auto& art = cache[scale];
    if (!art)
        art = std::make_unique<CMixerArt>(scale);
    return *art;
}

std::mutex& CMixerArt::DrawingLock()
{
    static std::mutex lock;
    return lock;
}

SIZE CMixerArt::ImageSize(MixerImage image) const { return m_images[static_cast<int>(image)].size; }

void CMixerArt::Draw(HDC dc, MixerImage image, int x, int y) const
{
    const SIZE size = ImageSize(image);
    DrawPart(dc, image, {x, y, x + size.cx, y + size.cy}, {0, 0, size.cx, size.cy});
}

void CMixerArt::DrawPart(HDC dc, MixerImage image, const RECT& target, const RECT& source) const
{
    const Image& art = m_images[static_cast<int>(image)];
    // The system refuses a source reaching outside the image.
    RECT part = source;
    part.right = std::min(part.right, art.size.cx);
    part.bottom = std::min(part.bottom, art.size.cy);
    if (!art.bitmap || part.right <= part.left || part.bottom <= part.top)
        return;
    HDC memory = ::CreateCompatibleDC(dc);
    HGDIOBJ old = ::SelectObject(memory, art.bitmap);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::GdiAlphaBlend(dc, target.left, target.top, target.right - target.left, target.bottom - target.top, memory,
                    part.left, part.top, part.right - part.left, part.bottom - part.top, blend);
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
}

HBITMAP CreateMenuImage(UINT resourceId, int size) { return ScaledImage(resourceId, size, size); }
