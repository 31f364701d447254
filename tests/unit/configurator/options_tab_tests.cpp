// The Options page driven as a user would: typed numbers, lists, Reset, the
// port count, and the output device chooser.
#include "configurator_test_support.h"

#include "configurator/output_device_selector.h"
#include "configurator/resource_ids.h"
#include "configurator/save_actions.h"
#include "configurator/tab_options.h"
#include "core/settings.h"

namespace {

using namespace cfgtest;

class OptionsPage : public ConfiguratorTest {
protected:
    explicit OptionsPage(const std::string& conf = "[Advanced]\r\nOutputDevice=0\r\n") : ConfiguratorTest(conf) {}
    void SetUp() override
    {
        SaveActions().restartSynth = [this] {
            ++restartQuestions;
            return false;
        };
        SaveActions().reloadEngine = [] {};
        ASSERT_TRUE(Open());
        window->SelectPage(kPageOptions);
    }
    HWND Row(int id) const { return Control(kPageOptions, id); }
    void Apply()
    {
        Click(::GetDlgItem(*window, IDC_CFG_APPLY));
        Pump();
    }
    void Choose(int id, int item)
    {
        ::SendMessageW(Row(id), CB_SETCURSEL, static_cast<WPARAM>(item), 0);
        ::SendMessageW(*window->Page(kPageOptions), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Row(id)));
    }
    int restartQuestions = 0;
};

TEST(OptionRows, TypedNumbersAreClamped)
{
    EXPECT_EQ(NumberRowValue(L"2000", 0, 1000, 250), 1000u);
    EXPECT_EQ(NumberRowValue(L" 12 ", 16, 100000, 500), 16u);
    EXPECT_EQ(NumberRowValue(L"99999999999999", 0, 127, 64), 127u);
    EXPECT_EQ(NumberRowValue(L"-3", 0, 127, 64), 0u);
    EXPECT_EQ(NumberRowValue(L"", 0, 127, 64), 64u);
    EXPECT_EQ(NumberRowValue(L"12a", 0, 127, 64), 64u);
    EXPECT_EQ(NumberRowValue(L"100000", 16, 100000, 500), 100000u);
}

TEST_F(OptionsPage, TypedNumbersAreStoredClampedAndTheLargestVoiceCountSurvives)
{
    Type(Row(1025), L"2000");     // buffer, at most 1000
    Type(Row(1020), L"100000");   // voices
    Type(Row(1028), L"500");      // reverb, at most 127
    Type(Row(1110), L"0");        // master reverb
    EXPECT_EQ(TextOf(Row(1020 + 2000)), L"Maximum voices (16 to 100000):");
    EXPECT_EQ(TextOf(Row(1025 + 2000)), L"Additional buffer (0 to 1000 ms):");
    Apply();
    EXPECT_EQ(config.Stored(L"Advanced", L"AdditionalBuffer"), L"1000");
    EXPECT_EQ(config.Stored(L"Advanced", L"VoicesLimit"), L"100000");
    EXPECT_EQ(config.Stored(L"Advanced", L"ReverbLevel"), L"127");
    EXPECT_EQ(config.Stored(L"Advanced", L"MasterReverb"), L"0");
    // Opened again, the page shows what is stored.
    Close();
    ASSERT_TRUE(Open());
    EXPECT_EQ(TextOf(Row(1020)), L"100000");
    EXPECT_EQ(TextOf(Row(1025)), L"1000");
}

TEST_F(OptionsPage, ResetAndApplyRemoveTheKeys)
{
    Type(Row(1020), L"1000");
    Click(Row(1012));
    Click(Row(1041));  // snapping off
    Apply();
    ASSERT_EQ(config.Stored(L"Advanced", L"VoicesLimit"), L"1000");
    ASSERT_EQ(config.Stored(L"Advanced", L"SnapWindows"), L"0");
    Click(Control(kPageOptions, IDC_OPT_RESET));
    EXPECT_EQ(TextOf(Row(1020)), L"500");
    Apply();
    for (const wchar_t* key : {L"VoicesLimit", L"DisableMidiEffects", L"SnapWindows"})
        EXPECT_EQ(config.Stored(L"Advanced", key), L"<none>") << key;
}

class OptionsWithOddRate : public OptionsPage {
protected:
    OptionsWithOddRate() : OptionsPage("[Advanced]\r\nOutputDevice=0\r\nOutputSampleRate=32000\r\nLangID=1031\r\n") {}
};

TEST_F(OptionsWithOddRate, AStoredRateOrLanguageNotInItsListSurvivesASave)
{
    EXPECT_EQ(::SendMessageW(Row(1022), CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(::SendMessageW(Row(1016), CB_GETCURSEL, 0, 0), CB_ERR);
    Click(Row(1013));
    Apply();
    EXPECT_EQ(config.Stored(L"Advanced", L"OutputSampleRate"), L"32000");
    EXPECT_EQ(config.Stored(L"Advanced", L"LangID"), L"1031");
    EXPECT_EQ(config.Stored(L"Advanced", L"DisableStereo"), L"1");
    // Choosing a rate stores it.
    Choose(1022, 1);
    Apply();
    EXPECT_EQ(config.Stored(L"Advanced", L"OutputSampleRate"), L"44100");
}

TEST_F(OptionsPage, MorePortsAreCreatedAtOnceAndTheRestartIsOffered)
{
    ASSERT_TRUE(engine.Initialize());
    ASSERT_EQ(engine.PortCount(), 1u);
    Choose(1018, 2);  // "3"
    Apply();
    EXPECT_EQ(engine.PortCount(), 3u);
    EXPECT_EQ(config.Stored(L"Advanced", L"DevicesCount"), L"3");
    EXPECT_EQ(restartQuestions, 1);
    // Fewer ports only ask.
    Choose(1018, 0);
    Apply();
    EXPECT_EQ(engine.PortCount(), 3u);
    EXPECT_EQ(restartQuestions, 2);
    EXPECT_EQ(config.Stored(L"Advanced", L"DevicesCount"), L"<none>");
}

class OptionsTwoPorts : public OptionsPage {
protected:
    OptionsTwoPorts() : OptionsPage("[Advanced]\r\nDevicesCount=2\r\nOutputDevice=1;0\r\nOutputDeviceName=<Default device>;<No sound>\r\n") {}
};

TEST_F(OptionsTwoPorts, TheDeviceChooserOffersEveryDeviceAndStoresNumberAndNamePerPort)
{
    std::vector<MenuItem> seen;
    const DeviceNames offered = OfferedOutputDevices();
    ASSERT_GE(offered.size(), 2u);
    EXPECT_EQ(offered.at(0), L"<No sound>");
    EXPECT_EQ(offered.at(1), L"<Default device>");
    const auto last = std::prev(offered.end());
    {
        // Port 2 (the second submenu) gets the last enumerated device.
        PopupMenuAnswers menus([&](HMENU menu) {
            seen = MenuItems(menu);
            return DeviceMenuId(1, last->first);
        });
        Click(Row(1015));
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0].text, L"All Ports");
    // The all-ports submenu checks nothing; each port's submenu checks its device.
    size_t port1 = 0, port2 = 0;
    for (size_t i = 0; i < seen.size(); ++i) {
        if (seen[i].text == L"Tessaline #1")
            port1 = i;
        if (seen[i].text == L"Tessaline #2")
            port2 = i;
    }
    ASSERT_GT(port1, 0u);
    ASSERT_GT(port2, port1);
    for (size_t i = 1; i < port1; ++i)
        EXPECT_FALSE(seen[i].checked);
    EXPECT_EQ(seen.size() - port2 - 1, offered.size());
    EXPECT_TRUE(seen[port1 + 2].checked);  // port 1: the default device
    EXPECT_TRUE(seen[port2 + 1].checked);  // port 2: no sound
    EXPECT_EQ(seen[port2 + 1].text, L"<No sound>");
    Apply();
    EXPECT_EQ(config.Stored(L"Advanced", L"OutputDevice"), L"1;" + std::to_wstring(last->first));
    EXPECT_EQ(config.Stored(L"Advanced", L"OutputDeviceName"), L"<Default device>;" + last->second);

    // All ports at once: no sound.
    {
        PopupMenuAnswers menus([&](HMENU) { return DeviceMenuId(-1, 0); });
        Click(Row(1015));
    }
    Apply();
    EXPECT_EQ(config.Stored(L"Advanced", L"OutputDevice"), L"0;0");
    EXPECT_EQ(config.Stored(L"Advanced", L"OutputDeviceName"), L"<No sound>;<No sound>");
    EXPECT_EQ(window->Page(kPageOptions) ? static_cast<CConfiguratorTabOptions*>(window->Page(kPageOptions))->DeviceSelector().Caption()
                                         : L"",
              L"1: <No sound>; 2: <No sound>");
}

}  // namespace
