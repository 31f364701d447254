// libFuzzer target: the listen thread's path from the shared block to the
// client requests. The input fills the ring's control words and entries with
// anything a client program could write there (any type, port, client,
// length and next/previous link, indices anywhere); the reader drains it as
// the listen thread does, every entry becomes its request, and the chunks of
// long messages go through the SysEx assembler and the SysEx rules.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <utility>

#include "ipc/client_call.h"
#include "ipc/ring_reader.h"
#include "synth/sysex_assembler.h"
#include "synth/sysex_rules.h"

namespace {

ring::Block& LinkedBlock() {
    static ring::Block* block = [] {
        auto* b = new ring::Block();
        for (uint32_t i = 0; i < ring::kEntryCount; ++i) {
            b->entries[i].next = (i + 1) % ring::kEntryCount;
            b->entries[i].previous = (i + ring::kEntryCount - 1) % ring::kEntryCount;
        }
        return b;
    }();
    return *block;
}

uint32_t Word(const uint8_t*& data, size_t& size) {
    uint32_t value = 0;
    const size_t n = size < 4 ? size : 4;
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ring::Block& block = LinkedBlock();
    const uint32_t read = Word(data, size);
    const uint32_t write = Word(data, size);
    const uint32_t portLimit = Word(data, size) % 5;
    block.readIndex = read;
    block.writeIndex = write;
    block.waitingIndex = Word(data, size);

    // Entries laid from the read index along the plain successors, each of
    // them written whole (links included) from the input.
    std::pair<uint32_t, ring::Entry> saved[64];
    size_t touched = 0;
    for (uint32_t i = read % ring::kEntryCount; size > 0 && touched < 64; i = (i + 1) % ring::kEntryCount) {
        ring::Entry& entry = block.entries[i];
        saved[touched++] = {i, entry};
        const size_t n = size < sizeof entry ? size : sizeof entry;
        std::memcpy(&entry, data, n);
        data += n;
        size -= n;
    }

    std::map<std::pair<uint32_t, uint32_t>, std::unique_ptr<SysExAssembler>> open;
    CRingReader reader(&block);
    ring::Entry entry;
    // A write index that the links never reach keeps the ring non-empty; the
    // reader must still stay inside the block, which a bounded walk checks.
    for (int step = 0; step < 256 && reader.Take(entry); ++step) {
        if (entry.port < portLimit) {
            const auto key = std::make_pair(entry.port, entry.client);
            if (entry.type == ring::kOpen) {
                open.try_emplace(key, std::make_unique<SysExAssembler>());
            } else if (entry.type == ring::kClose) {
                open.erase(key);
            } else if (auto it = open.find(key); it != open.end()) {
                const ClientCall call = CallFor(entry);
                if (call.length > ring::kChunkBytes) __builtin_trap();
                if (call.action == ClientAction::LongMessage) {
                    const uint8_t* bytes = call.data;
                    uint32_t length = call.length;
                    if (call.param2 != 1 &&
                        it->second->Add(call.param1, call.param2, call.data, call.length) == SysExAssembler::Result::Complete) {
                        bytes = it->second->Data();
                        length = it->second->Length();
                    }
                    (void)SystemOnMode(bytes, length);
                    (void)IsClientEffectLevelMessage(bytes, length);
                    (void)ParseGsPartParameter(bytes, length);
                    if (length) (void)RolandChecksum(bytes, length);
                }
            }
        }
        const bool wake = reader.Advance(entry);
        (void)wake;
        if (reader.ReadIndex() >= ring::kEntryCount) __builtin_trap();
    }

    // Put back what this input changed, so the next one starts from a linked ring.
    for (size_t i = 0; i < touched; ++i) block.entries[saved[i].first] = saved[i].second;
    return 0;
}
