// The driver's writing end: what it puts into an entry, SysEx chunks, the
// full ring, and many threads writing at once.
#include "channel_test_support.h"

#include "driver/ring_writer.h"
#include "ipc/ring_reader.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace channeltest;

namespace {

class RingWriter : public ::testing::Test {
protected:
    void SetUp() override
    {
        dataAvailable = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        queueFree = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    void TearDown() override
    {
        CloseHandle(dataAvailable);
        CloseHandle(queueFree);
    }

    // The listen thread's loop, without ports: entries in ring order.
    void Drain(std::vector<ring::Entry>& out, size_t count)
    {
        CRingReader reader(block.get());
        ring::Entry entry;
        const ULONGLONG end = GetTickCount64() + 20000;
        while (out.size() < count && GetTickCount64() < end) {
            if (!reader.Take(entry)) {
                WaitForSingleObject(dataAvailable, 5);
                continue;
            }
            out.push_back(entry);
            if (reader.Advance(entry))
                SetEvent(queueFree);
        }
    }

    std::unique_ptr<ring::Block> block = LinkedBlock();
    HANDLE dataAvailable = nullptr;
    HANDLE queueFree = nullptr;
};

TEST_F(RingWriter, EntryCarriesPortProcessTypeAndParametersAndKeepsTheLinks)
{
    CRingWriter writer(block.get(), dataAvailable, queueFree, 4242);
    ASSERT_TRUE(writer.Write(3, ring::kShortMessage, 0x7F3C90, 17));
    const ring::Entry& entry = block->entries[0];
    EXPECT_EQ(entry.port, 3u);
    EXPECT_EQ(entry.client, 4242u);
    EXPECT_EQ(entry.type, 202u);
    EXPECT_EQ(entry.param1, 0x7F3C90u);
    EXPECT_EQ(entry.param2, 17u);
    EXPECT_EQ(entry.next, 1u);
    EXPECT_EQ(entry.previous, 99999u);
    EXPECT_EQ(block->writeIndex, 1u);
    EXPECT_EQ(block->writerLock, 0u) << "the lock is let go";
    EXPECT_EQ(WaitForSingleObject(dataAvailable, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "an idle reader is woken";
}

TEST_F(RingWriter, LongMessageTravelsAsChunksOfFifty)
{
    CRingWriter writer(block.get(), dataAvailable, queueFree);
    std::vector<uint8_t> sysex(120);
    for (size_t i = 0; i < sysex.size(); ++i)
        sysex[i] = static_cast<uint8_t>(i);
    ASSERT_TRUE(writer.WriteLong(1, sysex.data(), 120));
    ASSERT_TRUE(writer.WriteLong(1, sysex.data(), 50));

    ASSERT_EQ(block->writeIndex, 4u);
    const uint32_t lengths[] = {50, 50, 20};
    for (uint32_t i = 0; i < 3; ++i) {
        const ring::Entry& chunk = block->entries[i];
        EXPECT_EQ(chunk.type, 203u);
        EXPECT_EQ(chunk.param1, i);
        EXPECT_EQ(chunk.param2, 3u);
        EXPECT_EQ(chunk.dataLength, lengths[i]);
        EXPECT_EQ(0, std::memcmp(chunk.data, sysex.data() + 50 * i, lengths[i]));
    }
    EXPECT_EQ(block->entries[3].param1, 0u);
    EXPECT_EQ(block->entries[3].param2, 1u) << "fifty bytes are one chunk";
    EXPECT_EQ(block->entries[3].dataLength, 50u);
}

TEST_F(RingWriter, FullRingWaitsForTheReaderAndNeverOverwrites)
{
    CRingWriter writer(block.get(), dataAvailable, queueFree);
    for (uint32_t i = 0; i < ring::kEntryCount - 1; ++i)
        ASSERT_TRUE(writer.Write(0, ring::kShortMessage, i));
    EXPECT_EQ(block->writeIndex, 99999u);

    std::atomic<bool> written{false};
    std::thread late([&] { written = writer.Write(0, ring::kShortMessage, 123456); });
    Sleep(100);
    EXPECT_FALSE(written) << "one slot always stays free";
    EXPECT_EQ(block->waitingIndex, 99999u) << "the writer names the entry it waits behind";
    EXPECT_EQ(block->entries[0].param1, 0u);

    std::vector<ring::Entry> seen;
    Drain(seen, 2);
    late.join();
    EXPECT_TRUE(written);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].param1, 0u);
    EXPECT_EQ(seen[1].param1, 1u);
    EXPECT_EQ(block->entries[99999].param1, 123456u);
    EXPECT_EQ(block->writeIndex, 0u);
}

TEST_F(RingWriter, RingWithoutReaderFailsAfterTheStallTimeThenAtOnce)
{
    CRingWriter writer(block.get(), dataAvailable, queueFree);
    writer.SetStallTimeout(200);
    ring::Shared(block->readIndex).store(50);
    ring::Shared(block->writeIndex).store(49);

    ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(writer.Write(0, ring::kShortMessage, 1));
    EXPECT_GE(GetTickCount64() - start, 190u);
    start = GetTickCount64();
    EXPECT_FALSE(writer.Write(0, ring::kShortMessage, 2));
    EXPECT_LT(GetTickCount64() - start, 100u);
    EXPECT_EQ(block->writeIndex, 49u);

    ring::Shared(block->readIndex).store(49);  // the reader moved on
    EXPECT_TRUE(writer.Write(0, ring::kShortMessage, 3));
}

TEST_F(RingWriter, LockLeftByAProgramThatDiedIsTakenOver)
{
    ring::Shared(block->writerLock).store(0xFFFFFFF0);  // no such process
    CRingWriter writer(block.get(), dataAvailable, queueFree);
    EXPECT_TRUE(writer.Write(0, ring::kOpen));
    EXPECT_EQ(block->writeIndex, 1u);
    EXPECT_EQ(block->writerLock, 0u);
}

TEST_F(RingWriter, WriterRestartsAtTheIndexTheSynthReset)
{
    // The synth re-initialised the block while this program held it.
    CRingWriter writer(block.get(), dataAvailable, queueFree);
    ring::Shared(block->readIndex).store(700);
    ring::Shared(block->writeIndex).store(700);
    ASSERT_TRUE(writer.Write(0, ring::kShortMessage, 1));
    ring::Shared(block->readIndex).store(0);
    ring::Shared(block->writeIndex).store(0);
    ASSERT_TRUE(writer.Write(0, ring::kShortMessage, 2));
    EXPECT_EQ(block->entries[0].param1, 2u);
    EXPECT_EQ(block->writeIndex, 1u);
}

TEST_F(RingWriter, ManyThreadsEachEntryArrivesOnceInTheirOrder)
{
    // More entries than the ring holds, so writers also meet a full ring.
    constexpr uint32_t kThreads = 4;
    constexpr uint32_t kPerThread = 60000;
    std::vector<std::thread> writers;
    for (uint32_t t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            CRingWriter writer(block.get(), dataAvailable, queueFree, 1000 + t);
            for (uint32_t i = 0; i < kPerThread; ++i)
                if (!writer.Write(t, ring::kShortMessage, i, t))
                    return;
        });
    }
    std::vector<ring::Entry> seen;
    seen.reserve(kThreads * kPerThread);
    Drain(seen, kThreads * kPerThread);
    for (auto& writer : writers)
        writer.join();

    ASSERT_EQ(seen.size(), kThreads * kPerThread);
    std::vector<uint32_t> expected(kThreads, 0);
    for (const ring::Entry& entry : seen) {
        ASSERT_LT(entry.param2, kThreads);
        ASSERT_EQ(entry.port, entry.param2);
        ASSERT_EQ(entry.client, 1000 + entry.param2);
        ASSERT_EQ(entry.param1, expected[entry.param2]) << "thread " << entry.param2;
        ++expected[entry.param2];
    }
    EXPECT_EQ(block->writerLock, 0u);
}

}  // namespace
