// The sink a channel's pulled audio flows into: a WAV file written by the back
// end or an external encoder process fed through a pipe.
#pragma once

#include <cstdint>

namespace tsl {

class EncoderSink {
public:
    EncoderSink() = default;
    EncoderSink(const EncoderSink&) = delete;
    EncoderSink& operator=(const EncoderSink&) = delete;
    // Finishes the output (fixes up the WAV header, closes the pipe and waits a
    // bounded time for the process), so dropping the last reference is a stop.
    virtual ~EncoderSink() = default;

    // One block exactly as BASS_ChannelGetData handed it to its caller, in the
    // channel's output format (the sink was created knowing that format).
    // Called only by the thread that pulls the data; a sink that has failed
    // (disk full, encoder exited) drops the data and reports inactive.
    virtual void Write(const void* data, uint32_t bytes) noexcept = 0;

    // False once the file could not be written or the encoder process has
    // gone. Safe to call from any thread.
    virtual bool IsActive() const noexcept = 0;

    // Ends the output now; Write then drops everything. Idempotent.
    virtual void Stop() noexcept = 0;

    // BASS_ENCODE_AUTOFREE: the stream stops and frees the sink when it is freed.
    bool autoFree = false;
};

} // namespace tsl
