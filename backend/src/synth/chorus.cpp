#include "synth/chorus.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "synth/kernels.h"

namespace tsl {
namespace {

constexpr float kMaxDelay = 0.05f;
// Two taps per side; their sum at this scale keeps the chorus about as loud
// as its send.
constexpr float kTapGain = 0.35f;

inline float Tap(const std::vector<float>& line, uint32_t mask, uint32_t pos, float delay) noexcept {
    const float rp = static_cast<float>(pos) + static_cast<float>(mask + 1) - delay;
    const uint32_t i = static_cast<uint32_t>(rp);
    const float fr = rp - static_cast<float>(i);
    const float a = line[i & mask], b = line[(i + 1) & mask];
    return a + (b - a) * fr;
}

} // namespace

Chorus::Chorus(uint32_t sampleRate) : rate_(static_cast<float>(sampleRate)) {
    uint32_t len = 1;
    while (len < static_cast<uint32_t>(kMaxDelay * rate_) + 4) len <<= 1;
    line_.assign(len, 0.0f);
    mask_ = len - 1;
    Configure(ChorusProgram(ChorusType::kChorus3));
}

void Chorus::Configure(const ChorusSettings& s) noexcept {
    set_ = s;
    const float maxFrames = kMaxDelay * rate_ - 2;
    base_ = std::clamp(s.delay * rate_, 2.0f, maxFrames);
    depth_ = std::clamp(s.depth * rate_, 0.0f, std::min(base_ - 2.0f, maxFrames - base_));
    const float w = 6.2831853f * std::clamp(s.rate, 0.0f, 20.0f) / rate_;
    for (int k = 0; k < 4; ++k) {
        rcK_[k] = std::cos(w * static_cast<float>(k));
        rsK_[k] = std::sin(w * static_cast<float>(k));
    }
    rc4_ = std::cos(4 * w);
    rs4_ = std::sin(4 * w);
    lp_ = std::clamp(s.preLowpass, 0.0f, 0.95f);
    set_.feedback = std::clamp(s.feedback, -0.95f, 0.95f);
}

void Chorus::Clear() noexcept {
    std::fill(line_.begin(), line_.end(), 0.0f);
    lpState_ = fbState_ = 0;
    peak_ = 0;
}

void Chorus::Process(const float* in, float* out, float* reverbIn, uint32_t n, float gain) noexcept {
    bool any = false;
    for (uint32_t f = 0; f < n && !any; ++f) any = in[f] != 0.0f;
    if (!(any && gain != 0.0f) && Quiet()) return;
    const float g = gain * kTapGain, fb = set_.feedback, toReverb = set_.toReverb;
    float c = c_, s = s_;
    float peak = 0;
    uint32_t f = 0;
    if (kernels::Vectorised() && base_ - depth_ > 5.0f) f = ProcessFours(in, out, reverbIn, n, g, c, s, peak);
    for (; f < n; ++f) {
        lpState_ = in[f] + (lpState_ - in[f]) * lp_;
        line_[pos_] = lpState_ + fbState_ * fb;
        // Taps at LFO phases 0 and 180 degrees on the left, 90 and 270 on
        // the right: sin, -sin, cos, -cos of one phasor.
        const float l = Tap(line_, mask_, pos_, base_ + depth_ * s) + Tap(line_, mask_, pos_, base_ - depth_ * s);
        const float r = Tap(line_, mask_, pos_, base_ + depth_ * c) + Tap(line_, mask_, pos_, base_ - depth_ * c);
        fbState_ = 0.5f * (l + r) * 0.5f;
        pos_ = (pos_ + 1) & mask_;
        const float nc = c * rcK_[1] - s * rsK_[1];
        s = s * rcK_[1] + c * rsK_[1];
        c = nc;
        const float ol = l * g, orr = r * g;
        out[2 * f] += ol;
        out[2 * f + 1] += orr;
        if (toReverb != 0) reverbIn[f] += (ol + orr) * 0.5f * toReverb;
        peak = std::max(peak, std::max(std::fabs(ol), std::fabs(orr)));
    }
    // The phasor drifts off the unit circle by rounding: put it back.
    const float m = 1.0f / std::sqrt(c * c + s * s);
    c_ = c * m;
    s_ = s * m;
    peak_ = std::max(peak, std::fabs(fbState_));
    sinceActive_ = (any && gain != 0.0f) || peak_ >= 1e-6f ? 0 : std::min<uint32_t>(sinceActive_ + n, UINT32_MAX / 2);
}

#if defined(__SSE2__)
uint32_t Chorus::ProcessFours(const float* in, float* out, float* reverbIn, uint32_t n, float g, float& c, float& s,
                              float& peak) noexcept {
    const float fb = set_.feedback, toReverb = set_.toReverb;
    const __m128 rcK = _mm_loadu_ps(rcK_), rsK = _mm_loadu_ps(rsK_);
    const __m128 base = _mm_set1_ps(base_), depth = _mm_set1_ps(depth_), size = _mm_set1_ps(static_cast<float>(mask_ + 1));
    const __m128 half = _mm_set1_ps(0.5f), gv = _mm_set1_ps(g), send = _mm_set1_ps(0.5f * toReverb);
    const __m128i steps = _mm_setr_epi32(0, 1, 2, 3);
    const __m128 sign = _mm_set1_ps(-0.0f);
    const __m128i maskv = _mm_set1_epi32(static_cast<int>(mask_)), one = _mm_set1_epi32(1);
    __m128 high = _mm_setzero_ps();
    float* const line = line_.data();
    // Two taps of the four frames: the line read at pos + k + size - delay,
    // linearly between its neighbours, as Tap does frame by frame.
    auto taps = [&](__m128 at, __m128 delay) noexcept {
        const __m128 rp = _mm_sub_ps(at, delay);
        const __m128i i = _mm_cvttps_epi32(rp);
        const __m128 fr = _mm_sub_ps(rp, _mm_cvtepi32_ps(i));
        alignas(16) int32_t ia[4], ib[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(ia), _mm_and_si128(i, maskv));
        _mm_store_si128(reinterpret_cast<__m128i*>(ib), _mm_and_si128(_mm_add_epi32(i, one), maskv));
        const __m128 a = _mm_setr_ps(line[ia[0]], line[ia[1]], line[ia[2]], line[ia[3]]);
        const __m128 b = _mm_setr_ps(line[ib[0]], line[ib[1]], line[ib[2]], line[ib[3]]);
        return _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), fr));
    };
    // The filter's and the feedback's state in locals: kept in the members,
    // they went through memory between frames (the line's floats may alias
    // them).
    float lpState = lpState_, fbState = fbState_;
    const float lp = lp_;
    uint32_t pos = pos_;
    const uint32_t mask = mask_;
    uint32_t f = 0;
    for (; f + 4 <= n; f += 4) {
        // The phasor at each of the four frames, turned from the first.
        const __m128 cv = _mm_set1_ps(c), sv = _mm_set1_ps(s);
        const __m128 ck = _mm_sub_ps(_mm_mul_ps(cv, rcK), _mm_mul_ps(sv, rsK));
        const __m128 sk = _mm_add_ps(_mm_mul_ps(sv, rcK), _mm_mul_ps(cv, rsK));
        // Each frame's write position, wrapped as the line's: the taps then
        // round their fractions as Tap does.
        const __m128i wrapped = _mm_and_si128(_mm_add_epi32(_mm_set1_epi32(static_cast<int>(pos)), steps), maskv);
        const __m128 at = _mm_add_ps(_mm_cvtepi32_ps(wrapped), size);
        const __m128 ds = _mm_mul_ps(depth, sk), dc = _mm_mul_ps(depth, ck);
        const __m128 l = _mm_add_ps(taps(at, _mm_add_ps(base, ds)), taps(at, _mm_sub_ps(base, ds)));
        const __m128 r = _mm_add_ps(taps(at, _mm_add_ps(base, dc)), taps(at, _mm_sub_ps(base, dc)));
        alignas(16) float fbk[4];
        _mm_store_ps(fbk, _mm_mul_ps(_mm_mul_ps(half, _mm_add_ps(l, r)), half));
        // Each frame writes its input and the feedback of the frame before.
        for (uint32_t k = 0; k < 4; ++k) {
            lpState = in[f + k] + (lpState - in[f + k]) * lp;
            line[pos] = lpState + fbState * fb;
            fbState = fbk[k];
            pos = (pos + 1) & mask;
        }
        const float nc = c * rc4_ - s * rs4_;
        s = s * rc4_ + c * rs4_;
        c = nc;
        const __m128 ol = _mm_mul_ps(l, gv), orr = _mm_mul_ps(r, gv);
        float* o = out + 2 * f;
        _mm_storeu_ps(o, _mm_add_ps(_mm_loadu_ps(o), _mm_unpacklo_ps(ol, orr)));
        _mm_storeu_ps(o + 4, _mm_add_ps(_mm_loadu_ps(o + 4), _mm_unpackhi_ps(ol, orr)));
        if (toReverb != 0)
            _mm_storeu_ps(reverbIn + f, _mm_add_ps(_mm_loadu_ps(reverbIn + f), _mm_mul_ps(_mm_add_ps(ol, orr), send)));
        high = _mm_max_ps(high, _mm_max_ps(_mm_andnot_ps(sign, ol), _mm_andnot_ps(sign, orr)));
    }
    lpState_ = lpState;
    fbState_ = fbState;
    pos_ = pos;
    alignas(16) float h[4];
    _mm_store_ps(h, high);
    peak = std::max(peak, std::max(std::max(h[0], h[1]), std::max(h[2], h[3])));
    return f;
}
#else
uint32_t Chorus::ProcessFours(const float*, float*, float*, uint32_t, float, float&, float&, float&) noexcept { return 0; }
#endif

} // namespace tsl
