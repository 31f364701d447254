// Mixer-state files on disk: the owner's state round trip, a missing file,
// and a save that fails leaving the old file whole.
#include <gtest/gtest.h>

#include "mixer/mixer_state_file.h"
#include "support/app_fixture.h"

using namespace tsltest;

TEST(MixerStateFile, OwnerStateRoundTripsThroughAFile)
{
    TestConfig config;
    FakeOwner from, to;
    from.LoadMixerState();
    from.SetVolume(55, 4);
    from.SetMute(true, 2);
    from.SetSolo(true, 9);
    from.SetMasterVolume(80);
    const std::wstring file = config.Folder().File(L"state.tslms");
    ASSERT_EQ(from.SaveMixerState(file.c_str()), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(ReadBytes(file), "[Mixer]\r\nChannelMute=0010000000000000\r\nChannelSolo=0000000001000000\r\n"
                               "ChannelVolume=100;100;100;100;55;100;100;100;100;100;100;100;100;100;100;100\r\n"
                               "MasterVolume=80\r\n");
    to.LoadMixerState();
    ASSERT_EQ(to.LoadMixerState(file.c_str()), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(to.ChannelVolume[4], 55u);
    EXPECT_EQ(to.ChannelMute[2], 1u);
    EXPECT_EQ(to.ChannelSolo[9], 1u);
    EXPECT_EQ(to.MasterVolume, 80u);
    EXPECT_TRUE(to.applied.empty()) << "loading leaves applying the levels to the caller";
    // Nothing but the file was written: the configuration keeps no mixer keys.
    EXPECT_EQ(config.Stored(L"Mixer", L"MasterVolume"), L"<none>");
}

TEST(MixerStateFile, MissingFileReadsNeutralAndAHugeOneIsRefused)
{
    TestConfig config;
    FakeOwner owner;
    owner.SetVolume(10, 16);
    owner.SetMute(true, 3);
    EXPECT_EQ(owner.LoadMixerState(config.Folder().File(L"absent.tslms").c_str()), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(owner.IsNeutral());

    owner.SetVolume(10, 16);
    config.Folder().Write(L"huge.tslms", std::string(kMaxMixerStateFileBytes + 1, ' '));
    EXPECT_EQ(owner.LoadMixerState(config.Folder().File(L"huge.tslms").c_str()), static_cast<DWORD>(ERROR_FILE_TOO_LARGE));
    EXPECT_EQ(owner.ChannelVolume[0], 10u) << "a failed load changes nothing";
}

TEST(MixerStateFile, FailedSaveKeepsTheOldFileAndLeavesNoTemporaryFile)
{
    TestConfig config;
    const std::wstring file = config.Folder().File(L"kept.tslms");
    const std::string old = "[Mixer]\r\nMasterVolume=12\r\n";
    config.Folder().Write(L"kept.tslms", old);
    // Another program holds the file open without letting it be replaced.
    HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    FakeOwner owner;
    owner.LoadMixerState();
    EXPECT_NE(owner.SaveMixerState(file.c_str()), static_cast<DWORD>(ERROR_SUCCESS));
    CloseHandle(held);
    EXPECT_EQ(ReadBytes(file), old);

    // A folder that does not exist: nothing is written anywhere.
    EXPECT_NE(owner.SaveMixerState(config.Folder().File(L"no-such-folder\\x.tslms").c_str()),
              static_cast<DWORD>(ERROR_SUCCESS));

    WIN32_FIND_DATAW found{};
    int files = 0;
    HANDLE find = FindFirstFileW(config.Folder().File(L"*").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ++files;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    EXPECT_EQ(files, 2) << "only the configuration file and the kept file";

    // And an ordinary save replaces the file as a whole.
    ASSERT_EQ(owner.SaveMixerState(file.c_str()), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_NE(ReadBytes(file).find("MasterVolume=100"), std::string::npos);
}
