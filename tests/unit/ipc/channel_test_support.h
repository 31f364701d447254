// Helpers of the channel tests: private object names, bounded waits, and a
// raw writer that puts exactly the fields a test asks for into the ring.
#pragma once

#include "ipc/channel_names.h"
#include "ipc/ring_layout.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

namespace channeltest {

inline ChannelNames UniqueNames()
{
    static std::atomic<int> serial{0};
    std::wstring suffix = L".test" + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(++serial);
    return {ring::kSharedMemName + suffix, ring::kDataAvailableName + suffix, ring::kQueueFreeName + suffix,
            ring::kListenerName + suffix};
}

template <class Predicate>
bool WaitUntil(Predicate&& done, DWORD timeoutMs = 3000)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() > end)
            return false;
        Sleep(1);
    }
    return true;
}

inline DWORD WINAPI RunTask(void* param)
{
    std::unique_ptr<std::function<void()>> task(static_cast<std::function<void()>*>(param));
    (*task)();
    return 0;
}

// Runs `work` on a thread of its own and waits at most `timeoutMs` for it:
// false when it did not end, so a hang fails a test instead of stopping the
// run (the stuck thread is left behind).
inline bool RunBounded(std::function<void()> work, DWORD timeoutMs)
{
    auto* owned = new std::function<void()>(std::move(work));
    HANDLE thread = CreateThread(nullptr, 0, &RunTask, owned, 0, nullptr);
    if (!thread) {
        delete owned;
        return false;
    }
    const bool ended = WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return ended;
}

struct RawEntry {
    uint32_t port = 0;
    uint32_t client = 0;
    uint32_t type = 0;
    uint32_t param1 = 0;
    uint32_t param2 = 0;
    uint32_t dataLength = 0;
    const uint8_t* data = nullptr;
};

// Fills the entry at the write index and publishes it; returns its index.
inline uint32_t Put(ring::Block* block, const RawEntry& raw)
{
    const uint32_t write = ring::Shared(block->writeIndex).load();
    ring::Entry& entry = block->entries[write];
    entry.port = raw.port;
    entry.client = raw.client;
    entry.type = raw.type;
    entry.param1 = raw.param1;
    entry.param2 = raw.param2;
    entry.dataLength = raw.dataLength;
    if (raw.data)
        std::memcpy(entry.data, raw.data, std::min<size_t>(raw.dataLength, sizeof entry.data));
    ring::Shared(block->writeIndex).store(ring::Following(write, entry.next));
    return write;
}

inline uint32_t ReadIndex(ring::Block* block) { return ring::Shared(block->readIndex).load(); }

// A ring in ordinary memory, linked as the synth links it.
inline std::unique_ptr<ring::Block> LinkedBlock()
{
    auto block = std::make_unique<ring::Block>();
    for (uint32_t i = 0; i < ring::kEntryCount; ++i) {
        block->entries[i].next = (i + 1) % ring::kEntryCount;
        block->entries[i].previous = (i + ring::kEntryCount - 1) % ring::kEntryCount;
    }
    return block;
}

}  // namespace channeltest
