// Helpers of the converter tests: a recording host, a mixer, MIDI files written
// byte by byte, a soundfont of the build host, WAV reading and a direct render
// to compare the converter's output with.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <bass.h>
#include <bassmidi.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "backend/tests/midifile/smf_builder.h"
#include "converter/conversion_engine.h"
#include "mixer/mixer_owner.h"
#include "unit/core/settings_test_folder.h"

namespace convtest {

using tsltest_core::TempFolder;

class RecordingHost : public IConversionHost {
public:
    void ClearLog() override;
    void Log(const std::wstring& line) override;
    void SetProgress(DWORD position) override;
    void SelectFile(size_t index) override;
    void SetBusy(bool busy) override;
    int Ask(const std::wstring& text, UINT flags) override;
    void OpenEncoderPages(const std::wstring& page, const std::wstring& folder) override;

    std::vector<std::wstring> LogLines() const;
    std::vector<std::wstring> Questions() const;
    size_t CountLog(const std::wstring& line) const;
    // Whether a log line starts with `text`, its line breaks written as blanks.
    bool LoggedStart(const std::wstring& text) const;
    std::vector<DWORD> Progress() const;

    std::function<int(const std::wstring&, UINT)> answer;  // default: IDOK / IDYES
    std::function<void(DWORD)> onProgress;
    std::vector<std::pair<std::wstring, std::wstring>> openedPages;

private:
    mutable std::mutex m_lock;
    std::vector<std::wstring> m_log, m_questions;
    std::vector<DWORD> m_progress;
};

class TestMixer : public IMixerOwner {
public:
    TestMixer();
    DWORD GetLevel() override { return 0; }
    std::wstring GetChannelInstrument(DWORD) override { return {}; }
    std::wstring GetName() const override { return L"test"; }
    void ApplyMixLevel(DWORD) override {}
};

// A soundfont of the build host, loaded once for the whole test program.
HSOUNDFONT TestFont();
ConversionServices TestServices();
// Settings of a run into `folder`-less outputs with neutral levels, 48 kHz, float streams.
ConversionSettings TestSettings(const std::wstring& encodersFolder = {});

// Writes a format-0 MIDI file; 480 ticks per quarter at 120 bpm (1 tick = 1/960 s).
std::wstring WriteMidi(const TempFolder& folder, const std::wstring& name, const tsl::test::Track& track);

struct Wav {
    unsigned format = 0, channels = 0, rate = 0, bits = 0;
    std::vector<float> samples;  // interleaved, scaled to -1 .. 1 (floats as stored)
    std::vector<int32_t> ints;   // interleaved integer samples (empty for float)
};
bool ReadWav(const std::wstring& path, Wav& wav);

// The file rendered directly by a MIDI-file stream with the same fonts, flags
// and levels as the converter, as float samples.
std::vector<float> DirectRender(const std::wstring& midi, const ConversionSettings& settings, int transpose = 0);
// The integer the WAV writer stores for a float sample at `bits`.
int32_t Quantized(float x, unsigned bits);

ConverterFile Record(const std::wstring& input, size_t format, const std::wstring& folder = {}, bool multichannel = false);

// The first frame whose absolute sample value exceeds `threshold`, or SIZE_MAX.
size_t FirstSound(const std::vector<float>& interleaved, float threshold = 1e-4f);

// A Windows path of the build host for `hostPath`; empty when it does not exist.
std::wstring HostProgram(const char* hostPath);
// The build host's path of a Windows path (through Wine); empty when not under Wine.
std::wstring UnixPath(const std::wstring& windowsPath);
// Runs a command of the build host with /bin/sh (arguments in single quotes,
// no double quotes) and waits until it has finished: true when it exited
// with 0. Wine hands back no process handle that can be waited for when it
// starts a Unix program, so the shell writes the exit code to a file.
bool RunHostProgram(const std::wstring& shellCommand, DWORD timeoutMs = 60000);

// The encoders built by tools/build-encoders, copied into `folder`; false when not built.
bool InstallRealEncoders(const std::wstring& folder);
// The stand-in encoder copied into `folder` as lame.exe and flac.exe.
bool InstallStandInEncoders(const std::wstring& folder);

std::vector<std::wstring> FilesIn(const std::wstring& folder);

// A private folder, a recording host, a neutral mixer and the engine over them.
struct ConversionFixture : ::testing::Test {
    TempFolder folder;
    RecordingHost host;
    TestMixer mixer;
    std::atomic<bool> cancel{false};
    std::wstring encoders;  // "<folder>\encoders", empty until a test fills it

    void SetUp() override
    {
        ASSERT_NE(TestFont(), 0u) << "TimGM6mb is needed (tools/install-deps)";
        encoders = folder.File(L"encoders");
    }
    void Run(const std::vector<ConverterFile>& files, ConversionSettings settings)
    {
        CConversionEngine engine(host, mixer, TestServices(), std::move(settings), cancel);
        engine.Run(files);
    }
    FileResult Convert(const ConverterFile& file, ConversionSettings settings, bool overwrite = false, int channel = -1)
    {
        CConversionEngine engine(host, mixer, TestServices(), std::move(settings), cancel);
        return engine.ConvertFile(file, overwrite, channel);
    }
};

}  // namespace convtest
