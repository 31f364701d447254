#include <gtest/gtest.h>

#include <cstring>

#include "bassenc.h"
#include "core/registry.h"
#include "encode/encoder.h"
#include "encode/temp_dir.h"

using tsl::test::FileBytes;
using tsl::test::Le32;

namespace {

// Stands in for a stream: the tests feed its encoder the way
// BASS_ChannelGetData does.
class FakeChannel final : public tsl::Channel {
public:
    FakeChannel() { format = tsl::SampleFormat{48000, 2, 4, true}; }
    uint32_t RenderFloat(float*, uint32_t) noexcept override { return 0; }
    void Feed(const std::vector<float>& v) {
        if (encoder) encoder->Write(v.data(), uint32_t(v.size() * 4));
    }
};

struct Registered {
    std::shared_ptr<FakeChannel> channel = std::make_shared<FakeChannel>();
    uint32_t handle = tsl::RegisterChannel(channel);
    void Free() {
        tsl::UnregisterChannel(handle);
        channel.reset();
    }
};

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

} // namespace

TEST(EncodeApi, PcmFileThroughTheChannelHandle) {
    tsl::test::TempDir dir;
    Registered r;
    const std::u16string path = U16((dir / "out.wav").string());
    const HENCODE enc = BASS_Encode_Start(r.handle, path.c_str(),
                                          BASS_ENCODE_PCM | BASS_ENCODE_FP_16BIT | BASS_UNICODE, nullptr, nullptr);
    ASSERT_NE(enc, 0u) << BASS_ErrorGetCode();
    r.channel->Feed({0.5f, -0.5f, 0.25f, 0.0f});
    EXPECT_EQ(BASS_Encode_IsActive(r.handle), DWORD(BASS_ACTIVE_PLAYING));
    EXPECT_EQ(BASS_Encode_IsActive(enc), DWORD(BASS_ACTIVE_PLAYING));
    EXPECT_TRUE(BASS_Encode_Stop(r.handle));
    EXPECT_EQ(BASS_Encode_IsActive(r.handle), DWORD(BASS_ACTIVE_STOPPED));
    r.channel->Feed({1.0f, 1.0f}); // a stopped encoder takes nothing more

    const auto b = FileBytes(dir / "out.wav");
    ASSERT_EQ(b.size(), 44u + 8u);
    EXPECT_EQ(Le32(b, 40), 8u);
    EXPECT_EQ(Le32(b, 24), 48000u);
    const int16_t expect[] = {16384, -16384, 8192, 0};
    EXPECT_EQ(std::memcmp(b.data() + 44, expect, 8), 0);
    r.Free();
}

TEST(EncodeApi, AutoFreeFinishesWithTheStream) {
    tsl::test::TempDir dir;
    Registered r;
    const std::string path = (dir / "auto.wav").string();
    const HENCODE enc = BASS_Encode_Start(r.handle, path.c_str(), BASS_ENCODE_PCM | BASS_ENCODE_AUTOFREE, nullptr, nullptr);
    ASSERT_NE(enc, 0u);
    r.channel->Feed(std::vector<float>(100, 0.1f));
    r.Free();
    const auto b = FileBytes(dir / "auto.wav");
    ASSERT_EQ(b.size(), 44u + 400u);
    EXPECT_EQ(Le32(b, 40), 400u);
    EXPECT_EQ(BASS_Encode_IsActive(enc), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST(EncodeApi, WithoutAutoFreeTheEncoderOutlivesItsStream) {
    tsl::test::TempDir dir;
    Registered r;
    const std::string path = (dir / "kept.wav").string();
    const HENCODE enc = BASS_Encode_Start(r.handle, path.c_str(), BASS_ENCODE_PCM, nullptr, nullptr);
    ASSERT_NE(enc, 0u);
    r.channel->Feed(std::vector<float>(10, 0.1f));
    r.Free();
    EXPECT_EQ(BASS_Encode_IsActive(enc), DWORD(BASS_ACTIVE_PLAYING));
    EXPECT_TRUE(BASS_Encode_Stop(enc));
    EXPECT_EQ(Le32(FileBytes(dir / "kept.wav"), 40), 40u);
    EXPECT_FALSE(BASS_Encode_Stop(enc));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST(EncodeApi, Failures) {
    Registered r;
    EXPECT_EQ(BASS_Encode_Start(0x7FFFFFF0u, "x.wav", BASS_ENCODE_PCM, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_Encode_Start(r.handle, "/nonexistent/encoder.exe -", BASS_ENCODE_FP_24BIT, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    EXPECT_EQ(BASS_Encode_IsActive(r.handle), DWORD(BASS_ACTIVE_STOPPED)); // no encoder on the channel
    EXPECT_FALSE(BASS_Encode_Stop(r.handle));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    r.Free();
}
