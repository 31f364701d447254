// The program's connection to the block: a port opens only while a synth
// really listens, and a thread of the program that died holding the channel
// neither blocks the others nor the program's exit.
#include "driver_fixture.h"

#include "driver/shared_channel.h"

#include <gtest/gtest.h>

#include <thread>

using namespace drivertest;

namespace {

TEST(SharedChannel, ConnectsOnlyWhileASynthListens)
{
    const ChannelNames names = channeltest::UniqueNames();
    CSharedChannel channel(names);
    EXPECT_FALSE(channel.Connect()) << "no block at all";

    // The block of a synth that was killed: initialised, the flag still up,
    // held by another client; nobody drains it.
    FakeSynth synth(names);
    EXPECT_FALSE(channel.Connect());

    synth.StartListening();
    EXPECT_TRUE(channel.Connect());
    ASSERT_NE(channel.Writer(), nullptr);
    EXPECT_TRUE(channel.Writer()->Write(0, ring::kOpen));

    // The synth dies with the program still connected: the next open fails.
    synth.StopListening(true);
    EXPECT_FALSE(channel.Connect());
    // A write into the full ring fails at once, not when its deadline or the
    // stall time runs out.
    ring::Shared(synth.block->readIndex).store(ring::Shared(synth.block->writeIndex).load() + 1);
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(channel.Writer()->Write(driverlock::Deadline(CRingWriter::kDefaultStallMs / 2), 0, ring::kShortMessage));
    EXPECT_LT(GetTickCount64() - start, CRingWriter::kDefaultStallMs / 4) << "waited for a ring nobody drains";

    // A restarted synth: the same connection works again.
    ring::Shared(synth.block->readIndex).store(ring::Shared(synth.block->writeIndex).load());
    synth.StartListening();
    EXPECT_TRUE(channel.Connect());
    EXPECT_TRUE(channel.Writer()->Write(0, ring::kShortMessage));
}

TEST(SharedChannel, AThreadThatDiedHoldingTheChannelBlocksNeitherConnectNorRelease)
{
    const ChannelNames names = channeltest::UniqueNames();
    FakeSynth synth(names);
    synth.StartListening();
    auto channel = std::make_unique<CSharedChannel>(names);
    ASSERT_TRUE(channel->Connect());

    // Killed inside Connect: the thread ends with the channel's lock taken.
    std::thread([&] { channel->LockForTests().Acquire(driverlock::Deadline()); }).join();
    ASSERT_NE(channel->LockForTests().Owner(), 0u);

    bool connected = false;
    ASSERT_TRUE(channeltest::RunBounded(
        [&] {
            connected = channel->Connect();
            channel->Disconnect();
        },
        driverlock::kCallLimitMs * 2));
    EXPECT_TRUE(connected);
    EXPECT_EQ(channel->Writer(), nullptr);

    // The lock taken again and left by a dead thread: what DLL detach would
    // meet. Destroying the channel does not wait for it.
    std::thread([&] {
        channel->Connect();
        channel->LockForTests().Acquire(driverlock::Deadline());
    }).join();
    EXPECT_TRUE(channeltest::RunBounded([&] { channel.reset(); }, 1000)) << "destruction waited for the lock";
}

}  // namespace
