#include "output/playback.h"

#include <algorithm>
#include <cmath>

#include "bass.h"
#include "output/clock.h"
#include "output/device.h"

namespace tsl {
namespace {

constexpr uint32_t kChunkFrames = 1024;

uint32_t Quantize(float peak) noexcept { return uint32_t(std::min(peak, 1.0f) * 32768.0f + 0.5f); }

} // namespace

PlaybackState::PlaybackState(std::shared_ptr<Device> device, const SampleFormat& format, uint32_t bufferMs)
    : device_(std::move(device)), format_(format),
      ring_(uint32_t(uint64_t(std::max<uint32_t>(bufferMs, 1)) * format.rate / 1000), format.channels),
      renderScratch_(new float[kChunkFrames * format.channels]), mixScratch_(new float[kChunkFrames * format.channels]) {}

PlaybackState::~PlaybackState() { device_->Remove(this); }

void PlaybackState::Play(bool restart) noexcept {
    if (restart) flush_.store(true, std::memory_order_release);
    playing_.store(true, std::memory_order_release);
}

void PlaybackState::Stop() noexcept {
    playing_.store(false, std::memory_order_release);
    flush_.store(true, std::memory_order_release);
    lastLevel_.store(0, std::memory_order_relaxed);
    liveLevel_.store(0, std::memory_order_relaxed);
}

uint32_t PlaybackState::Activity() const noexcept {
    if (!playing_.load(std::memory_order_acquire)) return BASS_ACTIVE_STOPPED;
    if (ended_.load(std::memory_order_acquire) && ring_.Available() == 0) return BASS_ACTIVE_STOPPED;
    return BASS_ACTIVE_PLAYING;
}

uint32_t PlaybackState::Level() const noexcept {
    if (Activity() != BASS_ACTIVE_PLAYING) return 0;
    const uint32_t a = lastLevel_.load(std::memory_order_relaxed), b = liveLevel_.load(std::memory_order_relaxed);
    return std::max(a & 0xFFFF, b & 0xFFFF) | std::max(a >> 16, b >> 16) << 16;
}

bool PlaybackState::FillAhead(Channel& channel, uint32_t ms) noexcept {
    if (filling_.test_and_set(std::memory_order_acquire)) return false;
    const uint32_t target = std::min<uint32_t>(uint32_t(uint64_t(ms) * format_.rate / 1000), ring_.Capacity());
    aheadFrames_.store(target, std::memory_order_relaxed);
    while (!ended_.load(std::memory_order_relaxed)) {
        const uint32_t have = ring_.Available();
        if (have >= target) break;
        const uint32_t want = std::min(kChunkFrames, target - have);
        const uint32_t got = channel.RenderFloat(renderScratch_.get(), want);
        ring_.Write(renderScratch_.get(), got);
        if (got < want) ended_.store(true, std::memory_order_release);
    }
    filling_.clear(std::memory_order_release);
    return true;
}

void PlaybackState::MixInto(float* out, uint32_t frames) noexcept {
    // Discarded frames were rendered all the same: they count for the clock.
    if (flush_.exchange(false, std::memory_order_acq_rel)) consumedLocal_ += ring_.Discard();
    if (playing_.load(std::memory_order_acquire)) {
        const uint32_t ch = format_.channels;
        uint32_t done = 0;
        float l = 0, r = 0;
        while (done < frames) {
            const uint32_t n = ring_.Read(mixScratch_.get(), std::min(kChunkFrames, frames - done));
            if (!n) break; // ran dry: the rest of this period is silent for this stream
            const float* in = mixScratch_.get();
            float* o = out + size_t(done) * 2;
            for (uint32_t i = 0; i < n; ++i) {
                const float a = in[i * ch], b = in[i * ch + ch - 1];
                o[2 * i] += a;
                o[2 * i + 1] += b;
                l = std::max(l, std::fabs(a));
                r = std::max(r, std::fabs(b));
            }
            done += n;
        }
        consumedLocal_ += done;
        if (done < frames && !ended_.load(std::memory_order_relaxed))
            starved_.store(starved_.load(std::memory_order_relaxed) + (frames - done), std::memory_order_relaxed);
        PublishLevel(l, r, frames);
    }
    clock_.Publish(consumedLocal_);
}

void PlaybackState::PublishLevel(float l, float r, uint32_t frames) noexcept {
    peakL_ = std::max(peakL_, l);
    peakR_ = std::max(peakR_, r);
    windowFill_ += frames;
    const uint32_t packed = Quantize(peakL_) | Quantize(peakR_) << 16;
    liveLevel_.store(packed, std::memory_order_relaxed);
    if (windowFill_ >= format_.rate / 50) { // 20 ms windows
        lastLevel_.store(packed, std::memory_order_relaxed);
        peakL_ = peakR_ = 0;
        windowFill_ = 0;
    }
}

uint64_t PlaybackState::AsyncEventFrame() const noexcept {
    if (!playing_.load(std::memory_order_acquire)) return UINT64_MAX;
    // The frame being heard now, between two mixes, counted at the stream's rate...
    const uint64_t now = clock_.Now(format_.rate);
    // ...plus the whole fill target, which the renderer never runs past, and
    // half a millisecond for a mix that has taken its frames but not yet said
    // so. Should an event still find its frame rendered, it starts with the
    // next frame rendered: late by a little, once, rather than every event
    // waiting longer.
    return now + aheadFrames_.load(std::memory_order_relaxed) + format_.rate / 2000;
}

} // namespace tsl
