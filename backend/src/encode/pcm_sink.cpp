#include "encode/pcm_sink.h"

#include <algorithm>

namespace tsl::encode {

namespace {
constexpr size_t kChunkSamples = 16384; // converted in pieces to bound the scratch buffer
}

PcmSink::PcmSink(const PcmLayout& in, const PcmLayout& out, std::unique_ptr<ByteOutput> dest)
    : in_(in), out_(out), dest_(std::move(dest)), scratch_(kChunkSamples * 4) {}

PcmSink::~PcmSink() { Stop(); }

void PcmSink::Write(const void* data, uint32_t bytes) noexcept {
    std::lock_guard<std::mutex> g(lock_);
    if (stopped_.load() || failed_.load()) return;
    const auto* src = static_cast<const uint8_t*>(data);
    const size_t inBytes = in_.bits / 8u, outBytes = out_.bits / 8u;
    size_t samples = bytes / inBytes;
    try {
        while (samples) {
            const size_t n = std::min(samples, kChunkSamples);
            ConvertSamples(src, in_, scratch_.data(), out_, n);
            if (!dest_->Write(scratch_.data(), n * outBytes)) {
                failed_ = true;
                return;
            }
            written_ += n * outBytes;
            src += n * inBytes;
            samples -= n;
        }
    } catch (...) {
        failed_ = true;
    }
}

bool PcmSink::IsActive() const noexcept {
    if (stopped_.load() || failed_.load()) return false;
    try {
        return dest_->Alive();
    } catch (...) {
        return false;
    }
}

void PcmSink::Stop() noexcept {
    std::lock_guard<std::mutex> g(lock_);
    if (stopped_.exchange(true)) return;
    try {
        dest_->Finish(written_);
    } catch (...) {
    }
}

} // namespace tsl::encode
