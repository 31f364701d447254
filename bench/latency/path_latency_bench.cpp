// Time from a client's midiOutShortMsg to the note's first sample leaving the
// output device, through everything a note passes on its way: the driver
// library's modMessage writes the ring entry, the synth's listen thread takes
// it and hands it to the client's stream, the stream's update thread renders
// it AdditionalBuffer ahead, and the device mixes it. Measured for several
// AdditionalBuffer values; bench/latency/RESULTS.md has the figures.
//
// A second, smaller table splits off the first stretch: from sending to the
// moment the listen thread has handled the entry and moved the ring's read
// index on (the stream has stamped the event by then), timed with
// QueryPerformanceCounter. The sender watches
// the read index, yielding its processor between looks so as not to hold up
// the listen thread it waits for.
//
// The synth side is started as Tessaline.exe starts it (settings from an
// installation folder, then StartupServices: the engine with its ports and
// devices, the shared block and the listen thread); the client side is this
// build's Tessaline.dll, loaded and called the way winmm calls a driver. Both
// live in this one process: the ring, its events and the listen thread are
// the same as with a separate client program, and one process lets both ends
// be read on one clock, the device's (see latency_probe.h).
//
// Usage: tsl_path_latency_bench [notes-per-setting] [--dll PATH]
//   The driver defaults to the Tessaline.dll beside this program.
#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bass.h"
#include "core/message_box.h"
#include "core/registry.h"
#include "core/settings.h"
#include "core/startup_services.h"
#include "ipc/ipc_server.h"
#include "ipc/ring_layout.h"
#include "latency_probe.h"
#include "output/device.h"
#include "output/device_manager.h"
#include "output/playback.h"
#include "synth/synth_engine.h"
#include "synth/update_pacer.h"

using namespace std::chrono;

namespace {

constexpr uint32_t kRate = 48000;

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::fflush(stderr);
    std::exit(1);
}

// The program would put a failure in a message box; nobody is there to press OK.
int PrintMessage(const std::wstring& text, const std::wstring&, UINT)
{
    std::fprintf(stderr, "message: %ls\n", text.c_str());
    return IDOK;
}

// The driver library as winmm drives it: DriverProc's load and open, then
// modMessage for the port.
class Driver {
public:
    explicit Driver(const std::wstring& path)
    {
        m_module = LoadLibraryW(path.c_str());
        if (!m_module)
            Fail("cannot load the driver library");
        m_driverProc = reinterpret_cast<DriverProcFn>(reinterpret_cast<void*>(GetProcAddress(m_module, "DriverProc")));
        m_modMessage = reinterpret_cast<ModMessageFn>(reinterpret_cast<void*>(GetProcAddress(m_module, "modMessage")));
        if (!m_driverProc || !m_modMessage)
            Fail("the driver library lacks DriverProc or modMessage");
        m_driverProc(0, Handle(), DRV_LOAD, 0, 0);
        m_driverProc(0, Handle(), DRV_ENABLE, 0, 0);
        m_driverId = static_cast<DWORD_PTR>(m_driverProc(0, Handle(), DRV_OPEN, 0, 0));
        m_modMessage(0, DRVM_INIT, 0, 0, 0);
    }
    ~Driver()
    {
        if (m_instance)
            m_modMessage(0, MODM_CLOSE, m_instance, 0, 0);
        m_driverProc(m_driverId, Handle(), DRV_CLOSE, 0, 0);
        m_driverProc(m_driverId, Handle(), DRV_DISABLE, 0, 0);
        m_driverProc(m_driverId, Handle(), DRV_FREE, 0, 0);
        FreeLibrary(m_module);
    }
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // Port 0. The driver refuses while the listen thread has not yet marked
    // the block as served, so this tries for a while.
    bool Open()
    {
        MIDIOPENDESC desc = {};
        desc.hMidi = reinterpret_cast<HMIDI>(static_cast<DWORD_PTR>(0x100));
        for (int tries = 0; tries < 500; ++tries) {
            if (m_modMessage(0, MODM_OPEN, reinterpret_cast<DWORD_PTR>(&m_instance), reinterpret_cast<DWORD_PTR>(&desc),
                             CALLBACK_NULL) == MMSYSERR_NOERROR)
                return true;
            Sleep(10);
        }
        return false;
    }

    DWORD Short(const uint8_t (&bytes)[3])
    {
        return m_modMessage(0, MODM_DATA, m_instance, DWORD(bytes[0]) | DWORD(bytes[1]) << 8 | DWORD(bytes[2]) << 16, 0);
    }

private:
    using DriverProcFn = LRESULT(WINAPI*)(DWORD_PTR, HDRVR, UINT, LPARAM, LPARAM);
    using ModMessageFn = DWORD(WINAPI*)(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);
    static HDRVR Handle() { return reinterpret_cast<HDRVR>(1); }

    HMODULE m_module = nullptr;
    DriverProcFn m_driverProc = nullptr;
    ModMessageFn m_modMessage = nullptr;
    DWORD_PTR m_driverId = 0;
    DWORD_PTR m_instance = 0;
};

// One port with TimGM6mb; no MIDI effects, so each hit's tail dies out before
// the next and the onset search sees silence in between.
void WriteConfig(const std::filesystem::path& folder, uint32_t additional)
{
    std::filesystem::create_directories(folder);
    std::ofstream conf(folder / "Tessaline.conf", std::ios::binary | std::ios::trunc);
    conf << "[Advanced]\r\nDevicesCount=1\r\nAdditionalBuffer=" << additional
         << "\r\nDisableMidiEffects=1\r\nOutputSampleRate=" << kRate
         << "\r\n[SoundFonts]\r\nsf1=Z:\\usr\\share\\sounds\\sf2\\TimGM6mb.sf2\r\nsf1.enabled=1\r\n";
    if (!conf)
        Fail("cannot write the configuration file");
}

// The open entry reaches the port on the listen thread, which then creates the stream.
HSTREAM WaitForClientStream(DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    do {
        HSTREAM stream = 0;
        if (CMidiDevice* port = g_Engine ? g_Engine->Port(0) : nullptr)
            port->WithClient(GetCurrentProcessId(), [&](ClientStream& client) { stream = client.Stream.load(); });
        if (stream)
            return stream;
        Sleep(5);
    } while (GetTickCount64() < deadline);
    return 0;
}

// From sending to the listen thread's hand-over, in milliseconds.
struct HandOver {
    double mean = 0, max = 0;
    int late = 0;  // not handed over within the wait
};

latency::Figures Measure(uint32_t additional, int notes, const std::filesystem::path& folder, const std::wstring& dll,
                         HandOver& handOver)
{
    WriteConfig(folder, additional);
    g_Settings = new CSettings(folder.wstring());
    if (!g_Settings->Loaded())
        Fail("the settings did not load");
    latency::Figures r;
    r.additionalMs = additional;
    {
        StartupServices services;
        if (!services.StartEngine() || !services.StartChannel())
            Fail("the synth did not start");
        Driver driver(dll);
        if (!driver.Open())
            Fail("the driver did not open port 0");
        const HSTREAM stream = WaitForClientStream(5000);
        if (!stream)
            Fail("no stream was made for this client");
        auto device = tsl::output::FindDevice(g_Engine->PortDevice(0));
        auto channel = tsl::FindChannel(stream);
        if (!device || !channel || !channel->playback)
            Fail("the client's stream does not play on an initialised device");
        const std::shared_ptr<tsl::PlaybackState> playback = channel->playback;
        channel.reset();
        r.fillMs = UpdateLengthMs(additional);
        r.bufferMs = BASS_GetConfig(BASS_CONFIG_BUFFER);
        r.deviceMs = device->LatencyMs();

        // Let the update thread fill the playback buffer first.
        std::this_thread::sleep_for(milliseconds(300 + additional));
        const uint64_t starvedBefore = playback->StarvedFrames();
        latency::Onsets onsets(size_t(notes) + 16, kRate, *playback);
        latency::Sends sent;
        device->SetTap(&latency::TapMix, &onsets);
        // This stretch involves no audio, so the system's clock times it: the
        // device's clock runs in bursts under Wine.
        ring::Block* block = g_Ipc->Block();
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        DWORD refused = 0;
        double handOverSum = 0;
        latency::PlayHits(notes, additional, [&](bool on) {
            if (!on) {
                refused += driver.Short(latency::kHitOff) != MMSYSERR_NOERROR;
                return;
            }
            // Nothing waits in the ring now: the last note off went long ago.
            const uint32_t read = ring::Shared(block->readIndex).load();
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            sent.Add(device->FramesConsumedNow(), playback->StarvedFrames());
            refused += driver.Short(latency::kHitOn) != MMSYSERR_NOERROR;
            const ULONGLONG deadline = GetTickCount64() + 50;
            while (ring::Shared(block->readIndex).load() == read && GetTickCount64() < deadline)
                SwitchToThread();
            if (ring::Shared(block->readIndex).load() == read) {
                ++handOver.late;
                return;
            }
            QueryPerformanceCounter(&end);
            const double ms = double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart);
            handOverSum += ms;
            handOver.max = std::max(handOver.max, ms);
        });
        if (const int handed = int(sent.at.size()) - handOver.late; handed > 0)
            handOver.mean = handOverSum / handed;
        std::this_thread::sleep_for(milliseconds(400 + additional));
        device->SetTap(nullptr, nullptr);
        r.starvedMs = double(playback->StarvedFrames() - starvedBefore) * 1000.0 / kRate;
        if (refused)
            std::fprintf(stderr, "AdditionalBuffer %u: the driver refused %lu messages\n", additional, refused);
        latency::Summarise(r, sent, onsets, kRate);
        // The stream and the device go with the shutdown below; nothing of
        // them may be held past it.
    }
    delete g_Settings;
    g_Settings = nullptr;
    return r;
}

std::wstring BesideThisProgram(const wchar_t* name)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

}  // namespace

int main(int argc, char** argv)
{
    int notes = 20;
    std::wstring dll = BesideThisProgram(L"Tessaline.dll");
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--dll" && i + 1 < argc) {
            const std::string path = argv[++i];
            dll.assign(path.begin(), path.end());
        } else {
            notes = std::max(1, std::atoi(argv[i]));
        }
    }
    SetMessageBoxHook(&PrintMessage);
    // As the synth runs (where the system grants it).
    SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS);

    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path folder =
        std::filesystem::path(temp) / ("tsl-path-latency-" + std::to_string(GetCurrentProcessId()));

    latency::PrintHeader();
    std::vector<std::pair<uint32_t, HandOver>> handOvers;
    for (uint32_t additional : {0u, 20u, 250u}) {
        HandOver handOver;
        latency::PrintRow(Measure(additional, notes, folder, dll, handOver));
        handOvers.emplace_back(additional, handOver);
    }
    std::printf("\nAdditionalBuffer  handed over: mean ms  max ms  not within 50 ms\n");
    for (const auto& [additional, h] : handOvers)
        std::printf("%16u  %19.3f  %6.3f  %16d\n", additional, h.mean, h.max, h.late);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
