// The quietest voices of a block, gathered while the voices render, from
// which steals take theirs. Kept as a max-heap on level, so a voice louder
// than every one kept costs one compare.
#pragma once

#include <cstdint>

namespace tsl {

struct StealCandidate {
    float level;
    int32_t index;         // in the voice pool
    uint32_t generation;   // the voice's start it was taken at (stale ones are skipped)
};

// Keeps the `limit` quietest of what is offered in heap[0, count).
inline void KeepQuietest(StealCandidate* heap, uint32_t& count, uint32_t limit, const StealCandidate& c) noexcept {
    if (count < limit) {
        // Rise from the end.
        uint32_t i = count++;
        while (i > 0) {
            const uint32_t up = (i - 1) / 2;
            if (!(heap[up].level < c.level)) break;
            heap[i] = heap[up];
            i = up;
        }
        heap[i] = c;
    } else if (limit > 0 && c.level < heap[0].level) {
        // The loudest kept goes: the newcomer takes the root and sinks to
        // its place.
        uint32_t i = 0;
        for (;;) {
            const uint32_t l = 2 * i + 1;
            if (l >= count) break;
            const uint32_t m = l + 1 < count && heap[l].level < heap[l + 1].level ? l + 1 : l;
            if (!(c.level < heap[m].level)) break;
            heap[i] = heap[m];
            i = m;
        }
        heap[i] = c;
    }
}

} // namespace tsl
