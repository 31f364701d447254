// The driver channel end to end: the test client loads Tessaline.dll and plays
// through the real shared block into a running Tessaline.exe.
#include "channel_fixture.h"

#include "backend/tests/output/capture.h"
#include "core/message_box.h"
#include "ipc/ipc_server.h"
#include "support/counting_directory.h"

using namespace tsltest;

// Plays `commands` through a fresh synth and returns the loudest sample it played.
float tsltest::Channel::PeakOfPlaying(const std::string& name, const std::string& advanced, const std::wstring& commands)
{
    // The synth's audio lands in the capture file of the Wine set-up.
    const std::string capture = tsl::test::CapturePath();
    if (capture.empty())
        return -1;
    DeleteFileA(capture.c_str());
    TestInstallation install(name);
    StartSynth(install, advanced);
    EXPECT_EQ(RunClient(commands), std::optional<DWORD>(0));
    PostMessageW(Tray(100), WM_CLOSE, 0, 0);
    EXPECT_TRUE(m_synth.WaitExit(kStartTimeoutMs));

    const CapturedAudio heard = ReadCapturedAudio(capture);
    float peak = 0;
    for (float sample : heard.left)
        peak = std::max(peak, std::abs(sample));
    return peak;
}

namespace {

TEST_F(Channel, WithoutASynthOpeningFailsAndTheProgramGoesOn)
{
    // The client checks the refusal itself and still reaches its orderly end.
    EXPECT_EQ(RunClient(L"--numdevs --caps --expect-open-fail"), std::optional<DWORD>(0));
}

TEST_F(Channel, ProgramPlaysNotesSysExAndResetsIntoTheSynth)
{
    TestInstallation install("channel-play");
    StartSynth(install);
    BlockView block;
    ASSERT_TRUE(block.Valid());
    EXPECT_TRUE(WaitUntil([&] { return block.Listening() == 1; }, 5000));
    const uint32_t before = block.Write();

    EXPECT_EQ(RunClient(L"--open --note 0 60 100 --sleep 200 --note 0 60 0 --sysex F07E7F0901F7 --reset "
                        L"--port 1 --open --burst 1000 --close --port 0 --close --port 2 --expect-open-fail"),
              std::optional<DWORD>(0));
    // open, two notes, one SysEx chunk, reset, open, 2000 burst messages, two closes
    EXPECT_GE(block.WrittenSince(before), 2008u);
    EXPECT_TRUE(block.Drained(5000)) << "read " << block.Read() << " write " << block.Write();
    EXPECT_TRUE(m_synth.IsRunning());
}

TEST_F(Channel, NoteFromTheProgramIsHeard)
{
    float peak = PeakOfPlaying("channel-audio", {}, L"--open --short C0 --note 0 69 127 --sleep 1000 --note 0 69 0 --close");
    if (peak < 0)
        GTEST_SKIP() << "TSL_AUDIO_CAPTURE not set (run through tools/wine-run)";
    EXPECT_GT(peak, 0.01f);
}

TEST_F(Channel, ProgramIdleLongerThanTwoWatchdogSweepsStillPlays)
{
    // The driver's keep-alive keeps (or makes again) the program's stream
    // while it waits with its port open; without it the note would reach a
    // client the watchdog has closed and be dropped.
    float peak = PeakOfPlaying("channel-idle", "WatchdogTimeout=4000\r\n",
                               L"--open --sleep 10000 --note 0 69 127 --sleep 1000 --note 0 69 0 --close");
    if (peak < 0)
        GTEST_SKIP() << "TSL_AUDIO_CAPTURE not set (run through tools/wine-run)";
    EXPECT_GT(peak, 0.01f);
}

TEST_F(Channel, TwoProgramsWithSeveralThreadsLoseNothing)
{
    // The synth's channel server runs in this process, in front of a
    // directory that counts every message it delivers per program: the
    // count is exact, not modulo the ring.
    TestInstallation install("channel-burst");
    install.WriteConfig("[Advanced]\r\nDevicesCount=2\r\n");
    TestInstallation::SetRegistryPath(install.Folder());
    SetMessageBoxHook([](const std::wstring&, const std::wstring&, UINT) { return IDOK; });
    CountingDirectory counts(nullptr, 2);
    CIpcServer server(counts, 3600000);
    ASSERT_TRUE(server.Open());
    ASSERT_TRUE(server.StartListening());

    // Three times the ring: the writers meet a full ring and wait for room.
    ChildProcess first, second;
    const std::wstring dll = L"--dll \"" + DriverPath() + L"\" ";
    const std::wstring commands = L"--open --threads 3 --burst 25000 --sysex-burst 200 120 --close";
    ASSERT_TRUE(first.Start(ClientPath(), dll + commands));
    ASSERT_TRUE(second.Start(ClientPath(), dll + L"--port 1 " + commands));
    EXPECT_EQ(first.WaitExit(kClientTimeoutMs), std::optional<DWORD>(0));
    EXPECT_EQ(second.WaitExit(kClientTimeoutMs), std::optional<DWORD>(0));
    ASSERT_TRUE(WaitUntil([&] { return server.OpenClientCount() == 0; }, 10000));
    server.Close();
    SetMessageBoxHook(nullptr);

    for (auto [port, id] : {std::pair<DWORD, DWORD>{0, first.Id()}, {1, second.Id()}}) {
        const ClientTally tally = counts.Tally(port, id);
        EXPECT_EQ(tally.shortMessages, 3u * 2 * 25000) << "port " << port;
        EXPECT_EQ(tally.longChunks, 200u * 3) << "port " << port;
        EXPECT_EQ(tally.opens, 1u);
        EXPECT_EQ(tally.closes, 1u);
    }
}

TEST_F(Channel, BlacklistedProgramIsRefused)
{
    TestInstallation install("channel-blacklist");
    StartSynth(install, "ClientBlacklist=other.exe;tsl-test-client.exe\r\n");
    EXPECT_EQ(RunClient(L"--expect-open-fail"), std::optional<DWORD>(0));
}

TEST_F(Channel, ProgramKilledWhilePlayingLeavesTheSynthRunning)
{
    TestInstallation install("channel-kill");
    StartSynth(install);
    BlockView block;
    ChildProcess client;
    ASSERT_TRUE(client.Start(ClientPath(), L"--dll \"" + DriverPath() + L"\" --open --note 0 64 100 --hold"));
    ASSERT_TRUE(WaitUntil([&] { return block.Listening() == 1 && block.Write() >= 2; }, 10000));
    client.Kill();
    EXPECT_TRUE(block.Drained(5000));
    // Another program still plays afterwards.
    EXPECT_EQ(RunClient(L"--open --note 0 60 100 --close"), std::optional<DWORD>(0));
    EXPECT_TRUE(m_synth.IsRunning());
}

}  // namespace
