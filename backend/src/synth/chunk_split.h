// Where a block's active voices are cut into the chunks the render pool hands
// out. The cut depends on the voice count alone, never on the thread count,
// so that the sums (and so the output) are the same however many threads
// take part.
#pragma once

#include <algorithm>
#include <cstdint>

namespace tsl {

// A chunk should be worth far more than a hand-off between threads, and
// each chunk costs something of its own: partial groups of four filled with
// silence, groups left without a partner, its lanes cleared and folded, its
// buses merged. Against chunks of 128 voices, 256 render a dense file 5 %
// faster on one thread and 9 % faster on two; 1024 voices still make four
// chunks.
constexpr uint32_t kChunkVoices = 256;
constexpr uint32_t kMaxChunks = 64;

// Cuts `voices` into at most `cap` (<= kMaxChunks) chunks of about
// kChunkVoices or more (below twice that, one chunk), fills begin[0 ..
// chunks] (begin[chunks] == voices) and returns the chunk count.
//
// Two chunks are of one size, give or take the rounding (the second no
// larger than the first). From three chunks on, the sizes fall steadily
// from about one and a half times the mean to about half of it: threads take
// the chunks in order as they come free, so the last ones taken are small
// and the threads finish close together, where equal chunks left one thread
// waiting out half a chunk on average. Cuts fall on multiples of four, the
// width of the fused voice pass.
//
// Past two chunks the count is made even where the cap allows: two threads
// taking falling chunks in turn come out level on an even count, but on an
// odd one the thread that takes the last chunk finishes a part of one late
// (three equal chunks held two threads to 1.5 times one; five falling ones
// to 1.8). One more chunk costs one thread a little (its partial groups and
// lanes), far less than that wait costs two.
inline uint32_t SplitIntoChunks(uint32_t voices, uint32_t cap, uint32_t* begin) noexcept {
    const uint32_t per = (std::max(kChunkVoices, (voices + cap - 1) / cap) + 3) & ~3u;
    uint32_t chunks = std::max(1u, voices / per);
    if (chunks >= 3 && (chunks & 1) != 0 && chunks < cap) ++chunks;
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
