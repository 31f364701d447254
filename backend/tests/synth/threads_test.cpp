// A stream's voices rendered by several threads: the output must not depend
// on the thread count, and the pool must survive streams coming and going
// and thread counts changing while others render.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>
#include <vector>

#include "bass.h"
#include "bassmidi.h"
#include "synth/chunk_split.h"
#include "synth/layered_songs.h"
#include "synth/render_pool.h"
#include "synth/synth.h"

namespace tsl::test {
namespace {

constexpr const char* kTim = "/usr/share/sounds/sf2/TimGM6mb.sf2";
constexpr uint32_t kRate = 22050;
constexpr uint32_t kFrameBytes = 2 * sizeof(float);

HSOUNDFONT g_font = 0;

class ThreadsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!std::filesystem::exists(kTim)) return;
        g_font = BASS_MIDI_FontInit(kTim, 0);
        if (g_font) BASS_MIDI_FontLoad(g_font, -1, -1);
    }
    static void TearDownTestSuite() {
        if (g_font) BASS_MIDI_FontFree(g_font);
        g_font = 0;
    }
    void SetUp() override {
        if (!g_font) GTEST_SKIP() << "TimGM6mb not installed (tools/install-deps)";
    }
};

std::vector<BASS_MIDI_EVENT> DenseSongs(size_t songs, uint32_t shiftFrames) {
    return LayeredSongs(songs, shiftFrames, kRate, kFrameBytes);
}

// The songs with a black-MIDI layer over them: `perSecond` notes of 0.3 to
// 1.5 s a second on every channel, which keeps well over a thousand voices
// sounding (the songs alone reach about 300).
std::vector<BASS_MIDI_EVENT> SongsUnderANoteStorm(size_t songs, uint32_t shiftFrames, uint32_t seconds,
                                                  uint32_t perSecond) {
    std::vector<BASS_MIDI_EVENT> all = DenseSongs(songs, shiftFrames);
    if (all.empty()) return all;
    std::mt19937 rng(77);
    const uint32_t notes = seconds * perSecond;
    for (uint32_t k = 0; k < notes; ++k) {
        const DWORD chan = rng() % 16, key = 36 + rng() % 60, vel = 40 + rng() % 87;
        const uint32_t on = static_cast<uint32_t>(static_cast<uint64_t>(k) * kRate / perSecond);
        const uint32_t off = on + kRate * 3 / 10 + rng() % (kRate * 6 / 5);
        all.push_back({MIDI_EVENT_NOTE, key | vel << 8, chan, 0, on * kFrameBytes});
        all.push_back({MIDI_EVENT_NOTE, key, chan, 0, off * kFrameBytes});
    }
    std::stable_sort(all.begin(), all.end(), [](const BASS_MIDI_EVENT& a, const BASS_MIDI_EVENT& b) { return a.pos < b.pos; });
    return all;
}

struct RenderResult {
    std::vector<float> audio;
    float peakVoices = 0;
};

// Renders `frames` of the event list with `threads` threads (a list of
// counts is cycled through block by block when several are given).
RenderResult Render(const std::vector<BASS_MIDI_EVENT>& events, uint32_t voices, uint32_t frames,
                    std::vector<uint32_t> threads, DWORD flags = 0) {
    RenderResult r;
    BASS_SetConfig(BASS_CONFIG_MIDI_VOICES, voices);
    HSTREAM h = BASS_MIDI_StreamCreate(16, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT | flags, kRate);
    EXPECT_NE(h, 0u);
    if (!h) return r;
    BASS_MIDI_FONT font{g_font, -1, 0};
    EXPECT_TRUE(BASS_MIDI_StreamSetFonts(h, &font, 1));
    EXPECT_NE(BASS_MIDI_StreamEvents(h, BASS_MIDI_EVENTS_STRUCT | BASS_MIDI_EVENTS_TIME, events.data(),
                                     static_cast<DWORD>(events.size())),
              static_cast<DWORD>(-1));
    r.audio.resize(static_cast<size_t>(frames) * 2);
    const uint32_t step = 1000; // not a multiple of the block: counts change mid-block too
    size_t turn = 0;
    for (uint32_t done = 0; done < frames; done += step) {
        EXPECT_TRUE(BASS_ChannelSetAttribute(h, BASS_ATTRIB_MIDI_THREADS, static_cast<float>(threads[turn++ % threads.size()])));
        uint32_t want = std::min(step, frames - done);
        DWORD got = BASS_ChannelGetData(h, r.audio.data() + 2 * static_cast<size_t>(done), want * kFrameBytes);
        EXPECT_EQ(got, want * kFrameBytes);
        float v = 0;
        BASS_ChannelGetAttribute(h, BASS_ATTRIB_MIDI_VOICES_ACTIVE, &v);
        r.peakVoices = std::max(r.peakVoices, v);
    }
    BASS_StreamFree(h);
    return r;
}

size_t FirstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return i;
    return a.size() == b.size() ? SIZE_MAX : std::min(a.size(), b.size());
}

TEST_F(ThreadsTest, EveryThreadCountGivesTheSameSamplesOnDenseRealMusic) {
    // Thirty songs at once under a storm of notes, against a 1100-voice
    // limit: voices are stolen, reverb and chorus are on, and the block is
    // split into two, three and four chunks as the voices come.
    constexpr uint32_t kLimit = 1100;
    std::vector<BASS_MIDI_EVENT> events = SongsUnderANoteStorm(30, kRate / 8, 3, 1500);
    ASSERT_GT(events.size(), 1000u) << "openttd-openmsx not installed (tools/install-deps)";
    const uint32_t frames = kRate * 3;
    RenderResult one = Render(events, kLimit, frames, {1});
    ASSERT_GE(one.peakVoices, 4.0f * kChunkVoices) << "the music is not dense enough to split the block in four";
    double energy = 0;
    for (float x : one.audio) energy += static_cast<double>(x) * x;
    ASSERT_GT(energy, 1.0);
    for (uint32_t n = 2; n <= 8; ++n) {
        RenderResult many = Render(events, kLimit, frames, {n});
        EXPECT_EQ(FirstDifference(one.audio, many.audio), SIZE_MAX) << n << " threads";
    }
    // Automatic, and a count that changes every 1000 frames.
    EXPECT_EQ(FirstDifference(one.audio, Render(events, kLimit, frames, {0}).audio), SIZE_MAX) << "automatic";
    EXPECT_EQ(FirstDifference(one.audio, Render(events, kLimit, frames, {3, 1, 8, 2, 0}).audio), SIZE_MAX) << "changing";
}

TEST_F(ThreadsTest, SincAndNoEffectsStreamsAreAlsoIndependentOfTheThreadCount) {
    std::vector<BASS_MIDI_EVENT> events = SongsUnderANoteStorm(30, kRate / 16, 2, 800);
    ASSERT_GT(events.size(), 1000u);
    const uint32_t frames = kRate * 2;
    for (DWORD flags : {DWORD{BASS_MIDI_SINCINTER}, DWORD{BASS_MIDI_NOFX}}) {
        RenderResult one = Render(events, 600, frames, {1}, flags);
        ASSERT_GE(one.peakVoices, 2.0f * kChunkVoices) << "flags " << flags;
        RenderResult four = Render(events, 600, frames, {4}, flags);
        EXPECT_EQ(FirstDifference(one.audio, four.audio), SIZE_MAX) << "flags " << flags;
    }
}

// The converter renders files through decode streams it makes with
// BASS_MIDI_StreamCreate and these flags, and sets no thread count: such a
// stream must come with automatic threads and the helpers they stand for
// already started (starting threads is no work for a render thread).
TEST_F(ThreadsTest, DecodeStreamsAsTheConverterMakesThemGetEveryCore) {
    ASSERT_EQ(BASS_GetConfig(BASS_CONFIG_MIDI_THREADS), 0u);
    HSTREAM h = BASS_MIDI_StreamCreate(16, BASS_STREAM_DECODE | BASS_MIDI_DECAYEND | BASS_MIDI_ASYNC, 48000);
    ASSERT_NE(h, 0u);
    float v = -1;
    EXPECT_TRUE(BASS_ChannelGetAttribute(h, BASS_ATTRIB_MIDI_THREADS, &v));
    EXPECT_EQ(v, 0.0f);
    EXPECT_GE(RenderPool::Instance().Helpers() + 1, RenderPool::AutomaticThreads());
    BASS_StreamFree(h);
}

TEST_F(ThreadsTest, ThreadsAttributeAndConfigKeepTheirValues) {
    EXPECT_EQ(BASS_GetConfig(BASS_CONFIG_MIDI_THREADS), 0u); // automatic unless set
    ASSERT_TRUE(BASS_SetConfig(BASS_CONFIG_MIDI_THREADS, 3));
    HSTREAM h = BASS_MIDI_StreamCreate(16, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT, kRate);
    ASSERT_NE(h, 0u);
    float v = -1;
    EXPECT_TRUE(BASS_ChannelGetAttribute(h, BASS_ATTRIB_MIDI_THREADS, &v));
    EXPECT_EQ(v, 3.0f);
    EXPECT_TRUE(BASS_ChannelSetAttribute(h, BASS_ATTRIB_MIDI_THREADS, 1000.0f)); // clamped
    EXPECT_TRUE(BASS_ChannelGetAttribute(h, BASS_ATTRIB_MIDI_THREADS, &v));
    EXPECT_EQ(v, static_cast<float>(RenderPool::kMaxThreads));
    EXPECT_TRUE(BASS_ChannelSetAttribute(h, BASS_ATTRIB_MIDI_THREADS, -5.0f));
    EXPECT_TRUE(BASS_ChannelGetAttribute(h, BASS_ATTRIB_MIDI_THREADS, &v));
    EXPECT_EQ(v, 0.0f);
    BASS_StreamFree(h);
    ASSERT_TRUE(BASS_SetConfig(BASS_CONFIG_MIDI_THREADS, 500));
    EXPECT_EQ(BASS_GetConfig(BASS_CONFIG_MIDI_THREADS), RenderPool::kMaxThreads);
    ASSERT_TRUE(BASS_SetConfig(BASS_CONFIG_MIDI_THREADS, 0));
}

// A split block's end (the chunks summed, reverb and chorus) may still run on
// a helper while the next block's events are applied: events that change the
// effects must wait for it, and the levels it uses are the block's own. The
// standard resets below change both programs and their levels, four times a
// second, and the return levels move between them.
TEST_F(ThreadsTest, EffectsChangedBetweenSplitBlocksKeepEveryThreadCountExact) {
    std::vector<BASS_MIDI_EVENT> events = SongsUnderANoteStorm(30, kRate / 16, 2, 1500);
    ASSERT_GT(events.size(), 1000u);
    const DWORD systems[] = {MIDI_SYSTEM_GS, MIDI_SYSTEM_XG, MIDI_SYSTEM_GM2, MIDI_SYSTEM_DEFAULT};
    for (uint32_t k = 0; k < 8; ++k) {
        const DWORD at = (kRate / 4 * k + 37 * k) * kFrameBytes; // not on block boundaries
        events.push_back({MIDI_EVENT_SYSTEM, systems[k % 4], 0, 0, at});
        events.push_back({MIDI_EVENT_REVERB_LEVEL, 20 + 10 * k, 0, 0, at + 300 * kFrameBytes});
        events.push_back({MIDI_EVENT_CHORUS_LEVEL, 90 - 10 * k, 0, 0, at + 700 * kFrameBytes});
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const BASS_MIDI_EVENT& a, const BASS_MIDI_EVENT& b) { return a.pos < b.pos; });
    const uint32_t frames = kRate * 2;
    const RenderResult one = Render(events, 1100, frames, {1});
    ASSERT_GE(one.peakVoices, 2.0f * kChunkVoices) << "the music is not dense enough to split the block";
    for (uint32_t n : {2u, 4u})
        EXPECT_EQ(FirstDifference(one.audio, Render(events, 1100, frames, {n}).audio), SIZE_MAX) << n << " threads";
    // And the effects are heard at all: without them the output differs.
    const RenderResult dry = Render(events, 1100, frames, {1}, BASS_MIDI_NOFX);
    EXPECT_NE(FirstDifference(one.audio, dry.audio), SIZE_MAX) << "the effects were not heard";
}

// Streams rendered on several threads at once, created and freed while the
// others render, with their thread counts changing between blocks: each
// must still produce what it produces alone on one thread.
TEST_F(ThreadsTest, StreamsComingAndGoingWhileOthersRenderStayExact) {
    std::vector<BASS_MIDI_EVENT> events = SongsUnderANoteStorm(30, kRate / 16, 1, 1500);
    ASSERT_GT(events.size(), 1000u);
    const uint32_t frames = kRate / 2;
    const RenderResult alone = Render(events, 700, frames, {1});
    ASSERT_GE(alone.peakVoices, 2.0f * kChunkVoices) << "the music is not dense enough to split the block";
    const std::vector<float>& reference = alone.audio;
    std::atomic<int> mismatches{0};
    std::vector<std::thread> renderers;
    for (uint32_t t = 0; t < 3; ++t) {
        renderers.emplace_back([&, t] {
            std::mt19937 rng(t + 1);
            for (int round = 0; round < 3; ++round) {
                std::vector<uint32_t> counts;
                for (int i = 0; i < 8; ++i) counts.push_back(rng() % 9);
                if (FirstDifference(reference, Render(events, 700, frames, counts).audio) != SIZE_MAX) ++mismatches;
            }
        });
    }
    for (auto& r : renderers) r.join();
    EXPECT_EQ(mismatches.load(), 0);
}

// Every active voice falls in exactly one chunk, whatever the voice count and
// the pool size; with three chunks and more, no chunk is larger than one
// before it (so the last ones handed out are the small ones).
TEST(ChunkSplitTest, EveryVoiceFallsInOneChunkAndLaterChunksAreNoLarger) {
    uint32_t begin[kMaxChunks + 1];
    for (uint32_t cap : {1u, 2u, 5u, 8u, 17u, kMaxChunks}) {
        for (uint32_t voices = 0; voices <= cap * kChunkVoices + 300; ++voices) {
            const uint32_t chunks = SplitIntoChunks(voices, cap, begin);
            ASSERT_GE(chunks, 1u);
            ASSERT_LE(chunks, cap);
            ASSERT_EQ(begin[0], 0u);
            ASSERT_EQ(begin[chunks], voices);
            for (uint32_t k = 0; k < chunks && voices > 0; ++k) {
                ASSERT_LT(begin[k], begin[k + 1]) << voices << " voices, chunk " << k;
                if (k > 0) {
                    ASSERT_EQ(begin[k] % 4, 0u);
                }
                if (chunks >= 3 && k >= 1 && k + 1 < chunks) {
                    ASSERT_LE(begin[k + 1] - begin[k], begin[k] - begin[k - 1] + 4) << voices << " voices, chunk " << k;
                }
                // Two chunks share the voices evenly.
                if (chunks == 2 && k >= 1) {
                    ASSERT_LE(begin[k + 1] - begin[k], begin[k] - begin[k - 1]) << voices << " voices, chunk " << k;
                    ASSERT_LE(begin[k] - begin[k - 1], begin[k + 1] - begin[k] + 8) << voices << " voices, chunk " << k;
                }
            }
            if (voices < 2 * kChunkVoices) {
                ASSERT_EQ(chunks, 1u) << voices;
            }
        }
    }
}

// Two threads take the chunks in turn, each the next one as it comes free.
// With voices of equal cost they must come out nearly level: a split block
// has four chunks or more and an even count wherever the cap allows, and the
// later thread then carries at most half the voices, one step between chunk
// sizes and the rounding. (Three equal chunks kept one thread busy with two
// of them while the other waited out a whole one.)
TEST(ChunkSplitTest, TwoThreadsTakingChunksInTurnComeOutLevel) {
    uint32_t begin[kMaxChunks + 1];
    for (uint32_t cap : {2u, 3u, 4u, 5u, 8u, 9u, 17u, kMaxChunks}) {
        // A pool's cap is its size over kChunkVoices, rounded up: no more
        // voices than that can be active.
        for (uint32_t voices = 2 * kChunkVoices; voices <= cap * kChunkVoices; ++voices) {
            const uint32_t chunks = SplitIntoChunks(voices, cap, begin);
            if (cap >= 4) {
                ASSERT_GE(chunks, 4u) << voices << " voices, cap " << cap;
            }
            if (chunks < cap) {
                ASSERT_EQ(chunks % 2, 0u) << voices << " voices, cap " << cap;
            }
            if (chunks % 2 != 0) continue; // only where the cap leaves no choice
            uint32_t busy[2] = {0, 0};
            for (uint32_t k = 0; k < chunks; ++k) busy[busy[1] < busy[0] ? 1 : 0] += begin[k + 1] - begin[k];
            const uint32_t first = begin[1] - begin[0], second = begin[2] - begin[1];
            const uint32_t step = first > second ? first - second : 0;
            ASSERT_LE(std::max(busy[0], busy[1]), voices / 2 + step + 8) << voices << " voices, cap " << cap;
        }
    }
}

// The pool itself: every task runs exactly once whoever runs it, with
// several owners competing for it; a task's worker is the owner (0) or one
// of the helpers the job asked for, and no two tasks of a job run at once
// with the same worker (their scratch space is the worker's).
TEST(RenderPoolTest, EveryTaskRunsOnceWithCompetingOwners) {
    RenderPool& pool = RenderPool::Instance();
    EXPECT_GE(pool.Reserve(4), 4u);
    struct Counts {
        std::atomic<uint32_t> hits[100];
        std::atomic<bool> busy[RenderPool::kMaxThreads];
        uint32_t helpers = 0;
        std::atomic<int> clashes{0};
    };
    std::vector<std::thread> owners;
    std::atomic<int> wrong{0};
    for (int o = 0; o < 4; ++o) {
        owners.emplace_back([&, o] {
            for (int round = 0; round < 300; ++round) {
                Counts c;
                for (auto& h : c.hits) h.store(0);
                for (auto& b : c.busy) b.store(false);
                c.helpers = static_cast<uint32_t>(round % 5);
                const uint32_t count = 1 + static_cast<uint32_t>((round * 7 + o) % 100);
                pool.Run(
                    [](void* ctx, uint32_t i, uint32_t worker) noexcept {
                        Counts& k = *static_cast<Counts*>(ctx);
                        if (worker > k.helpers || k.busy[worker].exchange(true)) {
                            ++k.clashes;
                            return;
                        }
                        k.hits[i].fetch_add(1);
                        for (int spin = 0; spin < 50; ++spin) RenderPool::Pause(); // a window for a clash
                        k.busy[worker].store(false);
                    },
                    &c, count, c.helpers);
                for (uint32_t i = 0; i < 100; ++i)
                    if (c.hits[i].load() != (i < count ? 1u : 0u)) ++wrong;
                wrong += c.clashes.load();
            }
        });
    }
    for (auto& t : owners) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

// A task handed over with Post runs exactly once, whether a helper takes it
// or Finish finds it untaken and runs it on the owner, while other owners'
// jobs compete for the pool (and find it taken).
TEST(RenderPoolTest, PostedTasksRunOnceBesideOtherJobs) {
    RenderPool& pool = RenderPool::Instance();
    EXPECT_GE(pool.Reserve(3), 3u);
    std::atomic<int> wrong{0}, handed{0};
    std::vector<std::thread> owners;
    for (int o = 0; o < 3; ++o) {
        owners.emplace_back([&, o] {
            for (int round = 0; round < 400; ++round) {
                std::atomic<uint32_t> posted{0}, hits[8] = {};
                auto bump = [](void* ctx, uint32_t, uint32_t) noexcept { static_cast<std::atomic<uint32_t>*>(ctx)->fetch_add(1); };
                const bool took = pool.Post(bump, &posted);
                if (!took) bump(&posted, 0, 0);
                handed += took;
                // A job of this owner's own meanwhile runs alone.
                pool.Run([](void* ctx, uint32_t i, uint32_t) noexcept { static_cast<std::atomic<uint32_t>*>(ctx)[i].fetch_add(1); },
                         hits, 8, 2);
                if (round % 3 == o) std::this_thread::yield(); // sometimes the helper gets there first
                if (took) pool.Finish();
                if (posted.load() != 1) ++wrong;
                for (auto& h : hits)
                    if (h.load() != 1) ++wrong;
            }
        });
    }
    for (auto& t : owners) t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(handed.load(), 0);
}

} // namespace
} // namespace tsl::test
