// The encoder behind BASS_Encode_Start: converts each block the channel
// delivers to the output sample format and passes it to a file or process.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "encode/byte_output.h"
#include "encode/encoder.h"
#include "encode/pcm_format.h"

namespace tsl::encode {

class PcmSink final : public EncoderSink {
public:
    PcmSink(const PcmLayout& in, const PcmLayout& out, std::unique_ptr<ByteOutput> dest);
    ~PcmSink() override;

    void Write(const void* data, uint32_t bytes) noexcept override;
    bool IsActive() const noexcept override;
    void Stop() noexcept override;

    uint64_t DataBytes() const noexcept { return written_; }

private:
    const PcmLayout in_, out_;
    std::unique_ptr<ByteOutput> dest_;
    // Write and Stop may come from different threads; Stop must not close
    // the output under a running Write.
    std::mutex lock_;
    std::vector<uint8_t> scratch_;
    uint64_t written_ = 0;
    std::atomic<bool> stopped_{false};
    std::atomic<bool> failed_{false};
};

} // namespace tsl::encode
