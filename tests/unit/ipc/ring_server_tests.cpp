// The synth's end of the ring: initialisation of the shared block and the
// listen thread's reading rules, driven through a real block and thread.
#include "channel_test_support.h"
#include "fake_directory.h"

#include "core/message_box.h"
#include "ipc/ipc_server.h"
#include "ipc/listener_probe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace channeltest;

namespace {

int AnswerOk(const std::wstring&, const std::wstring&, UINT) { return IDOK; }

class RingServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMessageBoxHook(AnswerOk);
        server = std::make_unique<CIpcServer>(directory, 4000, names);
        ASSERT_TRUE(server->Open());
        block = server->Block();
    }
    void TearDown() override
    {
        server.reset();
        SetMessageBoxHook(nullptr);
    }

    // Puts the entries, then waits until the listen thread has consumed them.
    void Feed(std::initializer_list<RawEntry> entries)
    {
        for (const RawEntry& entry : entries)
            Put(block, entry);
        const uint32_t write = ring::Shared(block->writeIndex).load();
        ASSERT_TRUE(WaitUntil([&] { return ReadIndex(block) == write; })) << "read index stuck at " << ReadIndex(block);
    }

    ChannelNames names = UniqueNames();
    FakeDirectory directory;
    std::unique_ptr<CIpcServer> server;
    ring::Block* block = nullptr;
};

TEST_F(RingServer, FreshBlockIsInitialisedAndMarkedListening)
{
    EXPECT_EQ(block->blockSize, 8800304u);
    EXPECT_STREQ(block->version, "2.14.1.0");
    EXPECT_EQ(block->readIndex, 0u);
    EXPECT_EQ(block->writeIndex, 0u);
    EXPECT_EQ(block->waitingIndex, 0u);
    EXPECT_EQ(block->entries[0].previous, 99999u);
    EXPECT_EQ(block->entries[0].next, 1u);
    EXPECT_EQ(block->entries[500].next, 501u);
    EXPECT_EQ(block->entries[500].previous, 499u);
    EXPECT_EQ(block->entries[99999].next, 0u);
    EXPECT_EQ(block->entries[99999].previous, 99998u);
    EXPECT_EQ(block->listening, 0u);

    ASSERT_TRUE(server->StartListening());
    EXPECT_TRUE(WaitUntil([&] { return ring::Shared(block->listening).load() == 1; }));
}

TEST_F(RingServer, BlockHeldByAClientIsInitialisedAgain)
{
    // A client that outlived the previous synth still holds the block, with
    // entries, links and indices of the old run in it.
    server->Close();
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, ring::kBlockSize, names.sharedMem.c_str());
    ASSERT_TRUE(mapping);
    auto* old = static_cast<ring::Block*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_TRUE(old);
    old->listening = 1;
    old->readIndex = 500;
    old->writeIndex = 700;
    old->waitingIndex = 499;
    old->entries[600].next = 42;

    ASSERT_TRUE(server->Open());
    ring::Block* fresh = server->Block();
    EXPECT_EQ(fresh->readIndex, 0u);
    EXPECT_EQ(fresh->writeIndex, 0u);
    EXPECT_EQ(fresh->waitingIndex, 0u);
    EXPECT_EQ(fresh->entries[600].next, 601u);
    EXPECT_EQ(fresh->listening, 1u);
    EXPECT_EQ(old->writeIndex, 0u) << "the client sees the indices start again at 0";

    UnmapViewOfFile(old);
    CloseHandle(mapping);
}

TEST_F(RingServer, EntriesReachTheOpenClientOnly)
{
    ASSERT_TRUE(server->StartListening());
    Feed({{0, 7, ring::kShortMessage, 0x90, 0},  // before its open: dropped
          {0, 7, ring::kOpen},
          {0, 7, ring::kShortMessage, 0x7F3C90, 5},
          {0, 7, ring::kReset},
          {0, 7, ring::kAllNotesOff},
          {0, 7, 777},        // unknown type: a sign of life
          {0, 7, ring::kOpen},  // already open: also only a sign of life
          {0, 8, ring::kReset},  // another program, not open
          {1, 7, ring::kShortMessage, 0x90}});  // the same program on a port it did not open

    EXPECT_EQ(directory.Opens(), 1);
    auto calls = directory.Calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].action, ClientAction::ShortMessage);
    EXPECT_EQ(calls[0].param1, 0x7F3C90u);
    EXPECT_EQ(calls[0].param2, 5u);
    EXPECT_EQ(calls[1].action, ClientAction::Reset);
    EXPECT_EQ(calls[2].action, ClientAction::AllNotesOff);
    EXPECT_EQ(calls[3].action, ClientAction::SignOfLife);
    EXPECT_EQ(calls[4].action, ClientAction::SignOfLife);
    EXPECT_EQ(server->OpenClientCount(), 1);
}

TEST_F(RingServer, ClosesTouchOnlyTheirOwnClientAndPort)
{
    ASSERT_TRUE(server->StartListening());
    Feed({{0, 1, ring::kOpen}, {0, 2, ring::kOpen}, {0, 3, ring::kOpen}, {1, 3, ring::kOpen}});
    EXPECT_EQ(server->OpenClientCount(), 4);

    Feed({{0, 1, ring::kClose}, {1, 3, ring::kClose}, {1, 3, ring::kClose}});
    EXPECT_FALSE(directory.HasClient(0, 1));
    EXPECT_TRUE(directory.HasClient(0, 2)) << "two programs on one port: one close leaves the other";
    EXPECT_FALSE(directory.HasClient(1, 3));
    EXPECT_TRUE(directory.HasClient(0, 3)) << "a close on the second port leaves the first";
    EXPECT_EQ(server->OpenClientCount(), 2) << "a repeated close counts once";
}

TEST_F(RingServer, ConsumingTheLastEntryWrapsToTheFirst)
{
    ring::Shared(block->readIndex).store(99999);
    ring::Shared(block->writeIndex).store(99999);
    ASSERT_TRUE(server->StartListening());

    Feed({{0, 7, ring::kOpen}});
    EXPECT_EQ(ReadIndex(block), 0u);
    Feed({{0, 7, ring::kShortMessage, 0x90}});
    EXPECT_EQ(ReadIndex(block), 1u);
    EXPECT_EQ(directory.CallCount(), 1u);
}

TEST_F(RingServer, EntryForAPortBeyondDevicesCountIsConsumedWithoutAction)
{
    directory.limit = 2;
    ASSERT_TRUE(server->StartListening());
    Feed({{4, 7, ring::kOpen}, {2, 7, ring::kOpen}, {4, 7, ring::kShortMessage, 0x90}});
    EXPECT_EQ(ReadIndex(block), 3u);
    EXPECT_EQ(directory.Opens(), 0);
    EXPECT_EQ(server->OpenClientCount(), 0);
    EXPECT_FALSE(server->WatchdogRunning());
}

TEST_F(RingServer, LongChunkUsesAtMostFiftyBytes)
{
    uint8_t bytes[50];
    for (uint8_t i = 0; i < 50; ++i)
        bytes[i] = i;
    ASSERT_TRUE(server->StartListening());
    Feed({{0, 7, ring::kOpen}, {0, 7, ring::kLongChunk, 2, 3, 80, bytes}, {0, 7, ring::kLongChunk, 0, 1, 6, bytes}});

    auto calls = directory.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].action, ClientAction::LongMessage);
    EXPECT_EQ(calls[0].param1, 2u);
    EXPECT_EQ(calls[0].param2, 3u);
    ASSERT_EQ(calls[0].data.size(), 50u);
    EXPECT_EQ(calls[0].data[49], 49);
    EXPECT_EQ(calls[1].data, std::vector<uint8_t>(bytes, bytes + 6));
}

TEST_F(RingServer, BrokenNextLinksDoNotLeaveTheRing)
{
    // A writer that overwrote the links: the reader takes the plain successor.
    block->entries[1].next = 100000;
    block->entries[2].next = 0xFFFFFFFF;
    block->entries[99999].next = 4000000000u;
    ASSERT_TRUE(server->StartListening());

    Feed({{0, 7, ring::kOpen}, {0, 7, ring::kShortMessage, 1}, {0, 7, ring::kShortMessage, 2}});
    EXPECT_EQ(ReadIndex(block), 3u);

    server->Close();
    ASSERT_TRUE(server->Open());
    block = server->Block();
    block->entries[99999].next = 100000;
    ring::Shared(block->readIndex).store(99999);
    ring::Shared(block->writeIndex).store(99999);
    ASSERT_TRUE(server->StartListening());
    Feed({{0, 9, ring::kOpen}});
    EXPECT_EQ(ReadIndex(block), 0u);
    EXPECT_EQ(directory.Opens(), 2);
}

TEST_F(RingServer, WriteIndexOutsideTheRingIsNotReadAsEntries)
{
    ASSERT_TRUE(server->StartListening());
    Feed({{0, 7, ring::kOpen}});
    ring::Shared(block->writeIndex).store(250000);
    Sleep(50);
    EXPECT_EQ(ReadIndex(block), 1u);
    EXPECT_EQ(directory.CallCount(), 0u);

    ring::Shared(block->writeIndex).store(1);
    Feed({{0, 7, ring::kShortMessage, 0x90}});
    EXPECT_EQ(directory.CallCount(), 1u);
}

TEST_F(RingServer, WaitingWriterIsWokenWhenItsEntryIsPassed)
{
    HANDLE queueFree = OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, names.queueFree.c_str());
    ASSERT_TRUE(queueFree);
    ring::Shared(block->waitingIndex).store(20);
    ASSERT_TRUE(server->StartListening());

    for (int i = 0; i < 20; ++i)
        Put(block, {0, 7, 777});
    Feed({});
    EXPECT_EQ(WaitForSingleObject(queueFree, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "entry 21 not consumed yet";
    Feed({{0, 7, 777}, {0, 7, 777}});
    EXPECT_EQ(WaitForSingleObject(queueFree, 1000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(queueFree);
}

TEST_F(RingServer, CloseMayRunTwiceAndTheChannelOpensAgain)
{
    ASSERT_TRUE(server->StartListening());
    server->Close();
    server->Close();
    EXPECT_EQ(server->Block(), nullptr);
    ASSERT_TRUE(server->Open());
    ASSERT_TRUE(server->StartListening());
    block = server->Block();
    Feed({{0, 7, ring::kOpen}});
    EXPECT_EQ(directory.Opens(), 1);
}

TEST_F(RingServer, ListeningFlagAndMutexFollowTheListenThread)
{
    EXPECT_FALSE(ring::ListenerAlive(names.listener.c_str()));
    ASSERT_TRUE(server->StartListening());
    ASSERT_TRUE(WaitUntil([&] { return ring::Shared(block->listening).load() == 1; }));
    EXPECT_TRUE(ring::ListenerAlive(names.listener.c_str()));

    // A client still holds the block after the synth stopped listening.
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, names.sharedMem.c_str());
    ASSERT_TRUE(mapping);
    auto* seen = static_cast<const ring::Block*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    server->Close();
    EXPECT_EQ(seen->listening, 0u) << "nobody drains the ring any more";
    EXPECT_FALSE(ring::ListenerAlive(names.listener.c_str()));
    UnmapViewOfFile(seen);
    CloseHandle(mapping);
}

TEST_F(RingServer, ARestartedSynthWaitsForThePreviousReaderBeforeItResetsTheRing)
{
    ASSERT_TRUE(server->StartListening());
    Feed({{0, 7, ring::kOpen}});

    FakeDirectory second;
    CIpcServer restarted(second, 4000, names);
    std::atomic<bool> opened{false};
    std::atomic<bool> previousClosing{false};
    std::atomic<bool> openedAfterClosing{false};
    std::thread start([&] {
        const bool ok = restarted.Open();
        openedAfterClosing = previousClosing.load();
        opened = ok;
    });
    // However long this takes, the new synth must not touch the ring while
    // the old reader still drains it.
    Sleep(300);
    EXPECT_FALSE(opened);
    Feed({{0, 7, ring::kShortMessage, 0x90}});
    EXPECT_EQ(directory.CallCount(), 1u) << "the old reader still works";
    // The reader lets go as its last act, while Close still stops the
    // watchdog: the new synth may go on from then, before Close returns.
    previousClosing = true;
    server->Close();
    start.join();
    EXPECT_TRUE(opened);
    EXPECT_TRUE(openedAfterClosing);
    restarted.Close();
}

TEST_F(RingServer, CloseJoinsAListenThreadBusyWithAnEntry)
{
    std::atomic<bool> inside{false};
    std::atomic<bool> finished{false};
    directory.onDeliver = [&] {
        inside = true;
        Sleep(1500);  // longer than any time-out Close could give up after
        finished = true;
    };
    ASSERT_TRUE(server->StartListening());
    Put(block, {0, 7, ring::kOpen});
    Put(block, {0, 7, ring::kShortMessage, 0x90});
    ASSERT_TRUE(WaitUntil([&] { return inside.load(); }));
    server->Close();
    EXPECT_TRUE(finished) << "the block went away under the listen thread";
    directory.onDeliver = nullptr;
}

}  // namespace
