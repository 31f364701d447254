// The steal candidates: whatever order voices are offered in, and however
// they are split into chunks and merged, the kept ones are exactly the first
// in steal order, and the heap stays a heap (its root, the last kept, is
// what the next voice is compared with).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "synth/steal_candidates.h"

using tsl::StealCandidate;
using tsl::StealsBefore;

namespace {

std::vector<StealCandidate> Keep(const std::vector<StealCandidate>& offer, uint32_t limit) {
    std::vector<StealCandidate> heap(limit);
    uint32_t count = 0;
    for (const StealCandidate& c : offer) {
        tsl::KeepQuietest(heap.data(), count, limit, c);
        EXPECT_TRUE(std::is_heap(heap.begin(), heap.begin() + count, StealsBefore));
    }
    heap.resize(count);
    return heap;
}

std::vector<int32_t> Indices(std::vector<StealCandidate> v) {
    std::sort(v.begin(), v.end(), StealsBefore);
    std::vector<int32_t> out;
    for (const StealCandidate& c : v) out.push_back(c.index);
    return out;
}

} // namespace

TEST(StealCandidates, KeepTheFirstInStealOrderHoweverOfferedOrChunked) {
    std::mt19937 rng(3);
    for (uint32_t limit : {1u, 2u, 16u, 64u}) {
        for (int round = 0; round < 150; ++round) {
            // Levels with many ties (voices of one velocity and envelope
            // stage are equally loud), often within one note (its layers),
            // rising and falling runs, and random ones.
            const int n = static_cast<int>(rng() % 300);
            std::vector<StealCandidate> offer(n);
            for (int i = 0; i < n; ++i) {
                float level;
                switch (round % 3) {
                case 0: level = static_cast<float>(rng() % 4); break;
                case 1: level = static_cast<float>(round % 2 ? i : n - i); break;
                default: level = std::uniform_real_distribution<float>(0, 1)(rng); break;
                }
                // Note ids near the wrap: the older note still goes first.
                const uint32_t note = 0xffffff00u + static_cast<uint32_t>(rng() % 512);
                offer[i] = StealCandidate{level, note, static_cast<int32_t>(rng() % 100000), 0};
            }
            std::vector<StealCandidate> all = offer;
            std::sort(all.begin(), all.end(), StealsBefore);
            all.resize(std::min<size_t>(limit, all.size()));
            const std::vector<int32_t> want = Indices(all);
            ASSERT_EQ(Indices(Keep(offer, limit)), want) << limit << " " << round;

            std::shuffle(offer.begin(), offer.end(), rng);
            ASSERT_EQ(Indices(Keep(offer, limit)), want) << "shuffled " << limit << " " << round;

            // Split into chunks that each keep a few, merged in any order,
            // as the render's chunks are.
            const int chunks = 1 + static_cast<int>(rng() % 5);
            std::vector<StealCandidate> merged;
            for (int k = chunks - 1; k >= 0; --k) {
                std::vector<StealCandidate> part(offer.begin() + n * k / chunks, offer.begin() + n * (k + 1) / chunks);
                for (const StealCandidate& c : Keep(part, limit)) merged.push_back(c);
            }
            ASSERT_EQ(Indices(Keep(merged, limit)), want) << "chunked " << limit << " " << round;
        }
    }
}
