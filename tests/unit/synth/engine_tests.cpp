// The engine on the default device (a file under the test runner's Wine):
// ports, client streams with their fonts and update threads, reload with the
// MIDI state kept, panic and mix levels; the no-sound device refuses streams.
#include <gtest/gtest.h>

#include <bassmidi.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "core/message_box.h"
#include "ipc/engine_directory.h"
#include "synth/synth_engine.h"
#include "synth_test_support.h"

namespace {

std::string Config(const std::string& advanced, const std::string& device = "1") {
    return "[Advanced]\r\nOutputDevice=" + device + "\r\n" + advanced +
           "[SoundFonts]\r\nsf1=Z:\\usr\\share\\sounds\\sf2\\TimGM6mb.sf2\r\nsf1.enabled=3\r\nsf1.preload=0\r\n";
}

class EngineTest : public ::testing::Test {
protected:
    explicit EngineTest(const std::string& advanced = "", const std::string& device = "1")
        : config(Config(advanced, device)) {}
    void SetUp() override { g_Engine = &engine; }
    void TearDown() override {
        engine.Shutdown();
        engine.DestroyPorts();
        g_Engine = nullptr;
    }

    // A client opened as the listen thread opens it, once the stream worker
    // has made its stream.
    ClientStream* OpenMade(CMidiDevice& port, DWORD processId) {
        ClientStream* client = port.OpenClient(processId);
        engine.Streams().Drain();
        return client;
    }

    synthtest::TestConfig config;
    SynthEngine engine;
};

class TwoPortEngineTest : public EngineTest {
protected:
    TwoPortEngineTest() : EngineTest("DevicesCount=2\r\nMasterReverb=150\r\n") {}
};

const BYTE kGsReset[] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};

}  // namespace

TEST_F(EngineTest, InitializeOpensThePortsAndClientsGetStreamsWithTheirFonts) {
    ASSERT_TRUE(engine.Initialize());
    EXPECT_TRUE(engine.Initialize());  // already initialised
    EXPECT_TRUE(config.Messages().empty());
    ASSERT_EQ(engine.PortCount(), 1u);
    EXPECT_EQ(engine.Port(1), nullptr);
    CMidiDevice& port = *engine.Port(0);
    EXPECT_EQ(port.GetName(), L"Tessaline #1");
    EXPECT_EQ(port.GetChannelInstrument(0), L"");
    EXPECT_TRUE(engine.AllPortsHaveSoundFonts());

    ClientStream* client = OpenMade(port, ::GetCurrentProcessId());
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(port.OpenClient(::GetCurrentProcessId()), client);
    EXPECT_EQ(port.ClientCount(), 1u);
    EXPECT_NE(client->Stream.load(), 0u);
    EXPECT_FALSE(client->ExecutablePath().empty());
    EXPECT_EQ(client->UpdatePeriodMs(), 1u);
    BASS_MIDI_FONT fonts[2] = {};
    EXPECT_EQ(BASS_MIDI_StreamGetFonts(client->Stream, fonts, 2), 1u);

    EXPECT_TRUE(port.WithClient(::GetCurrentProcessId(), [](ClientStream& c) { c.ProcessShortMessage(0x00C0, 0); }));
    EXPECT_EQ(port.GetChannelInstrument(0), L"Acoustic Grand Piano");
    EXPECT_EQ(port.GetChannelInstrument(16), L"");
    EXPECT_FALSE(port.WithClient(12345, [](ClientStream&) {}));

    port.CloseClient(12345);  // unknown: nothing
    port.CloseClient(::GetCurrentProcessId());
    EXPECT_EQ(port.ClientCount(), 0u);
}

TEST_F(EngineTest, ReloadRecreatesStreamsKeepingEachClientsState) {
    ASSERT_TRUE(engine.Initialize());
    CMidiDevice& port = *engine.Port(0);
    ClientStream* client = OpenMade(port, ::GetCurrentProcessId());
    ASSERT_NE(client->Stream.load(), 0u);
    client->ProcessLongMessage(0, 1, kGsReset, sizeof kGsReset);
    client->ProcessShortMessage(0x0800B1, 0);  // bank 8
    client->ProcessShortMessage(0x00C1, 0);
    ASSERT_EQ(std::wstring(client->InstrumentName(1)), L"Piano 1w");

    engine.Reload();
    EXPECT_TRUE(engine.IsInitialized());
    ASSERT_EQ(port.ClientCount(), 1u);
    EXPECT_NE(client->Stream.load(), 0u);
    EXPECT_FALSE(client->HasSavedState());  // taken up by the new stream
    EXPECT_EQ(client->GetSystemMode(), static_cast<uint32_t>(ModeGS));
    EXPECT_EQ(std::wstring(client->InstrumentName(1)), L"Piano 1w");
    EXPECT_TRUE(client->IsDrumChannel(9));
    BASS_MIDI_FONT fonts[2] = {};
    EXPECT_EQ(BASS_MIDI_StreamGetFonts(client->Stream, fonts, 2), 1u);
}

TEST_F(EngineTest, CloseKeepsTheRecordAndItsSavedStateWithoutAStream) {
    ASSERT_TRUE(engine.Initialize());
    CMidiDevice& port = *engine.Port(0);
    ClientStream* client = OpenMade(port, ::GetCurrentProcessId());
    port.Close(true);
    EXPECT_EQ(client->Stream.load(), 0u);
    EXPECT_EQ(port.ClientCount(), 1u);
    EXPECT_TRUE(client->HasSavedState());
    // Messages to a client without a stream still keep the books.
    client->ProcessShortMessage(0x05C3, 0);
    EXPECT_EQ(client->Program(3), 5);
    EXPECT_TRUE(port.Open(true));
    EXPECT_NE(client->Stream.load(), 0u);
}

TEST_F(EngineTest, PanicAndMixLevelsReachEveryStream) {
    ASSERT_TRUE(engine.Initialize());
    CMidiDevice& port = *engine.Port(0);
    port.OpenClient(::GetCurrentProcessId());
    OpenMade(port, 4242);  // a second program (its path cannot be read)
    EXPECT_EQ(port.GetChannelInstrument(0), L"* multiple clients *");
    port.ForEachClient([](ClientStream& c) { EXPECT_NE(c.Stream.load(), 0u); });

    synthtest::MidiRecorder rec(true);
    port.ForEachClient([](ClientStream& c) { c.ProcessShortMessage(0x403C91, 0); });
    EXPECT_EQ(port.ChannelActive[1].load(), 1u);
    engine.MidiPanic();
    EXPECT_EQ(port.ChannelActive[1].load(), 0u);
    EXPECT_EQ(rec.EventsOfType(MIDI_EVENT_NOTESOFF).size(), 32u);

    rec.Clear();
    port.SetVolume(50, 2);
    auto levels = rec.EventsOfType(MIDI_EVENT_MIXLEVEL);
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_EQ(levels[0].channel, 2u);
    EXPECT_EQ(levels[0].param, 50u);
    rec.Clear();
    port.SetSolo(true, 3);  // every other channel drops to SoloRatio (20)
    levels = rec.EventsOfType(MIDI_EVENT_MIXLEVEL);
    ASSERT_EQ(levels.size(), 32u);
    EXPECT_EQ(levels[0].param, 20u);
    EXPECT_EQ(levels[2].param, 10u);
    EXPECT_EQ(levels[3].param, 100u);
}

TEST_F(TwoPortEngineTest, PortsGetLabelsFontsByMaskAndTheMasterReverb) {
    ASSERT_TRUE(engine.Initialize());
    ASSERT_EQ(engine.PortCount(), 2u);
    EXPECT_EQ(engine.Port(0)->Label, L"");
    EXPECT_EQ(engine.Port(1)->Label, L"2");
    EXPECT_EQ(engine.Port(1)->GetName(), L"Tessaline #2");
    ClientStream* client = OpenMade(*engine.Port(1), ::GetCurrentProcessId());
    ASSERT_NE(client->Stream.load(), 0u);
    float reverb = 0;
    ASSERT_TRUE(BASS_ChannelGetAttribute(client->Stream, BASS_ATTRIB_MIDI_REVERB, &reverb));
    EXPECT_FLOAT_EQ(reverb, 1.0f);  // 150 / 100 in whole numbers

    // A list that keeps the font only for port 1 (the first port loses it).
    SoundFontList list = config.Settings().SoundFonts;
    list[0].EnabledPorts = 1;
    ASSERT_TRUE(engine.ApplySoundFontList(list));
    BASS_MIDI_FONT fonts[2] = {};
    EXPECT_EQ(BASS_MIDI_StreamGetFonts(client->Stream, fonts, 2), 0u);
    EXPECT_FALSE(engine.AllPortsHaveSoundFonts());
    EXPECT_EQ(config.Stored(L"SoundFonts", L"sf1.enabled"), L"1");

    // The same file twice (another letter case) is refused and changes nothing.
    list[0].EnabledPorts = 3;
    list.push_back(list[0]);
    for (auto& c : list[1].FileName) c = static_cast<wchar_t>(towupper(c));
    size_t duplicate = 0;
    EXPECT_FALSE(engine.ApplySoundFontList(list, nullptr, &duplicate));
    EXPECT_EQ(duplicate, 1u);
    EXPECT_EQ(config.Messages(), (std::vector<std::wstring>{L"cfg.sf.fontExists"}));
    EXPECT_EQ(config.Settings().SoundFonts.size(), 1u);
}

TEST_F(EngineTest, MorePortsAppearWhenTheCountIsRaised) {
    ASSERT_TRUE(engine.Initialize());
    ASSERT_EQ(engine.PortCount(), 1u);
    config.Settings().DevicesCount.Set(3);
    EXPECT_TRUE(engine.CreatePorts());
    EXPECT_EQ(engine.PortCount(), 3u);
    EXPECT_EQ(engine.Port(2)->Label, L"3");
    ClientStream* client = OpenMade(*engine.Port(2), ::GetCurrentProcessId());
    EXPECT_NE(client->Stream.load(), 0u);
}

// The listen thread's path keeps going while the main thread reloads, panics
// and walks the clients, and the watchdog's close of a client in use is safe.
namespace {

struct ListenerContext {
    CMidiDevice* port;
    std::atomic<bool> stop{false};
    std::atomic<unsigned> delivered[2] = {};
};

DWORD WINAPI Listener(void* param) {
    auto& ctx = *static_cast<ListenerContext*>(param);
    for (unsigned i = 0; !ctx.stop.load(); ++i) {
        const DWORD client = i & 1;
        // Channel 0 for the first client, 1 for the second: the recorder
        // tells them apart by the status byte.
        const bool found = ctx.port->WithClient(1001 + client, [&](ClientStream& c) {
            c.Take(ClientCall{ClientAction::ShortMessage, 0x403C90 | client});
            c.Take(ClientCall{ClientAction::ShortMessage, 0x003C80 | client});
        });
        if (found) ctx.delivered[client].fetch_add(1);
        if (i % 64 == 0) ::Sleep(1);
    }
    return 0;
}

size_t CountStatus(const std::vector<std::vector<BYTE>>& raw, BYTE status) {
    size_t count = 0;
    for (const auto& bytes : raw) count += !bytes.empty() && bytes[0] == status;
    return count;
}

}  // namespace

TEST_F(EngineTest, MessagesFlowWhileTheMainThreadReloadsAndClientsClose) {
    ASSERT_TRUE(engine.Initialize());
    CMidiDevice& port = *engine.Port(0);
    port.OpenClient(1001);
    OpenMade(port, 1002);
    synthtest::MidiRecorder rec(true);
    ListenerContext ctx;
    ctx.port = &port;
    HANDLE listener = ::CreateThread(nullptr, 0, &Listener, &ctx, 0, nullptr);
    ASSERT_NE(listener, nullptr);
    for (int round = 0; round < 2; ++round) {
        engine.Reload();
        engine.MidiPanic();
        EXPECT_EQ(port.GetChannelInstrument(0), L"* multiple clients *");
        port.GetLevel();
        port.ForEachClient([](ClientStream& c) { EXPECT_NE(c.Stream.load(), 0u) << "a client lost its stream"; });
    }
    ASSERT_TRUE(port.CloseClient(1002));
    EXPECT_FALSE(port.CloseClient(1002));
    EXPECT_EQ(port.ClientCount(), 1u);
    ctx.stop = true;
    EXPECT_EQ(::WaitForSingleObject(listener, 5000), WAIT_OBJECT_0);
    ::CloseHandle(listener);

    // Every message the listen thread delivered was handed on exactly once,
    // through reloads and the close.
    const auto raw = rec.Raw();
    for (DWORD client = 0; client < 2; ++client) {
        EXPECT_GT(ctx.delivered[client].load(), 0u);
        EXPECT_EQ(CountStatus(raw, static_cast<BYTE>(0x90 | client)), ctx.delivered[client].load()) << client;
        EXPECT_EQ(CountStatus(raw, static_cast<BYTE>(0x80 | client)), ctx.delivered[client].load()) << client;
    }
}

TEST_F(EngineTest, AClientOpenedWhileTheEngineWasDownGetsAFreshStreamOnRestore) {
    ASSERT_TRUE(engine.Initialize());
    CMidiDevice& port = *engine.Port(0);
    engine.Shutdown();
    ClientStream* client = OpenMade(port, 4242);
    EXPECT_EQ(client->Stream.load(), 0u);
    ASSERT_TRUE(engine.Initialize());
    synthtest::MidiRecorder rec(true);
    ASSERT_TRUE(port.Open(true));  // what a reload does
    ASSERT_NE(client->Stream.load(), 0u);
    EXPECT_EQ(rec.EventsOfType(MIDI_EVENT_DRUMS).size(), 16u) << "drums reset";
    EXPECT_EQ(rec.EventsOfType(MIDI_EVENT_MIXLEVEL).size(), 16u) << "mix levels applied";
    EXPECT_EQ(client->Program(0), 0);
}

TEST_F(EngineTest, NoStreamOutlivesAShutdownThatRacesWithOpens) {
    ASSERT_TRUE(engine.Initialize());
    CMidiDevice& port = *engine.Port(0);
    std::atomic<bool> stop{false};
    std::thread opener([&] {
        // Streams are made all the time; at most two clients live at once.
        for (DWORD id = 20000; !stop.load(); ++id) {
            port.OpenClient(id);
            port.CloseClient(id - 1);
        }
    });
    for (int round = 0; round < 15; ++round) {
        engine.Shutdown();
        size_t withStream = 0;
        port.ForEachClient([&](ClientStream& c) { withStream += c.Stream.load() != 0; });
        EXPECT_EQ(withStream, 0u) << "a stream was made while the engine shut down (round " << round << ")";
        ASSERT_TRUE(engine.Initialize());
        port.Open(true);
    }
    stop = true;
    opener.join();
}

namespace {
// One update cycle made longer than any fixed wait for the thread would be.
std::atomic<bool> g_slowCycleArmed{false};
std::atomic<bool> g_slowCycleEnded{false};
HANDLE g_inSlowCycle = nullptr;

void SlowCycle() {
    if (!g_slowCycleArmed.exchange(false)) return;
    ::SetEvent(g_inSlowCycle);
    ::Sleep(1500);
    g_slowCycleEnded = true;
}
}  // namespace

TEST_F(EngineTest, AStreamIsFreedOnlyAfterItsUpdateThreadEndedHoweverLongItsCycle) {
    ASSERT_TRUE(engine.Initialize());
    CMidiDevice& port = *engine.Port(0);
    g_inSlowCycle = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ClientStream::SetUpdateCycleHookForTests(&SlowCycle);
    ClientStream* client = OpenMade(port, ::GetCurrentProcessId());
    ClientStream::SetUpdateCycleHookForTests(nullptr);
    ASSERT_NE(client->Stream.load(), 0u);

    g_slowCycleArmed = true;
    const bool inCycle = ::WaitForSingleObject(g_inSlowCycle, 5000) == WAIT_OBJECT_0;
    client->FreeStream(false);
    const bool endedFirst = g_slowCycleEnded.load();
    // A thread left running must finish with the hook's state still here.
    for (int i = 0; i < 3000 && inCycle && !g_slowCycleEnded.load(); ++i) ::Sleep(1);
    ::CloseHandle(g_inSlowCycle);
    ASSERT_TRUE(inCycle);
    EXPECT_TRUE(endedFirst) << "the stream was freed while its update thread still rendered";
    EXPECT_EQ(client->Stream.load(), 0u);
}

namespace {
ClientStream* g_lateClient = nullptr;
void AskForALateStream() { g_lateClient->CreateStream(false); }
}  // namespace

TEST_F(EngineTest, NoStreamIsMadeOnceAShutdownHasClosedThePorts) {
    // The stream worker gets to a new client just as the shutdown closed the
    // ports: the stream it asks for then must not be made at all.
    ASSERT_TRUE(engine.Initialize());
    CMidiDevice& port = *engine.Port(0);
    g_lateClient = port.OpenClient(20000);
    ASSERT_NE(g_lateClient, nullptr);
    SynthEngine::SetPortsClosedHookForTests(&AskForALateStream);
    engine.Shutdown();
    SynthEngine::SetPortsClosedHookForTests(nullptr);
    EXPECT_EQ(g_lateClient->Stream.load(), 0u) << "a stream outlived the shutdown";
    g_lateClient->FreeStream(false);
    g_lateClient = nullptr;
}

namespace {
// Two closes of one client meet at the start of CloseClient, so whatever the
// directory does before it, both have done it when either goes on.
std::atomic<int> g_closesArrived{0};

void MeetTheOtherClose(DWORD) {
    g_closesArrived.fetch_add(1);
    for (int i = 0; i < 1000 && g_closesArrived.load() < 2; ++i) ::Sleep(1);
}
}  // namespace

TEST_F(EngineTest, TwoThreadsClosingOneClientCountItOnce) {
    // The listen thread (a close entry) and the watchdog (a silent client)
    // close the same client at the same moment. Records without streams
    // (the engine is down) keep the rounds cheap.
    ASSERT_TRUE(engine.Initialize());
    CMidiDevice& port = *engine.Port(0);
    engine.Shutdown();
    IClientDirectory& directory = EngineDirectory();
    CMidiDevice::SetCloseHookForTests(&MeetTheOtherClose);
    for (DWORD round = 0; round < 20; ++round) {
        const DWORD id = 30000 + round;
        port.OpenClient(id);
        g_closesArrived = 0;
        std::atomic<int> counted{0};
        auto close = [&] { counted.fetch_add(directory.Close(0, id) ? 1 : 0); };
        std::thread listen(close), watchdog(close);
        listen.join();
        watchdog.join();
        EXPECT_EQ(counted.load(), 1) << "round " << round;
        if (counted.load() != 1) break;
    }
    CMidiDevice::SetCloseHookForTests(nullptr);
    EXPECT_EQ(port.ClientCount(), 0u);
}

TEST_F(EngineTest, AReloadStuckOnOneClientHoldsUpNoOtherOpenCloseOrMessage) {
    ASSERT_TRUE(engine.Initialize());
    CMidiDevice& port = *engine.Port(0);
    ClientStream* slow = port.OpenClient(1001);
    port.OpenClient(1002);
    OpenMade(port, 1003);
    // The reload is stuck re-creating the first client's stream.
    slow->LifecycleLockForTests().LockExclusive();
    std::thread reload([&] { engine.Reload(); });
    ::Sleep(100);

    std::atomic<bool> done{false};
    std::thread listen([&] {
        port.OpenClient(1004);
        port.CloseClient(1003);
        port.WithClient(1002, [](ClientStream& c) { c.ProcessShortMessage(0x403C90, 0); });
        done = true;
    });
    for (int i = 0; i < 10000 && !done.load(); ++i) ::Sleep(1);
    EXPECT_TRUE(done) << "the listen thread waited for the reload";
    slow->LifecycleLockForTests().UnlockExclusive();
    listen.join();
    reload.join();
    engine.Streams().Drain();
    EXPECT_EQ(port.ClientCount(), 3u);
    port.ForEachClient([](ClientStream& c) { EXPECT_NE(c.Stream.load(), 0u) << c.ProcessId; });
}

// Making a stream takes tens of milliseconds; the listen thread must not
// spend them. Here the making is held up for as long as the test wants.
TEST_F(EngineTest, AnOpenOrCloseWaitsForNoStreamAndWhatTheClientSentMeanwhileIsPlayedInOrder) {
    ASSERT_TRUE(engine.Initialize());
    CMidiDevice& port = *engine.Port(0);
    ClientStream* leaving = OpenMade(port, 1002);
    const HSTREAM leavingStream = leaving->Stream.load();
    synthtest::MidiRecorder rec(true);
    engine.StreamCreationLock().LockExclusive();
    leaving->LifecycleLockForTests().LockExclusive();

    // A SysEx of three chunks sent from one buffer the client reuses, as
    // ring entries are reused: what is held must be a copy.
    BYTE sysex[120];
    sysex[0] = 0xF0;
    for (DWORD i = 1; i + 1 < sizeof sysex; ++i) sysex[i] = static_cast<BYTE>(i & 0x7F);
    sysex[sizeof sysex - 1] = 0xF7;
    std::atomic<bool> done{false};
    ClientStream* client = nullptr;
    std::thread listen([&] {
        client = port.OpenClient(1001);
        EXPECT_TRUE(port.CloseClient(1002));
        port.WithClient(1001, [&](ClientStream& c) {
            c.Take(ClientCall{ClientAction::LongMessage, 0, 1, kGsReset, sizeof kGsReset});
            c.Take(ClientCall{ClientAction::ShortMessage, 0x0800B1});  // bank 8
            c.Take(ClientCall{ClientAction::ShortMessage, 0x00C1});    // program 1
            BYTE chunk[50];
            for (DWORD part = 0; part < 3; ++part) {
                const DWORD length = std::min<DWORD>(50, sizeof sysex - part * 50);
                std::copy_n(sysex + part * 50, length, chunk);
                c.Take(ClientCall{ClientAction::LongMessage, part, 3, chunk, length});
                std::fill_n(chunk, sizeof chunk, BYTE{0x55});
            }
            for (DWORD i = 0; i < 4000; ++i) c.Take(ClientCall{ClientAction::ShortMessage, i % 2 ? 0x003C81u : 0x403C91u});
        });
        done = true;
    });
    for (int i = 0; i < 10000 && !done.load(); ++i) ::Sleep(1);
    EXPECT_TRUE(done) << "the listen thread waited for a stream to be made or freed";
    EXPECT_EQ(port.ClientCount(), 1u);
    EXPECT_TRUE(rec.Raw().empty()) << "a call was played before its stream existed";
    engine.StreamCreationLock().UnlockExclusive();
    leaving->LifecycleLockForTests().UnlockExclusive();
    listen.join();
    engine.Streams().Drain();

    ASSERT_NE(client->Stream.load(), 0u);
    EXPECT_EQ(BASS_ChannelIsActive(leavingStream), static_cast<DWORD>(BASS_ACTIVE_STOPPED)) << "the closed client's stream was not freed";
    EXPECT_EQ(client->GetSystemMode(), static_cast<uint32_t>(ModeGS));
    EXPECT_EQ(std::wstring(client->InstrumentName(1)), L"Piano 1w");
    // Of what the stream was sent, the client's own messages in its order.
    std::vector<std::vector<BYTE>> sent;
    for (const auto& bytes : rec.Raw()) {
        if (bytes == std::vector<BYTE>(kGsReset, kGsReset + sizeof kGsReset) || bytes.size() == sizeof sysex ||
            (bytes.size() >= 2 && (bytes[0] & 0x0F) == 1 && bytes[0] >= 0x80 && bytes[0] < 0xF0))
            sent.push_back(bytes);
    }
    ASSERT_EQ(sent.size(), 4004u);
    EXPECT_EQ(sent[0].size(), sizeof kGsReset);
    EXPECT_EQ(sent[1], (std::vector<BYTE>{0xB1, 0x00, 0x08}));
    EXPECT_EQ(sent[2], (std::vector<BYTE>{0xC1, 0x00}));
    EXPECT_EQ(sent[3], std::vector<BYTE>(sysex, sysex + sizeof sysex));
    for (size_t i = 4; i < sent.size(); ++i) ASSERT_EQ(sent[i][0], (i % 2 ? 0x81 : 0x91)) << i;
}

// Calls that come while the worker plays the backlog join its end: none is
// played twice, lost, or ahead of an earlier one.
TEST_F(EngineTest, CallsRacingWithTheCatchUpKeepTheirOrder) {
    ASSERT_TRUE(engine.Initialize());
    CMidiDevice& port = *engine.Port(0);
    synthtest::MidiRecorder rec(true);
    for (DWORD round = 0; round < 20; ++round) {
        rec.Clear();
        const DWORD id = 5000 + round;
        port.OpenClient(id);
        // Flat out from the moment of the open, while the worker makes the
        // stream and catches up.
        for (DWORD i = 0; i < 3000; ++i)
            port.WithClient(id, [&](ClientStream& c) { c.Take(ClientCall{ClientAction::ShortMessage, 0x90u | ((i & 0x7F) << 8) | (1u << 16)}); });
        engine.Streams().Drain();
        DWORD next = 0;
        for (const auto& bytes : rec.Raw()) {
            if (bytes.size() != 3 || bytes[0] != 0x90) continue;
            ASSERT_EQ(bytes[1], next & 0x7F) << "round " << round << ", message " << next;
            ++next;
        }
        EXPECT_EQ(next, 3000u) << "round " << round;
        port.CloseClient(id);
    }
}

namespace {

// A user who takes their time over a message box: the box stays up until
// the test lets go (or 20 s pass).
std::atomic<int> g_boxesShown{0};
std::atomic<int> g_boxesAnswered{0};
std::atomic<bool> g_letGo{false};
std::wstring g_boxText;

int SlowUser(const std::wstring& text, const std::wstring&, UINT)
{
    g_boxText = text;
    g_boxesShown.fetch_add(1);
    for (int i = 0; i < 20000 && !g_letGo.load(); ++i) ::Sleep(1);
    g_boxesAnswered.fetch_add(1);
    return IDOK;
}

class NoSoundEngineTest : public EngineTest {
protected:
    // The no-sound device plays nothing: every client's stream fails.
    NoSoundEngineTest() : EngineTest("", "0") {}
};

}  // namespace

TEST_F(NoSoundEngineTest, AStreamThatCannotBeMadeIsReportedWithoutHoldingUpTheCaller) {
    ASSERT_TRUE(engine.Initialize());
    SetMessageBoxHook(&SlowUser);
    CMidiDevice& port = *engine.Port(0);
    // The listen thread opens clients: it goes on while the box waits for the user.
    ClientStream* client = OpenMade(port, ::GetCurrentProcessId());
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(client->Stream.load(), 0u);
    for (int i = 0; i < 5000 && g_boxesShown.load() == 0; ++i) ::Sleep(1);
    ASSERT_EQ(g_boxesShown.load(), 1);
    EXPECT_EQ(g_boxesAnswered.load(), 0);
    EXPECT_EQ(g_boxText.rfind(L"err.midiStream", 0), 0u) << g_boxText;
    // The client without a stream takes messages without effect, and a second
    // open of the same client does not ask again.
    EXPECT_TRUE(port.WithClient(::GetCurrentProcessId(), [](ClientStream& c) { c.ProcessShortMessage(0x403C90, 0); }));
    EXPECT_EQ(port.OpenClient(::GetCurrentProcessId()), client);
    g_letGo = true;
    for (int i = 0; i < 5000 && g_boxesAnswered.load() == 0; ++i) ::Sleep(1);
    EXPECT_EQ(g_boxesShown.load(), 1);
    port.CloseClient(::GetCurrentProcessId());
}
