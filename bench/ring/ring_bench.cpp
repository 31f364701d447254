// Ring throughput: writer processes play short messages through the named
// shared block, with the driver's writer, into the channel server's own
// listen thread (its ports replaced by a counter that also checks each
// writer's messages arrive complete and in order).
//
//   ring_bench [--writers W] [--messages N] [--target MPS]
//   ring_bench --writer NAMES_SUFFIX INDEX N      (started by the bench itself)
// Prints the rate and exits 0 when every message arrived and the rate
// reached the target (default 5,000,000 messages per second).
#include "driver/ring_writer.h"
#include "ipc/ipc_server.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD kMaxWriters = 8;

// The ports of the bench: one port, clients found by process id.
class CountingDirectory : public IClientDirectory {
public:
    std::atomic<uint64_t> delivered{0};
    std::atomic<uint64_t> outOfOrder{0};
    std::atomic<LONG> opened{0};

    DWORD PortLimit() override { return 1; }
    std::wstring PortName(DWORD) override { return L"Tessaline #1"; }

    bool Deliver(DWORD, DWORD processId, const ClientCall& call) override
    {
        Slot* slot = Find(processId);
        if (!slot)
            return false;
        slot->counter.fetch_add(1, std::memory_order_relaxed);
        if (call.action == ClientAction::ShortMessage) {
            if (call.param1 != slot->expected)
                outOfOrder.fetch_add(1, std::memory_order_relaxed);
            slot->expected = call.param1 + 1;
            delivered.fetch_add(1, std::memory_order_release);
        }
        return true;
    }
    void Open(DWORD, DWORD processId) override
    {
        LONG index = opened.load();
        if (index < static_cast<LONG>(kMaxWriters)) {
            m_slots[index].processId = processId;
            m_slots[index].counter = 1;
            opened.store(index + 1);
        }
    }
    bool Close(DWORD, DWORD) override { return false; }
    size_t ClientCount(DWORD) override { return static_cast<size_t>(opened.load()); }
    void ForEachCounter(DWORD, const std::function<void(DWORD, std::atomic<uint32_t>&)>&) override {}
    void ForEachClient(DWORD, bool, const std::function<void(const ClientInfo&)>&) override {}

private:
    struct Slot {
        DWORD processId = 0;
        std::atomic<uint32_t> counter{0};
        uint32_t expected = 0;
    };
    Slot* Find(DWORD processId)
    {
        LONG count = opened.load(std::memory_order_relaxed);
        for (LONG i = 0; i < count; ++i)
            if (m_slots[i].processId == processId)
                return &m_slots[i];
        return nullptr;
    }
    Slot m_slots[kMaxWriters];
};

ChannelNames BenchNames(const std::wstring& suffix)
{
    return {ring::kSharedMemName + suffix, ring::kDataAvailableName + suffix, ring::kQueueFreeName + suffix,
            ring::kListenerName + suffix};
}

int RunWriter(const std::wstring& suffix, DWORD index, DWORD messages)
{
    ChannelNames names = BenchNames(suffix);
    HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, names.sharedMem.c_str());
    auto* block = mapping ? static_cast<ring::Block*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, ring::kBlockSize)) : nullptr;
    HANDLE dataAvailable = OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, names.dataAvailable.c_str());
    HANDLE queueFree = OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, names.queueFree.c_str());
    std::wstring goName = L"TessalineRingBenchGo" + suffix;
    HANDLE go = OpenEventW(SYNCHRONIZE, FALSE, goName.c_str());
    if (!block || !dataAvailable || !queueFree || !go) {
        std::fprintf(stderr, "writer %lu: cannot open the channel (%lu)\n", index, GetLastError());
        return 1;
    }
    CRingWriter writer(block, dataAvailable, queueFree);
    writer.SetStallTimeout(10000);
    if (!writer.Write(0, ring::kOpen))
        return 1;
    WaitForSingleObject(go, 30000);
    for (DWORD i = 0; i < messages; ++i) {
        if (!writer.Write(0, ring::kShortMessage, i, 0)) {
            std::fprintf(stderr, "writer %lu: write %lu failed\n", index, i);
            return 1;
        }
    }
    return 0;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

int RunBench(DWORD writers, DWORD messages, double target)
{
    const std::wstring suffix = L".bench" + std::to_wstring(GetCurrentProcessId());
    CountingDirectory directory;
    CIpcServer server(directory, 60000, BenchNames(suffix));
    if (!server.Open() || !server.StartListening()) {
        std::fprintf(stderr, "cannot open the channel (%lu)\n", server.LastError());
        return 1;
    }
    std::wstring goName = L"TessalineRingBenchGo" + suffix;
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, goName.c_str());

    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::vector<PROCESS_INFORMATION> children;
    for (DWORD i = 0; i < writers; ++i) {
        std::wstring command = L"\"" + std::wstring(self) + L"\" --writer " + suffix + L" " + std::to_wstring(i) + L" " +
                               std::to_wstring(messages);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
            std::fprintf(stderr, "cannot start writer %lu (%lu)\n", i, GetLastError());
            return 1;
        }
        children.push_back(process);
    }

    // Every writer has opened its client before the clock starts.
    const ULONGLONG deadline = GetTickCount64() + 30000;
    while (directory.opened.load() < static_cast<LONG>(writers) && GetTickCount64() < deadline)
        Sleep(1);
    const uint64_t expected = uint64_t(writers) * messages;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    SetEvent(go);
    while (directory.delivered.load(std::memory_order_acquire) < expected && GetTickCount64() < deadline + 60000)
        Sleep(1);
    QueryPerformanceCounter(&end);

    bool childrenOk = true;
    for (PROCESS_INFORMATION& process : children) {
        if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 1);
            childrenOk = false;
        }
        DWORD code = 1;
        GetExitCodeProcess(process.hProcess, &code);
        childrenOk = childrenOk && code == 0;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    server.Close();
    CloseHandle(go);

    const uint64_t delivered = directory.delivered.load();
    const double seconds = Seconds(start, end);
    const double rate = double(delivered) / seconds;
    std::printf("ring: %lu writer process(es), %llu of %llu short messages in %.3f s: %.2f million/s, %llu out of order\n",
                writers, static_cast<unsigned long long>(delivered), static_cast<unsigned long long>(expected), seconds,
                rate / 1e6, static_cast<unsigned long long>(directory.outOfOrder.load()));
    const bool ok = childrenOk && delivered == expected && directory.outOfOrder.load() == 0 && rate >= target;
    std::printf("%s (target %.1f million/s, none lost)\n", ok ? "PASS" : "FAIL", target / 1e6);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 5 && std::string(argv[1]) == "--writer") {
        std::string suffix = argv[2];
        return RunWriter(std::wstring(suffix.begin(), suffix.end()), std::strtoul(argv[3], nullptr, 10),
                         std::strtoul(argv[4], nullptr, 10));
    }
    DWORD writers = 1, messages = 20000000;
    double target = 5e6;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string arg = argv[i];
        if (arg == "--writers")
            writers = std::min<DWORD>(kMaxWriters, std::strtoul(argv[i + 1], nullptr, 10));
        else if (arg == "--messages")
            messages = std::strtoul(argv[i + 1], nullptr, 10);
        else if (arg == "--target")
            target = std::strtod(argv[i + 1], nullptr);
    }
    return RunBench(writers, messages, target);
}
