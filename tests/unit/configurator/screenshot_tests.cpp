// Pictures of every page of the configurator, at 96 and at 144 DPI, into the
// build folder's screenshots (for people to look at; the README shows the
// SoundFonts page). Each must at least be written.
#include "configurator_test_support.h"

#include "configurator/resource_ids.h"
#include "support/screenshot.h"

namespace {

using namespace cfgtest;

const char* const kPageNames[kPageCount] = {"soundfonts", "midi-mapper", "options", "shortcuts", "updates", "about"};

class ConfiguratorPictures : public ConfiguratorTest {
protected:
    ConfiguratorPictures()
        : ConfiguratorTest("[Advanced]\r\nOutputDevice=0\r\nDevicesCount=2\r\n[SoundFonts]\r\n"
                           "sf1=Z:\\usr\\share\\sounds\\sf2\\FluidR3_GS.sf2\r\nsf1.enabled=3\r\n"
                           "sf2=Z:\\usr\\share\\sounds\\sf2\\TimGM6mb.sf2\r\nsf2.enabled=2\r\nsf2.preload=0\r\n"
                           "sf2.volume=80\r\n")
    {
    }

    void Shoot(const std::string& dpi)
    {
        for (int page = 0; page < kPageCount; ++page) {
            window->SelectPage(page);
            if (page == kPageSoundFonts) {
                HWND list = Control(kPageSoundFonts, IDC_SF_LIST);
                ::SendMessageW(list, LB_SETSEL, FALSE, -1);
                ::SendMessageW(list, LB_SETSEL, TRUE, 0);
                ::SendMessageW(::GetParent(list), WM_COMMAND, MAKEWPARAM(IDC_SF_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
            }
            ::RedrawWindow(*window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            Pump(150);
            const std::wstring path = tsltest::ScreenshotPath("configurator-" + std::string(kPageNames[page]) + "-" + dpi);
            EXPECT_TRUE(tsltest::SaveWindowPng(*window, path)) << kPageNames[page];
        }
    }
};

TEST_F(ConfiguratorPictures, EveryPageAt96And144Dpi)
{
    ASSERT_TRUE(Open());
    ::SetWindowPos(*window, HWND_TOP, 20, 20, window->Scale(650), window->Scale(500), SWP_SHOWWINDOW);
    ::SetForegroundWindow(*window);
    Pump(100);
    Shoot(std::to_string(window->GetDpi()));

    // The monitor's DPI changes to 144: the window scales itself and its pages.
    const UINT dpi = 144;
    RECT suggested = {20, 20, 20 + 650 * 3 / 2, 20 + 500 * 3 / 2};
    ::SendMessageW(*window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    Pump(100);
    EXPECT_EQ(window->GetDpi(), dpi);
    RECT r{};
    ::GetWindowRect(*window, &r);
    EXPECT_GE(r.right - r.left, 975);
    Shoot("144");
}

}  // namespace
