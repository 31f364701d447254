// Helpers for tests that listen to a stream: build a font, create a decoding
// float stream on it, send events, pull audio, and measure it.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "bass.h"
#include "bassmidi.h"
#include "synth/sf2_writer.h"

namespace tsl::test {

HSOUNDFONT LoadFont(const std::vector<Sf2Sample>& samples, const std::vector<Sf2Preset>& presets);

// A font whose note-ons take several routes: program 0 layers two samples
// over every key, program 5 splits them at key 60, and drum kit 0 plays one
// on keys 30-90.
struct FontParts {
    std::vector<Sf2Sample> samples;
    std::vector<Sf2Preset> presets;
};
FontParts LayeredSplitAndDrums();

struct TestStream {
    HSTREAM h = 0;
    uint32_t rate = 44100;
    uint32_t channels = 2;
    TestStream(std::vector<HSOUNDFONT> fonts, DWORD flags = 0, uint32_t rate = 44100);
    ~TestStream();
    void Event(int chan, DWORD event, DWORD param) const;
    void Note(int chan, int key, int vel) const { Event(chan, MIDI_EVENT_NOTE, static_cast<DWORD>(key | vel << 8)); }
    void Raw(std::vector<uint8_t> bytes) const;
    // Interleaved float frames (the stream must be a float stream).
    std::vector<float> Render(uint32_t frames) const;
};

// The process-wide voice limit new streams get, for the life of the object.
struct VoiceLimit {
    DWORD old = BASS_GetConfig(BASS_CONFIG_MIDI_VOICES);
    explicit VoiceLimit(DWORD n) { BASS_SetConfig(BASS_CONFIG_MIDI_VOICES, n); }
    ~VoiceLimit() { BASS_SetConfig(BASS_CONFIG_MIDI_VOICES, old); }
    VoiceLimit(const VoiceLimit&) = delete;
    VoiceLimit& operator=(const VoiceLimit&) = delete;
};

std::vector<float> Channel(const std::vector<float>& interleaved, uint32_t channels, uint32_t which);
// Frequency by upward zero crossings, linearly interpolated.
double MeasureHz(const std::vector<float>& mono, double rate);
double Rms(const std::vector<float>& x, size_t from, size_t count);
inline double Cents(double f, double ref) { return 1200.0 * std::log2(f / ref); }
double KeyHz(double key); // equal temperament, A4 = 440

} // namespace tsl::test
