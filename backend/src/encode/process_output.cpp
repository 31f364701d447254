#include <atomic>

#include "bass.h"
#include "encode/byte_output.h"
#include "encode/child_process.h"
#include "encode/wav_header.h"

namespace tsl::encode {
namespace {

// Long enough for an encoder to write out its last frames and tags.
constexpr unsigned kFinishTimeoutMs = 20000;

class ProcessOutput final : public ByteOutput {
public:
    explicit ProcessOutput(std::unique_ptr<ChildProcess> child) : child_(std::move(child)) {}

    bool Write(const void* data, size_t bytes) override {
        if (broken_.load() || !child_->WriteAll(data, bytes)) broken_ = true;
        return !broken_.load();
    }
    bool Alive() const override { return !broken_.load() && !child_->Exited(); }
    void Finish(uint64_t) override { child_->CloseAndWait(kFinishTimeoutMs); }

private:
    std::unique_ptr<ChildProcess> child_;
    std::atomic<bool> broken_{false};
};

} // namespace

std::unique_ptr<ByteOutput> StartEncoderProcess(const std::string& command, const PcmLayout& layout, int& error) {
    auto child = command.empty() ? nullptr : ChildProcess::Start(command);
    if (!child) {
        error = BASS_ERROR_FILEOPEN;
        return nullptr;
    }
    auto out = std::make_unique<ProcessOutput>(std::move(child));
    // The length of a piped stream is not known in advance. A process that
    // has already quit started all the same; it shows as an inactive encoder.
    const auto header = WavHeader(layout, kUnknownLength);
    out->Write(header.data(), header.size());
    return out;
}

} // namespace tsl::encode
