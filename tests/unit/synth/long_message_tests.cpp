// Long messages: reassembly of chunks, the override filter, system-on
// messages, GS part settings, and the effect levels the stream applies.
#include <gtest/gtest.h>

#include <bassmidi.h>

#include <vector>

#include "synth/client_stream.h"
#include "synth/sysex_assembler.h"
#include "synth/sysex_rules.h"
#include "synth_test_support.h"

using synthtest::Bytes;
using synthtest::MidiRecorder;

namespace {

std::vector<BYTE> Pattern(size_t length) {
    std::vector<BYTE> bytes(length);
    bytes[0] = 0xF0;
    for (size_t i = 1; i + 1 < length; ++i) bytes[i] = static_cast<BYTE>(i & 0x7F);
    bytes[length - 1] = 0xF7;
    return bytes;
}

void SendWhole(ClientStream& client, const std::vector<BYTE>& bytes) {
    client.ProcessLongMessage(0, 1, bytes.data(), static_cast<DWORD>(bytes.size()));
}

}  // namespace

TEST(SysExAssembly, ChunksOf50And50And20AreSentOnceAsTheWholeMessage) {
    MidiRecorder rec;
    ClientStream client(nullptr, 1);
    const auto message = Pattern(120);
    client.ProcessLongMessage(0, 3, message.data(), 50);
    client.ProcessLongMessage(1, 3, message.data() + 50, 50);
    EXPECT_TRUE(rec.Raw().empty());
    client.ProcessLongMessage(2, 3, message.data() + 100, 20);
    const auto raw = rec.Raw();
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_EQ(raw[0], message);

    // The buffer is reused: a second message of the same size goes the same way.
    rec.Clear();
    client.ProcessLongMessage(0, 3, message.data(), 50);
    client.ProcessLongMessage(1, 3, message.data() + 50, 50);
    client.ProcessLongMessage(2, 3, message.data() + 100, 20);
    ASSERT_EQ(rec.Raw().size(), 1u);
}

TEST(SysExAssembly, BufferGrowsForLargerMessagesUpToTheLimit) {
    SysExAssembler a;
    EXPECT_EQ(a.CapacityChunks(), SysExAssembler::kInitialChunks);
    const auto message = Pattern(50 * 9 + 7);
    for (DWORD i = 0; i < 10; ++i) {
        const DWORD length = i < 9 ? 50 : 7;
        const auto r = a.Add(i, 10, message.data() + i * 50, length);
        EXPECT_EQ(r, i < 9 ? SysExAssembler::Result::Partial : SysExAssembler::Result::Complete);
    }
    EXPECT_EQ(a.CapacityChunks(), 10u);
    ASSERT_EQ(a.Length(), message.size());
    EXPECT_EQ(std::vector<BYTE>(a.Data(), a.Data() + a.Length()), message);
}

TEST(SysExAssembly, AbsurdChunkCountsAreDroppedWithoutAllocating) {
    SysExAssembler a;
    const BYTE chunk[50] = {0xF0};
    // More than 1 MiB of SysEx, and counts whose 32-bit product would wrap.
    for (DWORD count : {20972u, 0x7FFFFFFFu, 0xFFFFFFFFu, 85899346u /* x50 wraps to a small number */}) {
        EXPECT_EQ(a.Add(0, count, chunk, 50), SysExAssembler::Result::Dropped) << count;
        EXPECT_EQ(a.Add(1, count, chunk, 50), SysExAssembler::Result::Dropped) << count;
        EXPECT_EQ(a.CapacityChunks(), SysExAssembler::kInitialChunks) << count;
    }
    // The largest count allowed still works.
    EXPECT_EQ(a.Add(0, 20971, chunk, 50), SysExAssembler::Result::Partial);
    EXPECT_EQ(a.CapacityChunks(), 20971u);

    MidiRecorder rec;
    ClientStream client(nullptr, 1);
    client.ProcessLongMessage(0, 0xFFFFFFFF, chunk, 50);
    client.ProcessLongMessage(0xFFFFFFFE, 0xFFFFFFFF, chunk, 50);
    EXPECT_TRUE(rec.Raw().empty());
    EXPECT_EQ(client.Assembler().CapacityChunks(), SysExAssembler::kInitialChunks);
}

TEST(SysExAssembly, ChunksOutsideTheMessageAreDropped) {
    MidiRecorder rec;
    ClientStream client(nullptr, 1);
    const auto message = Pattern(120);
    // First chunk lost: a later chunk would land beyond the 4-chunk buffer.
    client.ProcessLongMessage(7, 8, message.data(), 50);
    client.ProcessLongMessage(2, 3, message.data() + 100, 20);
    // Index not below the count.
    client.ProcessLongMessage(3, 3, message.data(), 20);
    // Out of order, and a count that changes mid-message.
    client.ProcessLongMessage(0, 3, message.data(), 50);
    client.ProcessLongMessage(2, 3, message.data() + 100, 20);
    client.ProcessLongMessage(0, 3, message.data(), 50);
    client.ProcessLongMessage(1, 5, message.data() + 50, 50);
    client.ProcessLongMessage(2, 3, message.data() + 100, 20);
    // A short chunk before the last would leave a hole.
    client.ProcessLongMessage(0, 3, message.data(), 30);
    client.ProcessLongMessage(1, 3, message.data() + 50, 50);
    client.ProcessLongMessage(2, 3, message.data() + 100, 20);
    EXPECT_TRUE(rec.Raw().empty());

    // Chunks longer than 50 bytes count as 50; the stream recovers at the next first chunk.
    std::vector<BYTE> longChunk(message.begin(), message.begin() + 50);
    longChunk.resize(80, 0x55);
    client.ProcessLongMessage(0, 3, longChunk.data(), 80);
    client.ProcessLongMessage(1, 3, message.data() + 50, 50);
    client.ProcessLongMessage(2, 3, message.data() + 100, 20);
    const auto raw = rec.Raw();
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_EQ(raw[0], message);
}

TEST(RolandChecksum, MakesTheSumOfAddressAndDataAMultipleOf128) {
    const BYTE gsReset[] = {0x40, 0x00, 0x7F, 0x00};
    EXPECT_EQ(RolandChecksum(gsReset, 4), 0x41);
    const BYTE zero[] = {0x00, 0x00, 0x00};
    EXPECT_EQ(RolandChecksum(zero, 3), 0x00);
    EXPECT_EQ(GsReverbLevelMessage(64), (std::array<BYTE, 11>{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x33, 0x40, 0x4C, 0xF7}));
    EXPECT_EQ(GsChorusLevelMessage(64), (std::array<BYTE, 11>{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x3A, 0x40, 0x45, 0xF7}));
    EXPECT_EQ(GsReverbLevelMessage(127)[9], 0x0D);  // 0x40+0x01+0x33+0x7F = 0xF3
    EXPECT_EQ(GsChorusLevelMessage(0)[9], 0x05);    // 0x40+0x01+0x3A = 0x7B
}

TEST(LongMessage, OverrideFilterDropsTheClientsEffectLevels) {
    const auto gsReverb = Bytes({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x33, 0x10, 0x7C, 0xF7});
    const auto gsChorus = Bytes({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x3A, 0x10, 0x75, 0xF7});
    const auto xgReverb = Bytes({0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x0C, 0x10, 0xF7});
    const auto xgChorus = Bytes({0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x2C, 0x10, 0xF7});
    const auto gsPan = Bytes({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x34, 0x10, 0x7B, 0xF7});

    MidiRecorder rec;
    ClientStream client(nullptr, 1);
    client.SetMessageOptions(MessageOptions{64, 64, true});
    for (const auto& m : {gsReverb, gsChorus, xgReverb, xgChorus, gsPan}) SendWhole(client, m);
    auto raw = rec.Raw();
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_EQ(raw[0], gsPan);

    rec.Clear();
    client.SetMessageOptions(MessageOptions{64, 64, false});
    for (const auto& m : {gsReverb, gsChorus, xgReverb, xgChorus}) SendWhole(client, m);
    EXPECT_EQ(rec.Raw().size(), 4u);
}

TEST(LongMessage, SystemOnSetsTheModeAndReappliesTheConfiguredLevels) {
    MidiRecorder rec;
    ClientStream client(nullptr, 1);
    client.SetMessageOptions(MessageOptions{127, 0, true});
    const auto gsReset = Bytes({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});
    SendWhole(client, gsReset);
    EXPECT_EQ(client.GetSystemMode(), static_cast<uint32_t>(ModeGS));
    auto raw = rec.Raw();
    ASSERT_EQ(raw.size(), 3u);
    EXPECT_EQ(raw[0], gsReset);
    EXPECT_EQ(raw[1], Bytes({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x33, 0x7F, 0x0D, 0xF7}));
    EXPECT_EQ(raw[2], Bytes({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x3A, 0x00, 0x05, 0xF7}));

    rec.Clear();
    SendWhole(client, Bytes({0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}));
    EXPECT_EQ(client.GetSystemMode(), static_cast<uint32_t>(ModeXG));
    raw = rec.Raw();
    ASSERT_EQ(raw.size(), 3u);
    EXPECT_EQ(raw[1], Bytes({0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x0C, 0x7F, 0xF7}));
    EXPECT_EQ(raw[2], Bytes({0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x2C, 0x00, 0xF7}));

    rec.Clear();
    SendWhole(client, Bytes({0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(client.GetSystemMode(), static_cast<uint32_t>(ModeGM));
    const auto reverb = rec.EventsOfType(MIDI_EVENT_REVERB_LEVEL);
    const auto chorus = rec.EventsOfType(MIDI_EVENT_CHORUS_LEVEL);
    ASSERT_EQ(reverb.size(), 16u);
    ASSERT_EQ(chorus.size(), 16u);
    EXPECT_EQ(reverb[15].param, 100u);  // 127 x 100 / 127
    EXPECT_EQ(chorus[0].param, 0u);

    // A GS reset for another device id is passed on but changes nothing.
    rec.Clear();
    SendWhole(client, Bytes({0xF0, 0x41, 0x11, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}));
    EXPECT_EQ(client.GetSystemMode(), static_cast<uint32_t>(ModeGM));
    EXPECT_EQ(rec.Raw().size(), 1u);
}

TEST(LongMessage, GsPartMapFollowsReceiveChannelAndRhythmPartMessages) {
    MidiRecorder rec;
    ClientStream client(nullptr, 1);
    // Before a GS reset the part messages are only passed on.
    const auto rhythmBlock2 = Bytes({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x12, 0x15, 0x01, 0x18, 0xF7});
    SendWhole(client, rhythmBlock2);
    EXPECT_FALSE(client.IsDrumChannel(1));

    SendWhole(client, Bytes({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}));
    EXPECT_EQ(client.GsPartChannel(0), 9);
    EXPECT_EQ(client.GsPartChannel(2), 1);
    // Block 2 (channel 2) becomes a rhythm part; any device id and checksum do.
    SendWhole(client, Bytes({0xF0, 0x41, 0x17, 0x42, 0x12, 0x40, 0x12, 0x15, 0x01, 0x00, 0xF7}));
    EXPECT_TRUE(client.IsDrumChannel(1));
    // Block 0 moves to channel 12, then is made melodic there.
    SendWhole(client, Bytes({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x10, 0x02, 0x0B, 0x23, 0xF7}));
    EXPECT_EQ(client.GsPartChannel(0), 11);
    SendWhole(client, Bytes({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x10, 0x15, 0x00, 0x1B, 0xF7}));
    EXPECT_FALSE(client.IsDrumChannel(11));
    EXPECT_TRUE(client.IsDrumChannel(9));
    // A part switched off (channel 16 = off) takes no rhythm setting.
    SendWhole(client, Bytes({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x13, 0x02, 0x10, 0x00, 0xF7}));
    SendWhole(client, Bytes({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x13, 0x15, 0x01, 0x00, 0xF7}));
    for (DWORD c = 0; c < 16; ++c) EXPECT_EQ(client.IsDrumChannel(c), c == 1 || c == 9) << c;
    // Nothing extra is sent for part messages.
    EXPECT_TRUE(rec.EventsOfType(MIDI_EVENT_DRUMS).empty());
}

TEST(LongMessage, ResetRestoresDrumsProgramsAndLevelsButKeepsTheMode) {
    MidiRecorder rec;
    ClientStream client(nullptr, 1);
    client.SetMessageOptions(MessageOptions{64, 32, true});
    SendWhole(client, Bytes({0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}));
    client.ProcessShortMessage(0x7F00B2, 0);  // channel 3 to drums
    client.ProcessShortMessage(0x05C2, 0);
    rec.Clear();
    client.Reset();
    EXPECT_EQ(client.GetSystemMode(), static_cast<uint32_t>(ModeXG));
    EXPECT_FALSE(client.IsDrumChannel(2));
    EXPECT_TRUE(client.IsDrumChannel(9));
    EXPECT_EQ(client.Program(2), 0);
    EXPECT_EQ(client.InstrumentName(2), nullptr);
    const auto raw = rec.Raw();
    ASSERT_EQ(raw.size(), 2u);
    EXPECT_EQ(raw[0], Bytes({0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x0C, 64, 0xF7}));
    EXPECT_EQ(raw[1], Bytes({0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x2C, 32, 0xF7}));
}
