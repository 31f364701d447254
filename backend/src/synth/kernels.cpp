#include "synth/kernels.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

#include "synth/sinc_table.h"

#if defined(__SSE2__) || defined(_M_X64)
#include "synth/four_voice_pass.h"
#define TSL_KERNELS_SSE2 1
#if defined(__x86_64__)
// kernels_avx2.cpp and kernels_avx512.cpp: the wide builds of the passes.
#define TSL_KERNELS_WIDE 1
#include <cpuid.h>

#include "synth/wide_kernels.h"
#endif
#endif

namespace tsl::kernels {
namespace {

std::atomic<bool> g_vectorised{true};
#ifdef TSL_KERNELS_WIDE
// Whether the system saves the AVX-512 registers (and the upper halves of
// the AVX ones) across thread switches: a processor can have AVX-512 under
// a system that does not (Windows 7).
bool SystemSavesAvx512() noexcept {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_OSXSAVE)) return false;
    unsigned lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    // SSE, AVX, opmask, upper halves of zmm0-15, zmm16-31.
    return (lo & 0xe6) == 0xe6;
}

Wide Widest() noexcept {
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma")) return Wide::kNone;
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512dq") && SystemSavesAvx512())
        return Wide::kAvx512;
    return Wide::kAvx2;
}
const Wide g_widest = Widest();
const WideKernels* TableOf(Wide w) noexcept {
    return w == Wide::kAvx512 ? &kAvx512Kernels : (w == Wide::kAvx2 ? &kAvx2Kernels : nullptr);
}
std::atomic<const WideKernels*> g_wide{TableOf(g_widest)};
// The wide build in use, or null for SSE2.
inline const WideKernels* WideBuild() noexcept { return g_wide.load(std::memory_order_relaxed); }
#endif

inline bool On() noexcept { return g_vectorised.load(std::memory_order_relaxed); }

// ---------------------------------------------------------------------------
// Scalar reference

void LinearScalar(const int16_t* src, uint64_t& pos, uint64_t inc, float* out, uint32_t count) noexcept {
    uint64_t p = pos;
    for (uint32_t i = 0; i < count; ++i) {
        const int16_t* s = src + (p >> 32);
        float frac = static_cast<float>(static_cast<uint32_t>(p)) * (1.0f / 4294967296.0f);
        float a = s[0];
        out[i] = a + (static_cast<float>(s[1]) - a) * frac;
        p += inc;
    }
    pos = p;
}

void SincScalar(const int16_t* src, uint64_t& pos, uint64_t inc, int band, float* out, uint32_t count) noexcept {
    uint64_t p = pos;
    for (uint32_t i = 0; i < count; ++i) {
        const int16_t* s = src + (p >> 32) - sinc::kHalf;
        const float* k = sinc::Kernel(band, static_cast<int>(static_cast<uint32_t>(p) >> (32 - 9)));
        float acc = 0;
        for (int t = 0; t < sinc::kTaps; ++t) acc += static_cast<float>(s[t]) * k[t];
        out[i] = acc;
        p += inc;
    }
    pos = p;
}

void MixScalar(const float* __restrict x, float* __restrict bus, uint32_t from, uint32_t to, float g0,
               float d) noexcept {
    for (uint32_t i = from; i < to; ++i) bus[i] += x[i] * (g0 + d * static_cast<float>(i - from + 1));
}

void ScaleScalar(float* __restrict x, uint32_t from, uint32_t to, float g0, float d) noexcept {
    for (uint32_t i = from; i < to; ++i) x[i] *= g0 + d * static_cast<float>(i - from + 1);
}

void BiquadScalar(float* const x[4], const float c[4][5], const float (*dc)[5], float z[4][2], uint32_t frames) noexcept {
    for (int k = 0; k < 4; ++k) {
        float b0 = c[k][0], b1 = c[k][1], b2 = c[k][2], a1 = c[k][3], a2 = c[k][4];
        const float db0 = dc[k][0], db1 = dc[k][1], db2 = dc[k][2], da1 = dc[k][3], da2 = dc[k][4];
        float s1 = z[k][0], s2 = z[k][1];
        float* v = x[k];
        for (uint32_t i = 0; i < frames; ++i) {
            b0 += db0;
            b1 += db1;
            b2 += db2;
            a1 += da1;
            a2 += da2;
            const float in = v[i];
            const float out = b0 * in + s1;
            s1 = b1 * in - a1 * out + s2;
            s2 = b2 * in - a2 * out;
            v[i] = out;
        }
        z[k][0] = s1;
        z[k][1] = s2;
    }
}

void FourScalar(FourVoices& v, float* acc, uint32_t buses, uint32_t frames) noexcept {
    for (int k = 0; k < 4; ++k) {
        uint64_t p = v.pos[k];
        float b0 = v.c[0][k], b1 = v.c[1][k], b2 = v.c[2][k], a1 = v.c[3][k], a2 = v.c[4][k];
        float s1 = v.z[0][k], s2 = v.z[1][k];
        float e = v.e0[k];
        const int16_t* src = v.src[k];
        uint32_t left = v.left[k];
        for (uint32_t i = 0; i < frames; ++i) {
            if (left == 0) v.refill(v.ctx, k, src, p, left, frames - i);
            --left;
            const int16_t* s = src + (p >> 32);
            const float frac = static_cast<float>(static_cast<uint32_t>(p)) * (1.0f / 4294967296.0f);
            const float a = s[0];
            e += v.de[k];
            b0 += v.dc[0][k];
            b1 += v.dc[1][k];
            b2 += v.dc[2][k];
            a1 += v.dc[3][k];
            a2 += v.dc[4][k];
            const float in = (a + (static_cast<float>(s[1]) - a) * frac) * e;
            p += v.inc[k];
            const float out = b0 * in + s1;
            s1 = b1 * in - a1 * out + s2;
            s2 = b2 * in - a2 * out;
            for (uint32_t b = 0; b < buses; ++b) acc[b * kLaneStride + kLanes * i + k] += out * v.share[b][k];
        }
        v.pos[k] = p;
        v.src[k] = src;
        v.left[k] = left;
        v.z[0][k] = s1;
        v.z[1][k] = s2;
    }
}

void ReduceScalar(const float* acc, float* bus, uint32_t frames) noexcept {
    for (uint32_t i = 0; i < frames; ++i) {
        const float* l = acc + kLanes * i;
        bus[i] += (((l[0] + l[4]) + (l[1] + l[5])) + (l[2] + l[6])) + (l[3] + l[7]);
    }
}

#ifdef TSL_KERNELS_SSE2


void LinearSse(const int16_t* src, uint64_t& pos, uint64_t inc, float* out, uint32_t count) noexcept {
    uint64_t p = pos;
    uint32_t i = 0;
    if (count >= 4) {
        // The fractions live in 32-bit lanes that wrap on their own; the
        // integer parts come from the 64-bit position, one per frame.
        const uint32_t lo = static_cast<uint32_t>(p), il = static_cast<uint32_t>(inc);
        __m128i frac = _mm_set_epi32(static_cast<int32_t>(lo + 3 * il), static_cast<int32_t>(lo + 2 * il),
                                     static_cast<int32_t>(lo + il), static_cast<int32_t>(lo));
        const __m128i step = _mm_set1_epi32(static_cast<int32_t>(4 * il));
        const __m128 scale = _mm_set1_ps(1.0f / 8388608.0f);
        for (; i + 4 <= count; i += 4) {
            const uint64_t p1 = p + inc, p2 = p1 + inc, p3 = p2 + inc;
            const __m128i pairs = _mm_set_epi32(Pair(src + (p3 >> 32)), Pair(src + (p2 >> 32)),
                                                Pair(src + (p1 >> 32)), Pair(src + (p >> 32)));
            p = p3 + inc;
            // 1·a + 0·b and -1·a + 1·b: exact, as in the voice passes.
            const __m128 a = _mm_cvtepi32_ps(_mm_madd_epi16(pairs, _mm_set1_epi32(1)));
            const __m128 rise = _mm_cvtepi32_ps(_mm_madd_epi16(pairs, _mm_set1_epi32(0x1ffff)));
            const __m128 f = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srli_epi32(frac, 9)), scale);
            _mm_storeu_ps(out + i, _mm_add_ps(a, _mm_mul_ps(rise, f)));
            frac = _mm_add_epi32(frac, step);
        }
    }
    pos = p;
    if (i < count) LinearScalar(src, pos, inc, out + i, count - i);
}

// The sixteen taps of one output frame, as four products of four; summed
// across lanes by the caller, four frames at a time.
inline __m128 SincTaps(const int16_t* s, const float* k) noexcept {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 8));
    // Sign extension: each 16-bit value into the top half of a lane, shifted down.
    const __m128 x0 = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(lo, lo), 16));
    const __m128 x1 = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(lo, lo), 16));
    const __m128 x2 = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(hi, hi), 16));
    const __m128 x3 = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(hi, hi), 16));
    const __m128 a = _mm_add_ps(_mm_mul_ps(x0, _mm_load_ps(k)), _mm_mul_ps(x1, _mm_load_ps(k + 4)));
    const __m128 b = _mm_add_ps(_mm_mul_ps(x2, _mm_load_ps(k + 8)), _mm_mul_ps(x3, _mm_load_ps(k + 12)));
    return _mm_add_ps(a, b);
}

void SincSse(const int16_t* src, uint64_t& pos, uint64_t inc, int band, float* out, uint32_t count) noexcept {
    static_assert(sinc::kTaps == 16);
    uint64_t p = pos;
    auto at = [&](uint64_t q, const float*& k) {
        k = sinc::Kernel(band, static_cast<int>(static_cast<uint32_t>(q) >> (32 - 9)));
        return src + (q >> 32) - sinc::kHalf;
    };
    uint32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const float *k0, *k1, *k2, *k3;
        const int16_t* s0 = at(p, k0);
        const int16_t* s1 = at(p + inc, k1);
        const int16_t* s2 = at(p + 2 * inc, k2);
        const int16_t* s3 = at(p + 3 * inc, k3);
        p += 4 * inc;
        __m128 r0 = SincTaps(s0, k0), r1 = SincTaps(s1, k1), r2 = SincTaps(s2, k2), r3 = SincTaps(s3, k3);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _mm_storeu_ps(out + i, _mm_add_ps(_mm_add_ps(r0, r1), _mm_add_ps(r2, r3)));
    }
    pos = p;
    if (i < count) SincScalar(src, pos, inc, band, out + i, count - i);
}

void MixSse(const float* x, float* bus, uint32_t from, uint32_t to, float g0, float d) noexcept {
    uint32_t i = from;
    if (to - from >= 4) {
        // Gains from the frame count, not accumulated: the same values as
        // the scalar loop, ending exactly on the target.
        const __m128 gv = _mm_set1_ps(g0), dv = _mm_set1_ps(d), four = _mm_set1_ps(4);
        __m128 k = _mm_set_ps(4, 3, 2, 1);
        for (; i + 4 <= to; i += 4) {
            const __m128 g = _mm_add_ps(gv, _mm_mul_ps(dv, k));
            _mm_storeu_ps(bus + i, _mm_add_ps(_mm_loadu_ps(bus + i), _mm_mul_ps(_mm_loadu_ps(x + i), g)));
            k = _mm_add_ps(k, four);
        }
    }
    for (; i < to; ++i) bus[i] += x[i] * (g0 + d * static_cast<float>(i - from + 1));
}

void Mix2Sse(const float* x, float* busA, float* busB, uint32_t from, uint32_t to, float a0, float da, float b0,
             float db) noexcept {
    uint32_t i = from;
    if (to - from >= 4) {
        const __m128 av = _mm_set1_ps(a0), dav = _mm_set1_ps(da), bv = _mm_set1_ps(b0), dbv = _mm_set1_ps(db);
        const __m128 four = _mm_set1_ps(4);
        __m128 k = _mm_set_ps(4, 3, 2, 1);
        for (; i + 4 <= to; i += 4) {
            const __m128 v = _mm_loadu_ps(x + i);
            const __m128 ga = _mm_add_ps(av, _mm_mul_ps(dav, k)), gb = _mm_add_ps(bv, _mm_mul_ps(dbv, k));
            _mm_storeu_ps(busA + i, _mm_add_ps(_mm_loadu_ps(busA + i), _mm_mul_ps(v, ga)));
            _mm_storeu_ps(busB + i, _mm_add_ps(_mm_loadu_ps(busB + i), _mm_mul_ps(v, gb)));
            k = _mm_add_ps(k, four);
        }
    }
    for (; i < to; ++i) {
        const float kk = static_cast<float>(i - from + 1);
        busA[i] += x[i] * (a0 + da * kk);
        busB[i] += x[i] * (b0 + db * kk);
    }
}

void Mix3Sse(const float* x, float* busA, float* busB, float* busC, uint32_t from, uint32_t to, const float g0[3],
             const float d[3]) noexcept {
    uint32_t i = from;
    if (to - from >= 4) {
        const __m128 av = _mm_set1_ps(g0[0]), dav = _mm_set1_ps(d[0]);
        const __m128 bv = _mm_set1_ps(g0[1]), dbv = _mm_set1_ps(d[1]);
        const __m128 cv = _mm_set1_ps(g0[2]), dcv = _mm_set1_ps(d[2]);
        const __m128 four = _mm_set1_ps(4);
        __m128 k = _mm_set_ps(4, 3, 2, 1);
        for (; i + 4 <= to; i += 4) {
            const __m128 v = _mm_loadu_ps(x + i);
            const __m128 ga = _mm_add_ps(av, _mm_mul_ps(dav, k));
            const __m128 gb = _mm_add_ps(bv, _mm_mul_ps(dbv, k));
            const __m128 gc = _mm_add_ps(cv, _mm_mul_ps(dcv, k));
            _mm_storeu_ps(busA + i, _mm_add_ps(_mm_loadu_ps(busA + i), _mm_mul_ps(v, ga)));
            _mm_storeu_ps(busB + i, _mm_add_ps(_mm_loadu_ps(busB + i), _mm_mul_ps(v, gb)));
            _mm_storeu_ps(busC + i, _mm_add_ps(_mm_loadu_ps(busC + i), _mm_mul_ps(v, gc)));
            k = _mm_add_ps(k, four);
        }
    }
    for (; i < to; ++i) {
        const float kk = static_cast<float>(i - from + 1);
        busA[i] += x[i] * (g0[0] + d[0] * kk);
        busB[i] += x[i] * (g0[1] + d[1] * kk);
        busC[i] += x[i] * (g0[2] + d[2] * kk);
    }
}

void Mix4Sse(const float* x, float* const bus[4], uint32_t from, uint32_t to, const float g0[4],
             const float d[4]) noexcept {
    uint32_t i = from;
    if (to - from >= 4) {
        __m128 gv[4], dv[4];
        for (int b = 0; b < 4; ++b) {
            gv[b] = _mm_set1_ps(g0[b]);
            dv[b] = _mm_set1_ps(d[b]);
        }
        const __m128 four = _mm_set1_ps(4);
        __m128 k = _mm_set_ps(4, 3, 2, 1);
        for (; i + 4 <= to; i += 4) {
            const __m128 v = _mm_loadu_ps(x + i);
            for (int b = 0; b < 4; ++b) {
                const __m128 g = _mm_add_ps(gv[b], _mm_mul_ps(dv[b], k));
                _mm_storeu_ps(bus[b] + i, _mm_add_ps(_mm_loadu_ps(bus[b] + i), _mm_mul_ps(v, g)));
            }
            k = _mm_add_ps(k, four);
        }
    }
    for (; i < to; ++i) {
        const float kk = static_cast<float>(i - from + 1);
        for (int b = 0; b < 4; ++b) bus[b][i] += x[i] * (g0[b] + d[b] * kk);
    }
}

void BiquadSse(float* const x[4], const float c[4][5], const float (*dc)[5], float z[4][2], uint32_t frames) noexcept {
    // One lane per voice: the recurrence runs along the frames, so four
    // voices fill the vector. Frames are moved between the per-voice buffers
    // and the lanes four at a time by 4x4 transposes.
    auto lanes = [](const float (*v)[5], int j) { return _mm_set_ps(v[3][j], v[2][j], v[1][j], v[0][j]); };
    __m128 b0 = lanes(c, 0), b1 = lanes(c, 1), b2 = lanes(c, 2), a1 = lanes(c, 3), a2 = lanes(c, 4);
    const __m128 db0 = lanes(dc, 0), db1 = lanes(dc, 1), db2 = lanes(dc, 2), da1 = lanes(dc, 3), da2 = lanes(dc, 4);
    __m128 s1 = _mm_set_ps(z[3][0], z[2][0], z[1][0], z[0][0]);
    __m128 s2 = _mm_set_ps(z[3][1], z[2][1], z[1][1], z[0][1]);
    auto step = [&](__m128 in) {
        b0 = _mm_add_ps(b0, db0);
        b1 = _mm_add_ps(b1, db1);
        b2 = _mm_add_ps(b2, db2);
        a1 = _mm_add_ps(a1, da1);
        a2 = _mm_add_ps(a2, da2);
        const __m128 out = _mm_add_ps(_mm_mul_ps(b0, in), s1);
        s1 = _mm_add_ps(_mm_sub_ps(_mm_mul_ps(b1, in), _mm_mul_ps(a1, out)), s2);
        s2 = _mm_sub_ps(_mm_mul_ps(b2, in), _mm_mul_ps(a2, out));
        return out;
    };
    uint32_t i = 0;
    for (; i + 4 <= frames; i += 4) {
        __m128 r0 = _mm_loadu_ps(x[0] + i), r1 = _mm_loadu_ps(x[1] + i);
        __m128 r2 = _mm_loadu_ps(x[2] + i), r3 = _mm_loadu_ps(x[3] + i);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3); // r0 = frame i of the four voices
        r0 = step(r0);
        r1 = step(r1);
        r2 = step(r2);
        r3 = step(r3);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3); // back to one voice per vector
        _mm_storeu_ps(x[0] + i, r0);
        _mm_storeu_ps(x[1] + i, r1);
        _mm_storeu_ps(x[2] + i, r2);
        _mm_storeu_ps(x[3] + i, r3);
    }
    for (; i < frames; ++i) {
        const __m128 out = step(_mm_set_ps(x[3][i], x[2][i], x[1][i], x[0][i]));
        alignas(16) float o[4];
        _mm_store_ps(o, out);
        for (int k = 0; k < 4; ++k) x[k][i] = o[k];
    }
    alignas(16) float t1[4], t2[4];
    _mm_store_ps(t1, s1);
    _mm_store_ps(t2, s2);
    for (int k = 0; k < 4; ++k) {
        z[k][0] = t1[k];
        z[k][1] = t2[k];
    }
}

void ReduceSse(const float* acc, float* bus, uint32_t frames) noexcept {
    uint32_t i = 0;
    for (; i + 4 <= frames; i += 4) {
        const float* l = acc + kLanes * i;
        // Lanes k + 4 onto lanes k, then four frames' four sums transposed.
        __m128 r0 = _mm_add_ps(_mm_load_ps(l), _mm_load_ps(l + 4));
        __m128 r1 = _mm_add_ps(_mm_load_ps(l + 8), _mm_load_ps(l + 12));
        __m128 r2 = _mm_add_ps(_mm_load_ps(l + 16), _mm_load_ps(l + 20));
        __m128 r3 = _mm_add_ps(_mm_load_ps(l + 24), _mm_load_ps(l + 28));
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3); // r0 = lanes 0 and 4 of four frames
        const __m128 sum = _mm_add_ps(_mm_add_ps(_mm_add_ps(r0, r1), r2), r3);
        _mm_storeu_ps(bus + i, _mm_add_ps(_mm_loadu_ps(bus + i), sum));
    }
    if (i < frames) ReduceScalar(acc + kLanes * i, bus + i, frames - i);
}

#endif


} // namespace

void SetVectorised(bool on) noexcept { g_vectorised.store(on, std::memory_order_relaxed); }
bool Vectorised() noexcept { return g_vectorised.load(std::memory_order_relaxed); }

void ScaleRamp(float* x, uint32_t from, uint32_t to, float g0, float d) noexcept {
#ifdef TSL_KERNELS_WIDE
    if (const WideKernels* w = WideBuild(); w && On())
        return w->scaleRamp(x, from, to, g0, d);
#endif
    ScaleScalar(x, from, to, g0, d);
}

Wide SetWide(Wide wanted) noexcept {
#ifdef TSL_KERNELS_WIDE
    const Wide w = std::min(wanted, g_widest);
    g_wide.store(TableOf(w), std::memory_order_relaxed);
    return w;
#else
    (void)wanted;
    return Wide::kNone;
#endif
}

#ifdef TSL_KERNELS_SSE2

void LinearRun16(const int16_t* src, uint64_t& pos, uint64_t inc, float* out, uint32_t count) noexcept {
    if (On()) LinearSse(src, pos, inc, out, count);
    else LinearScalar(src, pos, inc, out, count);
}

void SincRun16(const int16_t* src, uint64_t& pos, uint64_t inc, int band, float* out, uint32_t count) noexcept {
    if (!On()) return SincScalar(src, pos, inc, band, out, count);
#ifdef TSL_KERNELS_WIDE
    if (const WideKernels* w = WideBuild()) {
        const uint32_t done = w->sincRun(src, pos, inc, band, out, count);
        out += done;
        count -= done;
    }
#endif
    SincSse(src, pos, inc, band, out, count);
}

void MixRamp(const float* x, float* bus, uint32_t from, uint32_t to, float g0, float d) noexcept {
    if (On()) MixSse(x, bus, from, to, g0, d);
    else MixScalar(x, bus, from, to, g0, d);
}

void MixRamp2(const float* x, float* busA, float* busB, uint32_t from, uint32_t to, float a0, float da, float b0,
              float db) noexcept {
    if (On()) {
        Mix2Sse(x, busA, busB, from, to, a0, da, b0, db);
    } else {
        MixScalar(x, busA, from, to, a0, da);
        MixScalar(x, busB, from, to, b0, db);
    }
}

void MixRamp3(const float* x, float* busA, float* busB, float* busC, uint32_t from, uint32_t to, const float g0[3],
              const float d[3]) noexcept {
    if (On()) {
#ifdef TSL_KERNELS_WIDE
        if (const WideKernels* w = WideBuild()) {
            float* const bus[3] = {busA, busB, busC};
            return w->mixRamps(x, bus, 3, from, to, g0, d);
        }
#endif
        Mix3Sse(x, busA, busB, busC, from, to, g0, d);
    } else {
        MixScalar(x, busA, from, to, g0[0], d[0]);
        MixScalar(x, busB, from, to, g0[1], d[1]);
        MixScalar(x, busC, from, to, g0[2], d[2]);
    }
}

void MixRamp4(const float* x, float* const bus[4], uint32_t from, uint32_t to, const float g0[4],
              const float d[4]) noexcept {
    if (On()) {
#ifdef TSL_KERNELS_WIDE
        if (const WideKernels* w = WideBuild()) return w->mixRamps(x, bus, 4, from, to, g0, d);
#endif
        Mix4Sse(x, bus, from, to, g0, d);
    } else {
        for (int b = 0; b < 4; ++b) MixScalar(x, bus[b], from, to, g0[b], d[b]);
    }
}

void BiquadFour(float* const x[4], const float c[4][5], const float (*dc)[5], float z[4][2], uint32_t frames) noexcept {
    if (On()) BiquadSse(x, c, dc, z, frames);
    else BiquadScalar(x, c, dc, z, frames);
}

void BiquadEight(float* const x[8], const float c[8][5], const float (*dc)[5], float z[8][2], uint32_t frames) noexcept {
#ifdef TSL_KERNELS_WIDE
    if (const WideKernels* w = WideBuild(); w && On()) return w->biquadEight(x, c, dc, z, frames);
#endif
    BiquadFour(x, c, dc, z, frames);
    BiquadFour(x + 4, c + 4, dc + 4, z + 4, frames);
}

namespace {
bool Lowpass(const FourVoices& v) noexcept {
    bool lowpass = true;
    for (int k = 0; k < 4; ++k)
        lowpass = lowpass && v.c[1][k] == 2 * v.c[0][k] && v.c[2][k] == v.c[0][k] && v.dc[1][k] == 2 * v.dc[0][k] &&
                  v.dc[2][k] == v.dc[0][k];
    return lowpass;
}
} // namespace

void RenderFour(FourVoices& v, float* acc, uint32_t buses, uint32_t frames) noexcept {
    if (!On()) return FourScalar(v, acc, buses, frames);
    const bool lowpass = Lowpass(v);
#ifdef TSL_KERNELS_WIDE
    if (const WideKernels* w = WideBuild()) return w->renderFour(v, acc, buses, lowpass, frames);
#endif
    FourPassFor<false>(v, acc, buses, lowpass, frames);
}

void RenderEight(FourVoices& a, FourVoices& b, float* acc, uint32_t buses, uint32_t frames) noexcept {
#ifdef TSL_KERNELS_WIDE
    // The low-pass shape and the general one round differently with fused
    // multiply-adds: only groups of one shape share a pass.
    if (const WideKernels* w = WideBuild(); w && On()) {
        const bool lowpass = Lowpass(a);
        if (lowpass == Lowpass(b)) return w->renderEight(a, b, acc, buses, lowpass, frames);
    }
#endif
    RenderFour(a, acc, buses, frames);
    RenderFour(b, acc + 4, buses, frames);
}

void ReduceLanes(const float* acc, float* bus, uint32_t frames) noexcept {
    if (On()) ReduceSse(acc, bus, frames);
    else ReduceScalar(acc, bus, frames);
}

#else

void RenderFour(FourVoices& v, float* acc, uint32_t buses, uint32_t frames) noexcept {
    FourScalar(v, acc, buses, frames);
}
void RenderEight(FourVoices& a, FourVoices& b, float* acc, uint32_t buses, uint32_t frames) noexcept {
    FourScalar(a, acc, buses, frames);
    FourScalar(b, acc + 4, buses, frames);
}
void ReduceLanes(const float* acc, float* bus, uint32_t frames) noexcept { ReduceScalar(acc, bus, frames); }

void LinearRun16(const int16_t* src, uint64_t& pos, uint64_t inc, float* out, uint32_t count) noexcept {
    LinearScalar(src, pos, inc, out, count);
}
void SincRun16(const int16_t* src, uint64_t& pos, uint64_t inc, int band, float* out, uint32_t count) noexcept {
    SincScalar(src, pos, inc, band, out, count);
}
void MixRamp(const float* x, float* bus, uint32_t from, uint32_t to, float g0, float d) noexcept {
    MixScalar(x, bus, from, to, g0, d);
}
void MixRamp2(const float* x, float* busA, float* busB, uint32_t from, uint32_t to, float a0, float da, float b0,
              float db) noexcept {
    MixScalar(x, busA, from, to, a0, da);
    MixScalar(x, busB, from, to, b0, db);
}
void MixRamp3(const float* x, float* busA, float* busB, float* busC, uint32_t from, uint32_t to, const float g0[3],
              const float d[3]) noexcept {
    MixScalar(x, busA, from, to, g0[0], d[0]);
    MixScalar(x, busB, from, to, g0[1], d[1]);
    MixScalar(x, busC, from, to, g0[2], d[2]);
}
void MixRamp4(const float* x, float* const bus[4], uint32_t from, uint32_t to, const float g0[4],
              const float d[4]) noexcept {
    for (int b = 0; b < 4; ++b) MixScalar(x, bus[b], from, to, g0[b], d[b]);
}
void BiquadFour(float* const x[4], const float c[4][5], const float (*dc)[5], float z[4][2], uint32_t frames) noexcept {
    BiquadScalar(x, c, dc, z, frames);
}
void BiquadEight(float* const x[8], const float c[8][5], const float (*dc)[5], float z[8][2], uint32_t frames) noexcept {
    BiquadScalar(x, c, dc, z, frames);
    BiquadScalar(x + 4, c + 4, dc + 4, z + 4, frames);
}

#endif

} // namespace tsl::kernels
