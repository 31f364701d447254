// The common base of everything that has a channel handle (MIDI streams today),
// and the contract between the synthesizer side, which renders, and the output
// side, which plays, levels and encodes what was rendered.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace tsl {

class EncoderSink;   // output side: encode/encoder.h
class PlaybackState; // output side: output/playback.h

struct SampleFormat {
    uint32_t rate = 44100;
    uint32_t channels = 2;     // 1 or 2
    uint32_t bytesPerSample = 4; // 4 float, 2 int16, 1 uint8
    bool isFloat = true;
    uint32_t FrameBytes() const noexcept { return channels * bytesPerSample; }
};

class Channel {
public:
    Channel() = default;
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;
    virtual ~Channel() = default;

    // Creation flags (BASS_SAMPLE_*, BASS_STREAM_DECODE, BASS_MIDI_*).
    uint32_t flags = 0;
    SampleFormat format;
    // The output device the stream was created on (0 = no sound); unused for decoding streams.
    int device = 0;

    // Renders up to `frames` frames of interleaved float audio in the channel's
    // own channel count and rate. Returns the frames produced; fewer than asked
    // means the channel has ended. Called by one thread at a time: the puller of
    // BASS_ChannelGetData, or the playback buffer's filler (which serialises
    // BASS_ChannelUpdate and the device thread). Never allocates or locks.
    virtual uint32_t RenderFloat(float* out, uint32_t frames) noexcept = 0;

    // Output side state, created by BASS_ChannelPlay/BASS_ChannelUpdate on a
    // playable stream; null for decoding streams.
    std::shared_ptr<PlaybackState> playback;

    // Encoder fed with every block the puller of BASS_ChannelGetData receives,
    // in the channel's output format. Set and cleared by BASS_Encode_Start/Stop
    // on the thread that pulls the data.
    std::shared_ptr<EncoderSink> encoder;
};

} // namespace tsl
