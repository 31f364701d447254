#include "support/screenshot.h"

#include "support/automation.h"

#include <cstdio>
#include <vector>

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace tsltest {

namespace {
void AppendBytes(void* context, void* data, int size)
{
    auto* out = static_cast<std::vector<unsigned char>*>(context);
    auto* bytes = static_cast<unsigned char*>(data);
    out->insert(out->end(), bytes, bytes + size);
}
} // namespace

std::wstring ScreenshotPath(const std::string& name)
{
    std::wstring folder = HostPathToWindows(std::string(TSL_BUILD_DIR) + "/screenshots");
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\" + Widen(name) + L".png";
}

bool SaveScreenRectPng(const RECT& rect, const std::wstring& path)
{
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height; // top-down rows, as PNG stores them
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap && bits) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        ::SelectObject(memory, old);
        std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
        const auto* bgra = static_cast<const unsigned char*>(bits);
        for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
            rgb[i * 3 + 0] = bgra[i * 4 + 2];
            rgb[i * 3 + 1] = bgra[i * 4 + 1];
            rgb[i * 3 + 2] = bgra[i * 4 + 0];
        }
        std::vector<unsigned char> png;
        if (stbi_write_png_to_func(AppendBytes, &png, width, height, 3, rgb.data(), width * 3)) {
            if (FILE* f = _wfopen(path.c_str(), L"wb")) {
                ok = fwrite(png.data(), 1, png.size(), f) == png.size();
                ok = (fclose(f) == 0) && ok;
            }
        }
    }
    if (bitmap)
        ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return ok;
}

bool SaveWindowPng(HWND wnd, const std::wstring& path)
{
    RECT r{};
    if (!::GetWindowRect(wnd, &r))
        return false;
    ::RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    return SaveScreenRectPng(r, path);
}

} // namespace tsltest
