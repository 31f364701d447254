// The soak test: the synth (its engine, channel server, listen thread and
// watchdog, in this process) against client programs on every port that open,
// play short messages and SysEx, close, are killed in the middle of a SysEx
// or suspended in the middle of a write, while the synth reloads its
// soundfonts and is restarted. Every client that lives to its end must have
// reached its stream with exactly the messages it sent, none of them may
// leave a note sounding after its all-notes-off, and the synth's threads,
// handles and memory must come back to their level after warm-up.
//
// The short form (CTest) runs a few rounds of two programs per port; the
// long form (bench/soak/run.sh) sets TSL_SOAK_MINUTES and
// TSL_SOAK_PROGRAMS_PER_PORT. No assertion depends on how fast the machine is:
// every wait is for an event, with only a generous upper bound.
#include "e2e/channel/channel_fixture.h"

#include "core/language.h"
#include "core/message_box.h"
#include "core/settings.h"
#include "ipc/engine_directory.h"
#include "ipc/ipc_server.h"
#include "ipc/kernel_handle.h"
#include "backend/tests/output/capture.h"
#include "support/counting_directory.h"
#include "live_heap.h"
#include "synth/synth_engine.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using namespace tsltest;

namespace {

constexpr DWORD kPorts = 4;
// A player plays two bursts of 2 threads x 500 note pairs and two runs of
// 20 SysEx, with pauses between them, so reloads land while it plays.
constexpr DWORD kBurstPairs = 2 * 2 * 500;
constexpr DWORD kSysExCount = 2 * 20;
constexpr DWORD kSysExBytes = 260;  // six chunks, the last one short
constexpr DWORD kChunksPerSysEx = (kSysExBytes + 49) / 50;
constexpr DWORD kNotesOffMessages = 16;

DWORD EnvNumber(const char* name, DWORD fallback)
{
    const char* text = std::getenv(name);
    return text && *text ? static_cast<DWORD>(std::strtoul(text, nullptr, 10)) : fallback;
}

std::vector<std::wstring> g_boxes;
std::mutex g_boxLock;
int RecordBox(const std::wstring& text, const std::wstring&, UINT)
{
    std::lock_guard guard(g_boxLock);
    g_boxes.push_back(text);
    return IDOK;
}

// A named event shared with the client programs of this run.
class Signal {
public:
    explicit Signal(const std::wstring& name)
        : m_name(L"tsl-soak-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name),
          m_event(CreateEventW(nullptr, TRUE, FALSE, m_name.c_str()))
    {
    }
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    const std::wstring& Name() const { return m_name; }
    bool Wait(DWORD ms) const { return WaitForSingleObject(m_event.Get(), ms) == WAIT_OBJECT_0; }
    void Set() const { SetEvent(m_event.Get()); }

private:
    std::wstring m_name;
    CKernelHandle m_event;
};

// Visits the ids of the threads of a process.
template <typename F>
void ForEachThread(DWORD processId, F&& visit)
{
    CKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry)) {
        if (entry.th32OwnerProcessID == processId)
            visit(entry.th32ThreadID);
    }
}

// Every thread of a process stopped where it is, as a debugger does.
void SuspendProcess(DWORD processId)
{
    ForEachThread(processId, [](DWORD threadId) {
        CKernelHandle thread(OpenThread(THREAD_SUSPEND_RESUME, FALSE, threadId));
        if (thread)
            SuspendThread(thread.Get());
    });
}

struct Resources {
    DWORD threads = 0;
    DWORD handles = 0;
    SIZE_T privateBytes = 0;
    SIZE_T heapFree = 0;   // free blocks the process's heaps keep committed
    int64_t liveHeap = 0;  // what this program holds through operator new
    // Private memory less what the heaps keep for reuse. Wine's heap never
    // gives freed blocks back (its HeapCompact does nothing), so its free
    // space follows the busiest moment so far, tens of megabytes with 32
    // streams made and freed from many threads; what is left is what the
    // process really holds.
    SIZE_T Held() const { return privateBytes > heapFree ? privateBytes - heapFree : 0; }
};

SIZE_T HeapFreeBytes()
{
    HANDLE heaps[64];
    const DWORD count = std::min<DWORD>(GetProcessHeaps(64, heaps), 64);
    SIZE_T free = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry)) {
            if ((entry.wFlags & (PROCESS_HEAP_REGION | PROCESS_HEAP_UNCOMMITTED_RANGE | PROCESS_HEAP_ENTRY_BUSY)) == 0)
                free += entry.cbData;
        }
        HeapUnlock(heaps[i]);
    }
    return free;
}

Resources Measure()
{
    Resources r;
    ForEachThread(GetCurrentProcessId(), [&](DWORD) { ++r.threads; });
    // Wine reports no handle count: there the handle table is walked.
    if (!GetProcessHandleCount(GetCurrentProcess(), &r.handles) || r.handles == 0) {
        for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
            DWORD flags;
            r.handles += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != FALSE;
        }
    }
    // The commit charge: Windows' private bytes, and what Wine fills in.
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    r.privateBytes = memory.PagefileUsage;
    r.heapFree = HeapFreeBytes();
    r.liveHeap = LiveHeapBytes();
    return r;
}

enum class Role { Player, KilledMidSysEx, SuspendedMidWrite };

struct Program {
    Role role;
    DWORD port;
    ChildProcess process;
    std::unique_ptr<Signal> notesOff;  // players: their all-notes-off is sent
};

class Soak : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestInstallation::DeleteRegistryPath();
        m_install = std::make_unique<TestInstallation>("soak");
        m_install->WriteConfig("[Advanced]\r\nDevicesCount=4\r\nWatchdogTimeout=4000\r\n"
                               "[SoundFonts]\r\nsf1=Z:\\usr\\share\\sounds\\sf2\\TimGM6mb.sf2\r\nsf1.enabled=15\r\n");
        TestInstallation::SetRegistryPath(m_install->Folder());
        SetMessageBoxHook(&RecordBox);
        m_settings = std::make_unique<CSettings>(m_install->Folder());
        g_Settings = m_settings.get();
        m_counts = std::make_unique<CountingDirectory>(&EngineDirectory());
        StartSynth();
    }

    void TearDown() override
    {
        StopSynth();
        g_Settings = nullptr;
        m_settings.reset();
        SetMessageBoxHook(nullptr);
        TestInstallation::DeleteRegistryPath();
        EXPECT_TRUE(g_boxes.empty()) << (g_boxes.empty() ? "" : Narrow(g_boxes.front()));
    }

    void StartSynth()
    {
        m_engine = std::make_unique<SynthEngine>();
        g_Engine = m_engine.get();
        ASSERT_TRUE(m_engine->Initialize());
        m_server = std::make_unique<CIpcServer>(*m_counts, g_Settings->WatchdogTimeout.Get());
        ASSERT_TRUE(m_server->Open());
        ASSERT_TRUE(m_server->StartListening());
    }

    // What a restart of the synth does: the server goes, then the engine.
    void StopSynth()
    {
        if (m_server)
            m_server->Close();
        m_server.reset();
        if (m_engine) {
            m_engine->Shutdown();
            m_engine->DestroyPorts();
        }
        g_Engine = nullptr;
        m_engine.reset();
    }

    void Restart()
    {
        StopSynth();
        StartSynth();
    }

    size_t OpenStreams()
    {
        size_t count = 0;
        for (DWORD port = 0; port < kPorts; ++port)
            count += m_engine->Port(port) ? m_engine->Port(port)->ClientCount() : 0;
        return count;
    }

    DWORD Voices(DWORD port, DWORD processId)
    {
        DWORD voices = 0;
        m_engine->Port(port)->WithClient(processId, [&](ClientStream& client) { voices = client.ActiveVoices(); });
        return voices;
    }

    std::wstring ClientArguments(DWORD port, const std::wstring& commands)
    {
        return L"--dll \"" + DriverPath() + L"\" --port " + std::to_wstring(port) + L" " + commands;
    }

    void RunRound(DWORD round, DWORD programsPerPort, bool listen);
    void ExpectSilence();

    // Where the listen thread stands, for a failure's message.
    std::string RingState()
    {
        BlockView block;
        return "ring read " + std::to_string(block.Read()) + " write " + std::to_string(block.Write()) + ", " +
               std::to_string(m_server->OpenClientCount()) + " clients open";
    }

    std::unique_ptr<TestInstallation> m_install;
    std::unique_ptr<CSettings> m_settings;
    std::unique_ptr<CountingDirectory> m_counts;
    std::unique_ptr<SynthEngine> m_engine;
    std::unique_ptr<CIpcServer> m_server;
};

void Soak::RunRound(DWORD round, DWORD programsPerPort, bool listen)
{
    const ULONGLONG start = GetTickCount64();
    auto stage = [&](const char* what) { std::printf("soak: round %lu %s at %llu ms\n", round, what, GetTickCount64() - start); };
    Signal go(L"go-" + std::to_wstring(round));
    // Programs wait for it before they open, so that a tally left by an ended
    // program whose id Windows gave to a new one is forgotten first.
    Signal begin(L"begin-" + std::to_wstring(round));
    std::vector<std::unique_ptr<Program>> programs;
    for (DWORD port = 0; port < kPorts; ++port) {
        for (DWORD n = 0; n < programsPerPort; ++n) {
            auto program = std::make_unique<Program>();
            program->port = port;
            // Every port has players; the victims take turns over the ports.
            const DWORD slot = port * programsPerPort + n;
            program->role = n + 1 < programsPerPort || programsPerPort == 1 ? Role::Player
                            : (slot / programsPerPort + round) % 2 == 0 ? Role::KilledMidSysEx
                                                                       : Role::SuspendedMidWrite;
            std::wstring commands;
            switch (program->role) {
            case Role::Player:
                program->notesOff = std::make_unique<Signal>(L"off-" + std::to_wstring(round) + L"-" + std::to_wstring(slot));
                {
                    const std::wstring sysex = L" --sysex-burst 20 " + std::to_wstring(kSysExBytes);
                    commands = L"--open --threads 2 --burst 500 --sleep 400" + sysex + L" --sleep 400 --burst 500" + sysex +
                               L" --all-notes-off --signal-event " + program->notesOff->Name() + L" --wait-limit 600000 --wait-event " + go.Name() +
                               L" --close";
                }
                break;
            case Role::KilledMidSysEx:
                commands = L"--open --pace 1 --sysex-burst 100000000 " + std::to_wstring(kSysExBytes * 4);
                break;
            case Role::SuspendedMidWrite:
                commands = L"--open --pace 1 --threads 2 --burst 100000000";
                break;
            }
            ASSERT_TRUE(program->process.Start(ClientPath(), ClientArguments(port, L"--wait-event " + begin.Name() + L" " + commands)));
            m_counts->Forget(port, program->process.Id());
            programs.push_back(std::move(program));
        }
    }
    begin.Set();

    // The soundfonts reload while everyone plays.
    for (auto& program : programs) {
        ASSERT_TRUE(WaitUntil([&] { return m_counts->Tally(program->port, program->process.Id()).opens > 0; }, kClientTimeoutMs))
            << "a program did not get its port open";
    }
    stage("all open");
    m_engine->Reload();
    stage("reloaded");

    // The victims: one killed in the middle of a long message, one stopped in
    // the middle of its writes (perhaps holding the ring's lock) and then killed.
    // They pace their writes: flat out, four of them would take a 2-core
    // machine for themselves and starve the players past the driver's limit.
    for (auto& program : programs) {
        if (program->role == Role::SuspendedMidWrite) {
            SuspendProcess(program->process.Id());
            Sleep(1000);  // the others take the lock over meanwhile
        }
    }
    for (auto& program : programs) {
        if (program->role != Role::Player)
            program->process.Kill();
    }

    stage("victims gone");
    // Each player's notes off reach its stream and nothing keeps sounding.
    for (auto& program : programs) {
        if (program->role != Role::Player)
            continue;
        ASSERT_TRUE(program->notesOff->Wait(kClientTimeoutMs)) << "a player did not get to its all-notes-off";
    }
    for (auto& program : programs) {
        if (program->role != Role::Player)
            continue;
        const DWORD id = program->process.Id();
        const DWORD expectedShort = kBurstPairs * 2 + kNotesOffMessages;
        EXPECT_TRUE(WaitUntil([&] { return m_counts->Tally(program->port, id).shortMessages >= expectedShort; }, 20000));
        EXPECT_TRUE(WaitUntil([&] { return Voices(program->port, id) == 0; }, 20000))
            << "notes still sound on port " << program->port << " after the all-notes-off";
    }
    stage("all notes off");
    if (listen)
        ExpectSilence();
    go.Set();

    for (auto& program : programs) {
        if (program->role != Role::Player)
            continue;
        EXPECT_EQ(program->process.WaitExit(kClientTimeoutMs), std::optional<DWORD>(0));
        const ClientTally tally = m_counts->Tally(program->port, program->process.Id());
        EXPECT_EQ(tally.shortMessages, kBurstPairs * 2 + kNotesOffMessages) << "round " << round << " port " << program->port;
        EXPECT_EQ(tally.longChunks, kSysExCount * kChunksPerSysEx) << "round " << round << " port " << program->port;
        EXPECT_TRUE(WaitUntil([&] { return m_counts->Tally(program->port, program->process.Id()).closes == 1; }, 10000))
            << "round " << round << " port " << program->port << ": its close did not arrive; " << RingState();
    }
    stage("players closed");
    // The watchdog takes the victims' streams; only the held program's is left.
    EXPECT_TRUE(WaitUntil([&] { return OpenStreams() == 1; }, 30000)) << OpenStreams() << " streams left; " << RingState();
    EXPECT_TRUE(WaitUntil([&] { return m_server->OpenClientCount() == 1; }, 5000));
    std::printf("soak: round %lu took %llu ms\n", round, GetTickCount64() - start);
}

// What the synth played last, from the capture of the Wine set-up: silence,
// once the reverb has died away after every player's all-notes-off. The
// captured device may run behind the synth, so the last 100 ms are read
// again until they are silent, for up to ten seconds: a tail that rings on
// longer is a note that still sounds.
void Soak::ExpectSilence()
{
    const std::string path = tsl::test::CapturePath();
    if (path.empty()) {
        std::printf("soak: TSL_AUDIO_CAPTURE not set (run through tools/wine-run); the capture is not checked\n");
        return;
    }
    auto peak = [](const CapturedAudio& heard, size_t from, size_t to) {
        float loudest = 0;
        for (size_t i = from; i < to; ++i)
            loudest = std::max(loudest, std::abs(heard.left[i]));
        return loudest;
    };
    float loudest = 0, last = 0;
    const ULONGLONG deadline = GetTickCount64() + 10000;
    do {
        Sleep(500);
        const CapturedAudio heard = ReadCapturedAudio(path);
        const size_t tail = static_cast<size_t>(heard.rate / 10);
        ASSERT_GT(heard.left.size(), tail) << "nothing captured in " << path;
        const size_t split = heard.left.size() - tail;
        loudest = peak(heard, 0, split);
        last = peak(heard, split, heard.left.size());
    } while (last >= 0.001f && GetTickCount64() < deadline);
    EXPECT_GT(loudest, 0.01f) << "the players were not heard";
    EXPECT_LT(last, 0.001f) << "a note still sounds after the all-notes-off";
}

TEST_F(Soak, ProgramsComeAndGoDieAndStallWhileTheSynthReloadsAndRestarts)
{
    const DWORD minutes = EnvNumber("TSL_SOAK_MINUTES", 0);
    const DWORD perPort = std::max<DWORD>(2, EnvNumber("TSL_SOAK_PROGRAMS_PER_PORT", 2));
    const bool keepSynth = EnvNumber("TSL_SOAK_NO_RESTART", 0) != 0;
    const ULONGLONG end = GetTickCount64() + ULONGLONG(minutes) * 60000;

    // A program that keeps its port open across the restarts and plays after them.
    Signal holderReady(L"holder-ready"), holderGo(L"holder-go");
    ChildProcess holder;
    ASSERT_TRUE(holder.Start(ClientPath(), ClientArguments(3, L"--open --wait-limit 86400000 --signal-event " + holderReady.Name() + L" --wait-event " +
                                                               holderGo.Name() + L" --burst 500 --all-notes-off --close")));
    ASSERT_TRUE(holderReady.Wait(kClientTimeoutMs));

    Resources warm{};
    DWORD rounds = 0;
    ASSERT_TRUE(WaitUntil([&] { return m_counts->Tally(3, holder.Id()).opens > 0; }, kClientTimeoutMs));
    for (DWORD round = 0;; ++round) {
        const bool last = round >= 2 && GetTickCount64() >= end;
        RunRound(round, perPort, last);
        if (HasFatalFailure())
            return;
        ++rounds;
        // Measured once the streams of the programs that left are freed.
        m_engine->Streams().Drain();
        // A line a round, so that a long run shows whether memory levels off or climbs.
        const Resources now = Measure();
        std::printf("soak: after round %lu: threads %lu, handles %lu, private %llu KiB (heaps' free blocks %llu KiB), live heap %lld KiB\n",
                    round, now.threads, now.handles, static_cast<unsigned long long>(now.privateBytes / 1024),
                    static_cast<unsigned long long>(now.heapFree / 1024), static_cast<long long>(now.liveHeap / 1024));
        if (round == 1)
            warm = now;
        if (last)
            break;
        // TSL_SOAK_NO_RESTART=1 keeps one synth for the whole run, to tell
        // what the restarts do from what the clients do.
        if (keepSynth)
            continue;
        // The holder's keep-alive opens its stream again on the new synth.
        const uint64_t opens = m_counts->Tally(3, holder.Id()).opens;
        Restart();
        ASSERT_TRUE(WaitUntil([&] { return m_counts->Tally(3, holder.Id()).opens > opens; }, 20000))
            << "the held program did not come back after the restart";
    }
    const Resources after = Measure();

    holderGo.Set();
    EXPECT_EQ(holder.WaitExit(kClientTimeoutMs), std::optional<DWORD>(0));
    EXPECT_EQ(m_counts->Tally(3, holder.Id()).shortMessages, 500u * 2 + kNotesOffMessages);

    std::printf("soak: %lu rounds, %lu programs per port; threads %lu -> %lu, handles %lu -> %lu, private %llu -> %llu KiB, "
                "held %llu -> %llu KiB, live heap %lld -> %lld KiB\n",
                rounds, perPort, warm.threads, after.threads, warm.handles, after.handles, static_cast<unsigned long long>(warm.privateBytes / 1024),
                static_cast<unsigned long long>(after.privateBytes / 1024), static_cast<unsigned long long>(warm.Held() / 1024),
                static_cast<unsigned long long>(after.Held() / 1024), static_cast<long long>(warm.liveHeap / 1024),
                static_cast<long long>(after.liveHeap / 1024));
    // Wine may keep a helper thread more or less of its own.
    EXPECT_LE(after.threads, warm.threads + 2);
    EXPECT_LE(after.handles, warm.handles + 16);
    EXPECT_LE(after.Held(), warm.Held() + 16 * 1024 * 1024);
    // Exact to the byte: a record or a stream left behind is far more than
    // the test's own tally of a few hundred programs.
    EXPECT_LE(after.liveHeap, warm.liveHeap + 1024 * 1024);
}

}  // namespace
