// SysEx as winmm hands it to the driver: a header the program got wrong is
// refused, the buffer is read once, before any lock, and a buffer the program
// cannot read faults in its own thread while the port stays free for its
// other threads. The driver's own channel is pointed at names of the test's.
#include "driver_fixture.h"

#include "driver/exports.h"
#include "driver/shared_channel.h"

#include <gtest/gtest.h>

// mmddk.h builds on the declarations of the other two.
#include <mmsystem.h>
#include <mmreg.h>
#include <mmddk.h>

#include <algorithm>
#include <thread>
#include <vector>

using namespace drivertest;

namespace {

class ModMessage : public ::testing::Test {
protected:
    void SetUp() override
    {
        Channel().RenameForTests(names);
        synth.StartListening();
        ASSERT_TRUE(Channel().Connect());
        MIDIOPENDESC desc{};
        ASSERT_EQ(modMessage(0, MODM_OPEN, reinterpret_cast<DWORD_PTR>(&user), reinterpret_cast<DWORD_PTR>(&desc),
                             CALLBACK_NULL),
                  static_cast<DWORD>(MMSYSERR_NOERROR));
    }
    void TearDown() override
    {
        if (user) {
            EXPECT_EQ(modMessage(0, MODM_CLOSE, user, 0, 0), static_cast<DWORD>(MMSYSERR_NOERROR));
        }
        synth.StopListening();
        Channel().RenameForTests(ChannelNames{});
    }

    DWORD Prepare(MIDIHDR& header) { return modMessage(0, MODM_PREPARE, user, reinterpret_cast<DWORD_PTR>(&header), sizeof header); }
    DWORD LongData(MIDIHDR& header)
    {
        return modMessage(0, MODM_LONGDATA, user, reinterpret_cast<DWORD_PTR>(&header), sizeof header);
    }

    const ChannelNames names = channeltest::UniqueNames();
    FakeSynth synth{names};
    DWORD_PTR user = 0;
};

TEST_F(ModMessage, SysExTheDriverCannotTakeIsRefusedWithNothingSent)
{
    char sysex[] = {'\xF0', '\x7E', '\x7F', '\x09', '\x01', '\xF7'};
    MIDIHDR header{};
    header.lpData = sysex;
    header.dwBufferLength = sizeof sysex;
    const uint32_t written = ring::Shared(synth.block->writeIndex).load();

    EXPECT_EQ(LongData(header), static_cast<DWORD>(MIDIERR_UNPREPARED));
    ASSERT_EQ(Prepare(header), static_cast<DWORD>(MMSYSERR_NOERROR));
    // Past the size limit the length is not believed: nothing is read.
    header.dwBufferLength = 0x80000000u;
    EXPECT_EQ(LongData(header), static_cast<DWORD>(MMSYSERR_INVALPARAM));
    header.dwBufferLength = sizeof sysex;
    header.lpData = nullptr;
    EXPECT_EQ(LongData(header), static_cast<DWORD>(MMSYSERR_INVALPARAM));

    EXPECT_EQ(ring::Shared(synth.block->writeIndex).load(), written);
    EXPECT_EQ(header.dwFlags & (MHDR_INQUEUE | MHDR_DONE), 0u);
}

TEST_F(ModMessage, SysExIsSentAsHandedOverEvenIfTheBufferChangesWhileTheCallWaits)
{
    // Three chunks; the ring is full, so the call waits for room with the
    // first chunk, holding the port. Meanwhile another thread of the program
    // reuses the buffer (or frees it): what was handed over must still arrive.
    std::vector<char> sysex(120);
    for (size_t i = 0; i < sysex.size(); ++i)
        sysex[i] = static_cast<char>(i);
    const std::vector<char> handedOver = sysex;
    MIDIHDR header{};
    header.lpData = sysex.data();
    header.dwBufferLength = static_cast<DWORD>(sysex.size());
    ASSERT_EQ(Prepare(header), static_cast<DWORD>(MMSYSERR_NOERROR));
    ring::Block& block = *synth.block;
    const uint32_t first = ring::Shared(block.writeIndex).load();
    ring::Shared(block.waitingIndex).store(0xFFFFFFFFu);
    ring::Shared(block.readIndex).store(first + 1);

    DWORD sent = MMSYSERR_ERROR;
    std::thread call([&] { sent = LongData(header); });
    const bool waited = channeltest::WaitUntil([&] { return ring::Shared(block.waitingIndex).load() == first; });
    std::fill(sysex.begin(), sysex.end(), '\x55');
    ring::Shared(block.readIndex).store(first);
    call.join();

    ASSERT_TRUE(waited) << "the call never waited for room";
    EXPECT_EQ(sent, static_cast<DWORD>(MMSYSERR_NOERROR));
    ASSERT_EQ(ring::Shared(block.writeIndex).load(), first + 3);
    std::vector<char> arrived;
    for (uint32_t i = first; i < first + 3; ++i) {
        const ring::Entry& chunk = block.entries[i];
        EXPECT_EQ(chunk.type, static_cast<uint32_t>(ring::kLongChunk));
        arrived.insert(arrived.end(), chunk.data, chunk.data + chunk.dataLength);
    }
    EXPECT_EQ(arrived, handedOver) << "the program's buffer was read again under the port's lock";
}

// The thread that faults stays stopped in the handler, alive, until the test
// lets it end; other threads' faults are not ours to handle.
struct FaultingSend {
    DWORD_PTR user = 0;
    MIDIHDR header{};
    DWORD threadId = 0;
    HANDLE faulted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};
FaultingSend* g_faulting = nullptr;

LONG CALLBACK HoldFaultingThread(EXCEPTION_POINTERS* info)
{
    if (info->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || !g_faulting ||
        GetCurrentThreadId() != g_faulting->threadId)
        return EXCEPTION_CONTINUE_SEARCH;
    SetEvent(g_faulting->faulted);
    WaitForSingleObject(g_faulting->release, INFINITE);
    ExitThread(0xDEAD);
}

// A thread routine of the program's own calling convention (stdcall on
// 32-bit Windows, which a lambda does not have).
DWORD WINAPI SendFaulting(void* param)
{
    auto* send = static_cast<FaultingSend*>(param);
    return modMessage(0, MODM_LONGDATA, send->user, reinterpret_cast<DWORD_PTR>(&send->header), sizeof send->header);
}

TEST_F(ModMessage, UnreadableSysExFaultsInTheProgramsThreadWithThePortFree)
{
    auto* noAccess = static_cast<char*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(noAccess, nullptr);
    FaultingSend bad;
    bad.user = user;
    bad.header.lpData = noAccess;
    bad.header.dwBufferLength = 20;
    ASSERT_EQ(Prepare(bad.header), static_cast<DWORD>(MMSYSERR_NOERROR));
    g_faulting = &bad;
    void* handler = AddVectoredExceptionHandler(1, &HoldFaultingThread);
    HANDLE thread = CreateThread(nullptr, 0, &SendFaulting, &bad, CREATE_SUSPENDED, &bad.threadId);
    ResumeThread(thread);
    const bool faulted = WaitForSingleObject(bad.faulted, 10000) == WAIT_OBJECT_0;

    // Another thread of the program, same port, while the faulting one is stopped.
    char sysex[] = {'\xF0', '\x7E', '\x7F', '\x09', '\x01', '\xF7'};
    MIDIHDR good{};
    good.lpData = sysex;
    good.dwBufferLength = sizeof sysex;
    ASSERT_EQ(Prepare(good), static_cast<DWORD>(MMSYSERR_NOERROR));
    const ULONGLONG start = GetTickCount64();
    const DWORD sent = faulted ? LongData(good) : static_cast<DWORD>(MMSYSERR_ERROR);
    const ULONGLONG took = GetTickCount64() - start;

    SetEvent(bad.release);
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    RemoveVectoredExceptionHandler(handler);
    g_faulting = nullptr;
    CloseHandle(bad.faulted);
    CloseHandle(bad.release);
    VirtualFree(noAccess, 0, MEM_RELEASE);

    ASSERT_TRUE(faulted) << "reading the buffer did not fault";
    EXPECT_EQ(code, 0xDEADu);
    EXPECT_EQ(sent, static_cast<DWORD>(MMSYSERR_NOERROR)) << "the port was held by the faulting thread";
    EXPECT_LT(took, driverlock::kCallLimitMs / 2);
    EXPECT_NE(good.dwFlags & MHDR_DONE, 0u);
    EXPECT_EQ(bad.header.dwFlags & MHDR_INQUEUE, 0u) << "the program could never unprepare its header";
    EXPECT_EQ(synth.block->writerLock, 0u);
}

}  // namespace
