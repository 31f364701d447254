#include "synth/reverb.h"

#include <cmath>

namespace tsl {
namespace {
// Delay lengths in frames at 44.1 kHz; mutually prime-ish so the echoes do
// not pile up on one period.
const uint32_t kCombLen[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
const uint32_t kAllpassLen[4] = {556, 441, 341, 225};
const uint32_t kSpread = 23;
constexpr float kInputGain = 0.06f;
} // namespace

Reverb::Reverb(uint32_t sampleRate) {
    double scale = sampleRate / 44100.0;
    for (int s = 0; s < 2; ++s) {
        for (int i = 0; i < 8; ++i) {
            uint32_t len = static_cast<uint32_t>((kCombLen[i] + s * kSpread) * scale);
            combs_[s][i].buf.assign(len < 1 ? 1 : len, 0.0f);
        }
        for (int i = 0; i < 4; ++i) {
            uint32_t len = static_cast<uint32_t>((kAllpassLen[i] + s * kSpread) * scale);
            allpasses_[s][i].buf.assign(len < 1 ? 1 : len, 0.0f);
        }
    }
}

void Reverb::Clear() noexcept {
    for (auto& side : combs_)
        for (Comb& c : side) {
            for (float& v : c.buf) v = 0;
            c.store = 0;
        }
    for (auto& side : allpasses_)
        for (Allpass& a : side)
            for (float& v : a.buf) v = 0;
}

void Reverb::Process(const float* in, float* out, uint32_t n, float gain) noexcept {
    const float fb = feedback_, d1 = damp_, d2 = 1.0f - damp_;
    const float g = gain * kInputGain;
    peak_ = 0;
    for (int s = 0; s < 2; ++s) {
        for (uint32_t f = 0; f < n; ++f) {
            float x = in[f] * g;
            float acc = 0;
            for (Comb& c : combs_[s]) {
                float y = c.buf[c.pos];
                c.store = y * d2 + c.store * d1;
                c.buf[c.pos] = x + c.store * fb;
                if (++c.pos == c.buf.size()) c.pos = 0;
                acc += y;
            }
            for (Allpass& a : allpasses_[s]) {
                float b = a.buf[a.pos];
                a.buf[a.pos] = acc + b * 0.5f;
                acc = b - acc;
                if (++a.pos == a.buf.size()) a.pos = 0;
            }
            out[2 * f + s] += acc;
            peak_ = std::fmax(peak_, std::fabs(acc));
        }
    }
}

Chorus::Chorus(uint32_t sampleRate) {
    uint32_t len = 1;
    while (len < sampleRate / 20) len <<= 1; // 50 ms of line
    line_.assign(len, 0.0f);
    mask_ = len - 1;
    baseDelay_ = 0.012f * sampleRate;
    depth_ = 0.004f * sampleRate;
    phaseStep_ = 0.3f / sampleRate;
}

void Chorus::Clear() noexcept {
    for (float& v : line_) v = 0;
}

void Chorus::Process(const float* in, float* out, uint32_t n, float gain) noexcept {
    const float g = gain * 0.5f;
    for (uint32_t f = 0; f < n; ++f) {
        line_[pos_] = in[f];
        // Two taps swept by one triangle a quarter period apart: left and
        // right move differently, which is what widens the sound.
        for (int s = 0; s < 2; ++s) {
            float p = phase_ + 0.25f * s;
            p -= std::floor(p);
            float tri = p < 0.5f ? 4 * p - 1 : 3 - 4 * p;
            float d = baseDelay_ + depth_ * tri;
            float rp = static_cast<float>(pos_ + mask_ + 1) - d;
            float fl = std::floor(rp);
            float fr = rp - fl;
            uint32_t i0 = static_cast<uint32_t>(static_cast<int64_t>(fl)) & mask_;
            float a = line_[i0], b = line_[(i0 + 1) & mask_];
            out[2 * f + s] += (a + (b - a) * fr) * g;
        }
        pos_ = (pos_ + 1) & mask_;
        phase_ += phaseStep_;
        if (phase_ >= 1.0f) phase_ -= 1.0f;
    }
}

} // namespace tsl
