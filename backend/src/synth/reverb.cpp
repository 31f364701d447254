#include "synth/reverb.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

#include "synth/kernels.h"

namespace tsl {
namespace {

// Line lengths in milliseconds at size 1, mutually prime in samples once
// scaled (see Configure), spread so the echo density builds quickly.
const float kLineMs[8] = {31.7f, 37.3f, 41.9f, 46.1f, 53.9f, 61.3f, 67.7f, 73.1f};
const float kDiffuseMs[2] = {4.77f, 1.63f};
constexpr float kDiffuseGain = 0.6f;
constexpr float kMaxSize = 1.3f;
constexpr float kMaxPreDelay = 0.2f;
constexpr float kMaxEcho = 1.0f;
// The input high-pass's corner: its two stages together are 6 dB down
// here, 25 dB at 5 Hz and a third of a decibel at 100 Hz.
constexpr float kHighPassHz = 20.0f;
// Loudness of the network against its send: the tail of the default room
// carries about the energy the earlier comb reverb gave the same send.
constexpr float kNetworkGain = 0.85f;
constexpr float kNorm = kNetworkGain / 2.0f; // 1/sqrt(8) per sum, times the gain of the network
// Signs that make left and right two orthogonal (uncorrelated) sums. Both
// are orthogonal to the input's alternating signs too: a side whose signs
// were the input's heard the part of the tail the feedback had not mixed
// yet, and came out 1 to 2.5 dB louder than the other.
const float kLeft[8] = {1, 1, -1, -1, 1, 1, -1, -1};
const float kRight[8] = {1, 1, 1, 1, -1, -1, -1, -1};

uint32_t PowerOfTwoAbove(uint32_t n) {
    uint32_t p = 1;
    while (p < n) p <<= 1;
    return p;
}

bool IsPrime(uint32_t n) {
    if (n < 2) return false;
    for (uint32_t d = 2; d * d <= n; ++d)
        if (n % d == 0) return false;
    return true;
}

} // namespace

Reverb::Reverb(uint32_t sampleRate) : rate_(static_cast<float>(sampleRate)) {
    for (int i = 0; i < kLines; ++i) {
        // The first two lines also carry the echoes of the delay types.
        const float longest = i < 2 ? std::max(kLineMs[i] * 0.001f * kMaxSize, kMaxEcho) : kLineMs[i] * 0.001f * kMaxSize;
        uint32_t most = static_cast<uint32_t>(longest * rate_) + 2;
        lines_[i].buf.assign(PowerOfTwoAbove(most), 0.0f);
        lines_[i].mask = static_cast<uint32_t>(lines_[i].buf.size()) - 1;
    }
    for (int i = 0; i < 2; ++i) diffuse_[i].buf.assign(static_cast<size_t>(kDiffuseMs[i] * 0.001f * rate_) + 1, 0.0f);
    pre_.assign(PowerOfTwoAbove(static_cast<uint32_t>(kMaxPreDelay * rate_) + 2), 0.0f);
    preMask_ = static_cast<uint32_t>(pre_.size()) - 1;
    hpPole_ = 1.0f - 6.28318531f * kHighPassHz / rate_;
    Configure(ReverbProgram(ReverbType::kRoom2));
}

void Reverb::Configure(const ReverbSettings& s) noexcept {
    set_ = s;
    echo_ = s.type == ReverbType::kDelay || s.type == ReverbType::kPanningDelay;
    pingPong_ = s.type == ReverbType::kPanningDelay;
    const float decay = std::clamp(s.decaySeconds, 0.05f, 30.0f);
    const float size = std::clamp(s.size, 0.1f, kMaxSize);
    for (int i = 0; i < kLines; ++i) {
        Line& l = lines_[i];
        uint32_t len;
        if (echo_) {
            len = static_cast<uint32_t>(std::clamp(s.echoSeconds, 0.01f, kMaxEcho) * rate_);
        } else {
            len = static_cast<uint32_t>(kLineMs[i] * 0.001f * size * rate_);
            while (!IsPrime(len)) ++len; // no two lines share a period
        }
        l.length = std::min<uint32_t>(std::max<uint32_t>(len, 2), l.mask);
        // -60 dB after `decay` seconds of round trips through this line.
        l.gain = std::pow(10.0f, -3.0f * static_cast<float>(l.length) / (decay * rate_));
        // The damping grows with the line's length, so every line loses
        // its highs at the same rate per second.
        const float d = std::clamp(s.hfDamping, 0.0f, 0.95f);
        l.damp = 1.0f - std::pow(1.0f - d, static_cast<float>(l.length) / (0.05f * rate_));
        // An echo dulls a little at each repeat, not by its whole length.
        if (echo_) l.damp = 0.3f * d;
        l.damp = std::clamp(l.damp, 0.0f, 0.95f);
    }
    preLength_ = std::min<uint32_t>(static_cast<uint32_t>(std::clamp(s.preDelay, 0.0f, kMaxPreDelay) * rate_), preMask_);
    preLp_ = std::clamp(s.preLowpass, 0.0f, 0.95f);
    uint32_t longest = 0;
    shortest_ = UINT32_MAX;
    for (const Line& l : lines_) {
        longest = std::max(longest, l.length);
        shortest_ = std::min(shortest_, l.length);
    }
    hold_ = preLength_ + longest + static_cast<uint32_t>(std::size(kDiffuseMs)) * static_cast<uint32_t>(0.005f * rate_);
    const float w = std::clamp(s.width, 0.0f, 1.0f);
    outA_ = 0.5f * (1.0f + w);
    outB_ = 0.5f * (1.0f - w);
}

void Reverb::Clear() noexcept {
    for (Line& l : lines_) {
        std::fill(l.buf.begin(), l.buf.end(), 0.0f);
        l.state = 0;
    }
    for (Allpass& a : diffuse_) std::fill(a.buf.begin(), a.buf.end(), 0.0f);
    std::fill(pre_.begin(), pre_.end(), 0.0f);
    preState_ = 0;
    for (int k = 0; k < 2; ++k) hpIn_[k] = hpOut_[k] = 0;
    peak_ = 0;
}

void Reverb::Process(const float* in, float* out, uint32_t n, float gain) noexcept {
    // Rung out and nothing coming in: nothing to do (what is left in the
    // lines is below -120 dB).
    bool any = false;
    for (uint32_t f = 0; f < n && !any; ++f) any = in[f] != 0.0f;
    if (!(any && gain != 0.0f) && Quiet()) return;
    if (echo_) ProcessEcho(in, out, n, gain * set_.level);
    else ProcessNetwork(in, out, n, gain * set_.level);
    sinceActive_ = (any && gain != 0.0f) || peak_ >= 1e-6f ? 0 : std::min(sinceActive_ + n, UINT32_MAX / 2);
}

namespace {

// One frame through a diffusing allpass whose buffer of `size` frames is
// at `at`.
inline float AllpassStep(float* buf, size_t size, size_t& at, float x) noexcept {
    const float b = buf[at];
    const float v = x + b * kDiffuseGain;
    buf[at] = v;
    if (++at == size) at = 0;
    return b - v * kDiffuseGain;
}

} // namespace

inline void Reverb::PreFilter(const float* in, float scale, float* low, uint32_t n) noexcept {
    // In locals: kept in the members, the low-pass's state went through
    // memory between frames (the delay line's floats may alias it).
    float* const pre = pre_.data();
    const uint32_t back = preLength_, mask = preMask_;
    const float lp = preLp_, pole = hpPole_;
    uint32_t p = prePos_;
    float state = preState_;
    float in0 = hpIn_[0], out0 = hpOut_[0], in1 = hpIn_[1], out1 = hpOut_[1];
    for (uint32_t k = 0; k < n; ++k) {
        pre[p] = in[k] * scale;
        const float x = pre[(p - back) & mask];
        p = (p + 1) & mask;
        state = x + (state - x) * lp;
        out0 = state - in0 + pole * out0;
        in0 = state;
        out1 = out0 - in1 + pole * out1;
        in1 = out0;
        low[k] = out1;
    }
    prePos_ = p;
    preState_ = state;
    hpIn_[0] = in0;
    hpOut_[0] = out0;
    hpIn_[1] = in1;
    hpOut_[1] = out1;
}

inline float Reverb::Diffuse(float in) noexcept {
    float x;
    PreFilter(&in, 1.0f, &x, 1);
    for (Allpass& a : diffuse_) {
        size_t at = a.pos;
        x = AllpassStep(a.buf.data(), a.buf.size(), at, x);
        a.pos = static_cast<uint32_t>(at);
    }
    return x;
}

float Reverb::NetworkFrame(float x, float* out) noexcept {
    // Read, damp, decay; Householder feedback.
    float y[kLines], level[kLines];
    float sum = 0;
    for (int i = 0; i < kLines; ++i) {
        Line& l = lines_[i];
        const float r = l.buf[(l.pos - l.length) & l.mask];
        l.state = r + (l.state - r) * l.damp;
        y[i] = l.state * l.gain;
        sum += y[i];
        level[i] = std::fabs(r);
    }
    const float h = sum * (2.0f / kLines);
    float left = 0, right = 0;
    for (int i = 0; i < kLines; ++i) {
        Line& l = lines_[i];
        l.buf[l.pos] = y[i] - h + (i & 1 ? -x : x);
        l.pos = (l.pos + 1) & l.mask;
        left += kLeft[i] * y[i];
        right += kRight[i] * y[i];
    }
    left *= kNorm;
    right *= kNorm;
    const float ol = outA_ * left + outB_ * right, orr = outA_ * right + outB_ * left;
    out[0] += ol;
    out[1] += orr;
    // The frame's peak as a tree, so that only one comparison a frame
    // waits for the one before (a chain of ten made it the slowest part).
    const float lines = std::max(std::max(std::max(level[0], level[1]), std::max(level[2], level[3])),
                                 std::max(std::max(level[4], level[5]), std::max(level[6], level[7])));
    return std::max(lines, std::max(std::fabs(ol), std::fabs(orr)));
}

void Reverb::ProcessNetwork(const float* in, float* out, uint32_t n, float gain) noexcept {
    float peak = 0;
    uint32_t f = 0;
    // Groups of eight need every line at least eight frames long, so that
    // no frame of a group reads what an earlier one of it wrote.
    if (kernels::Vectorised() && shortest_ >= 8) f = NetworkEights(in, out, n, gain, peak);
    for (; f < n; ++f) peak = std::max(peak, NetworkFrame(Diffuse(in[f] * gain), out + 2 * f));
    peak_ = std::max(peak, std::fabs(lines_[0].state) + std::fabs(lines_[7].state));
}

#if defined(__SSE2__)
namespace {

// An 8 x 8 transpose held as 8 rows of two registers: to[4q + j][h] is row j
// of the transposed 4 x 4 block from[4h .. 4h + 3][q]. Lines by frames in,
// frames by lines out, and back.
inline void Turn(const __m128 (&from)[8][2], __m128 (&to)[8][2]) noexcept {
    for (int q = 0; q < 2; ++q)
        for (int h = 0; h < 2; ++h) {
            __m128 a = from[4 * h][q], b = from[4 * h + 1][q], c = from[4 * h + 2][q], d = from[4 * h + 3][q];
            _MM_TRANSPOSE4_PS(a, b, c, d);
            to[4 * q][h] = a;
            to[4 * q + 1][h] = b;
            to[4 * q + 2][h] = c;
            to[4 * q + 3][h] = d;
        }
}

} // namespace

void Reverb::DiffuseEight(const float* in, float scale, float* xs) noexcept {
    // The pre-delay and its low-pass frame by frame: the low-pass chains
    // each frame to the one before, and a short pre-delay reads what this
    // group writes.
    float low[8];
    PreFilter(in, scale, low, 8);
    // Each allpass in turn over the eight frames. One at least eight frames
    // long reads only what it wrote before the group, so its eight frames
    // go side by side where they do not wrap round its buffer; else frame
    // by frame, as Diffuse takes them.
    const __m128 g = _mm_set1_ps(kDiffuseGain);
    __m128 x4[2] = {_mm_setr_ps(low[0], low[1], low[2], low[3]), _mm_setr_ps(low[4], low[5], low[6], low[7])};
    for (Allpass& a : diffuse_) {
        const size_t size = a.buf.size();
        float* const buf = a.buf.data();
        if (size >= 8 && a.pos + 8 <= size) {
            for (int h = 0; h < 2; ++h) {
                float* const at = buf + a.pos + 4 * h;
                const __m128 b = _mm_loadu_ps(at);
                const __m128 v = _mm_add_ps(x4[h], _mm_mul_ps(b, g));
                _mm_storeu_ps(at, v);
                x4[h] = _mm_sub_ps(b, _mm_mul_ps(v, g));
            }
            a.pos += 8;
            if (a.pos == size) a.pos = 0;
            continue;
        }
        _mm_store_ps(xs, x4[0]);
        _mm_store_ps(xs + 4, x4[1]);
        size_t at = a.pos;
        for (int k = 0; k < 8; ++k) xs[k] = AllpassStep(buf, size, at, xs[k]);
        a.pos = static_cast<uint32_t>(at);
        x4[0] = _mm_load_ps(xs);
        x4[1] = _mm_load_ps(xs + 4);
    }
    _mm_store_ps(xs, x4[0]);
    _mm_store_ps(xs + 4, x4[1]);
}

uint32_t Reverb::NetworkEights(const float* in, float* out, uint32_t n, float inScale, float& peak) noexcept {
    static_assert(kLines == 8);
    // Lines 0-3 in the first register of a pair, 4-7 in the second.
    auto pair = [this](float Line::*field, __m128 (&v)[2]) {
        for (int h = 0; h < 2; ++h) {
            const Line* l = lines_ + 4 * h;
            v[h] = _mm_setr_ps(l[0].*field, l[1].*field, l[2].*field, l[3].*field);
        }
    };
    __m128 damp[2], gain[2], state[2];
    pair(&Line::damp, damp);
    pair(&Line::gain, gain);
    pair(&Line::state, state);
    const __m128 sign = _mm_set1_ps(-0.0f), zero = _mm_setzero_ps();
    const __m128 quarter = _mm_set1_ps(2.0f / kLines), norm = _mm_set1_ps(kNorm);
    const __m128 outA = _mm_set1_ps(outA_), outB = _mm_set1_ps(outB_);
    __m128 high = zero; // the peak so far, lane by lane
    // What the lines read was written a few dozen blocks ago, and the
    // voices have been through the caches since: ask for the whole block's
    // reads and writes at once rather than wait for them group by group.
    for (const Line& l : lines_) {
        const uint32_t at = (l.pos - l.length) & l.mask;
        for (uint32_t k = 0; k < n; k += 16) {
            _mm_prefetch(reinterpret_cast<const char*>(&l.buf[(at + k) & l.mask]), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(&l.buf[(l.pos + k) & l.mask]), _MM_HINT_T0);
        }
    }
    // The lines' buffers and places in locals: kept in the members, they
    // were read again after every store to a line (floats that might alias
    // them).
    struct Place {
        float* buf;
        uint32_t pos, mask, length;
    } place[kLines];
    for (int i = 0; i < kLines; ++i) place[i] = Place{lines_[i].buf.data(), lines_[i].pos, lines_[i].mask, lines_[i].length};
    uint32_t f = 0;
    for (; f + 8 <= n; f += 8) {
        alignas(16) float xs[8];
        DiffuseEight(in + f, inScale, xs);
        // r[i][q]: line i, frames 4q .. 4q + 3 of the group; read where the
        // line does not wrap, else frame by frame.
        __m128 r[kLines][2];
        for (int i = 0; i < kLines; ++i) {
            const Place& l = place[i];
            const uint32_t at = (l.pos - l.length) & l.mask;
            if (at + 8 <= l.mask + 1) {
                r[i][0] = _mm_loadu_ps(&l.buf[at]);
                r[i][1] = _mm_loadu_ps(&l.buf[at + 4]);
            } else {
                alignas(16) float t[8];
                for (uint32_t k = 0; k < 8; ++k) t[k] = l.buf[(at + k) & l.mask];
                r[i][0] = _mm_load_ps(t);
                r[i][1] = _mm_load_ps(t + 4);
            }
            high = _mm_max_ps(high, _mm_andnot_ps(sign, r[i][0]));
            high = _mm_max_ps(high, _mm_andnot_ps(sign, r[i][1]));
        }
        // Frames in turn, four lines a register: f4[k][h] is frame k of
        // lines 4h .. 4h + 3. The damping is the only chain between frames.
        __m128 f4[8][2];
        Turn(r, f4);
        for (int k = 0; k < 8; ++k)
            for (int h = 0; h < 2; ++h) {
                const __m128 x = f4[k][h];
                state[h] = _mm_add_ps(x, _mm_mul_ps(_mm_sub_ps(state[h], x), damp[h]));
                f4[k][h] = _mm_mul_ps(state[h], gain[h]);
            }
        // Back to lines in turn (y[i][q]: line i, four frames a register),
        // for the sums, which then add the lines in order, as one frame does.
        __m128 y[kLines][2];
        Turn(f4, y);
        __m128 back[kLines][2];
        for (int q = 0; q < 2; ++q) {
            __m128 sum = zero, left = zero, right = zero;
            for (int i = 0; i < kLines; ++i) {
                sum = _mm_add_ps(sum, y[i][q]);
                left = kLeft[i] > 0 ? _mm_add_ps(left, y[i][q]) : _mm_sub_ps(left, y[i][q]);
                right = kRight[i] > 0 ? _mm_add_ps(right, y[i][q]) : _mm_sub_ps(right, y[i][q]);
            }
            const __m128 h = _mm_mul_ps(sum, quarter);
            left = _mm_mul_ps(left, norm);
            right = _mm_mul_ps(right, norm);
            const __m128 ol = _mm_add_ps(_mm_mul_ps(outA, left), _mm_mul_ps(outB, right));
            const __m128 orr = _mm_add_ps(_mm_mul_ps(outA, right), _mm_mul_ps(outB, left));
            float* o = out + 2 * (f + 4 * q);
            _mm_storeu_ps(o, _mm_add_ps(_mm_loadu_ps(o), _mm_unpacklo_ps(ol, orr)));
            _mm_storeu_ps(o + 4, _mm_add_ps(_mm_loadu_ps(o + 4), _mm_unpackhi_ps(ol, orr)));
            high = _mm_max_ps(high, _mm_max_ps(_mm_andnot_ps(sign, ol), _mm_andnot_ps(sign, orr)));
            const __m128 x = _mm_load_ps(xs + 4 * q);
            for (int i = 0; i < kLines; ++i) {
                const __m128 d = _mm_sub_ps(y[i][q], h);
                back[i][q] = i & 1 ? _mm_sub_ps(d, x) : _mm_add_ps(d, x);
            }
        }
        for (int i = 0; i < kLines; ++i) {
            Place& l = place[i];
            if (l.pos + 8 <= l.mask + 1) {
                _mm_storeu_ps(&l.buf[l.pos], back[i][0]);
                _mm_storeu_ps(&l.buf[l.pos + 4], back[i][1]);
            } else {
                alignas(16) float t[8];
                _mm_store_ps(t, back[i][0]);
                _mm_store_ps(t + 4, back[i][1]);
                for (uint32_t k = 0; k < 8; ++k) l.buf[(l.pos + k) & l.mask] = t[k];
            }
            l.pos = (l.pos + 8) & l.mask;
        }
    }
    alignas(16) float s[8], m[4];
    _mm_store_ps(s, state[0]);
    _mm_store_ps(s + 4, state[1]);
    for (int i = 0; i < kLines; ++i) {
        lines_[i].state = s[i];
        lines_[i].pos = place[i].pos;
    }
    _mm_store_ps(m, high);
    peak = std::max(std::max(peak, std::max(m[0], m[1])), std::max(m[2], m[3]));
    return f;
}
#else
uint32_t Reverb::NetworkEights(const float*, float*, uint32_t, float, float&) noexcept { return 0; }
#endif

void Reverb::ProcessEcho(const float* in, float* out, uint32_t n, float gain) noexcept {
    // Line 0 echoes on the left (and in the middle for plain delay), line 1
    // on the right; the ping-pong feeds each into the other.
    Line& a = lines_[0];
    Line& b = lines_[1];
    const float g = gain * 0.5f;
    float peak = 0;
    for (uint32_t f = 0; f < n; ++f) {
        pre_[prePos_] = in[f] * g;
        const float x = pre_[(prePos_ - preLength_) & preMask_];
        prePos_ = (prePos_ + 1) & preMask_;
        float ra = a.buf[(a.pos - a.length) & a.mask];
        float rb = b.buf[(b.pos - b.length) & b.mask];
        peak = std::max(peak, std::max(std::fabs(ra), std::fabs(rb)));
        a.state = ra + (a.state - ra) * a.damp;
        b.state = rb + (b.state - rb) * b.damp;
        ra = a.state * a.gain;
        rb = b.state * b.gain;
        if (pingPong_) {
            a.buf[a.pos] = x + rb;
            b.buf[b.pos] = ra;
        } else {
            a.buf[a.pos] = x + ra;
            b.buf[b.pos] = 0;
            rb = ra;
        }
        a.pos = (a.pos + 1) & a.mask;
        b.pos = (b.pos + 1) & b.mask;
        const float ol = outA_ * ra + outB_ * rb, orr = outA_ * rb + outB_ * ra;
        out[2 * f] += ol;
        out[2 * f + 1] += orr;
        peak = std::max(peak, std::max(std::fabs(ol), std::fabs(orr)));
    }
    peak_ = std::max(peak, std::fabs(a.state) + std::fabs(b.state));
}

} // namespace tsl
