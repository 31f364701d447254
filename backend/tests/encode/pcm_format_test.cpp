#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "bassenc.h"
#include "encode/pcm_format.h"
#include "encode/wav_header.h"
#include "encode/temp_dir.h"

using namespace tsl::encode;

namespace {

const PcmLayout kFloatStereo{48000, 2, 32, true};

template <class T>
std::vector<T> Convert(const std::vector<float>& in, uint32_t flags) {
    const PcmLayout out = OutputLayout(kFloatStereo, flags);
    std::vector<T> dst(in.size());
    ConvertSamples(in.data(), kFloatStereo, dst.data(), out, in.size());
    return dst;
}

} // namespace

TEST(PcmFormat, FloatToIntegerRoundsAndClips) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> in = {0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 2.0f, -3.0f, 1.0f / 65536, nan};
    EXPECT_EQ(Convert<int16_t>(in, BASS_ENCODE_FP_16BIT),
              (std::vector<int16_t>{0, 16384, -16384, 32767, -32768, 32767, -32768, 0, 0}));

    const PcmLayout out24 = OutputLayout(kFloatStereo, BASS_ENCODE_FP_24BIT);
    EXPECT_EQ(out24.bits, 24);
    EXPECT_FALSE(out24.isFloat);
    std::vector<uint8_t> b(in.size() * 3);
    ConvertSamples(in.data(), kFloatStereo, b.data(), out24, in.size());
    auto s24 = [&](size_t i) { return int32_t(uint32_t(b[3 * i]) << 8 | uint32_t(b[3 * i + 1]) << 16 | uint32_t(b[3 * i + 2]) << 24) >> 8; };
    EXPECT_EQ(s24(1), 4194304);
    EXPECT_EQ(s24(2), -4194304);
    EXPECT_EQ(s24(3), 8388607);
    EXPECT_EQ(s24(4), -8388608);
    EXPECT_EQ(s24(7), 128);
}

TEST(PcmFormat, HalfStepsRoundToEvenAndEveryFloatAsNearbyintDoes) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> ties = {0.5f / 32768, 1.5f / 32768, 2.5f / 32768, -2.5f / 32768, -3.5f / 32768,
                                     32766.5f / 32768, inf, -inf};
    EXPECT_EQ(Convert<int16_t>(ties, BASS_ENCODE_FP_16BIT),
              (std::vector<int16_t>{0, 2, 2, -2, -4, 32766, 32767, -32768}));

    // A sweep over the whole range, at the three integer widths, against the
    // library's rounding (clamped afterwards).
    std::vector<float> in;
    for (uint32_t bits = 0x30000000u; bits < 0x40000000u; bits += 0x1357u) {
        float f;
        std::memcpy(&f, &bits, 4);
        in.push_back(f);
        in.push_back(-f);
    }
    auto expected = [](float x, double scale) {
        return int64_t(std::clamp(std::nearbyint(double(x) * scale), -scale, scale - 1));
    };
    const std::vector<int16_t> s16 = Convert<int16_t>(in, BASS_ENCODE_FP_16BIT);
    const std::vector<int32_t> s32 = Convert<int32_t>(in, BASS_ENCODE_FP_32BIT);
    std::vector<uint8_t> b(in.size() * 3);
    ConvertSamples(in.data(), kFloatStereo, b.data(), OutputLayout(kFloatStereo, BASS_ENCODE_FP_24BIT), in.size());
    size_t wrong = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        const int32_t s24 = int32_t(uint32_t(b[3 * i]) << 8 | uint32_t(b[3 * i + 1]) << 16 | uint32_t(b[3 * i + 2]) << 24) >> 8;
        wrong += s16[i] != expected(in[i], 32768) || s24 != expected(in[i], 8388608) ||
                 s32[i] != expected(in[i], 2147483648.0);
    }
    EXPECT_EQ(wrong, 0u) << "of " << in.size();
}

TEST(PcmFormat, FloatPassesThroughAndIntegerInputIgnoresFpFlags) {
    const std::vector<float> in = {0.25f, -2.0f};
    const PcmLayout out = OutputLayout(kFloatStereo, 0);
    EXPECT_TRUE(out.isFloat);
    std::vector<float> dst(2);
    ConvertSamples(in.data(), kFloatStereo, dst.data(), out, 2);
    EXPECT_EQ(dst, in); // no clipping when float is written as float

    const PcmLayout int16{44100, 1, 16, false};
    const PcmLayout same = OutputLayout(int16, BASS_ENCODE_FP_24BIT);
    EXPECT_EQ(same.bits, 16);
}

TEST(WavHeader, FieldsAndSaturatedSizes) {
    const PcmLayout l{44100, 2, 24, false};
    auto h = WavHeader(l, 600);
    std::vector<uint8_t> b(h.begin(), h.end());
    EXPECT_EQ(std::memcmp(b.data(), "RIFF", 4), 0);
    EXPECT_EQ(tsl::test::Le32(b, 4), 636u);
    EXPECT_EQ(tsl::test::Le16(b, 20), 1);       // integer PCM
    EXPECT_EQ(tsl::test::Le16(b, 22), 2);
    EXPECT_EQ(tsl::test::Le32(b, 24), 44100u);
    EXPECT_EQ(tsl::test::Le32(b, 28), 44100u * 6);
    EXPECT_EQ(tsl::test::Le16(b, 32), 6);
    EXPECT_EQ(tsl::test::Le16(b, 34), 24);
    EXPECT_EQ(tsl::test::Le32(b, 40), 600u);

    // More than 4 GB, or unknown: the largest whole-frame size that fits.
    for (uint64_t len : {uint64_t(5) << 30, kUnknownLength}) {
        h = WavHeader(l, len);
        b.assign(h.begin(), h.end());
        const uint32_t data = tsl::test::Le32(b, 40);
        EXPECT_EQ(data % 6, 0u);
        EXPECT_GT(data, 0xFFFFFFF0u - 36 - 6);
        EXPECT_EQ(tsl::test::Le32(b, 4), data + 36);
    }
    h = WavHeader(kFloatStereo, 8);
    b.assign(h.begin(), h.end());
    EXPECT_EQ(tsl::test::Le16(b, 20), 3); // IEEE float
}
