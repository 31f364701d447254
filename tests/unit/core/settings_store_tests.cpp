// Integer and text settings against a real configuration file: lazy reading,
// clamping, write-through, key removal at the default, change flags.
#include <gtest/gtest.h>

#include "settings_test_folder.h"

using namespace tsltest_core;

TEST(SettingsStore, PortCountIsClampedToOneToFour)
{
    StoreInFolder high("[Advanced]\r\nDevicesCount=9\r\n");
    EXPECT_EQ(high.store->DevicesCount.Get(), 4u);
    StoreInFolder zero("[Advanced]\r\nDevicesCount=0\r\n");
    EXPECT_EQ(zero.store->DevicesCount.Get(), 1u);
    StoreInFolder negative("[Advanced]\r\nDevicesCount=-2\r\n");
    EXPECT_EQ(negative.store->DevicesCount.Get(), 4u) << "negative values read as huge unsigned ones";
    StoreInFolder garbage("[Advanced]\r\nDevicesCount=many\r\n");
    EXPECT_EQ(garbage.store->DevicesCount.Get(), 1u) << "unparsable reads as 0, then clamped";
}

TEST(SettingsStore, MissingKeysGiveDefaultsAndValuesAreReadOnce)
{
    StoreInFolder s("[Advanced]\r\nReverbLevel=100\r\n");
    EXPECT_EQ(s.store->ReverbLevel.Get(), 100u);
    EXPECT_EQ(s.store->ChorusLevel.Get(), 64u);
    EXPECT_EQ(s.store->WatchdogTimeout.Get(), 8000u);
    EXPECT_EQ(s.store->ShowMixer.Get(), 1613u);
    EXPECT_EQ(s.store->LastCheck.Get(), L"1900-01-01");
    EXPECT_EQ(s.store->OutputDevice.Get(), L"1");

    // Cached: another writer's later change is not seen by this process.
    WritePrivateProfileStringW(L"Advanced", L"ReverbLevel", L"5", s.store->ConfigFile().c_str());
    EXPECT_EQ(s.store->ReverbLevel.Get(), 100u);
}

TEST(SettingsStore, SetWritesAtOnceAndClampsToTheRange)
{
    StoreInFolder s("[Advanced]\r\n");
    s.store->ReverbLevel.Set(70);
    EXPECT_EQ(s.Stored(L"Advanced", L"ReverbLevel"), L"70");
    s.store->ReverbLevel.Set(300);
    EXPECT_EQ(s.Stored(L"Advanced", L"ReverbLevel"), L"127");
    EXPECT_EQ(s.store->ReverbLevel.Get(), 127u);
    s.store->VoicesLimit.Set(3);
    EXPECT_EQ(s.Stored(L"Advanced", L"VoicesLimit"), L"16");

    // A fresh store over the same file sees the written values.
    CSettings again(s.folder.Path());
    EXPECT_EQ(again.ReverbLevel.Get(), 127u);
    EXPECT_EQ(again.VoicesLimit.Get(), 16u);
}

TEST(SettingsStore, SetToTheDefaultRemovesTheKeyAndStillRaisesTheFlag)
{
    StoreInFolder s("[Advanced]\r\nReverbLevel=30\r\nLangID=1040\r\n");
    EXPECT_EQ(s.store->ReverbLevel.Get(), 30u);
    s.store->ReverbLevel.Set(64);
    EXPECT_EQ(s.Stored(L"Advanced", L"ReverbLevel"), L"<none>");
    EXPECT_TRUE(s.store->IsChanged(SettingsChange::Audio));
    EXPECT_FALSE(s.store->IsChanged(SettingsChange::Language));

    // Never read before: the default still removes the key and raises the flag.
    s.store->LangID.Set(1033);
    EXPECT_EQ(s.Stored(L"Advanced", L"LangID"), L"<none>");
    EXPECT_TRUE(s.store->IsChanged(SettingsChange::Language));
    EXPECT_EQ(s.store->LangID.Get(), 1033u);
}

TEST(SettingsStore, EachSettingRaisesItsOwnFlagOnlyOnChange)
{
    StoreInFolder s("[Advanced]\r\n");
    s.store->SnapWindows.Set(0);  // no flag
    s.store->TopMost.Set(1);      // no flag
    for (int f = 0; f < kSettingsChangeCount; ++f)
        EXPECT_FALSE(s.store->IsChanged(static_cast<SettingsChange>(f)));

    s.store->MIDIPanic.Set(0);
    s.store->DisableVUMeter.Set(1);
    s.store->DevicesCount.Set(3);
    EXPECT_TRUE(s.store->IsChanged(SettingsChange::Hotkey));
    EXPECT_TRUE(s.store->IsChanged(SettingsChange::VuMeter));
    EXPECT_TRUE(s.store->IsChanged(SettingsChange::PortCount));
    EXPECT_FALSE(s.store->IsChanged(SettingsChange::Audio));
    EXPECT_EQ(s.Stored(L"Shortcuts", L"MIDIPanic"), L"0");

    s.store->ClearChanges();
    s.store->DevicesCount.Set(3);  // same as the cached value: nothing happens
    EXPECT_FALSE(s.store->IsChanged(SettingsChange::PortCount));
}

TEST(SettingsStore, TextSettingsLongerThanTheFirstBufferAreReadWhole)
{
    // 99 characters fill the first buffer exactly; 100, 199 and 1000 need it doubled.
    for (size_t length : {98u, 99u, 100u, 199u, 1000u}) {
        std::string value;
        for (size_t i = 0; i < length; ++i)
            value += static_cast<char>('a' + i % 26);
        StoreInFolder s("[Advanced]\r\nClientBlacklist=" + value + "\r\n");
        EXPECT_EQ(s.store->ClientBlacklist.Get(), FromUtf8(value)) << length;
    }
}

TEST(SettingsStore, TextSetRemovesTheKeyAtTheDefault)
{
    StoreInFolder s("[Update]\r\nLastVersionFound=2.0.0.0\r\n");
    s.store->LastVersionFound.Set(L"");
    EXPECT_EQ(s.Stored(L"Update", L"LastVersionFound"), L"<none>");
    s.store->LastCheck.Set(L"2024-05-06");
    EXPECT_EQ(s.Stored(L"Update", L"LastCheck"), L"2024-05-06");
    s.store->LastCheck.Set(L"1900-01-01");
    EXPECT_EQ(s.Stored(L"Update", L"LastCheck"), L"<none>");

    // Not the default: an empty OutputDevice is written as an empty value.
    s.store->OutputDevice.Set(L"");
    EXPECT_EQ(s.Stored(L"Advanced", L"OutputDevice"), L"");
    EXPECT_TRUE(s.store->IsChanged(SettingsChange::Audio));

    std::wstring longText(700, L'x');
    s.store->EncoderOptions.Set(longText);
    CSettings again(s.folder.Path());
    EXPECT_EQ(again.EncoderOptions.Get(), longText);
}

TEST(SettingsStore, RawAccessAppendsTheKeySuffixAndTakesOtherFiles)
{
    StoreInFolder s("[Windows]\r\nConfigurator.ActiveTab=3\r\nMixer3=1,2,3,4\r\n");
    EXPECT_EQ(s.store->ReadInt(L"Windows", L"Configurator.ActiveTab", 0), 3u);
    EXPECT_EQ(s.store->ReadText(L"Windows", L"Mixer", L"", 30, L"3"), L"1,2,3,4");
    EXPECT_EQ(s.store->ReadText(L"Windows", L"Mixer", L"none", 30), L"none");
    EXPECT_EQ(s.store->ReadText(L"Windows", L"Mixer", L"", 4, L"3"), L"1,2") << "cut to the buffer";

    s.store->WriteText(L"Mixer", L"ChannelMute", L"0000000000000000", L"2");
    EXPECT_EQ(s.Stored(L"Mixer", L"ChannelMute2"), L"0000000000000000");
    s.store->WriteText(L"Mixer", L"ChannelMute", nullptr, L"2");
    EXPECT_EQ(s.Stored(L"Mixer", L"ChannelMute2"), L"<none>");

    std::wstring other = s.folder.File(L"other.tslms");
    s.store->WriteText(L"Mixer", L"MasterVolume", L"42", {}, other);
    EXPECT_EQ(s.store->ReadInt(L"Mixer", L"MasterVolume", 100, {}, other), 42u);
    EXPECT_EQ(s.store->ReadInt(L"Mixer", L"MasterVolume", 100), 100u) << "the configuration file is untouched";
}

TEST(SettingsStore, NonAsciiTextSurvivesARoundTripThroughANewFile)
{
    StoreInFolder s("[Advanced]\r\n");
    std::wstring file = s.folder.File(L"new.tslms");
    const std::wstring text = L"Ch\u00f6r \u266b \u6c34";
    s.store->WriteText(L"Test", L"Name", text.c_str(), {}, file);
    EXPECT_EQ(s.store->ReadText(L"Test", L"Name", L"", 100, {}, file), text);
    EXPECT_NE(ReadProfileFileText(file).find(text), std::wstring::npos);
}

TEST(SettingsStore, PortNamesAndSuffixes)
{
    EXPECT_EQ(PortName(0), L"Tessaline #1");
    EXPECT_EQ(PortName(3), L"Tessaline #4");
    EXPECT_EQ(PortKeySuffix(0), L"");
    EXPECT_EQ(PortKeySuffix(1), L"2");
}

TEST(SettingsStore, MissingConfigurationFileIsReportedAndLeavesTheStoreNotLoaded)
{
    MessageRecorder messages;
    TempFolder folder;
    CSettings store(folder.Path());
    EXPECT_FALSE(store.Loaded());
    EXPECT_TRUE(store.ConfigFile().empty());
    ASSERT_EQ(messages.Messages().size(), 1u);
    const auto& m = messages.Messages()[0];
    EXPECT_EQ(m.text, L"ERROR: configuration file is missing or unreadable: " + folder.Path() + L"\\Tessaline.conf");
    EXPECT_EQ(m.title, L"Tessaline initialization error");
    EXPECT_EQ(m.flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
}

TEST(SettingsStore, PresentConfigurationFileLoadsWithoutAMessage)
{
    StoreInFolder s("[Advanced]\r\nDevicesCount=2\r\n");
    EXPECT_TRUE(s.store->Loaded());
    EXPECT_EQ(s.store->InstallFolder(), s.folder.Path());
    EXPECT_EQ(s.store->ConfigFile(), s.folder.Path() + L"\\Tessaline.conf");
    EXPECT_TRUE(s.messages.Messages().empty());
}
