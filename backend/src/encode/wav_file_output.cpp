#include <cstdio>

#include "bass.h"
#include "encode/byte_output.h"
#include "encode/native_file.h"
#include "encode/wav_header.h"

namespace tsl::encode {
namespace {

class WavFileOutput final : public ByteOutput {
public:
    WavFileOutput(std::FILE* f, const PcmLayout& layout) : f_(f), layout_(layout) {}
    ~WavFileOutput() override {
        if (f_) std::fclose(f_);
    }

    bool Write(const void* data, size_t bytes) override {
        if (!f_ || failed_) return false;
        failed_ = std::fwrite(data, 1, bytes, f_) != bytes;
        return !failed_;
    }

    bool Alive() const override { return f_ && !failed_; }

    void Finish(uint64_t dataBytes) override {
        if (!f_) return;
        // The sizes could not be known when the header was first written.
        const auto header = WavHeader(layout_, dataBytes);
        if (SeekFile(f_, 0)) std::fwrite(header.data(), 1, header.size(), f_);
        std::fclose(f_);
        f_ = nullptr;
    }

private:
    std::FILE* f_;
    PcmLayout layout_;
    bool failed_ = false;
};

} // namespace

std::unique_ptr<ByteOutput> OpenWavFile(const std::string& path, const PcmLayout& layout, int& error) {
    std::FILE* f = path.empty() ? nullptr : OpenFileUtf8(path, "wb");
    if (!f) {
        error = BASS_ERROR_CREATE;
        return nullptr;
    }
    auto out = std::make_unique<WavFileOutput>(f, layout);
    const auto header = WavHeader(layout, 0);
    if (!out->Write(header.data(), header.size())) {
        error = BASS_ERROR_CREATE;
        return nullptr;
    }
    return out;
}

} // namespace tsl::encode
