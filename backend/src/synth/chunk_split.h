// Where a block's active voices are cut into the chunks the render pool hands
// out. The cut depends on the voice count alone, never on the thread count,
// so that the sums (and so the output) are the same however many threads
// take part.
#pragma once

#include <algorithm>
#include <cstdint>

namespace tsl {

// A block is split only when it is worth far more than a hand-off between
// threads, and each chunk costs something of its own: partial groups of four
// filled with silence, groups left without a partner, its lanes cleared and
// folded, its buses merged. A block splits from twice kChunkVoices on, into
// about one chunk per kChunkVoices (against 128, 256 rendered a dense file
// 5 % faster on one thread and 9 % faster on two), but see below.
constexpr uint32_t kChunkVoices = 256;
constexpr uint32_t kMaxChunks = 64;

// Cuts `voices` into at most `cap` (<= kMaxChunks) chunks, fills begin[0 ..
// chunks] (begin[chunks] == voices) and returns the chunk count: one below
// 2 * kChunkVoices voices, else about one per kChunkVoices, raised where the
// cap allows to an even count of four or more.
//
// Two chunks (a cap of two or three) are of one size, give or take the
// rounding (the second no larger than the first). From three chunks on, the
// sizes fall steadily from about one and a half times the mean to about half
// of it: threads take the chunks in order as they come free, so the last
// ones taken are small and the threads finish close together, where equal
// chunks left one thread waiting out half a chunk on average. Cuts fall on
// multiples of four, the width of the fused voice pass.
//
// Why four and even: two threads taking falling chunks in turn come out
// level on an even count, but on an odd one the thread that takes the last
// chunk finishes a part of one late (three equal chunks held two threads to
// 1.5 times one; five falling ones to 1.8). Two equal chunks leave nothing to
// even out with: a helper's chunk may take longer than the same chunk on one
// thread (20 % on a dense file), and the thread that hands the block over
// then waits for it. Each added chunk costs one thread a little (about 1.7 %
// more instructions from three chunks to four at 800 voices), far less than
// those waits cost two.
inline uint32_t SplitIntoChunks(uint32_t voices, uint32_t cap, uint32_t* begin) noexcept {
    const uint32_t per = (std::max(kChunkVoices, (voices + cap - 1) / cap) + 3) & ~3u;
    uint32_t chunks = std::max(1u, voices / per);
    if (chunks >= 2) {
        const uint32_t wanted = std::max(4u, (chunks + 1) & ~1u);
        if (wanted <= cap) chunks = wanted;
    }
    begin[0] = 0;
    if (chunks < 3) {
        // Each chunk takes its share of what is left, rounded up to four.
        for (uint32_t k = 1; k < chunks; ++k) {
            const uint32_t left = voices - begin[k - 1], share = (left + chunks - k) / (chunks - k + 1);
            begin[k] = begin[k - 1] + std::min(left, (share + 3) & ~3u);
        }
    } else {
        // Chunk k weighs 3m - 1 - 2k: the weights before chunk k sum to
        // k(3m - k), all m of them to 2m².
        const uint64_t m = chunks, whole = 2 * m * m;
        for (uint32_t k = 1; k < chunks; ++k) {
            const uint64_t at = uint64_t{voices} * (k * (3 * m - k)) / whole;
            begin[k] = static_cast<uint32_t>(at & ~uint64_t{3});
        }
    }
    begin[chunks] = voices;
    return chunks;
}

} // namespace tsl
