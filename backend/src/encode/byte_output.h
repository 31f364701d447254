// Where an encoder's bytes go: a WAV file the back end writes itself, or the
// standard input of an encoder process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "encode/pcm_format.h"

namespace tsl::encode {

class ByteOutput {
public:
    virtual ~ByteOutput() = default;
    // False when the bytes could not all be delivered; the output is then dead.
    virtual bool Write(const void* data, size_t bytes) = 0;
    // Whether the receiver can still take data (an encoder process may exit
    // on its own). Thread-safe.
    virtual bool Alive() const = 0;
    // Ends the output once `dataBytes` of samples have been written.
    virtual void Finish(uint64_t dataBytes) = 0;
};

// Writes a WAV file; null with BASS_ERROR_CREATE (or FILEOPEN) in `error`.
std::unique_ptr<ByteOutput> OpenWavFile(const std::string& utf8Path, const PcmLayout& layout, int& error);

// Starts `utf8Command` (without a console window on Windows) and sends it a
// WAV header; null with BASS_ERROR_FILEOPEN when it cannot start.
std::unique_ptr<ByteOutput> StartEncoderProcess(const std::string& utf8Command, const PcmLayout& layout, int& error);

} // namespace tsl::encode
