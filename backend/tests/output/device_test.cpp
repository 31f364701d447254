#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bassmidi.h"

// Every test leaves no device initialised behind.
class DeviceApi : public ::testing::Test {
protected:
    void TearDown() override {
        for (DWORD d : {0u, 1u, 2u})
            if (BASS_SetDevice(d)) BASS_Free();
    }
};

TEST_F(DeviceApi, InitFailures) {
    EXPECT_FALSE(BASS_Init(999, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    EXPECT_FALSE(BASS_Init(1, 1000, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FORMAT);
    BASS_INFO info;
    EXPECT_FALSE(BASS_GetInfo(&info));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    EXPECT_FALSE(BASS_SetDevice(1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);

    ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_FALSE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    EXPECT_EQ(BASS_GetDevice(), 0u);
    EXPECT_TRUE(BASS_Free());
    EXPECT_FALSE(BASS_Free());
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
}

TEST_F(DeviceApi, DeviceList) {
    BASS_DEVICEINFO info;
    ASSERT_TRUE(BASS_GetDeviceInfo(1, &info));
    EXPECT_STREQ(info.name, "Default");
    EXPECT_TRUE(info.flags & BASS_DEVICE_ENABLED);
    ASSERT_TRUE(BASS_GetDeviceInfo(2, &info)) << "no output device at all";
    EXPECT_TRUE(info.flags & BASS_DEVICE_ENABLED);
    EXPECT_GT(std::strlen(info.name), 0u);
    DWORD n = 2;
    while (BASS_GetDeviceInfo(n, &info)) ++n;
    EXPECT_LT(n, 100u);
    EXPECT_FALSE(BASS_GetDeviceInfo(n, &info));

    // Initialised devices say so.
    ASSERT_TRUE(BASS_Init(2, 48000, BASS_DEVICE_LATENCY, nullptr, nullptr)) << BASS_ErrorGetCode();
    ASSERT_TRUE(BASS_GetDeviceInfo(2, &info));
    EXPECT_TRUE(info.flags & BASS_DEVICE_INIT);
    BASS_INFO bi;
    ASSERT_TRUE(BASS_GetInfo(&bi));
    EXPECT_EQ(bi.initflags, DWORD(BASS_DEVICE_LATENCY));
    EXPECT_EQ(bi.freq, 48000u);
    EXPECT_GT(bi.minbuf, 0u);
}

TEST_F(DeviceApi, PlayingStreamsNeedAnInitialisedDeviceDecodingStreamsNone) {
    EXPECT_EQ(BASS_MIDI_StreamCreate(16, BASS_SAMPLE_FLOAT, 44100), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    const HSTREAM d = BASS_MIDI_StreamCreate(16, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT, 44100);
    ASSERT_NE(d, 0u) << BASS_ErrorGetCode();
    BASS_StreamFree(d);
    // A device freed again is as good as none.
    ASSERT_TRUE(BASS_Init(1, 44100, 0, nullptr, nullptr)) << BASS_ErrorGetCode();
    const HSTREAM p = BASS_MIDI_StreamCreate(16, BASS_SAMPLE_FLOAT, 44100);
    EXPECT_NE(p, 0u) << BASS_ErrorGetCode();
    BASS_StreamFree(p);
    ASSERT_TRUE(BASS_Free());
    EXPECT_EQ(BASS_MIDI_StreamCreate(16, 0, 44100), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
}

TEST_F(DeviceApi, NoSoundDeviceTakesOnlyDecodingStreams) {
    ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_MIDI_StreamCreate(16, BASS_SAMPLE_FLOAT | BASS_MIDI_ASYNC, 44100), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    const HSTREAM m = BASS_MIDI_StreamCreate(16, BASS_STREAM_DECODE | BASS_MIDI_DECAYEND, 44100);
    ASSERT_NE(m, 0u) << BASS_ErrorGetCode();
    BASS_StreamFree(m);
    const uint8_t smf[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
                           'M', 'T', 'r', 'k', 0, 0, 0, 4, 0, 0xFF, 0x2F, 0};
    EXPECT_EQ(BASS_MIDI_StreamCreateFile(TRUE, smf, 0, sizeof smf, BASS_SAMPLE_FLOAT, 44100), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    const HSTREAM d = BASS_MIDI_StreamCreateFile(TRUE, smf, 0, sizeof smf, BASS_SAMPLE_FLOAT | BASS_STREAM_DECODE, 44100);
    ASSERT_NE(d, 0u);
    EXPECT_FALSE(BASS_ChannelPlay(d, FALSE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DECODE);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(d, 1.5), QWORD(66150) * 8);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(d, 44100 * 8), 1.0);
    BASS_StreamFree(d);
}
