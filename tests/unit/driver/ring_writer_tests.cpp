// The driver's writing end: what it puts into an entry, SysEx chunks, the
// full ring, and many threads writing at once.
#include "unit/ipc/channel_test_support.h"

#include "driver/owner_lock.h"
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

TEST_F(RingWriter, FullRingWithAListenerThatTakesNothingFailsAtTheCallsDeadline)
{
    // A synth whose listen thread lives but is wedged: the listener check
    // passes and the stall time is far off, so only the deadline ends the wait.
    CRingWriter writer(block.get(), dataAvailable, queueFree);
    writer.SetStallTimeout(10000);
    writer.SetListenerCheck([](const void*) { return true; }, nullptr);
    ring::Shared(block->readIndex).store(50);
    ring::Shared(block->writeIndex).store(49);

    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(writer.Write(driverlock::Deadline(300), 0, ring::kShortMessage, 1));
    const ULONGLONG took = GetTickCount64() - start;
    EXPECT_GE(took, 250u) << "gave up before the deadline";
    EXPECT_LT(took, 1000u) << "waited for room past the deadline";
    EXPECT_EQ(block->writeIndex, 49u);
}

// A thread that takes the ring lock the way a writer does and then stops:
// it ends (killed mid-write) or waits to be suspended while holding it.
class LockHolder {
public:
    enum class Then { End, Wait };
    LockHolder(ring::Block* block, Then then) : m_block(block), m_then(then)
    {
        m_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_thread = CreateThread(nullptr, 0, &Proc, this, 0, &m_id);
        WaitForSingleObject(m_held, INFINITE);
    }
    ~LockHolder()
    {
        LetGo();
        CloseHandle(m_thread);
        CloseHandle(m_release);
        CloseHandle(m_held);
    }
    DWORD Id() const { return m_id; }
    HANDLE Thread() const { return m_thread; }
    // A waiting holder resumes, releases the lock as a writer does, and ends.
    void LetGo()
    {
        SetEvent(m_release);
        for (DWORD count = ResumeThread(m_thread); count != static_cast<DWORD>(-1) && count > 1;)
            count = ResumeThread(m_thread);
        WaitForSingleObject(m_thread, INFINITE);
    }

private:
    static DWORD WINAPI Proc(void* param)
    {
        auto* self = static_cast<LockHolder*>(param);
        driverlock::Acquire(ring::Shared(self->m_block->writerLock), driverlock::Deadline());
        SetEvent(self->m_held);
        if (self->m_then == Then::End)
            return 0;  // ends without letting go
        WaitForSingleObject(self->m_release, INFINITE);
        driverlock::Release(ring::Shared(self->m_block->writerLock));
        return 0;
    }
    ring::Block* m_block;
    Then m_then;
    HANDLE m_held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE m_release = nullptr;
    HANDLE m_thread = nullptr;
    DWORD m_id = 0;
};

TEST_F(RingWriter, LockLeftByAThreadOfThisProgramThatEndedIsTakenOverAtOnce)
{
    LockHolder holder(block.get(), LockHolder::Then::End);
    WaitForSingleObject(holder.Thread(), INFINITE);
    ASSERT_EQ(block->writerLock, holder.Id());
    CRingWriter writer(block.get(), dataAvailable, queueFree);
    // Well within the time a live holder is granted: only a holder known to
    // be gone is taken over this early.
    EXPECT_TRUE(writer.Write(driverlock::Deadline(CRingWriter::kLockTakeOverMs / 2), 0, ring::kOpen));
    EXPECT_EQ(block->writeIndex, 1u);
    EXPECT_EQ(block->writerLock, 0u);
}

TEST_F(RingWriter, LockHeldByASuspendedThreadOfThisProgramIsTakenOverAndItsReleaseIsHarmless)
{
    LockHolder holder(block.get(), LockHolder::Then::Wait);
    ASSERT_NE(SuspendThread(holder.Thread()), static_cast<DWORD>(-1));
    bool written = false;
    ASSERT_TRUE(RunBounded(
        [&] {
            CRingWriter ringWriter(block.get(), dataAvailable, queueFree);
            written = ringWriter.Write(0, ring::kShortMessage, 7);
        },
        driverlock::kCallLimitMs * 3))
        << "the write hung behind the suspended holder";
    EXPECT_TRUE(written);
    EXPECT_EQ(block->entries[0].param1, 7u);
    EXPECT_EQ(block->writerLock, 0u);
    // The old holder wakes up and lets go: a lock it no longer owns stays as it is.
    ASSERT_TRUE(driverlock::Acquire(ring::Shared(block->writerLock), driverlock::Deadline()));
    holder.LetGo();
    EXPECT_EQ(block->writerLock, GetCurrentThreadId());
    driverlock::Release(ring::Shared(block->writerLock));
}

TEST_F(RingWriter, AWriterWhoseLockWasTakenOverLeavesTheNewHoldersEntryAlone)
{
    // The first writer stops with the lock held and its entry chosen, as a
    // thread suspended mid-write, for longer than the lock is granted.
    struct Stop {
        HANDLE reached = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE resume = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        bool first = true;
    } stop;
    CRingWriter stopped(block.get(), dataAvailable, queueFree, 1);
    stopped.SetHoldingHookForTests(
        [](void* context) {
            auto* s = static_cast<Stop*>(context);
            if (!s->first)
                return;
            s->first = false;
            SetEvent(s->reached);
            WaitForSingleObject(s->resume, INFINITE);
        },
        &stop);
    bool firstWritten = false;
    std::thread first([&] { firstWritten = stopped.Write(0, ring::kShortMessage, 111); });
    ASSERT_EQ(WaitForSingleObject(stop.reached, 10000), static_cast<DWORD>(WAIT_OBJECT_0));

    CRingWriter other(block.get(), dataAvailable, queueFree, 2);
    const bool otherWritten = other.Write(0, ring::kShortMessage, 222);
    const uint32_t afterTakeOver = block->writeIndex;
    SetEvent(stop.resume);
    first.join();
    CloseHandle(stop.reached);
    CloseHandle(stop.resume);

    EXPECT_TRUE(otherWritten) << "the lock was not taken over";
    EXPECT_EQ(afterTakeOver, 1u);
    EXPECT_EQ(block->entries[0].client, 2u) << "the woken writer filled an entry it no longer owned";
    EXPECT_EQ(block->entries[0].param1, 222u);
    EXPECT_TRUE(firstWritten) << "the woken writer starts over under a lock of its own";
    EXPECT_EQ(block->entries[1].client, 1u);
    EXPECT_EQ(block->entries[1].param1, 111u);
    EXPECT_EQ(block->writeIndex, 2u);
    EXPECT_EQ(block->writerLock, 0u);
}

TEST_F(RingWriter, SlowButMovingReaderNeverFailsAWrite)
{
    // The ring is full; the reader frees one entry every 20 ms but another
    // writer takes it each time, for longer than the stall time.
    CRingWriter writer(block.get(), dataAvailable, queueFree);
    ring::Shared(block->readIndex).store(50);
    ring::Shared(block->writeIndex).store(49);
    std::atomic<bool> done{false};
    std::atomic<bool> written{false};
    std::thread late([&] {
        written = writer.Write(0, ring::kShortMessage, 99);
        done = true;
    });
    const ULONGLONG until = GetTickCount64() + CRingWriter::kDefaultStallMs * 3 / 2;
    uint32_t steps = 0;
    while (GetTickCount64() < until && !done) {
        Sleep(20);
        // The other writer holds the lock while it moves both indices, as
        // the reader's advance and its own entry land together for the one waiting.
        ASSERT_TRUE(driverlock::Acquire(ring::Shared(block->writerLock), driverlock::Deadline()));
        ring::Shared(block->readIndex).store(51 + steps);
        ring::Shared(block->writeIndex).store(50 + steps);
        driverlock::Release(ring::Shared(block->writerLock));
        ++steps;
    }
    EXPECT_FALSE(done) << "gave up while the reader was moving";
    ring::Shared(block->readIndex).store(60 + steps);  // now there is room
    late.join();
    EXPECT_TRUE(written);
}

// Access violations in the faulting thread end that thread, as a crash
// would end the client's program, without touching the test.
LONG CALLBACK EndFaultingThread(EXCEPTION_POINTERS* info)
{
    if (info->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION)
        ExitThread(0xDEAD);
    return EXCEPTION_CONTINUE_SEARCH;
}

struct FaultingWrite {
    ring::Block* block;
    HANDLE dataAvailable;
    HANDLE queueFree;
    const uint8_t* data;
};

DWORD WINAPI WriteFromBadBuffer(void* param)
{
    auto* w = static_cast<FaultingWrite*>(param);
    CRingWriter writer(w->block, w->dataAvailable, w->queueFree);
    writer.Write(0, ring::kLongChunk, 0, 1, w->data, 20);
    return 0;
}

TEST_F(RingWriter, BadClientBufferFaultsWithTheLockFree)
{
    auto* noAccess = static_cast<uint8_t*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(noAccess, nullptr);
    void* handler = AddVectoredExceptionHandler(1, &EndFaultingThread);
    FaultingWrite args{block.get(), dataAvailable, queueFree, noAccess};
    HANDLE thread = CreateThread(nullptr, 0, &WriteFromBadBuffer, &args, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    RemoveVectoredExceptionHandler(handler);
    VirtualFree(noAccess, 0, MEM_RELEASE);
    EXPECT_EQ(code, 0xDEADu) << "the write did fault";
    EXPECT_EQ(block->writerLock, 0u) << "the fault came before the lock was taken";
    EXPECT_EQ(block->writeIndex, 0u);
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
