// The ports of one program: a thread of the program suspended in the middle
// of a SysEx (holding its port) costs another thread of the same program an
// error after the call's time limit, never a hang. The driver's own channel
// is pointed at names of the test's, away from any running synth's block.
#include "driver_fixture.h"

#include "driver/client_ports.h"
#include "driver/shared_channel.h"

#include <gtest/gtest.h>

#include <vector>

using namespace drivertest;

namespace {

struct LongSend {
    DWORD port;
    std::vector<uint8_t> bytes;
    bool sent = false;
};

DWORD WINAPI SendLong(void* param)
{
    auto* send = static_cast<LongSend*>(param);
    send->sent = SendLongMessage(send->port, send->bytes.data(), static_cast<DWORD>(send->bytes.size()));
    return 0;
}

TEST(ClientPorts, ThreadSuspendedMidSysExCostsTheOthersAnErrorNotAHang)
{
    const ChannelNames names = channeltest::UniqueNames();
    Channel().RenameForTests(names);
    FakeSynth synth{names};
    synth.StartListening();
    ASSERT_TRUE(Channel().Connect());
    ASSERT_TRUE(OpenClientPort(1));

    // The ring is full and the synth slow: the first SysEx waits for room
    // with its port held, and its thread is suspended there.
    ring::Shared(synth.block->readIndex).store(ring::Shared(synth.block->writeIndex).load() + 1);
    LongSend first{1, std::vector<uint8_t>(500, 0x11)};
    HANDLE firstThread = CreateThread(nullptr, 0, &SendLong, &first, 0, nullptr);
    ASSERT_TRUE(channeltest::WaitUntil([&] { return synth.block->waitingIndex != 0; }));
    ASSERT_NE(SuspendThread(firstThread), static_cast<DWORD>(-1));

    LongSend second{1, std::vector<uint8_t>(60, 0x22)};
    HANDLE secondThread = CreateThread(nullptr, 0, &SendLong, &second, 0, nullptr);
    const DWORD waited = WaitForSingleObject(secondThread, driverlock::kCallLimitMs * 3);
    EXPECT_EQ(waited, static_cast<DWORD>(WAIT_OBJECT_0)) << "the second SysEx hung behind the suspended one";
    EXPECT_FALSE(second.sent);

    // Another port of the same program is not held up at all.
    ring::Shared(synth.block->readIndex).store(ring::Shared(synth.block->writeIndex).load());
    ASSERT_TRUE(OpenClientPort(0));
    const uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    EXPECT_TRUE(SendLongMessage(0, sysex, sizeof sysex));

    ResumeThread(firstThread);
    WaitForSingleObject(firstThread, INFINITE);
    if (waited != WAIT_OBJECT_0)
        WaitForSingleObject(secondThread, INFINITE);
    CloseHandle(firstThread);
    CloseHandle(secondThread);
    EXPECT_TRUE(CloseClientPort(0));
    EXPECT_TRUE(CloseClientPort(1));
    synth.StopListening();
    Channel().RenameForTests(ChannelNames{});
}

}  // namespace
