// Window placement with real windows: the stored text, maximised windows, and
// rectangles pulled back onto the screen.
#include <gtest/gtest.h>

#include "core/settings_window.h"
#include "settings_test_folder.h"

using namespace tsltest_core;

namespace {

class TestWindow {
public:
    explicit TestWindow(bool resizable)
    {
        static const wchar_t* kClass = L"TslSettingsPlacementTest";
        static bool registered = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = DefWindowProcW;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = kClass;
            return RegisterClassW(&wc) != 0;
        }();
        (void)registered;
        DWORD style = resizable ? WS_OVERLAPPEDWINDOW : (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU);
        m_hwnd = CreateWindowExW(0, kClass, L"placement", style, 100, 100, 300, 200, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    ~TestWindow()
    {
        if (m_hwnd)
            DestroyWindow(m_hwnd);
    }
    HWND Get() const { return m_hwnd; }
    RECT Rect() const
    {
        RECT r{};
        GetWindowRect(m_hwnd, &r);
        return r;
    }

private:
    HWND m_hwnd = nullptr;
};

RECT WorkAreaOf(HWND window)
{
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info);
    return info.rcWork;
}

}  // namespace

TEST(SettingsWindowPlacement, SaveAndRestoreARestoredWindow)
{
    StoreInFolder s("[Advanced]\r\n");
    TestWindow window(true);
    ASSERT_TRUE(window.Get());
    SetWindowPos(window.Get(), nullptr, 120, 80, 400, 300, SWP_NOZORDER);
    s.store->SaveWindowPlacement(L"Mixer", window.Get(), L"2");
    EXPECT_EQ(s.Stored(L"Windows", L"Mixer2"), L"120,80,400,300");

    TestWindow other(true);
    EXPECT_TRUE(s.store->RestoreWindowPlacement(L"Mixer", other.Get(), true, L"2"));
    RECT r = other.Rect();
    EXPECT_EQ(r.left, 120);
    EXPECT_EQ(r.top, 80);
    EXPECT_EQ(r.right - r.left, 400);
    EXPECT_EQ(r.bottom - r.top, 300);
    EXPECT_TRUE(IsWindowVisible(other.Get()));
    EXPECT_FALSE(IsZoomed(other.Get()));
}

TEST(SettingsWindowPlacement, FifthNumberOneRestoresMaximised)
{
    StoreInFolder s("[Windows]\r\nConfigurator=50,60,500,400,1\r\n");
    TestWindow window(true);
    EXPECT_TRUE(s.store->RestoreWindowPlacement(L"Configurator", window.Get(), true));
    EXPECT_TRUE(IsZoomed(window.Get()));

    // Saving a maximised window keeps its restored rectangle and the flag.
    s.store->SaveWindowPlacement(L"Configurator", window.Get());
    EXPECT_EQ(s.Stored(L"Windows", L"Configurator"), L"50,60,500,400,1");
}

TEST(SettingsWindowPlacement, FarAwayRectangleIsPulledBackIntoTheWorkArea)
{
    StoreInFolder s("[Windows]\r\nMIDIConverter=30000,-5000,400,300\r\n");
    TestWindow window(true);
    EXPECT_TRUE(s.store->RestoreWindowPlacement(L"MIDIConverter", window.Get(), true));
    RECT work = WorkAreaOf(window.Get());
    RECT r = window.Rect();
    EXPECT_EQ(r.right, work.right + 20) << "right edge at most 20 pixels beyond the work area";
    EXPECT_EQ(r.top, work.top - 20);
    EXPECT_EQ(r.right - r.left, 400);
}

TEST(SettingsWindowPlacement, NonResizableWindowKeepsItsSize)
{
    StoreInFolder s("[Windows]\r\nMixer=10,20,999,888,1\r\n");
    TestWindow window(false);
    RECT before = window.Rect();
    EXPECT_TRUE(s.store->RestoreWindowPlacement(L"Mixer", window.Get(), false));
    RECT r = window.Rect();
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.right - r.left, before.right - before.left);
    EXPECT_EQ(r.bottom - r.top, before.bottom - before.top);
    EXPECT_FALSE(IsZoomed(window.Get()));
    EXPECT_TRUE(IsWindowVisible(window.Get()));
}

TEST(SettingsWindowPlacement, MissingOrShortValueShowsTheWindowAndFails)
{
    StoreInFolder s("[Windows]\r\nMixer=10,20,30\r\n");
    TestWindow a(true), b(true);
    EXPECT_FALSE(s.store->RestoreWindowPlacement(L"Mixer", a.Get(), true));
    EXPECT_TRUE(IsWindowVisible(a.Get()));
    EXPECT_FALSE(s.store->RestoreWindowPlacement(L"Nothing", b.Get(), true));
    EXPECT_TRUE(IsWindowVisible(b.Get()));
}

TEST(SettingsWindowPlacement, PullBackRule)
{
    TestWindow window(true);
    RECT work = WorkAreaOf(window.Get());
    RECT inside{work.left + 10, work.top + 10, work.left + 110, work.top + 110};
    POINT p = PulledBackPosition(inside);
    EXPECT_EQ(p.x, inside.left);
    EXPECT_EQ(p.y, inside.top);

    RECT leftOff{work.left - 500, work.top + 10, work.left - 400, work.top + 110};
    p = PulledBackPosition(leftOff);
    EXPECT_EQ(p.x, work.left - 20);
    EXPECT_EQ(p.y, work.top + 10);

    RECT below{work.left, work.bottom + 300, work.left + 100, work.bottom + 400};
    p = PulledBackPosition(below);
    EXPECT_EQ(p.y, work.bottom + 20 - 100);
}
