// The platform's audio outputs: enumeration, and an opened output whose own
// thread pulls mixed audio from a RenderSource at the device's pace.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tsl::output {

struct EndpointInfo {
    std::string name; // shown to the user, in the C API's narrow encoding (ANSI on Windows)
    std::string id;   // stable platform identifier
    bool enabled = true;
    bool isDefault = false;
};

// Called on the endpoint's real-time thread: fill `frames` interleaved stereo
// float frames at the rate the endpoint was opened with. Never blocks.
class RenderSource {
public:
    virtual ~RenderSource() = default;
    virtual void Render(float* out, uint32_t frames) noexcept = 0;
};

class AudioEndpoint {
public:
    virtual ~AudioEndpoint() = default; // stops and joins the thread
    virtual uint32_t LatencyMs() const noexcept = 0;   // device buffer + period
    virtual uint32_t MinBufferMs() const noexcept = 0; // suggested minimum playback buffer
    // Frames the device has played so far (its clock), in our rate.
    virtual uint64_t FramesPlayed() const noexcept = 0;
};

class AudioBackend {
public:
    virtual ~AudioBackend() = default;
    static AudioBackend& Get(); // the platform's
    virtual std::vector<EndpointInfo> Enumerate() = 0;
    // id empty: the system default, followed when it changes if followDefault.
    // Null with a BASS_ERROR_* in `error`.
    virtual std::unique_ptr<AudioEndpoint> Open(const std::string& id, bool followDefault, uint32_t rate,
                                                RenderSource& source, int& error) = 0;
};

} // namespace tsl::output
