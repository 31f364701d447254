// Plays a standard MIDI file through the Tessaline driver library the way a
// client program does through winmm (Wine's winmm loads only its own
// drivers, so the library is loaded and called directly), in real time.
//
//   tsl-play [--dll PATH] [--port N] FILE.mid
//
// Exit code 0 when the whole file was sent, 1 on a bad file, 3 when the
// driver refused the port (is the synth running?).
#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "midifile/smf_reader.h"
#include "midifile/tempo_map.h"

namespace {

using DriverProcFn = LRESULT(WINAPI*)(DWORD_PTR, HDRVR, UINT, LPARAM, LPARAM);
using ModMessageFn = DWORD(WINAPI*)(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

bool ReadFile(const std::wstring& path, std::vector<uint8_t>& bytes)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring dll = ProgramFolder() + L"Tessaline.dll";
    UINT port = 0;
    std::wstring file;
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--dll" && i + 1 < argc)
            dll = argv[++i];
        else if (a == L"--port" && i + 1 < argc)
            port = static_cast<UINT>(_wtoi(argv[++i]));
        else
            file = a;
    }
    if (file.empty()) {
        std::fprintf(stderr, "usage: tsl-play [--dll PATH] [--port N] FILE.mid\n");
        return 2;
    }

    std::vector<uint8_t> bytes;
    tsl::midifile::SmfFile smf;
    if (!ReadFile(file, bytes) || tsl::midifile::ReadSmf(bytes, smf) != tsl::midifile::SmfStatus::Ok) {
        std::fprintf(stderr, "tsl-play: cannot read %ls as a MIDI file\n", file.c_str());
        return 1;
    }
    const tsl::midifile::TempoMap tempo(smf);

    HMODULE module = ::LoadLibraryW(dll.c_str());
    auto driverProc = module ? reinterpret_cast<DriverProcFn>(reinterpret_cast<void*>(::GetProcAddress(module, "DriverProc"))) : nullptr;
    auto modMessage = module ? reinterpret_cast<ModMessageFn>(reinterpret_cast<void*>(::GetProcAddress(module, "modMessage"))) : nullptr;
    if (!driverProc || !modMessage) {
        std::fprintf(stderr, "tsl-play: cannot load the driver %ls\n", dll.c_str());
        return 3;
    }
    const HDRVR driver = reinterpret_cast<HDRVR>(1);
    driverProc(0, driver, DRV_LOAD, 0, 0);
    driverProc(0, driver, DRV_ENABLE, 0, 0);
    const auto driverId = static_cast<DWORD_PTR>(driverProc(0, driver, DRV_OPEN, 0, 0));

    MIDIOPENDESC desc{};
    desc.hMidi = reinterpret_cast<HMIDI>(static_cast<DWORD_PTR>(0x100 + port));
    DWORD_PTR instance = 0;
    int exitCode = 0;
    if (modMessage(port, MODM_OPEN, reinterpret_cast<DWORD_PTR>(&instance), reinterpret_cast<DWORD_PTR>(&desc), CALLBACK_NULL) !=
        MMSYSERR_NOERROR) {
        std::fprintf(stderr, "tsl-play: the driver refused port %u (is Tessaline running?)\n", port + 1);
        exitCode = 3;
    } else {
        std::printf("playing %ls on Tessaline #%u\n", file.c_str(), port + 1);
        LARGE_INTEGER frequency, start, now;
        ::QueryPerformanceFrequency(&frequency);
        ::QueryPerformanceCounter(&start);
        for (const auto& e : smf.events) {
            const double at = tempo.Seconds(e.tick);
            for (;;) {
                ::QueryPerformanceCounter(&now);
                const double elapsed = double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
                if (elapsed >= at)
                    break;
                ::Sleep(static_cast<DWORD>(std::min(10.0, (at - elapsed) * 1000.0)));
            }
            if (e.status >= 0x80 && e.status < 0xF0) {
                const DWORD message = e.status | DWORD(e.data1) << 8 | DWORD(e.data2) << 16;
                modMessage(port, MODM_DATA, instance, message, 0);
            } else if (e.status == 0xF0) {
                auto data = smf.Data(e);
                std::vector<BYTE> sysex(data.begin(), data.end());
                MIDIHDR header{};
                header.lpData = reinterpret_cast<LPSTR>(sysex.data());
                header.dwBufferLength = static_cast<DWORD>(sysex.size());
                modMessage(port, MODM_PREPARE, 0, reinterpret_cast<DWORD_PTR>(&header), sizeof header);
                modMessage(port, MODM_LONGDATA, instance, reinterpret_cast<DWORD_PTR>(&header), sizeof header);
                modMessage(port, MODM_UNPREPARE, 0, reinterpret_cast<DWORD_PTR>(&header), sizeof header);
            }
        }
        // Let the last notes ring before the port closes.
        ::Sleep(2000);
        modMessage(port, MODM_RESET, instance, 0, 0);
        modMessage(port, MODM_CLOSE, instance, 0, 0);
    }
    driverProc(driverId, driver, DRV_CLOSE, 0, 0);
    driverProc(driverId, driver, DRV_DISABLE, 0, 0);
    driverProc(driverId, driver, DRV_FREE, 0, 0);
    ::FreeLibrary(module);
    return exitCode;
}
