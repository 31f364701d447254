// The watchdog with the shortest interval the settings allow (4000 ms): a
// silent program is closed at the second sweep, a program that keeps sending
// is not, and the thread comes and goes with the clients.
#include "channel_test_support.h"
#include "fake_directory.h"

#include "core/message_box.h"
#include "ipc/ipc_server.h"

#include <gtest/gtest.h>

#include <thread>

using namespace channeltest;

namespace {

int AnswerOk(const std::wstring&, const std::wstring&, UINT) { return IDOK; }

class Watchdog : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMessageBoxHook(AnswerOk);
        server = std::make_unique<CIpcServer>(directory, 4000, UniqueNames());
        ASSERT_TRUE(server->Open());
        block = server->Block();
        ASSERT_TRUE(server->StartListening());
    }
    void TearDown() override
    {
        stopKeepAlive = true;
        if (keepAlive.joinable())
            keepAlive.join();
        server.reset();
        SetMessageBoxHook(nullptr);
    }

    // Only the test thread writes, so entries of the keep-alive thread go
    // through the same hands.
    void Send(const RawEntry& entry)
    {
        std::lock_guard guard(writeLock);
        Put(block, entry);
    }
    bool Consumed()
    {
        return WaitUntil([&] { return ReadIndex(block) == ring::Shared(block->writeIndex).load(); });
    }

    FakeDirectory directory;
    std::unique_ptr<CIpcServer> server;
    ring::Block* block = nullptr;
    std::mutex writeLock;
    std::atomic<bool> stopKeepAlive{false};
    std::thread keepAlive;
};

TEST_F(Watchdog, SilentProgramsCloseAtTheSecondSweepWhileAKeptAliveOneStays)
{
    // Program 13 opens first (starting the watchdog) and sends a no-action
    // entry every second.
    Send({1, 13, ring::kOpen});
    ASSERT_TRUE(Consumed());
    EXPECT_TRUE(server->WatchdogRunning());
    keepAlive = std::thread([&] {
        while (!stopKeepAlive) {
            Send({1, 13, 0});
            for (int i = 0; i < 100 && !stopKeepAlive; ++i)
                Sleep(10);
        }
    });

    // The silent ones open halfway between two sweeps.
    Sleep(2000);
    const ULONGLONG opened = GetTickCount64();
    Send({0, 11, ring::kOpen});
    Send({0, 12, ring::kOpen});
    ASSERT_TRUE(Consumed());
    EXPECT_EQ(server->OpenClientCount(), 3);

    ASSERT_TRUE(WaitUntil([&] { return directory.Closes().size() >= 2; }, 9000));
    auto closes = directory.Closes();
    ASSERT_EQ(closes.size(), 2u);
    for (const RecordedClose& close : closes) {
        EXPECT_EQ(close.port, 0u);
        EXPECT_GE(close.tick - opened, 4000u);
        EXPECT_LE(close.tick - opened, 8000u);
    }
    EXPECT_EQ(server->OpenClientCount(), 1) << "two closed in one sweep lower the count by 2";
    EXPECT_TRUE(server->WatchdogRunning());

    // Two more sweeps: the program that keeps sending is never closed.
    Sleep(8200);
    EXPECT_TRUE(directory.HasClient(1, 13));
    EXPECT_EQ(directory.Closes().size(), 2u);

    stopKeepAlive = true;
    keepAlive.join();
    Send({1, 13, ring::kClose});
    ASSERT_TRUE(Consumed());
    EXPECT_EQ(server->OpenClientCount(), 0);
    EXPECT_TRUE(WaitUntil([&] { return !server->WatchdogRunning(); }, 1000)) << "closing the last client stops the watchdog";

    Send({0, 14, ring::kOpen});
    ASSERT_TRUE(Consumed());
    EXPECT_TRUE(server->WatchdogRunning()) << "the next open starts a new one";
}

TEST_F(Watchdog, StopAndReopenInQuickSuccessionKeepsOneWatchdog)
{
    // Close and open again before the watchdog has woken to its stop: the
    // new client must still be watched.
    for (DWORD round = 0; round < 20; ++round) {
        Send({0, 100 + round, ring::kOpen});
        Send({0, 100 + round, ring::kClose});
    }
    Send({0, 99, ring::kOpen});
    ASSERT_TRUE(Consumed());
    Sleep(50);
    EXPECT_EQ(server->OpenClientCount(), 1);
    EXPECT_TRUE(server->WatchdogRunning());
    ASSERT_TRUE(WaitUntil([&] { return !directory.HasClient(0, 99); }, 9000)) << "the silent client is still closed";
    EXPECT_TRUE(WaitUntil([&] { return !server->WatchdogRunning(); }, 1000));
}

}  // namespace
