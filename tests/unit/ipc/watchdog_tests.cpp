// The watchdog's rules, counted in sweeps rather than seconds: a silent
// program is closed at the second sweep after its last entry, a program that
// keeps sending is not, the thread comes and goes with the clients, and
// shutdown waits for a sweep in progress. The sweeps are run by the test
// (the thread's own interval is an hour), so a loaded machine cannot make
// a sweep come early or late.
#include "channel_test_support.h"
#include "fake_directory.h"

#include "core/message_box.h"
#include "ipc/ipc_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace channeltest;

namespace {

int AnswerOk(const std::wstring&, const std::wstring&, UINT) { return IDOK; }

class Watchdog : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMessageBoxHook(AnswerOk);
        Start(3600000);
    }
    void TearDown() override
    {
        server.reset();
        SetMessageBoxHook(nullptr);
    }
    void Start(DWORD intervalMs)
    {
        server.reset();
        server = std::make_unique<CIpcServer>(directory, intervalMs, UniqueNames());
        ASSERT_TRUE(server->Open());
        block = server->Block();
        ASSERT_TRUE(server->StartListening());
    }

    // Puts the entries and waits until the listen thread has handled them.
    void Feed(std::initializer_list<RawEntry> entries)
    {
        for (const RawEntry& entry : entries)
            Put(block, entry);
        ASSERT_TRUE(WaitUntil([&] { return ReadIndex(block) == ring::Shared(block->writeIndex).load(); }, 10000));
    }

    FakeDirectory directory;
    std::unique_ptr<CIpcServer> server;
    ring::Block* block = nullptr;
};

TEST_F(Watchdog, SilentProgramsCloseAtTheSecondSweepWhileAKeptAliveOneStays)
{
    Feed({{1, 13, ring::kOpen}});
    EXPECT_TRUE(server->WatchdogRunning());
    Feed({{0, 11, ring::kOpen}, {0, 12, ring::kOpen}});
    EXPECT_EQ(server->OpenClientCount(), 3);

    server->CheckClients();  // a fresh open counts as a sign of life
    EXPECT_TRUE(directory.Closes().empty());
    Feed({{1, 13, 0}});  // a no-action entry keeps 13 alive
    server->CheckClients();
    auto closes = directory.Closes();
    ASSERT_EQ(closes.size(), 2u);
    EXPECT_EQ(closes[0].processId, 11u);
    EXPECT_EQ(closes[1].processId, 12u);
    EXPECT_EQ(server->OpenClientCount(), 1) << "two closed in one sweep lower the count by 2";
    EXPECT_TRUE(server->WatchdogRunning());

    for (int sweep = 0; sweep < 4; ++sweep) {
        Feed({{1, 13, ring::kOpen}});  // the driver's keep-alive entry
        server->CheckClients();
    }
    EXPECT_TRUE(directory.HasClient(1, 13));
    EXPECT_EQ(directory.Closes().size(), 2u);

    Feed({{1, 13, ring::kClose}});
    EXPECT_EQ(server->OpenClientCount(), 0);
    EXPECT_TRUE(WaitUntil([&] { return !server->WatchdogRunning(); }, 10000)) << "closing the last client stops the watchdog";

    Feed({{0, 14, ring::kOpen}});
    EXPECT_TRUE(server->WatchdogRunning()) << "the next open starts a new one";
}

TEST_F(Watchdog, StopAndReopenInQuickSuccessionKeepsOneWatchdog)
{
    // Close and open again before the watchdog has woken to its stop: the
    // new client must still be watched.
    for (DWORD round = 0; round < 20; ++round)
        Feed({{0, 100 + round, ring::kOpen}, {0, 100 + round, ring::kClose}});
    Feed({{0, 99, ring::kOpen}});
    EXPECT_EQ(server->OpenClientCount(), 1);
    EXPECT_TRUE(server->WatchdogRunning());
    server->CheckClients();
    server->CheckClients();
    EXPECT_FALSE(directory.HasClient(0, 99)) << "the silent client is still closed";
    EXPECT_TRUE(WaitUntil([&] { return !server->WatchdogRunning(); }, 10000));
}

TEST_F(Watchdog, ItsOwnThreadSweepsAtItsInterval)
{
    // Only that the thread sweeps by itself: no bound on when.
    Start(100);
    Feed({{0, 21, ring::kOpen}});
    EXPECT_TRUE(WaitUntil([&] { return !directory.HasClient(0, 21); }, 30000));
    EXPECT_EQ(server->OpenClientCount(), 0);
    EXPECT_TRUE(WaitUntil([&] { return !server->WatchdogRunning(); }, 10000));
}

TEST_F(Watchdog, ShutdownWaitsForASweepThatIsClosingClients)
{
    std::atomic<bool> inside{false};
    std::atomic<bool> finished{false};
    directory.onClose = [&] {
        if (inside.exchange(true))
            return;
        Sleep(1500);  // longer than any time-out a shutdown could give up after
        finished = true;
    };
    Start(50);
    Feed({{0, 31, ring::kOpen}});
    ASSERT_TRUE(WaitUntil([&] { return inside.load(); }, 30000));
    server->Close();
    EXPECT_TRUE(finished) << "the server went away under the watchdog";
    directory.onClose = nullptr;
}

}  // namespace
