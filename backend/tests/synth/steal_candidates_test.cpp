// The steal candidates: whatever order voices are offered in, the kept ones
// are exactly the quietest, and the heap stays a heap (its root, the loudest
// kept, is what the next voice is compared with).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "synth/steal_candidates.h"

using tsl::StealCandidate;

TEST(StealCandidates, KeepExactlyTheQuietestOfAnyOffer) {
    std::mt19937 rng(3);
    for (uint32_t limit : {1u, 2u, 16u, 64u}) {
        for (int round = 0; round < 200; ++round) {
            // Levels with many ties (voices of one note and velocity are
            // equally loud), rising and falling runs, and random ones.
            const int n = static_cast<int>(rng() % 300);
            std::vector<float> levels(n);
            for (int i = 0; i < n; ++i) {
                switch (round % 3) {
                case 0: levels[i] = static_cast<float>(rng() % 8); break;
                case 1: levels[i] = static_cast<float>(round % 2 ? i : n - i); break;
                default: levels[i] = std::uniform_real_distribution<float>(0, 1)(rng); break;
                }
            }
            std::vector<StealCandidate> heap(limit);
            uint32_t count = 0;
            for (int i = 0; i < n; ++i) {
                tsl::KeepQuietest(heap.data(), count, limit, StealCandidate{levels[i], i, 0});
                ASSERT_TRUE(std::is_heap(heap.begin(), heap.begin() + count,
                                         [](const StealCandidate& a, const StealCandidate& b) { return a.level < b.level; }))
                    << limit << " " << round << " " << i;
            }
            ASSERT_EQ(count, std::min<uint32_t>(limit, static_cast<uint32_t>(n)));
            std::vector<float> kept;
            for (uint32_t i = 0; i < count; ++i) {
                kept.push_back(heap[i].level);
                EXPECT_EQ(levels[heap[i].index], heap[i].level);
            }
            std::sort(kept.begin(), kept.end());
            std::sort(levels.begin(), levels.end());
            levels.resize(count);
            EXPECT_EQ(kept, levels) << limit << " " << round;
        }
    }
}
