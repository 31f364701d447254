// Short messages: what reaches the stream, and the channel bookkeeping.
#include <gtest/gtest.h>

#include <bassmidi.h>

#include <string>

#include "synth/client_stream.h"
#include "synth/midi_device.h"
#include "synth_test_support.h"

using synthtest::Bytes;
using synthtest::MidiRecorder;

namespace {

DWORD Pack(int status, int data1 = 0, int data2 = 0) {
    return static_cast<DWORD>(status) | static_cast<DWORD>(data1) << 8 | static_cast<DWORD>(data2) << 16;
}

const BYTE kGm2On[] = {0xF0, 0x7E, 0x7F, 0x09, 0x03, 0xF7};
const BYTE kGsReset[] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
const BYTE kXgOn[] = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};

void SendSysEx(ClientStream& client, const BYTE* bytes, DWORD length) { client.ProcessLongMessage(0, 1, bytes, length); }

std::wstring NameOf(const ClientStream& client, DWORD channel) {
    const wchar_t* name = client.InstrumentName(channel);
    return name ? name : L"(none)";
}

}  // namespace

TEST(ShortMessage, RunningStatusCompletesDataBytesAndSurvivesRealTime) {
    MidiRecorder rec;
    ClientStream client(nullptr, 1);
    client.ProcessShortMessage(Pack(0x91, 60, 100), 0);
    client.ProcessShortMessage(Pack(62, 90), 0);  // data bytes only: running status 0x91
    client.ProcessShortMessage(Pack(0xF8), 0);    // clock between channel messages
    client.ProcessShortMessage(Pack(64, 0), 0);
    const auto raw = rec.Raw();
    ASSERT_EQ(raw.size(), 4u);
    EXPECT_EQ(raw[0], Bytes({0x91, 60, 100}));
    EXPECT_EQ(raw[1], Bytes({0x91, 62, 90}));
    EXPECT_EQ(raw[2], Bytes({0xF8}));
    EXPECT_EQ(raw[3], Bytes({0x91, 64, 0}));
}

TEST(ShortMessage, SystemCommonClearsRunningStatusAndLengthsFollowTheKind) {
    MidiRecorder rec;
    ClientStream client(nullptr, 1);
    client.ProcessShortMessage(Pack(0x90, 60, 100), 0);
    client.ProcessShortMessage(Pack(0xF2, 0x10, 0x20), 0);  // song position: 3 bytes
    client.ProcessShortMessage(Pack(60, 0), 0);             // nothing to continue: dropped
    client.ProcessShortMessage(Pack(0xC3, 5, 99), 0);       // program change: 2 bytes
    client.ProcessShortMessage(Pack(0xF3, 7), 0);           // song select: 2 bytes
    client.ProcessShortMessage(Pack(0xF0), 0);              // a lone SysEx start sends nothing
    client.ProcessShortMessage(Pack(0xFE), 0);
    const auto raw = rec.Raw();
    ASSERT_EQ(raw.size(), 5u);
    EXPECT_EQ(raw[1], Bytes({0xF2, 0x10, 0x20}));
    EXPECT_EQ(raw[2], Bytes({0xC3, 5}));
    EXPECT_EQ(raw[3], Bytes({0xF3, 7}));
    EXPECT_EQ(raw[4], Bytes({0xFE}));
}

TEST(ShortMessage, NoteActivityLightsFollowNotesAndControllers) {
    synthtest::TestConfig config;
    MidiRecorder rec;
    CMidiDevice port(0);
    ClientStream client(&port, 1);
    client.ProcessShortMessage(Pack(0x92, 60, 100), 0);
    EXPECT_EQ(port.ChannelActive[2].load(), 1u);
    client.ProcessShortMessage(Pack(0x92, 60, 0), 0);
    EXPECT_EQ(port.ChannelActive[2].load(), 0u);
    client.ProcessShortMessage(Pack(0x92, 60, 1), 0);
    client.ProcessShortMessage(Pack(0xB2, 123, 0), 0);
    EXPECT_EQ(port.ChannelActive[2].load(), 0u);
    client.ProcessShortMessage(Pack(0x95, 60, 1), 0);
    client.ProcessShortMessage(Pack(0x85, 60, 64), 0);
    EXPECT_EQ(port.ChannelActive[5].load(), 0u);
    client.ProcessShortMessage(Pack(0x97, 60, 1), 0);
    client.AllNotesOff();  // no stream: nothing sent, lights still out
    EXPECT_EQ(port.ChannelActive[7].load(), 0u);
    EXPECT_TRUE(rec.EventsOfType(MIDI_EVENT_NOTESOFF).empty());
}

TEST(ShortMessage, InstrumentNamesFollowModeBankAndDrums) {
    MidiRecorder rec;
    ClientStream client(nullptr, 1);
    client.ResetDrums();
    client.ProcessShortMessage(Pack(0xC0, 0), 0);
    EXPECT_EQ(NameOf(client, 0), L"Acoustic Grand Piano");
    client.ProcessShortMessage(Pack(0xC9, 0), 0);
    EXPECT_EQ(NameOf(client, 9), L"Drums");
    // GM table: the LSB is the variation.
    client.ProcessShortMessage(Pack(0xB1, 32, 1), 0);
    client.ProcessShortMessage(Pack(0xC1, 0), 0);
    EXPECT_EQ(NameOf(client, 1), L"Wide Acoustic Grand");
    client.ProcessShortMessage(Pack(0xB1, 32, 9), 0);
    client.ProcessShortMessage(Pack(0xC1, 0), 0);
    EXPECT_EQ(NameOf(client, 1), L"<--->");

    SendSysEx(client, kGsReset, sizeof kGsReset);
    EXPECT_EQ(client.InstrumentName(1), nullptr);  // a system-on message clears the names
    client.ProcessShortMessage(Pack(0xB1, 0, 8), 0);
    client.ProcessShortMessage(Pack(0xC1, 0), 0);
    EXPECT_EQ(NameOf(client, 1), L"Piano 1w");
    client.ProcessShortMessage(Pack(0xB2, 0, 16), 0);
    client.ProcessShortMessage(Pack(0xC2, 25), 0);
    EXPECT_EQ(NameOf(client, 2), L"Mandolin");

    SendSysEx(client, kXgOn, sizeof kXgOn);
    client.ProcessShortMessage(Pack(0xB3, 0, 64), 0);
    client.ProcessShortMessage(Pack(0xB3, 32, 0), 0);
    client.ProcessShortMessage(Pack(0xC3, 0), 0);
    EXPECT_EQ(NameOf(client, 3), L"Cutting Noise");
    client.ProcessShortMessage(Pack(0xB3, 0, 0), 0);
    client.ProcessShortMessage(Pack(0xB3, 32, 65), 0);
    client.ProcessShortMessage(Pack(0xC3, 93), 0);
    EXPECT_EQ(NameOf(client, 3), L"Hard Sync");
    EXPECT_EQ(client.Program(3), 93);
}

TEST(ShortMessage, Gm2BankSelectPicksDrumsOnAnyChannel) {
    MidiRecorder rec;
    ClientStream client(nullptr, 1);
    SendSysEx(client, kGm2On, sizeof kGm2On);
    EXPECT_EQ(client.GetSystemMode(), static_cast<uint32_t>(ModeGM2));
    EXPECT_FALSE(client.IsDrumChannel(3));
    client.ProcessShortMessage(Pack(0xB3, 0, 120), 0);
    EXPECT_TRUE(client.IsDrumChannel(3));
    client.ProcessShortMessage(Pack(0xC3, 0), 0);
    EXPECT_EQ(NameOf(client, 3), L"Drums");
    client.ProcessShortMessage(Pack(0xB3, 0, 5), 0);
    EXPECT_TRUE(client.IsDrumChannel(3));  // other values leave it
    client.ProcessShortMessage(Pack(0xB3, 0, 121), 0);
    EXPECT_FALSE(client.IsDrumChannel(3));
    client.ProcessShortMessage(Pack(0xB9, 0, 121), 0);
    EXPECT_FALSE(client.IsDrumChannel(9));
}

TEST(ShortMessage, BankSelectDrumsByModeAndTheResendMarker) {
    MidiRecorder rec;
    ClientStream client(nullptr, 1);
    client.ResetDrums();
    // GM: MSB 120 is no drum select.
    client.ProcessShortMessage(Pack(0xB4, 0, 120), 0);
    EXPECT_FALSE(client.IsDrumChannel(4));
    SendSysEx(client, kXgOn, sizeof kXgOn);
    client.ProcessShortMessage(Pack(0xB4, 0, 127), 0);
    EXPECT_TRUE(client.IsDrumChannel(4));
    client.ProcessShortMessage(Pack(0xB9, 0, 0), 0);
    EXPECT_FALSE(client.IsDrumChannel(9));  // XG: any other MSB is melodic

    rec.Clear();
    client.ProcessShortMessage(Pack(0xC4, 0), kDrumResendMarker);
    client.ProcessShortMessage(Pack(0xB4, 0, 127), kDrumResendMarker);  // a bank select is not re-sent
    const auto drums = rec.EventsOfType(MIDI_EVENT_DRUMS);
    ASSERT_EQ(drums.size(), 1u);
    EXPECT_EQ(drums[0].channel, 4u);
    EXPECT_EQ(drums[0].param, 1u);
}
