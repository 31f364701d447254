// A MIDI client program for the tests: loads the driver library and calls it
// exactly as winmm does (Wine's winmm only loads its own drivers), running
// the commands of its command line in order.
//
//   tsl-test-client [--dll PATH] COMMAND...
//     --port N              port of the following commands (0-based, default 0)
//     --numdevs             prints "numdevs N"
//     --caps                prints "caps N NAME"
//     --open                opens the port (fails the program when refused)
//     --expect-open-fail    opens the port, which must be refused; prints the code
//     --note CH KEY VEL     note on (a velocity of 0 is a note off)
//     --short HEX           a packed short message
//     --sysex HEX           a long message, e.g. F07E7F0901F7
//     --reset               resets the port
//     --close               closes the port
//     --burst N             N note on/off pairs on the port, as fast as it goes
//     --sysex-burst N LEN   N long messages of LEN bytes (at least 2) each
//     --all-notes-off       controller 123 on all 16 channels
//     --threads T           the next --burst runs on T threads at once
//     --pace MS             later bursts wait MS after each pair or long message
//                           (a program that keeps writing without taking the machine)
//     --sleep MS            waits
//     --hold                keeps running until killed (a program that never closes)
//     --wait-event NAME     waits (at most 60 s) until the test signals the named event
//     --wait-limit MS       the longest the next --wait-event waits (a soak's held program)
//     --signal-event NAME   signals the named event (tells the test a point is reached)
// At the end it prints "callbacks open=A close=B done=C" and frees the driver
// as winmm does. Exit code 0 on success, 2 on bad arguments, 3 on a failed call.
#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using DriverProcFn = LRESULT(WINAPI*)(DWORD_PTR, HDRVR, UINT, LPARAM, LPARAM);
using ModMessageFn = DWORD(WINAPI*)(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

std::atomic<int> g_opened{0}, g_closed{0}, g_done{0};

void CALLBACK MidiCallback(HMIDIOUT, UINT message, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
    if (message == MOM_OPEN)
        ++g_opened;
    else if (message == MOM_CLOSE)
        ++g_closed;
    else if (message == MOM_DONE)
        ++g_done;
}

std::vector<BYTE> ParseHex(const std::wstring& hex)
{
    std::vector<BYTE> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<BYTE>(std::wcstoul(hex.substr(i, 2).c_str(), nullptr, 16)));
    return bytes;
}

class Client {
public:
    bool Load(const std::wstring& path)
    {
        m_module = LoadLibraryW(path.c_str());
        if (!m_module) {
            std::printf("load failed %lu\n", GetLastError());
            return false;
        }
        m_driverProc = reinterpret_cast<DriverProcFn>(reinterpret_cast<void*>(GetProcAddress(m_module, "DriverProc")));
        m_modMessage = reinterpret_cast<ModMessageFn>(reinterpret_cast<void*>(GetProcAddress(m_module, "modMessage")));
        if (!m_driverProc || !m_modMessage) {
            std::printf("entry points missing\n");
            return false;
        }
        const HDRVR driver = reinterpret_cast<HDRVR>(1);
        m_driverProc(0, driver, DRV_LOAD, 0, 0);
        m_driverProc(0, driver, DRV_ENABLE, 0, 0);
        m_driverId = static_cast<DWORD_PTR>(m_driverProc(0, driver, DRV_OPEN, 0, 0));
        m_modMessage(0, DRVM_INIT, 0, 0, 0);
        return true;
    }

    void Unload()
    {
        if (!m_module)
            return;
        for (auto& [port, instance] : m_open)
            m_modMessage(port, MODM_CLOSE, instance, 0, 0);
        m_open.clear();
        const HDRVR driver = reinterpret_cast<HDRVR>(1);
        m_driverProc(m_driverId, driver, DRV_CLOSE, 0, 0);
        m_driverProc(m_driverId, driver, DRV_DISABLE, 0, 0);
        m_driverProc(m_driverId, driver, DRV_FREE, 0, 0);
        FreeLibrary(m_module);
        m_module = nullptr;
    }

    DWORD NumDevs() { return m_modMessage(0, MODM_GETNUMDEVS, 0, 0, 0); }

    DWORD Caps(UINT port, std::wstring& name)
    {
        MIDIOUTCAPSW caps = {};
        DWORD result = m_modMessage(port, MODM_GETDEVCAPS, 0, reinterpret_cast<DWORD_PTR>(&caps), sizeof caps);
        name = caps.szPname;
        return result;
    }

    DWORD Open(UINT port)
    {
        MIDIOPENDESC desc = {};
        desc.hMidi = reinterpret_cast<HMIDI>(static_cast<DWORD_PTR>(0x100 + port));
        desc.dwCallback = reinterpret_cast<DWORD_PTR>(&MidiCallback);
        DWORD_PTR instance = 0;
        DWORD result = m_modMessage(port, MODM_OPEN, reinterpret_cast<DWORD_PTR>(&instance), reinterpret_cast<DWORD_PTR>(&desc),
                                    CALLBACK_FUNCTION);
        if (result == MMSYSERR_NOERROR)
            m_open[port] = instance;
        return result;
    }

    DWORD Close(UINT port)
    {
        auto it = m_open.find(port);
        if (it == m_open.end())
            return MMSYSERR_INVALHANDLE;
        DWORD result = m_modMessage(port, MODM_CLOSE, it->second, 0, 0);
        m_open.erase(it);
        return result;
    }

    DWORD Short(UINT port, DWORD message) { return m_modMessage(port, MODM_DATA, Instance(port), message, 0); }
    DWORD Reset(UINT port) { return m_modMessage(port, MODM_RESET, Instance(port), 0, 0); }

    DWORD Long(UINT port, std::vector<BYTE>& bytes)
    {
        MIDIHDR header = {};
        header.lpData = reinterpret_cast<LPSTR>(bytes.data());
        header.dwBufferLength = static_cast<DWORD>(bytes.size());
        DWORD result = m_modMessage(port, MODM_PREPARE, 0, reinterpret_cast<DWORD_PTR>(&header), sizeof header);
        if (result != MMSYSERR_NOERROR)
            return result;
        result = m_modMessage(port, MODM_LONGDATA, Instance(port), reinterpret_cast<DWORD_PTR>(&header), sizeof header);
        if (result == MMSYSERR_NOERROR && !(header.dwFlags & MHDR_DONE))
            result = MMSYSERR_ERROR;
        DWORD unprepared = m_modMessage(port, MODM_UNPREPARE, 0, reinterpret_cast<DWORD_PTR>(&header), sizeof header);
        return result != MMSYSERR_NOERROR ? result : unprepared;
    }

private:
    DWORD_PTR Instance(UINT port)
    {
        auto it = m_open.find(port);
        return it == m_open.end() ? 0 : it->second;
    }

    HMODULE m_module = nullptr;
    DriverProcFn m_driverProc = nullptr;
    ModMessageFn m_modMessage = nullptr;
    DWORD_PTR m_driverId = 0;
    std::map<UINT, DWORD_PTR> m_open;
};

std::wstring DefaultDll()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + L"Tessaline.dll";
}

// Every pair is a note on and its note off; each thread plays its own channel.
bool Burst(Client& client, UINT port, unsigned count, unsigned threads, DWORD paceMs)
{
    std::atomic<unsigned> failures{0};
    std::vector<std::thread> workers;
    const ULONGLONG start = GetTickCount64();
    for (unsigned t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            const DWORD channel = t % 16;
            for (unsigned i = 0; i < count; ++i) {
                const DWORD key = 36 + i % 60;
                if (client.Short(port, 0x90 | channel | key << 8 | 64 << 16) != MMSYSERR_NOERROR ||
                    client.Short(port, 0x80 | channel | key << 8) != MMSYSERR_NOERROR)
                    ++failures;
                if (paceMs)
                    Sleep(paceMs);
            }
        });
    }
    for (auto& worker : workers)
        worker.join();
    std::printf("burst %u x %u messages in %llu ms, %u failed\n", threads, count * 2, GetTickCount64() - start,
                failures.load());
    return failures == 0;
}

}  // namespace

int main(int argc, char** narrow)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    std::vector<std::wstring> args;
    for (int i = 0; i < argc; ++i) {
        std::wstring arg(MultiByteToWideChar(CP_ACP, 0, narrow[i], -1, nullptr, 0), L'\0');
        MultiByteToWideChar(CP_ACP, 0, narrow[i], -1, arg.data(), static_cast<int>(arg.size()));
        arg.resize(arg.size() ? arg.size() - 1 : 0);
        args.push_back(arg);
    }
    std::vector<wchar_t*> argvStore;
    for (auto& arg : args)
        argvStore.push_back(arg.data());
    wchar_t** argv = argvStore.data();
    std::wstring dll = DefaultDll();
    int first = 1;
    if (argc > 2 && std::wstring(argv[1]) == L"--dll") {
        dll = argv[2];
        first = 3;
    }
    Client client;
    if (!client.Load(dll))
        return 3;

    UINT port = 0;
    unsigned threads = 1;
    DWORD pace = 0;
    constexpr DWORD kWaitLimitMs = 60000;
    DWORD waitLimit = kWaitLimitMs;
    int exitCode = 0;
    auto need = [&](int i, int count) {
        if (i + count >= argc) {
            std::printf("missing argument after %ls\n", argv[i]);
            std::exit(2);
        }
    };
    auto check = [&](const char* what, DWORD result) {
        std::printf("%s %u %lu\n", what, port, result);
        if (result != MMSYSERR_NOERROR)
            exitCode = 3;
    };
    for (int i = first; i < argc && exitCode == 0; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--port") {
            need(i, 1);
            port = static_cast<UINT>(std::wcstoul(argv[++i], nullptr, 10));
        } else if (arg == L"--numdevs") {
            std::printf("numdevs %lu\n", client.NumDevs());
        } else if (arg == L"--caps") {
            std::wstring name;
            DWORD result = client.Caps(port, name);
            std::printf("caps %u %lu %ls\n", port, result, name.c_str());
        } else if (arg == L"--open") {
            check("open", client.Open(port));
        } else if (arg == L"--expect-open-fail") {
            DWORD result = client.Open(port);
            std::printf("open %u %lu\n", port, result);
            if (result == MMSYSERR_NOERROR)
                exitCode = 3;
        } else if (arg == L"--note") {
            need(i, 3);
            DWORD channel = std::wcstoul(argv[i + 1], nullptr, 10), key = std::wcstoul(argv[i + 2], nullptr, 10),
                  velocity = std::wcstoul(argv[i + 3], nullptr, 10);
            i += 3;
            check("note", client.Short(port, 0x90 | (channel & 15) | (key & 127) << 8 | (velocity & 127) << 16));
        } else if (arg == L"--short") {
            need(i, 1);
            check("short", client.Short(port, std::wcstoul(argv[++i], nullptr, 16)));
        } else if (arg == L"--sysex") {
            need(i, 1);
            std::vector<BYTE> bytes = ParseHex(argv[++i]);
            check("sysex", client.Long(port, bytes));
        } else if (arg == L"--reset") {
            check("reset", client.Reset(port));
        } else if (arg == L"--close") {
            check("close", client.Close(port));
        } else if (arg == L"--threads") {
            need(i, 1);
            threads = std::max(1ul, std::wcstoul(argv[++i], nullptr, 10));
        } else if (arg == L"--burst") {
            need(i, 1);
            if (!Burst(client, port, std::wcstoul(argv[++i], nullptr, 10), threads, pace))
                exitCode = 3;
        } else if (arg == L"--sysex-burst") {
            need(i, 2);
            const unsigned count = std::wcstoul(argv[i + 1], nullptr, 10);
            std::vector<BYTE> bytes(std::max(2ul, std::wcstoul(argv[i + 2], nullptr, 10)), 0x11);
            i += 2;
            bytes.front() = 0xF0;
            bytes[1] = 0x7D;  // non-commercial: no device acts on it
            bytes.back() = 0xF7;
            for (unsigned n = 0; n < count && exitCode == 0; ++n) {
                if (client.Long(port, bytes) != MMSYSERR_NOERROR)
                    exitCode = 3;
                if (pace)
                    Sleep(pace);
            }
            std::printf("sysex-burst %u %u %d\n", port, count, exitCode);
        } else if (arg == L"--all-notes-off") {
            for (DWORD channel = 0; channel < 16; ++channel)
                check("notes-off", client.Short(port, 0xB0 | channel | 123 << 8));
        } else if (arg == L"--pace") {
            need(i, 1);
            pace = std::wcstoul(argv[++i], nullptr, 10);
        } else if (arg == L"--sleep") {
            need(i, 1);
            Sleep(std::wcstoul(argv[++i], nullptr, 10));
        } else if (arg == L"--wait-event") {
            need(i, 1);
            HANDLE event = CreateEventW(nullptr, TRUE, FALSE, argv[++i]);
            const DWORD limit = std::exchange(waitLimit, kWaitLimitMs);
            if (!event || WaitForSingleObject(event, limit) != WAIT_OBJECT_0) {
                std::printf("event %ls not signalled\n", argv[i]);
                exitCode = 3;
            }
            if (event)
                CloseHandle(event);
        } else if (arg == L"--wait-limit") {
            need(i, 1);
            waitLimit = std::wcstoul(argv[++i], nullptr, 10);
        } else if (arg == L"--signal-event") {
            need(i, 1);
            HANDLE event = CreateEventW(nullptr, TRUE, FALSE, argv[++i]);
            if (!event || !SetEvent(event))
                exitCode = 3;
            if (event)
                CloseHandle(event);
        } else if (arg == L"--hold") {
            for (;;)
                Sleep(1000);
        } else {
            std::printf("unknown argument %ls\n", arg.c_str());
            return 2;
        }
    }
    client.Unload();
    std::printf("callbacks open=%d close=%d done=%d\n", g_opened.load(), g_closed.load(), g_done.load());
    return exitCode;
}
