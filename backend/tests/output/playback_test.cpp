#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include "bassmidi.h"
#include "output/capture.h"

using namespace std::chrono;
using tsl::test::ReadCapture;

namespace {

constexpr const char* kFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
constexpr uint32_t kRate = 44100;

#ifdef _WIN32
constexpr const char* kFontPath = "Z:/usr/share/sounds/sf2/TimGM6mb.sf2";
#else
constexpr const char* kFontPath = kFont;
#endif

// Plays a note on device 1 the way the synth does: automatic updating off,
// the caller renders ahead with BASS_ChannelUpdate every millisecond.
class Playback : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(kFontPath)) GTEST_SKIP() << kFont << " absent";
#ifndef _WIN32
        capture_ = (std::filesystem::temp_directory_path() / "tsl-output-capture.wav").string();
        setenv("TSL_AUDIO_CAPTURE", capture_.c_str(), 1);
#else
        capture_ = tsl::test::CapturePath();
        if (capture_.empty()) GTEST_SKIP() << "TSL_AUDIO_CAPTURE not set (run through tools/wine-run)";
#endif
        BASS_SetConfig(BASS_CONFIG_BUFFER, 100);
        BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 0);
        ASSERT_TRUE(BASS_Init(1, kRate, BASS_DEVICE_LATENCY, nullptr, nullptr)) << BASS_ErrorGetCode();
        start_ = steady_clock::now();
        font_ = BASS_MIDI_FontInit(kFontPath, 0);
        ASSERT_NE(font_, 0u);
        // Playing streams load missing samples in the background and skip
        // notes meanwhile, as the synth preloads its fonts.
        ASSERT_TRUE(BASS_MIDI_FontLoad(font_, -1, -1));
    }
    void TearDown() override {
        if (stream_) BASS_StreamFree(stream_);
        if (font_) BASS_MIDI_FontFree(font_);
        if (BASS_SetDevice(1)) BASS_Free();
        BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 100);
    }
    void MakeStream() {
        stream_ = BASS_MIDI_StreamCreate(16, BASS_SAMPLE_FLOAT, kRate);
        ASSERT_NE(stream_, 0u) << BASS_ErrorGetCode();
        BASS_MIDI_FONT f{font_, -1, 0};
        ASSERT_TRUE(BASS_MIDI_StreamSetFonts(stream_, &f, 1));
        ASSERT_TRUE(BASS_MIDI_StreamEvent(stream_, 0, MIDI_EVENT_PROGRAM, 73)); // flute: a clean pitch
    }
    double Ms() const { return duration<double, std::milli>(steady_clock::now() - start_).count(); }
    // Renders ahead every millisecond until `untilMs` after BASS_Init.
    void Pump(double untilMs) {
        while (Ms() < untilMs) {
            BASS_ChannelUpdate(stream_, 30);
            std::this_thread::sleep_for(milliseconds(1));
        }
    }

    std::string capture_;
    steady_clock::time_point start_;
    HSOUNDFONT font_ = 0;
    HSTREAM stream_ = 0;
};

} // namespace

TEST_F(Playback, NoteComesOutAtItsPitchAndTime) {
    MakeStream();
    ASSERT_TRUE(BASS_ChannelPlay(stream_, FALSE));
    EXPECT_EQ(BASS_ChannelIsActive(stream_), DWORD(BASS_ACTIVE_PLAYING));
    Pump(300);
    EXPECT_EQ(BASS_ChannelGetLevel(stream_), 0u); // silence so far
    const double sentAt = Ms();
    ASSERT_TRUE(BASS_MIDI_StreamEvent(stream_, 0, MIDI_EVENT_NOTE, 69 | 100 << 8)); // A4
    Pump(800);
    const DWORD level = BASS_ChannelGetLevel(stream_);
    EXPECT_GT(level & 0xFFFF, 300u);
    EXPECT_GT(level >> 16, 300u);
    EXPECT_LE(level & 0xFFFF, 32768u);
    float cpu = -1;
    EXPECT_TRUE(BASS_ChannelGetAttribute(stream_, BASS_ATTRIB_CPU, &cpu));
    EXPECT_GE(cpu, 0.0f);
    BASS_MIDI_StreamEvent(stream_, 0, MIDI_EVENT_NOTE, 69);
    Pump(1000);
    ASSERT_TRUE(BASS_ChannelStop(stream_));
    EXPECT_EQ(BASS_ChannelIsActive(stream_), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_EQ(BASS_ChannelGetLevel(stream_), 0u);
    BASS_Free(); // closes the capture

    const auto cap = ReadCapture(capture_);
    ASSERT_GT(cap.rate, 0u) << "capture unreadable: " << capture_;
    ASSERT_GT(cap.left.size(), cap.rate / 2);
    size_t onset = 0;
    while (onset < cap.left.size() && std::fabs(cap.left[onset]) < 0.001f) ++onset;
    ASSERT_LT(onset, cap.left.size()) << "nothing was heard";
    const double onsetMs = onset * 1000.0 / cap.rate;
    // Sent at `sentAt` after the device opened; heard one buffer and device
    // period later. Wine's capture device takes audio in bursts ahead of real
    // time, so capture time runs a little ahead of the clock: a loose bound.
    EXPECT_GT(onsetMs, sentAt - 20);
    EXPECT_LT(onsetMs, sentAt + 400);
    const double hz = tsl::test::PitchHz(cap.left, onset + cap.rate / 10, cap.rate / 5, cap.rate);
    EXPECT_NEAR(1200 * std::log2(hz / 440.0), 0.0, 30.0) << hz << " Hz";
}

TEST_F(Playback, AutomaticUpdatingAndRestart) {
    BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 10);
    MakeStream();
    ASSERT_TRUE(BASS_ChannelPlay(stream_, TRUE));
    BASS_MIDI_StreamEvent(stream_, 0, MIDI_EVENT_NOTE, 72 | 110 << 8);
    DWORD level = 0;
    for (int i = 0; i < 300 && (level & 0xFFFF) < 300; ++i) {
        std::this_thread::sleep_for(milliseconds(5));
        level = BASS_ChannelGetLevel(stream_);
    }
    EXPECT_GT(level & 0xFFFF, 300u); // no BASS_ChannelUpdate: the device's own updates play it
    EXPECT_TRUE(BASS_ChannelPlay(stream_, TRUE));
    EXPECT_EQ(BASS_ChannelIsActive(stream_), DWORD(BASS_ACTIVE_PLAYING));
}

TEST_F(Playback, FileStreamEndsAfterItsLastNote) {
    // a tenth of a second of one note, then the end
    const uint8_t smf[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k', 0, 0, 0, 12,
                           0, 0x90, 60, 100, 20, 0x80, 60, 0, 0, 0xFF, 0x2F, 0};
    stream_ = BASS_MIDI_StreamCreateFile(TRUE, smf, 0, sizeof smf, BASS_SAMPLE_FLOAT | BASS_MIDI_DECAYEND, kRate);
    ASSERT_NE(stream_, 0u) << BASS_ErrorGetCode();
    BASS_MIDI_FONT f{font_, -1, 0};
    BASS_MIDI_StreamSetFonts(stream_, &f, 1);
    ASSERT_TRUE(BASS_ChannelPlay(stream_, FALSE));
    const double until = Ms() + 8000;
    while (BASS_ChannelIsActive(stream_) == BASS_ACTIVE_PLAYING && Ms() < until) {
        BASS_ChannelUpdate(stream_, 30);
        std::this_thread::sleep_for(milliseconds(2));
    }
    EXPECT_EQ(BASS_ChannelIsActive(stream_), DWORD(BASS_ACTIVE_STOPPED));
}

TEST_F(Playback, DeviceWithAnotherRateRefusesTheStream) {
    const HSTREAM s = BASS_MIDI_StreamCreate(16, BASS_SAMPLE_FLOAT, 22050);
    ASSERT_NE(s, 0u);
    EXPECT_FALSE(BASS_ChannelPlay(s, FALSE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FORMAT);
    BASS_StreamFree(s);
}
