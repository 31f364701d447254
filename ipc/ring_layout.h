// The shared block between the driver library (writers, in every client
// program, 32- or 64-bit) and the synth's listen thread (the one reader).
// Both halves include this header; the static_asserts pin every offset so a
// 32-bit and a 64-bit build agree byte for byte.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace ring {

inline constexpr wchar_t kSharedMemName[] = L"Tessaline_SharedMem";
inline constexpr wchar_t kDataAvailableName[] = L"Tessaline_DataAvailable";
inline constexpr wchar_t kQueueFreeName[] = L"Tessaline_QueueFree";
// Owned by the synth's listen thread while it runs (ipc/listener_probe.h).
inline constexpr wchar_t kListenerName[] = L"Tessaline_Listener";

inline constexpr uint32_t kEntryCount = 100000;
inline constexpr uint32_t kChunkBytes = 50;  // data bytes per long-message chunk
inline constexpr char kVersion[] = "2.14.1.0";

enum EntryType : uint32_t {
    kOpen = 101,
    kClose = 102,
    kReset = 103,
    kAllNotesOff = 104,
    kShortMessage = 202,
    kLongChunk = 203,
};

struct Entry {
    uint32_t next;
    uint32_t previous;
    uint32_t reserved0;  // not read by the synth
    uint32_t port;
    uint32_t client;     // process id of the writer
    uint32_t type;
    uint32_t param1;
    uint32_t param2;
    uint8_t data[kChunkBytes];
    uint8_t reserved1[2];
    uint32_t dataLength;
};

// The reserved words keep the three indices on cache lines of their own, so
// writers moving the write index and the reader moving the read index do not
// keep stealing each other's line.
struct Block {
    uint32_t blockSize;
    char version[20];
    uint32_t listening;
    uint32_t writerLock;  // reserved for the writers; the synth never reads it
    uint8_t pad0[64];
    uint32_t readIndex;
    uint8_t pad1[64];
    uint32_t writeIndex;
    uint8_t pad2[64];
    uint32_t waitingIndex;
    uint8_t pad3[68];
    Entry entries[kEntryCount];
};

static_assert(sizeof(Entry) == 88);
static_assert(offsetof(Entry, next) == 0);
static_assert(offsetof(Entry, previous) == 4);
static_assert(offsetof(Entry, reserved0) == 8);
static_assert(offsetof(Entry, port) == 12);
static_assert(offsetof(Entry, client) == 16);
static_assert(offsetof(Entry, type) == 20);
static_assert(offsetof(Entry, param1) == 24);
static_assert(offsetof(Entry, param2) == 28);
static_assert(offsetof(Entry, data) == 32);
static_assert(offsetof(Entry, reserved1) == 82);
static_assert(offsetof(Entry, dataLength) == 84);

static_assert(offsetof(Block, blockSize) == 0);
static_assert(offsetof(Block, version) == 4);
static_assert(offsetof(Block, listening) == 24);
static_assert(offsetof(Block, writerLock) == 28);
static_assert(offsetof(Block, readIndex) == 96);
static_assert(offsetof(Block, writeIndex) == 164);
static_assert(offsetof(Block, waitingIndex) == 232);
static_assert(offsetof(Block, entries) == 304);
static_assert(sizeof(Block) == 8800304);
static_assert(sizeof(kVersion) <= sizeof(Block::version));

inline constexpr uint32_t kBlockSize = sizeof(Block);

// The entry after `index` as its link names it. A link that points past the
// ring (a writer bug or a hostile program) is read as the plain successor, so
// neither end ever addresses memory outside the block.
constexpr uint32_t Following(uint32_t index, uint32_t next)
{
    return next < kEntryCount ? next : (index + 1) % kEntryCount;
}

// The indices are shared between processes; lock-free 32-bit atomics are
// address-free, so atomic_ref on the mapped words works across processes.
inline std::atomic_ref<uint32_t> Shared(uint32_t& word) { return std::atomic_ref<uint32_t>(word); }
static_assert(std::atomic_ref<uint32_t>::is_always_lock_free);

}  // namespace ring
