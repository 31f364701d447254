#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <cstring>
#include <thread>

#include "bass.h"
#ifdef _WIN32
#include <windows.h>
#endif
#include "encode/byte_output.h"
#include "encode/command_line.h"
#include "encode/pcm_sink.h"
#include "encode/temp_dir.h"

using namespace tsl::encode;
using tsl::test::FileBytes;
using tsl::test::Le32;

namespace {

const PcmLayout kIn{44100, 2, 32, true};

std::vector<float> Ramp(size_t n) {
    std::vector<float> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = float(int(i % 2001) - 1000) / 1000.0f;
    return v;
}

std::unique_ptr<PcmSink> WavSink(const std::filesystem::path& p, const PcmLayout& out) {
    int error = 0;
    auto dest = OpenWavFile(p.string(), out, error);
    EXPECT_TRUE(dest) << error;
    return dest ? std::make_unique<PcmSink>(kIn, out, std::move(dest)) : nullptr;
}

bool WaitUntil(const std::function<bool()>& f) {
    for (int i = 0; i < 500; ++i) {
        if (f()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

#ifdef _WIN32
// The stand-in encoder tool is built next to the test programs.
std::string ToolPath() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return (std::filesystem::path(self).parent_path() / "tsl-test-encoder.exe").string();
}
std::string CopyCommand(const std::filesystem::path& out) { return "\"" + ToolPath() + "\" \"" + out.string() + "\""; }
std::string DyingCommand() { return "\"" + ToolPath() + "\""; }
#else
std::string CopyCommand(const std::filesystem::path& out) { return "dd status=none \"of=" + out.string() + "\""; }
std::string DyingCommand() { return "true"; }
#endif

} // namespace

TEST(WavFileSink, SixteenBitFileMatchesSampleForSample) {
    tsl::test::TempDir dir;
    const PcmLayout out{44100, 2, 16, false};
    auto sink = WavSink(dir / "a.wav", out);
    ASSERT_TRUE(sink);
    const auto samples = Ramp(30000);
    // odd block sizes, larger than the conversion chunk too
    sink->Write(samples.data(), 1000 * 4);
    sink->Write(samples.data() + 1000, 29000 * 4);
    EXPECT_TRUE(sink->IsActive());
    sink->Stop();
    EXPECT_FALSE(sink->IsActive());
    sink->Write(samples.data(), 400); // after the end: dropped

    const auto b = FileBytes(dir / "a.wav");
    ASSERT_EQ(b.size(), 44u + 60000u);
    EXPECT_EQ(Le32(b, 4), 36u + 60000u);
    EXPECT_EQ(Le32(b, 40), 60000u);
    for (size_t i = 0; i < samples.size(); ++i) {
        const int16_t got = int16_t(b[44 + 2 * i] | b[45 + 2 * i] << 8);
        const int expect = int(std::lrint(samples[i] * 32768.0));
        ASSERT_EQ(got, std::min(expect, 32767)) << i;
    }
}

TEST(WavFileSink, FloatWrittenAsItComes) {
    tsl::test::TempDir dir;
    auto sink = WavSink(dir / "f.wav", kIn);
    const auto samples = Ramp(512);
    sink->Write(samples.data(), 512 * 4);
    sink.reset(); // dropping the sink finishes the file
    const auto b = FileBytes(dir / "f.wav");
    ASSERT_EQ(b.size(), 44u + 2048u);
    EXPECT_EQ(std::memcmp(b.data() + 44, samples.data(), 2048), 0);
    EXPECT_EQ(b[20], 3);
}

TEST(WavFileSink, UnwritablePathFails) {
    int error = 0;
    EXPECT_FALSE(OpenWavFile("/nonexistent-folder/x.wav", kIn, error));
    EXPECT_EQ(error, BASS_ERROR_CREATE);
}

TEST(CommandLine, QuotesAndEscapes) {
    EXPECT_EQ(SplitCommandLine("  \"C:\\enc\\lame.exe\" --tt \"A \\\"B\\\"\"  -b 128 - 'o u t.mp3' "),
              (std::vector<std::string>{"C:\\enc\\lame.exe", "--tt", "A \"B\"", "-b", "128", "-", "o u t.mp3"}));
    EXPECT_EQ(SplitCommandLine("a \"\" b"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(SplitCommandLine("   ").empty());
}

TEST(ProcessSink, EncoderReceivesHeaderAndSamples) {
    tsl::test::TempDir dir;
    const PcmLayout out{44100, 2, 24, false};
    int error = 0;
    const std::string cmd = CopyCommand(dir / "piped.wav");
    auto dest = StartEncoderProcess(cmd, out, error);
    ASSERT_TRUE(dest) << error;
    PcmSink sink(kIn, out, std::move(dest));
    const auto samples = Ramp(100000);
    sink.Write(samples.data(), uint32_t(samples.size() * 4));
    EXPECT_TRUE(sink.IsActive());
    sink.Stop(); // closes the pipe and waits for the process
    const auto b = FileBytes(dir / "piped.wav");
    ASSERT_EQ(b.size(), 44u + 300000u);
    EXPECT_EQ(Le32(b, 40) % 6, 0u); // length unknown up front: the largest size
    for (size_t i = 0; i < samples.size(); i += 997) {
        const int32_t got = int32_t(uint32_t(b[44 + 3 * i]) << 8 | uint32_t(b[45 + 3 * i]) << 16 |
                                    uint32_t(b[46 + 3 * i]) << 24) >> 8;
        ASSERT_EQ(got, std::min(int(std::lrint(samples[i] * 8388608.0)), 8388607)) << i;
    }
}

TEST(ProcessSink, MissingProgramFailsToStart) {
    int error = 0;
    EXPECT_FALSE(StartEncoderProcess("/nonexistent/encoder -", kIn, error));
    EXPECT_EQ(error, BASS_ERROR_FILEOPEN);
    EXPECT_FALSE(StartEncoderProcess("   ", kIn, error));
}

TEST(ProcessSink, EncoderThatExitsIsReportedStopped) {
    int error = 0;
    auto dest = StartEncoderProcess(DyingCommand(), kIn, error);
    ASSERT_TRUE(dest);
    PcmSink sink(kIn, kIn, std::move(dest));
    const auto samples = Ramp(1 << 16);
    // The writes fail (broken pipe, no signal) or the exit is seen: either way inactive.
    EXPECT_TRUE(WaitUntil([&] {
        sink.Write(samples.data(), uint32_t(samples.size() * 4));
        return !sink.IsActive();
    }));
}
