// The per-sample loop of a voice: fetch and interpolate 16-bit sample frames
// at a 32.32 fixed-point position, filter, and mix with linear gain ramps.
//
// The loop never checks sample bounds per frame. A block is cut into runs:
// plain runs read the sample data directly (its guard frames cover the
// interpolator's reach), and the few frames near a loop's end read the
// loop seam, which continues the loop across its end.
#include <algorithm>
#include <array>
#include <cstring>

#include "synth/kernels.h"
#include "synth/sinc_table.h"
#include "synth/voice.h"

namespace tsl {
namespace {

constexpr uint32_t kHalfGuard = font::kGuard / 2;

// A frame of sample data in 16-bit units; 24-bit samples add their low
// byte as a fraction.
template <bool k24>
inline float Frame(const int16_t* src, const uint8_t* low, int64_t i) noexcept {
    if constexpr (k24) return static_cast<float>(src[i]) + static_cast<float>(low[i]) * (1.0f / 256.0f);
    else return static_cast<float>(src[i]);
}

template <bool k24>
inline void LinearRun(const int16_t* src, const uint8_t* low, uint64_t& pos, uint64_t inc, float* out,
                      uint32_t count) noexcept {
    uint64_t p = pos;
    for (uint32_t i = 0; i < count; ++i) {
        const int64_t at = static_cast<int64_t>(p >> 32);
        float frac = static_cast<float>(static_cast<uint32_t>(p)) * (1.0f / 4294967296.0f);
        float a = Frame<k24>(src, low, at);
        out[i] = a + (Frame<k24>(src, low, at + 1) - a) * frac;
        p += inc;
    }
    pos = p;
}

template <bool k24>
inline void SincRun(const int16_t* src, const uint8_t* low, uint64_t& pos, uint64_t inc, int band, float* out,
                    uint32_t count) noexcept {
    uint64_t p = pos;
    for (uint32_t i = 0; i < count; ++i) {
        const int64_t at = static_cast<int64_t>(p >> 32) - sinc::kHalf;
        const float* k = sinc::Kernel(band, static_cast<int>(static_cast<uint32_t>(p) >> (32 - 9)));
        float acc = 0;
        for (int t = 0; t < sinc::kTaps; ++t) acc += Frame<k24>(src, low, at + t) * k[t];
        out[i] = acc;
        p += inc;
    }
    pos = p;
}

// Frames (at most `max`) whose integer position stays below `limit`.
inline uint32_t FramesBelow(uint64_t pos, uint64_t inc, uint32_t limit, uint32_t max) noexcept {
    uint64_t lim = static_cast<uint64_t>(limit) << 32;
    if (pos >= lim) return 0;
    // Usually the whole request fits: no division then.
    if (lim - pos > inc * (max - 1)) return max;
    uint64_t n = (lim - pos + inc - 1) / inc;
    return n < max ? static_cast<uint32_t>(n) : max;
}

} // namespace

void Voice::Interpolate(const int16_t* src, const uint8_t* low, uint64_t& p, uint64_t step, float* out,
                        uint32_t n) const noexcept {
    if (low) {
        if (sinc) SincRun<true>(src, low, p, step, sincBand, out, n);
        else LinearRun<true>(src, low, p, step, out, n);
    } else {
        if (sinc) kernels::SincRun16(src, p, step, sincBand, out, n);
        else kernels::LinearRun16(src, p, step, out, n);
    }
}

Voice::Region Voice::Locate(uint64_t& abs) const noexcept {
    // Positions are in looped frames: past loopEnd they continue the loop.
    const uint64_t len = loopEnd - loopStart;
    const uint64_t seamStart = static_cast<uint64_t>(loopEnd) - font::kGuard; // may wrap: only differences matter
    const uint64_t from = static_cast<uint64_t>(loopEnd) - kHalfGuard;
    const uint64_t limit = seamStart + seamLength - kHalfGuard;
    uint64_t idx = abs >> 32;
    if (idx >= limit) {
        // A seam that holds a whole loop takes the reader back to its start;
        // otherwise it goes back into the data by as few loops as it can.
        const uint64_t back = seamLength - font::kGuard >= len ? (idx - from) / len : (idx - limit) / len + 1;
        idx -= back * len;
        abs -= (back * len) << 32;
    }
    if (idx + kHalfGuard >= loopEnd) return Region{seam, seamLow, seamStart << 32, seamLength - kHalfGuard};
    return Region{pcm, pcmLow, 0, loopEnd - kHalfGuard};
}

bool Voice::Generate(float* tmp, uint32_t frames, uint32_t& off) noexcept {
    // A note that begins inside this block renders only from its start frame.
    off = startDelay;
    startDelay = 0;
    const bool silent = IsSilent();
    uint32_t done = off;
    bool alive = true;
    if (!silent && off) std::memset(tmp, 0, off * sizeof(float));

    while (done < frames) {
        // A block whose pitch moves changes step at pitchAt.
        const bool early = done < pitchAt;
        const uint64_t step = early ? earlyInc : inc;
        const uint32_t want = (early ? pitchAt : frames) - done;
        if (looping) {
            const Region r = Locate(pos);
            uint64_t rel = pos - r.shift;
            uint32_t n = FramesBelow(rel, step, r.limit, want);
            if (n == 0) n = 1;
            if (silent) rel += step * n;
            else Interpolate(r.src, r.low, rel, step, tmp + done, n);
            pos = rel + r.shift;
            done += n;
        } else {
            if (static_cast<uint32_t>(pos >> 32) >= end) {
                alive = false;
                break;
            }
            uint32_t n = FramesBelow(pos, step, end, want);
            if (n == 0) n = 1;
            if (silent) pos += step * n;
            else Interpolate(pcm, pcmLow, pos, step, tmp + done, n);
            done += n;
        }
    }
    if (!silent && done < frames) std::memset(tmp + done, 0, (frames - done) * sizeof(float));
    if (!silent && !GainInMix()) {
        Segments seg(*this, off, frames);
        for (int k = 0; k < 3; ++k)
            if (seg.first[k] < seg.last[k]) kernels::ScaleRamp(tmp, seg.first[k], seg.last[k], gainFrom[k], gainStep[k]);
    }
    return alive;
}

namespace {

// Ramps the voice's block into the buses it feeds, bus b from g0[b] by d[b]
// a frame over [from, to): the dry pair always, the sends as asked.
void MixInto(const float* tmp, MixBuses& bus, bool rev, bool cho, uint32_t from, uint32_t to, const float g0[4],
             const float d[4]) noexcept {
    if (rev && cho) {
        float* const buses[4] = {bus.left, bus.right, bus.reverb, bus.chorus};
        kernels::MixRamp4(tmp, buses, from, to, g0, d);
    } else if (rev) {
        kernels::MixRamp3(tmp, bus.left, bus.right, bus.reverb, from, to, g0, d);
    } else {
        kernels::MixRamp2(tmp, bus.left, bus.right, from, to, g0[Voice::kL], d[Voice::kL], g0[Voice::kR], d[Voice::kR]);
        if (cho) kernels::MixRamp(tmp, bus.chorus, from, to, g0[Voice::kChorus], d[Voice::kChorus]);
    }
}

} // namespace

void Voice::Mix(const float* tmp, uint32_t off, MixBuses& bus, uint32_t frames, bool fx) noexcept {
    const bool rev = fx && Feeds(kReverb);
    const bool cho = fx && Feeds(kChorus);
    if (GainInMix()) {
        // Without a filter the gain may as well come after it: each of its
        // segments ramps every bus by the bus's share, in one pass.
        Segments seg(*this, off, frames);
        for (int k = 0; k < 3; ++k) {
            if (seg.first[k] >= seg.last[k]) continue;
            float g0[4], d[4];
            for (int b = 0; b < 4; ++b) {
                g0[b] = gainFrom[k] * shareTo[b];
                d[b] = gainStep[k] * shareTo[b];
            }
            MixInto(tmp, bus, rev, cho, seg.first[k], seg.last[k], g0, d);
        }
    } else {
        MixInto(tmp, bus, rev, cho, off, frames, shareFrom, shareStep);
    }
    EndBlock();
}

bool Voice::Render(MixBuses& bus, uint32_t frames, bool fx) noexcept {
    alignas(32) float tmp[kBlockFrames];
    uint32_t off = 0;
    bool alive = Generate(tmp, frames, off);
    if (IsSilent()) {
        EndBlock();
        return alive;
    }
    if (filterOn) filterState.Run(filterFrom, filterStep, tmp + off, frames - off);
    Mix(tmp, off, bus, frames, fx);
    return alive;
}

bool Voice::Plain(uint32_t frames) const noexcept {
    if (sinc || pcmLow || Gliding() || IsSilent()) return false;
    // A loop's seam and wrap are taken care of by RenderPlainFour; a sample
    // that ends within the block goes the general way. The voice reads from
    // its start, at its first half's step up to pitchAt.
    if (looping) return true;
    uint64_t p = pos;
    uint32_t at = startDelay;
    if (pitchAt > at) {
        const uint32_t n = pitchAt - at;
        if (static_cast<uint32_t>(p >> 32) >= end || FramesBelow(p, earlyInc, end, n) != n) return false;
        p += earlyInc * n;
        at = pitchAt;
    }
    return static_cast<uint32_t>(p >> 32) < end && FramesBelow(p, inc, end, frames - at) == frames - at;
}

namespace {

// A biquad's coefficients in the kernels' order, {b0, b1, b2, a1, a2}.
std::array<float, 5> Five(const BiquadCoeffs& c) noexcept { return {c.b0, c.b1, c.b2, c.a1, c.a2}; }

// Where a lane of RenderPlainFour reads: the sample data or the loop seam,
// with the position in that buffer's frames (`shift` converts back) and the
// frame it may not reach. The same regions as Generate's runs.
struct LaneRegion {
    uint64_t shift = 0;
    uint32_t limit = 0;
};

LaneRegion Place(const Voice& v, uint64_t abs, const int16_t*& src, uint64_t& p) noexcept {
    if (!v.looping) {
        src = v.pcm;
        p = abs;
        return LaneRegion{0, v.end};
    }
    const Voice::Region r = v.Locate(abs);
    src = r.src;
    p = abs - r.shift;
    return LaneRegion{r.shift, r.limit};
}

} // namespace

namespace {

// What a lane reads before its voice starts: zeros, at a standstill (the
// passes load four samples from the position, and a guard's worth more).
alignas(16) constexpr int16_t kBeforeStart[16] = {};

// Four plain voices set up for the four-voice pass, and put back after it.
// A block is rendered in segments between the frames where some lane
// changes what the pass cannot change along the way (a voice starts, its
// gain ramp bends, its pitch takes its second half's step); Segment sets the
// lanes up for the next one, continuing from where the pass left them.
class PlainGroup {
public:
    PlainGroup(Voice* const v[4], uint32_t frames) noexcept : frames_(frames) {
        for (int k = 0; k < 4; ++k) {
            v_[k] = v[k];
            placed_[k] = false;
            const Voice& x = *v[k];
            for (int b = 0; b < 4; ++b) f.share[b][k] = x.shareTo[b];
            if (x.filterOn) {
                f.z[0][k] = x.filterState.z1;
                f.z[1][k] = x.filterState.z2;
            } else {
                f.z[0][k] = f.z[1][k] = 0;
            }
        }
        // A voice that reaches the end of the buffer it reads moves on to the
        // next (the seam, or back from it), as Generate's runs do; `remaining`
        // counts to the segment's end, the reads may go on to the block's.
        f.refill = [](void* ctx, int k, const int16_t*& src, uint64_t& p, uint32_t& left, uint32_t remaining) noexcept {
            PlainGroup& g = *static_cast<PlainGroup*>(ctx);
            g.region_[k] = Place(*g.v_[k], p + g.region_[k].shift, src, p);
            left = FramesBelow(p, g.v_[k]->StepAt(g.frames_ - g.after_ - remaining), g.region_[k].limit,
                               remaining + g.after_);
            if (left == 0) left = 1; // never stall (as Generate)
        };
        f.ctx = this;
    }
    PlainGroup(const PlainGroup&) = delete;
    PlainGroup& operator=(const PlainGroup&) = delete;

    // The frames inside the block where some lane changes, added to `at`.
    void Events(uint32_t* at, int& count) const noexcept {
        for (Voice* x : v_) {
            const uint32_t s = x->startDelay;
            const Voice::Segments seg(*x, s, frames_);
            for (uint32_t e : {s, seg.first[1], seg.first[2], x->pitchAt})
                if (e > 0 && e < frames_) at[count++] = e;
        }
    }

    // Sets the lanes up for frames [from, to) of the block.
    void Segment(uint32_t from, uint32_t to) noexcept {
        after_ = frames_ - to;
        for (int k = 0; k < 4; ++k) {
            const Voice& x = *v_[k];
            const uint32_t s = x.startDelay;
            const std::array<float, 5> c = x.filterOn ? Five(x.filterFrom) : kIdentity;
            if (from < s) {
                f.src[k] = kBeforeStart;
                f.pos[k] = f.inc[k] = 0;
                f.left[k] = to - from;
                f.e0[k] = f.de[k] = 0;
                for (int j = 0; j < 5; ++j) {
                    f.c[j][k] = c[j];
                    f.dc[j][k] = 0;
                }
                continue;
            }
            // The lane starts reading where its voice is, and reckons again
            // how far it may read when its step changes.
            const uint64_t step = x.StepAt(from);
            bool fresh = false;
            if (!placed_[k]) {
                region_[k] = Place(x, x.pos, f.src[k], f.pos[k]);
                placed_[k] = fresh = true;
            }
            if (fresh || f.inc[k] != step) {
                f.inc[k] = step;
                f.left[k] = FramesBelow(f.pos[k], step, region_[k].limit, frames_ - from);
                if (f.left[k] == 0) f.refill(f.ctx, k, f.src[k], f.pos[k], f.left[k], to - from);
            }
            // The gain ramp's segment `from` falls in, as Generate's runs
            // ramp it: frame i of segment j at gainFrom[j] + gainStep[j] (i -
            // first + 1).
            const Voice::Segments seg(x, s, frames_);
            int j = 0;
            while (j < 2 && from >= seg.last[j]) ++j;
            f.e0[k] = x.gainFrom[j] + x.gainStep[j] * static_cast<float>(from - seg.first[j]);
            f.de[k] = x.gainStep[j];
            // The filter glides from the voice's start.
            const std::array<float, 5> dc = x.filterOn ? Five(x.filterStep) : kNoStep;
            const float moved = static_cast<float>(from - s);
            for (int i = 0; i < 5; ++i) {
                f.c[i][k] = c[i] + dc[i] * moved;
                f.dc[i][k] = dc[i];
            }
        }
    }

    void Finish() noexcept {
        for (int k = 0; k < 4; ++k) {
            Voice& x = *v_[k];
            x.pos = f.pos[k] + region_[k].shift;
            if (x.filterOn) {
                x.filterState.z1 = f.z[0][k];
                x.filterState.z2 = f.z[1][k];
            }
            x.startDelay = 0;
            x.EndBlock();
        }
    }

    kernels::FourVoices f;

private:
    // The identity, in the low-pass's shape (b1 = 2 b0, b2 = b0): out = in
    // exactly, and the state stays exactly zero.
    static constexpr std::array<float, 5> kIdentity{1, 2, 1, 2, 1}, kNoStep{0, 0, 0, 0, 0};

    Voice* v_[4];
    bool placed_[4];
    LaneRegion region_[4];
    uint32_t frames_;
    uint32_t after_ = 0; // frames of the block after the current segment
};

// Runs groups of plain voices over the block in segments between their
// events; `pass(from, to)` renders frames [from, to) of every group.
template <int kGroups, class Pass>
void InSegments(PlainGroup* const (&g)[kGroups], uint32_t frames, Pass pass) noexcept {
    uint32_t at[kGroups * 16 + 1];
    int count = 0;
    for (PlainGroup* x : g) x->Events(at, count);
    at[count++] = frames;
    std::sort(at, at + count);
    uint32_t from = 0;
    for (int i = 0; i < count; ++i) {
        const uint32_t to = at[i];
        if (to <= from) continue;
        for (PlainGroup* x : g) x->Segment(from, to);
        pass(from, to);
        from = to;
    }
    for (PlainGroup* x : g) x->Finish();
}

static_assert(sizeof(MixBuses::lanes[0]) == kernels::kLaneStride * sizeof(float));

} // namespace

void Voice::MakeSilentFiller() noexcept {
    // Read four samples at a time by the eight-voice pass.
    static const int16_t kZeros[4] = {};
    sample = nullptr;
    pcm = kZeros;
    pcmLow = nullptr;
    sinc = looping = unloopAfterBlock = filterOn = false;
    filter = filterFrom = BiquadCoeffs{};
    filterStep = BiquadCoeffs{0, 0, 0, 0, 0};
    pos = inc = earlyInc = 0;
    pitchAt = 0;
    end = 1;
    startDelay = 0;
    brk = brk2 = kBlockFrames;
    std::memset(gainFrom, 0, sizeof gainFrom);
    std::memset(gainStep, 0, sizeof gainStep);
    gainTo = 0;
    std::memset(shareFrom, 0, sizeof shareFrom);
    std::memset(shareStep, 0, sizeof shareStep);
    std::memset(shareTo, 0, sizeof shareTo);
}

void RenderPlainFour(Voice* const v[4], MixBuses& bus, uint32_t buses, uint32_t frames) noexcept {
    PlainGroup g(v, frames);
    PlainGroup* const groups[1] = {&g};
    InSegments(groups, frames, [&](uint32_t from, uint32_t to) noexcept {
        kernels::RenderFour(g.f, bus.lanes[0] + kernels::kLanes * from, buses, to - from);
    });
}

void RenderPlainEight(Voice* const a[4], Voice* const b[4], MixBuses& bus, uint32_t buses, uint32_t frames) noexcept {
    PlainGroup ga(a, frames), gb(b, frames);
    PlainGroup* const groups[2] = {&ga, &gb};
    InSegments(groups, frames, [&](uint32_t from, uint32_t to) noexcept {
        kernels::RenderEight(ga.f, gb.f, bus.lanes[0] + kernels::kLanes * from, buses, to - from);
    });
}

namespace {

template <int kVoices>
void FilterGroup(Voice* const v[kVoices], float* const tmp[kVoices], uint32_t frames) noexcept {
    float c[kVoices][5], dc[kVoices][5], z[kVoices][2];
    for (int k = 0; k < kVoices; ++k) {
        std::ranges::copy(Five(v[k]->filterFrom), c[k]);
        std::ranges::copy(Five(v[k]->filterStep), dc[k]);
        z[k][0] = v[k]->filterState.z1;
        z[k][1] = v[k]->filterState.z2;
    }
    if constexpr (kVoices == 8) kernels::BiquadEight(tmp, c, dc, z, frames);
    else kernels::BiquadFour(tmp, c, dc, z, frames);
    for (int k = 0; k < kVoices; ++k) {
        v[k]->filterState.z1 = z[k][0];
        v[k]->filterState.z2 = z[k][1];
    }
}

} // namespace

void FilterFour(Voice* const v[4], float* const tmp[4], uint32_t frames) noexcept { FilterGroup<4>(v, tmp, frames); }
void FilterEight(Voice* const v[8], float* const tmp[8], uint32_t frames) noexcept { FilterGroup<8>(v, tmp, frames); }

} // namespace tsl
