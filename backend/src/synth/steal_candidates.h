// The quietest voices of a block, gathered while the voices render, from
// which steals take theirs. Kept as a max-heap, so a voice louder than every
// one kept costs one compare.
#pragma once

#include <cstdint>

namespace tsl {

struct StealCandidate {
    float level;
    uint32_t noteId;       // the note the voice plays: lower is older
    int32_t index;         // in the voice pool
    uint32_t generation;   // the voice's start it was taken at (stale ones are skipped)
};

// The order steals take voices in: the quietest first and, among equally
// loud ones (the voices of one velocity and envelope stage tie exactly), the
// oldest note, then the lowest place in the pool. It is total, so which
// voices are kept does not depend on the order they are offered in: the
// chunks of a block, however many and however merged, keep the voices one
// pass would, and a pass over every voice (GatherCandidates) ranks them the
// same way.
inline bool StealsBefore(const StealCandidate& a, const StealCandidate& b) noexcept {
    if (a.level != b.level) return a.level < b.level;
    // Note ids wrap; live notes are never 2^31 apart.
    if (a.noteId != b.noteId) return static_cast<int32_t>(a.noteId - b.noteId) < 0;
    return a.index < b.index;
}

// Keeps the `limit` first in steal order of what is offered, in heap[0, count).
inline void KeepQuietest(StealCandidate* heap, uint32_t& count, uint32_t limit, const StealCandidate& c) noexcept {
    if (count < limit) {
        // Rise from the end.
        uint32_t i = count++;
        while (i > 0) {
            const uint32_t up = (i - 1) / 2;
            if (!StealsBefore(heap[up], c)) break;
            heap[i] = heap[up];
            i = up;
        }
        heap[i] = c;
    } else if (limit > 0 && StealsBefore(c, heap[0])) {
        // The last kept in steal order goes: the newcomer takes the root and
        // sinks to its place.
        uint32_t i = 0;
        for (;;) {
            const uint32_t l = 2 * i + 1;
            if (l >= count) break;
            const uint32_t m = l + 1 < count && StealsBefore(heap[l], heap[l + 1]) ? l + 1 : l;
            if (!StealsBefore(c, heap[m])) break;
            heap[i] = heap[m];
            i = m;
        }
        heap[i] = c;
    }
}

} // namespace tsl
