// Two groups of the four-voice pass run side by side in 256-bit registers
// (the wide builds only, through wide_kernels_impl.h). The position steps,
// interpolation and filters take one instruction for eight voices instead
// of two, and each bus takes one load and one store per frame for both
// groups. Where no voice moves faster than two frames a frame, one load of
// four samples per voice serves two frames.
//
// The first group adds into lanes 0-3 of the buses and the second into lanes
// 4-7, each term fused as the four-voice pass does: the same additions in
// the same order as running the first group over the block into lanes 0-3
// and then the second into lanes 4-7, to the bit.
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "synth/four_voice_pass.h"
#include "synth/kernels.h"

namespace tsl::kernels {
namespace {
namespace eight {

inline __m256 Join(const float (&a)[4], const float (&b)[4]) noexcept {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(a)), _mm_loadu_ps(b), 1);
}

// Whole frames and fractions (top bit flipped, so that a signed compare
// finds the unsigned wrap) of eight 32.32 positions, in 32-bit lanes.
class Positions {
public:
    Positions(const FourVoices& a, const FourVoices& b) noexcept {
        Split(a.inc, b.inc, 1, 0, istep_, fstep_);
        Split(a.inc, b.inc, 2, 0, istep2_, fstep2_);
        Load(a, b);
    }
    void Load(const FourVoices& a, const FourVoices& b) noexcept { Split(a.pos, b.pos, 1, 0x80000000u, whole_, flipped_); }
    void Store(FourVoices& a, FourVoices& b) const noexcept {
        alignas(32) uint32_t w[8], f[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(w), whole_);
        _mm256_store_si256(reinterpret_cast<__m256i*>(f), flipped_);
        for (int k = 0; k < 4; ++k) {
            a.pos[k] = static_cast<uint64_t>(w[k]) << 32 | (f[k] ^ 0x80000000u);
            b.pos[k] = static_cast<uint64_t>(w[4 + k]) << 32 | (f[4 + k] ^ 0x80000000u);
        }
    }
    __m256i Pairs(const int16_t* const s[8]) const noexcept {
        uint32_t x[8];
        Offsets(x);
        return _mm256_setr_epi32(Pair(s[0] + x[0]), Pair(s[1] + x[1]), Pair(s[2] + x[2]), Pair(s[3] + x[3]),
                                 Pair(s[4] + x[4]), Pair(s[5] + x[5]), Pair(s[6] + x[6]), Pair(s[7] + x[7]));
    }
    // The pairs of this frame and of the next from one four-sample load per
    // voice: with increments below 2 no voice moves on by more than two
    // samples in a frame. Half the loads and position moves per frame, in a
    // pass bound by its vector instructions. Returns this frame's 1 +
    // fractions, puts the next frame's in `next` and steps the positions on
    // by both frames, where two calls of OnePlusFractions would.
    __m256 TwoPairs(const int16_t* const s[8], __m256i& first, __m256i& second, __m256& next) noexcept {
        uint32_t x[8];
        Offsets(x);
        // Voices 0, 1, 4, 5 in a and 2, 3, 6, 7 in b: one shuffle per frame
        // then puts their pairs in voice order.
        const __m256i a =
            _mm256_setr_epi64x(Quad(s[0] + x[0]), Quad(s[1] + x[1]), Quad(s[4] + x[4]), Quad(s[5] + x[5]));
        const __m256i b =
            _mm256_setr_epi64x(Quad(s[2] + x[2]), Quad(s[3] + x[3]), Quad(s[6] + x[6]), Quad(s[7] + x[7]));
        // Twice the increment, taken as one 32.32 step, lands where two
        // steps of one increment do, for three instructions fewer.
        const __m256i mid = _mm256_add_epi32(flipped_, fstep_), after = _mm256_add_epi32(flipped_, fstep2_);
        const __m256 f = Fractions(flipped_);
        next = Fractions(mid);
        // The next frame's pair starts whole increment + carry samples on:
        // 16 bits each, taken off the bottom of each voice's four.
        const __m256i bits = _mm256_slli_epi32(_mm256_sub_epi32(istep_, _mm256_cmpgt_epi32(flipped_, mid)), 4);
        whole_ = _mm256_sub_epi32(_mm256_add_epi32(whole_, istep2_), _mm256_cmpgt_epi32(flipped_, after));
        flipped_ = after;
        first = Low(a, b);
        const __m256i zero = _mm256_setzero_si256();
        second = Low(_mm256_srlv_epi64(a, _mm256_unpacklo_epi32(bits, zero)),
                     _mm256_srlv_epi64(b, _mm256_unpackhi_epi32(bits, zero)));
        return f;
    }
    // 1 + the fractions at the current positions (the four-voice pass's 23
    // bits of fraction, as a float's mantissa over an exponent of 0); then
    // steps every position on. Two instructions where the fraction itself
    // takes three.
    __m256 OnePlusFractions() noexcept {
        const __m256 f = Fractions(flipped_);
        const __m256i next = _mm256_add_epi32(flipped_, fstep_);
        whole_ = _mm256_sub_epi32(_mm256_add_epi32(whole_, istep_), _mm256_cmpgt_epi32(flipped_, next));
        flipped_ = next;
        return f;
    }

private:
    // The whole and fractional halves of times × eight 32.32 values (a's
    // four, then b's), the fractions' bits xored with `flip`.
    static void Split(const uint64_t (&a)[4], const uint64_t (&b)[4], uint64_t times, uint32_t flip, __m256i& whole,
                      __m256i& fraction) noexcept {
        alignas(32) int32_t w[8], f[8];
        for (int k = 0; k < 8; ++k) {
            const uint64_t v = times * (k < 4 ? a[k] : b[k - 4]);
            w[k] = static_cast<int32_t>(static_cast<uint32_t>(v >> 32));
            f[k] = static_cast<int32_t>(static_cast<uint32_t>(v) ^ flip);
        }
        whole = _mm256_load_si256(reinterpret_cast<const __m256i*>(w));
        fraction = _mm256_load_si256(reinterpret_cast<const __m256i*>(f));
    }
    // The flipped top bit lands on bit 22: it goes back with the exponent.
    static __m256 Fractions(__m256i flipped) noexcept {
        return _mm256_castsi256_ps(_mm256_xor_si256(_mm256_srli_epi32(flipped, 9), _mm256_set1_epi32(0x3fc00000)));
    }
    // The whole frames of the eight positions, two at a time through a
    // 64-bit register and split apart there: half as many instructions on
    // the vector ports (a 32-bit lane move takes two of them).
    void Offsets(uint32_t (&x)[8]) const noexcept {
        const __m128i lo = _mm256_castsi256_si128(whole_), hi = _mm256_extracti128_si256(whole_, 1);
        // One scalar each, never an array: GCC at -O2 would store an array
        // and load it back as a vector, which waits for the stores.
        const uint64_t q0 = static_cast<uint64_t>(_mm_cvtsi128_si64(lo));
        const uint64_t q1 = static_cast<uint64_t>(_mm_extract_epi64(lo, 1));
        const uint64_t q2 = static_cast<uint64_t>(_mm_cvtsi128_si64(hi));
        const uint64_t q3 = static_cast<uint64_t>(_mm_extract_epi64(hi, 1));
        x[0] = static_cast<uint32_t>(q0);
        x[1] = static_cast<uint32_t>(q0 >> 32);
        x[2] = static_cast<uint32_t>(q1);
        x[3] = static_cast<uint32_t>(q1 >> 32);
        x[4] = static_cast<uint32_t>(q2);
        x[5] = static_cast<uint32_t>(q2 >> 32);
        x[6] = static_cast<uint32_t>(q3);
        x[7] = static_cast<uint32_t>(q3 >> 32);
    }
    static int64_t Quad(const int16_t* s) noexcept {
        int64_t v;
        std::memcpy(&v, s, sizeof v);
        return v;
    }
    // The low halves of the 64-bit lanes of a (voices 0, 1, 4, 5) and b
    // (2, 3, 6, 7), in voice order.
    static __m256i Low(__m256i a, __m256i b) noexcept {
        return _mm256_castps_si256(_mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), 0x88));
    }

    __m256i whole_, flipped_, istep_, fstep_, istep2_, fstep2_;
};

template <uint32_t kBuses, bool kLowpass>
void Pass(FourVoices& va, FourVoices& vb, float* __restrict acc, uint32_t frames) noexcept {
    const int16_t* s[8];
    for (int k = 0; k < 4; ++k) {
        s[k] = va.src[k];
        s[4 + k] = vb.src[k];
    }
    Positions pos(va, vb);
    __m256 b0 = Join(va.c[0], vb.c[0]), b1 = Join(va.c[1], vb.c[1]), b2 = Join(va.c[2], vb.c[2]);
    __m256 a1 = Join(va.c[3], vb.c[3]), a2 = Join(va.c[4], vb.c[4]);
    const __m256 db0 = Join(va.dc[0], vb.dc[0]), db1 = Join(va.dc[1], vb.dc[1]), db2 = Join(va.dc[2], vb.dc[2]);
    const __m256 da1 = Join(va.dc[3], vb.dc[3]), da2 = Join(va.dc[4], vb.dc[4]);
    __m256 z1 = Join(va.z[0], vb.z[0]), z2 = Join(va.z[1], vb.z[1]);
    // The gain ramp, on b0 for the low-pass (as the four-voice pass).
    __m256 e = Join(va.e0, vb.e0), de = Join(va.de, vb.de);
    // b0·e steps along the product of two lines (four_voice_pass.h).
    __m256 dde = _mm256_setzero_ps();
    if constexpr (kLowpass) {
        dde = _mm256_mul_ps(_mm256_add_ps(db0, db0), de);
        de = _mm256_fmadd_ps(db0, e, _mm256_fmadd_ps(b0, de, _mm256_mul_ps(db0, de)));
        e = _mm256_mul_ps(b0, e);
    }
    __m256 share[kBuses];
    for (uint32_t b = 0; b < kBuses; ++b) share[b] = Join(va.share[b], vb.share[b]);
    // Two frames per load when every increment is below 2 (the usual case:
    // most notes play near their sample's root key).
    bool twoStep = true;
    for (int k = 0; k < 4; ++k)
        if ((va.inc[k] >> 33) != 0 || (vb.inc[k] >> 33) != 0) twoStep = false;
    uint32_t i = 0;
    for (;;) {
        uint32_t part = frames - i;
        for (uint32_t l : va.left)
            if (l < part) part = l;
        for (uint32_t l : vb.left)
            if (l < part) part = l;
        const uint32_t stop = i + part;
        float* at = acc + kLanes * i;
        auto frame = [&](__m256i pairs, __m256 f) noexcept {
            // The step from the first sample a to the second b, and 2a - b,
            // as -1·a + 1·b and 2·a - 1·b: exact in integers, and so in
            // floats (17 bits). rise·(1 + f) + (2a - b) is exactly rise·f + a,
            // and one fused rounding of it gives the four-voice pass's bits.
            const __m256 base = _mm256_cvtepi32_ps(_mm256_madd_epi16(pairs, _mm256_set1_epi32(static_cast<int>(0xffff0002u))));
            const __m256 rise = _mm256_cvtepi32_ps(_mm256_madd_epi16(pairs, _mm256_set1_epi32(0x1ffff)));
            const __m256 in = _mm256_fmadd_ps(rise, f, base);
            e = _mm256_add_ps(e, de);
            a1 = _mm256_add_ps(a1, da1);
            a2 = _mm256_add_ps(a2, da2);
            __m256 out;
            if constexpr (kLowpass) {
                de = _mm256_add_ps(de, dde);
                const __m256 t = _mm256_mul_ps(e, in);
                out = _mm256_add_ps(t, z1);
                // t + t is exact, so 2·t + z2 fused rounds as (t + t) + z2 does.
                z1 = _mm256_fnmadd_ps(a1, out, _mm256_fmadd_ps(t, _mm256_set1_ps(2.0f), z2));
                z2 = _mm256_fnmadd_ps(a2, out, t);
            } else {
                b0 = _mm256_add_ps(b0, db0);
                b1 = _mm256_add_ps(b1, db1);
                b2 = _mm256_add_ps(b2, db2);
                const __m256 x = _mm256_mul_ps(e, in);
                out = _mm256_fmadd_ps(b0, x, z1);
                z1 = _mm256_fnmadd_ps(a1, out, _mm256_fmadd_ps(b1, x, z2));
                z2 = _mm256_fnmadd_ps(a2, out, _mm256_mul_ps(b2, x));
            }
            for (uint32_t b = 0; b < kBuses; ++b) {
                float* bus = at + b * kLaneStride;
                _mm256_store_ps(bus, _mm256_fmadd_ps(out, share[b], _mm256_load_ps(bus)));
            }
            at += kLanes;
        };
        if (twoStep) {
            for (; i + 2 <= stop; i += 2) {
                __m256i first, second;
                __m256 next;
                const __m256 f = pos.TwoPairs(s, first, second, next);
                frame(first, f);
                frame(second, next);
            }
        }
        for (; i < stop; ++i) {
            const __m256i pairs = pos.Pairs(s);
            frame(pairs, pos.OnePlusFractions());
        }
        for (uint32_t& l : va.left) l -= part;
        for (uint32_t& l : vb.left) l -= part;
        if (i == frames) break;
        // Some voice reached the end of its buffer: it moves to its next
        // one, by whole frames.
        pos.Store(va, vb);
        for (int k = 0; k < 4; ++k) {
            va.src[k] = s[k];
            vb.src[k] = s[4 + k];
        }
        for (int k = 0; k < 4; ++k) {
            if (va.left[k] == 0) va.refill(va.ctx, k, va.src[k], va.pos[k], va.left[k], frames - i);
            if (vb.left[k] == 0) vb.refill(vb.ctx, k, vb.src[k], vb.pos[k], vb.left[k], frames - i);
        }
        pos.Load(va, vb);
        for (int k = 0; k < 4; ++k) {
            s[k] = va.src[k];
            s[4 + k] = vb.src[k];
        }
    }
    pos.Store(va, vb);
    for (int k = 0; k < 4; ++k) {
        va.src[k] = s[k];
        vb.src[k] = s[4 + k];
    }
    auto split = [](__m256 x, float (&lo)[4], float (&hi)[4]) {
        _mm_storeu_ps(lo, _mm256_castps256_ps128(x));
        _mm_storeu_ps(hi, _mm256_extractf128_ps(x, 1));
    };
    split(z1, va.z[0], vb.z[0]);
    split(z2, va.z[1], vb.z[1]);
}

template <bool kLowpass>
void PassFor(FourVoices& va, FourVoices& vb, float* acc, uint32_t buses, uint32_t frames) noexcept {
    if (buses == 2) Pass<2, kLowpass>(va, vb, acc, frames);
    else if (buses == 3) Pass<3, kLowpass>(va, vb, acc, frames);
    else Pass<4, kLowpass>(va, vb, acc, frames);
}

} // namespace eight
} // namespace
} // namespace tsl::kernels
