// One block of a stream: the voices, in chunks that the render pool may
// spread over several threads, then the effects on the summed sends.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "synth/kernels.h"
#include "synth/prefetch.h"
#include "synth/render_pool.h"
#include "synth/synth.h"

namespace tsl {
namespace {

constexpr size_t kPrefetchVoice = 6, kPrefetchData = 3;

} // namespace

void Synth::RenderChunkTask(void* self, uint32_t chunk, uint32_t worker) noexcept {
    static_cast<Synth*>(self)->RenderChunk(chunk, worker);
}

void Synth::FinishBlock(Synth& s, const BlockEnd& job) noexcept {
    // The candidates first: the next block's first note may be waiting to
    // steal.
    s.MergeCandidates(job.chunks);
    if (job.sortCandidates) {
        s.SortCandidateArray();
        s.candReady_.store(true, std::memory_order_release);
    }
    s.SumChunkBuses(job.chunks, job.frames, job.fx);
    MixBuses& bus = s.chunks_[0].bus;
    for (uint32_t f = 0; f < job.frames; ++f) {
        job.out[2 * f] = bus.left[f];
        job.out[2 * f + 1] = bus.right[f];
    }
    if (!job.fx) return;
    // The chorus first: part of its output may go on into the reverb.
    if (job.chorus) s.chorus_.Process(bus.chorus, job.out, bus.reverb, job.frames, job.chorusGain);
    if (job.reverb) s.reverb_.Process(bus.reverb, job.out, job.frames, job.reverbGain);
}

void Synth::BlockEndTask(void* self, uint32_t, uint32_t) noexcept {
    Synth& s = *static_cast<Synth*>(self);
    FinishBlock(s, s.blockEnd_);
}

void Synth::CompleteBlock() noexcept {
    if (!blockEndPosted_) return;
    RenderPool::Instance().Finish();
    blockEndPosted_ = false;
    if (candByHelper_) {
        candByHelper_ = false;
        candSorted_ = true;
    }
}

// Everything a chunk writes is its own (its Chunk, its voices, its slots of
// dead_) or its worker's (Scratch); everything else it only reads. Chunks
// never look at each other's voices, not even to prefetch, as another
// thread may be rendering them.
void Synth::RenderChunk(uint32_t k, uint32_t worker) noexcept {
    Chunk& ck = chunks_[k];
    Scratch& sc = scratch_[worker];
    const uint32_t n = in_.span.frames;
    const bool fx = in_.fx;
    const size_t begin = in_.chunkBegin[k];
    const size_t end = in_.chunkBegin[k + 1];
    MixBuses& bus = ck.bus;
    bus.lanes = sc.lanes;
    std::memset(bus.left, 0, sizeof bus.left);
    std::memset(bus.right, 0, sizeof bus.right);
    if (fx) {
        std::memset(bus.reverb, 0, sizeof bus.reverb);
        std::memset(bus.chorus, 0, sizeof bus.chorus);
    }
    ck.candCount = 0;
    ck.deadCount = 0;
    int32_t* const dead = dead_.data() + begin;
    uint32_t oldest = stackGeneration_;
    // Voices with an active filter are gathered in eights and filtered
    // together; voices that finish are freed after the block, so the active
    // list is not reordered while it is walked.
    Voice* group[kFilterGroup];
    float* groupTmp[kFilterGroup];
    for (int g = 0; g < kFilterGroup; ++g) groupTmp[g] = sc.groupBuf[g];
    uint32_t groupOff[kFilterGroup];
    int grouped = 0;
    // Plain voices queue by the buses they feed (dry; with reverb; with
    // chorus too), so a group of four pays only for the buses it uses.
    Voice* plain[3][4];
    int plainCount[3] = {};
    // A full group waits for the next one for the same buses, to share its
    // pass; each bus set has its own waiting group, so that groups for
    // different buses arriving in turn still pair up.
    Voice* waiting[3][4];
    bool isWaiting[3] = {};
    // The lanes are cleared before the first group of the chunk adds to them.
    bool lanesUsed = false;
    const uint32_t laneBuses = fx ? 4 : 2;
    auto UseLanes = [&]() noexcept {
        if (lanesUsed) return;
        for (uint32_t b = 0; b < laneBuses; ++b) std::memset(bus.lanes[b], 0, kernels::kLanes * n * sizeof(float));
        lanesUsed = true;
    };
    for (size_t i = begin; i < end; ++i) {
        // A thousand voices do not stay in the caches from one block to the
        // next: fetch the per-block part of a voice a few voices ahead, and
        // the sample data of a nearer one, whose position is known by then.
        if (i + kPrefetchVoice < end) {
            const char* p = reinterpret_cast<const char*>(&voices_[active_[i + kPrefetchVoice]]);
            for (size_t o = 0; o < offsetof(Voice, base); o += 64) Prefetch(p + o);
        }
        if (i + kPrefetchData < end) {
            const Voice& w = voices_[active_[i + kPrefetchData]];
            if (w.pcm) {
                const char* d = reinterpret_cast<const char*>(w.pcm + (w.pos >> 32));
                Prefetch(d);
                Prefetch(d + 64);
            }
        }
        int32_t idx = active_[i];
        Voice& v = voices_[idx];
        const ChannelState& ch = channels_[v.chan];
        if (v.chanVersion != chanVersion_[v.chan]) {
            v.Recompute(ch);
            v.chanVersion = chanVersion_[v.chan];
        }
        if (!v.BeginBlock(ch, in_.mix[v.chan], in_.span, fx)) {
            dead[ck.deadCount++] = idx;
            continue;
        }
        if (v.Plain(n)) {
            // The common case: four such voices go through one fused pass.
            const int q = v.BusSet(fx);
            plain[q][plainCount[q]++] = &v;
            if (plainCount[q] == 4) {
                UseLanes();
                if (isWaiting[q]) {
                    RenderPlainEight(waiting[q], plain[q], bus, 2 + q, n);
                } else {
                    std::copy(plain[q], plain[q] + 4, waiting[q]);
                }
                isWaiting[q] = !isWaiting[q];
                plainCount[q] = 0;
            }
        } else if (v.filterOn && !v.IsSilent()) {
            if (!v.Generate(groupTmp[grouped], n, groupOff[grouped])) dead[ck.deadCount++] = idx;
            group[grouped++] = &v;
            if (grouped == kFilterGroup) {
                FilterEight(group, groupTmp, n);
                for (int g = 0; g < kFilterGroup; ++g) group[g]->Mix(groupTmp[g], groupOff[g], bus, n, fx);
                grouped = 0;
            }
        } else if (!v.Render(bus, n, fx)) {
            dead[ck.deadCount++] = idx;
            continue;
        }
        if (v.stackGeneration < oldest) oldest = v.stackGeneration;
        // Most voices are louder than every candidate kept so far. A voice
        // already fading after a steal is the quietest of all but no steal
        // may take it: kept, such voices would fill the list, and the
        // block's steals would run out of candidates and pass over every
        // voice again.
        if (in_.collect && !v.stolen && (ck.candCount < kChunkCandidates || v.level <= ck.cand[0].level))
            KeepQuietest(ck.cand, ck.candCount, kChunkCandidates, Candidate{v.level, v.noteId, idx, v.generation});
    }
    // The chunk's last filtered voices fill their group with the silent
    // filler over the spare buffers (whatever they hold, a lane of its own):
    // a lane of the four- or eight-voice filter costs less than a voice alone.
    if (grouped > 0) {
        const int width = grouped > 4 ? kFilterGroup : 4;
        for (int g = grouped; g < width; ++g) group[g] = &sc.filler;
        if (width == 4) FilterFour(group, groupTmp, n);
        else FilterEight(group, groupTmp, n);
    }
    for (int g = 0; g < grouped; ++g) group[g]->Mix(groupTmp[g], groupOff[g], bus, n, fx);
    // What is left of the bus sets (a group waiting for a partner, up to
    // three voices) goes through the passes together, the sets with fewer
    // buses first: a voice adds exactly nothing to a bus it does not feed
    // (its share is zero), and a lane of the fused pass costs less than a
    // voice alone. The last group is filled with silence.
    Voice* rest[3 * 7 + 7];
    int restCount = 0;
    for (int q = 0; q < 3; ++q) {
        if (isWaiting[q])
            for (int g = 0; g < 4; ++g) rest[restCount++] = waiting[q][g];
        for (int g = 0; g < plainCount[q]; ++g) rest[restCount++] = plain[q][g];
    }
    if (restCount > 0) UseLanes();
    for (int at = 0; at < restCount; at += 8) {
        const int count = std::min(8, restCount - at);
        const uint32_t buses = 2 + static_cast<uint32_t>(rest[at + count - 1]->BusSet(fx));
        for (int g = count; g < 8; ++g) rest[at + g] = &sc.filler;
        if (count > 4) RenderPlainEight(rest + at, rest + at + 4, bus, buses, n);
        else RenderPlainFour(rest + at, bus, buses, n);
    }
    if (lanesUsed) {
        float* const to[4] = {bus.left, bus.right, bus.reverb, bus.chorus};
        for (uint32_t b = 0; b < laneBuses; ++b) kernels::ReduceLanes(bus.lanes[b], to[b], n);
    }
    ck.oldest = oldest;
}

// Chunk k's buses added into chunk 0's, in chunk order.
void Synth::SumChunkBuses(uint32_t chunks, uint32_t n, bool fx) noexcept {
    MixBuses& sum = chunks_[0].bus;
    for (uint32_t k = 1; k < chunks; ++k) {
        const MixBuses& b = chunks_[k].bus;
        for (uint32_t f = 0; f < n; ++f) sum.left[f] += b.left[f];
        for (uint32_t f = 0; f < n; ++f) sum.right[f] += b.right[f];
        if (fx) {
            for (uint32_t f = 0; f < n; ++f) sum.reverb[f] += b.reverb[f];
            for (uint32_t f = 0; f < n; ++f) sum.chorus[f] += b.chorus[f];
        }
    }
}

void Synth::MergeCandidates(uint32_t chunks) noexcept {
    // The steal order is total, so the merged heap keeps the voices a
    // single pass over all of them would have, however they were chunked.
    const Chunk& first = chunks_[0];
    std::copy(first.cand, first.cand + first.candCount, cand_);
    candCount_ = first.candCount;
    for (uint32_t k = 1; k < chunks; ++k) {
        const Chunk& ck = chunks_[k];
        for (uint32_t j = 0; j < ck.candCount; ++j)
            KeepQuietest(cand_, candCount_, kCandidates, ck.cand[j]);
    }
}

void Synth::MergeChunkResults(uint32_t chunks) noexcept {
    uint32_t oldest = chunks_[0].oldest;
    for (uint32_t k = 1; k < chunks; ++k) oldest = std::min(oldest, chunks_[k].oldest);
    // Freed in the order of the active list, as one pass would have.
    for (uint32_t k = 0; k < chunks; ++k) {
        const int32_t* dead = dead_.data() + in_.chunkBegin[k];
        for (uint32_t j = 0; j < chunks_[k].deadCount; ++j) FreeVoice(dead[j]);
    }
    for (int i = 0; i < deferredCount_; ++i) oldest = std::min(oldest, deferred_[i].generation);
    oldestStack_ = oldest;
}

void Synth::RenderBlock(float* out, uint32_t n, bool handOver) noexcept {
    // The last block's end reads the chunks' buses, which this one reuses.
    CompleteBlock();
    in_.span = BlockSpan::Of(n, static_cast<float>(opt_.rate));
    in_.fx = opt_.effects;
    const float master = masterVolume_ * (1.0f / 16383.0f);
    for (int c = 0; c < kChannels; ++c) in_.mix[c] = channels_[c].mixLevel * 0.01f * master;
    if (deferredCount_ > 0) StartDeferred();
    // Far from the voice limit, the next block's notes will not steal (or,
    // in a burst, the first steal gathers candidates afresh): keep none.
    in_.collect = ActiveVoices() + maxVoices_ / kCollectMargin >= maxVoices_;
    const uint32_t chunks = SplitIntoChunks(static_cast<uint32_t>(active_.size()), chunkCap_, in_.chunkBegin);
    const uint32_t threads = threads_ == 0 ? RenderPool::AutomaticThreads() : threads_;
    if (chunks > 1 && threads > 1) {
        RenderPool::Instance().Run(&Synth::RenderChunkTask, this, chunks, std::min(threads, chunks) - 1);
    } else {
        for (uint32_t k = 0; k < chunks; ++k) RenderChunk(k, 0);
    }
    now_ += n;
    // After a split block, a helper (still awake: handing over wakes nobody)
    // gathers and sorts the steal candidates, sums the chunks' buses and runs
    // the effects, while this thread frees the voices that ended and goes on
    // to the next block's events.
    const bool handOverEnd = handOver && chunks > 1 && threads > 1;
    blockEnd_ = BlockEnd{out, chunks, n, in_.fx, chorusOn_, reverbOn_, chorusLevel_ * (1.0f / 64.0f),
                         reverbScale_ * reverbLevel_ * (1.0f / 64.0f), handOverEnd};
    candNext_ = 0;
    candGathered_ = false;
    candReady_.store(false, std::memory_order_relaxed);
    blockEndPosted_ = handOverEnd && RenderPool::Instance().Post(&Synth::BlockEndTask, this);
    if (!blockEndPosted_) FinishBlock(*this, blockEnd_);
    // The candidates are sorted by the helper (ready when it says so), here
    // already (the pool was taken), or else at the first steal.
    candByHelper_ = blockEndPosted_;
    candSorted_ = handOverEnd && !blockEndPosted_;
    MergeChunkResults(chunks);
}

} // namespace tsl
