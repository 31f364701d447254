// The output of native (non-Windows) builds: one device that consumes audio
// in real time on a timer (time as the output clock tells it, which a test
// may move by hand), and writes it as raw interleaved float stereo to
// a float WAV file named by TSL_AUDIO_CAPTURE when that is set (rewritten
// each time the device opens, like the capture of the Windows test set-up),
// so the portable playback logic can be tested end to end.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "bass.h"
#include "encode/native_file.h"
#include "encode/wav_header.h"
#include "output/audio_endpoint.h"
#include "output/clock.h"

namespace tsl::output {
namespace {

constexpr uint32_t kPeriodMs = 10;

class NullEndpoint final : public AudioEndpoint {
public:
    NullEndpoint(uint32_t rate, RenderSource& source) : rate_(rate), source_(source), start_(ClockNs()) {
        if (const char* path = std::getenv("TSL_AUDIO_CAPTURE"); path && *path) {
            capture_ = std::fopen(path, "wb");
            if (capture_) std::fwrite(Header(0).data(), 1, encode::kWavHeaderBytes, capture_);
        }
        thread_ = std::thread([this] { Run(); });
    }
    ~NullEndpoint() override {
        stop_.store(true);
        thread_.join();
        if (capture_) {
            if (encode::SeekFile(capture_, 0))
                std::fwrite(Header(played_.load() * 8).data(), 1, encode::kWavHeaderBytes, capture_);
            std::fclose(capture_);
        }
    }

    uint32_t LatencyMs() const noexcept override { return kPeriodMs; }
    uint32_t MinBufferMs() const noexcept override { return kPeriodMs; }
    uint64_t FramesPlayed() const noexcept override { return played_.load(std::memory_order_acquire); }

private:
    std::array<uint8_t, encode::kWavHeaderBytes> Header(uint64_t bytes) const {
        return encode::WavHeader(encode::PcmLayout{rate_, 2, 32, true}, bytes);
    }

    void Run() {
        const uint64_t period = rate_ * kPeriodMs / 1000;
        std::vector<float> buffer(period * 2);
        uint64_t done = 0;
        while (!stop_.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            // Catch up with the clock in whole periods, like a device asking
            // for its next buffer.
            const int64_t elapsed = std::max<int64_t>(ClockNs() - start_, 0);
            const uint64_t due = uint64_t(elapsed) * rate_ / 1000000000;
            while (due >= done + period && !stop_.load()) {
                source_.Render(buffer.data(), uint32_t(period));
                if (capture_) std::fwrite(buffer.data(), sizeof(float), buffer.size(), capture_);
                done += period;
                played_.store(done, std::memory_order_release);
            }
        }
        if (capture_) std::fflush(capture_);
    }

    const uint32_t rate_;
    RenderSource& source_;
    const int64_t start_; // the device's frame 0, on the output clock
    std::FILE* capture_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> played_{0};
};

class NullBackend final : public AudioBackend {
public:
    std::vector<EndpointInfo> Enumerate() override { return {EndpointInfo{"Null output", "null", true, true}}; }
    std::unique_ptr<AudioEndpoint> Open(const std::string&, bool, uint32_t rate, RenderSource& source,
                                        int&) override {
        return std::make_unique<NullEndpoint>(rate, source);
    }
};

} // namespace

AudioBackend& AudioBackend::Get() {
    static NullBackend backend;
    return backend;
}

} // namespace tsl::output
