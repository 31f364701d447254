// The About tab's status lines and the debug report: the sections in their
// order, comments and blank lines left out of the copied configuration, this
// build's own architecture, and a write that fails reported as failed.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "configurator/debug_report.h"
#include "support/automation.h"

namespace {

std::wstring TempFile(const wchar_t* name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + name;
}

TEST(DebugReport, SectionsComeInOrderWithTheirContent)
{
    const std::wstring config = TempFile(L"tsl-report-test.conf");
    std::ofstream(tsltest::Narrow(config), std::ios::binary) << "; comment\r\n\r\n[Advanced]\r\nDevicesCount=2\r\n";

    DebugReportSources sources;
    sources.status = L"line one\r\nline two\r\n";
    SoundFontEntry entry;
    entry.FileName = L"C:\\fonts\\a.sf2";
    entry.EnabledPorts = 3;
    entry.Bank = 1;
    entry.Preset = -1;
    sources.soundFonts.push_back(entry);
    sources.midiDevices = {L"Microsoft GS Wavetable Synth", L"Tessaline #1"};
    sources.audioDevices = {L"Default", L"Speakers"};
    sources.configFile = config;
    const std::wstring report = BuildDebugReport(sources);
    DeleteFileW(config.c_str());

    const std::wstring arch = BuildArchitecture();
    const std::wstring expectedStart =
        L"Status\r\n======\r\nline one\r\nline two\r\n\r\n"
        L"Soundfonts\r\n==========\r\nfilename: C:\\fonts\\a.sf2\r\nenabled: 3, preload: 1, bank: 1, preset: -1\r\n\r\n"
        L"MIDI Devices (" + arch + L")\r\n==================\r\n[0]: Microsoft GS Wavetable Synth\r\n[1]: Tessaline #1\r\n\r\n"
        L"Audio Devices (" + arch + L")\r\n===================\r\n[1]: Default\r\n[2]: Speakers\r\n\r\n"
        L"Configuration file\r\n" + std::wstring(72, L'=') + L"\r\n[Advanced]\r\nDevicesCount=2\r\n" +
        std::wstring(72, L'=') + L"\r\n\r\nRegistry keys\r\n" + std::wstring(23, L'=') + L"\r\n*** x86: HKLM\\";
    EXPECT_EQ(report.substr(0, expectedStart.size()), expectedStart);
    // The 64-bit view is reported on 64-bit Windows whichever build runs.
    EXPECT_NE(report.find(L"*** x64: HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32 ***"),
              std::wstring::npos);
    EXPECT_NE(report.find(L"\\Default MidiOut Device ***"), std::wstring::npos);
}

TEST(DebugReport, NoSoundfontsAndAMissingConfiguration)
{
    DebugReportSources sources;
    sources.configFile = L"C:\\no\\such\\Tessaline.conf";
    const std::wstring report = BuildDebugReport(sources);
    EXPECT_NE(report.find(L"Soundfonts\r\n==========\r\n\r\nMIDI Devices"), std::wstring::npos);
    EXPECT_NE(report.find(L"Can't open configuration file: C:\\no\\such\\Tessaline.conf\r\n"), std::wstring::npos);
}

TEST(DebugReport, StatusNamesTheBuildsOwnArchitectureAndTheSystems)
{
    const std::wstring lines = SystemStatusLines();
#ifdef _WIN64
    EXPECT_NE(lines.find(L"Tessaline: 2.14.1 (x64)\r\n"), std::wstring::npos) << tsltest::Narrow(lines);
#endif
    EXPECT_NE(lines.find(L"(64 bit)"), std::wstring::npos) << tsltest::Narrow(lines);
    const std::wstring live = LiveStatusLines(2, L"Tessaline #1\r\n");
    EXPECT_EQ(live.rfind(L"Memory (MB): total ", 0), 0u);
    EXPECT_NE(live.find(L"Available devices: 2\r\nTessaline #1\r\n"), std::wstring::npos);
}

TEST(DebugReport, WrittenAsUtf8AndAFailedWriteIsReported)
{
    const std::wstring path = TempFile(L"tsl-report-\u00e9.txt");
    ASSERT_EQ(WriteDebugReport(path, L"caf\u00e9\r\n"), static_cast<DWORD>(ERROR_SUCCESS));
    std::ifstream in(path.c_str(), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    in.close();
    EXPECT_EQ(bytes, "\xEF\xBB\xBF" "caf\xC3\xA9\r\n");
    DeleteFileW(path.c_str());
    // A folder that does not exist: the error comes back, nothing claims success.
    EXPECT_EQ(WriteDebugReport(L"C:\\no\\such\\folder\\report.txt", L"x"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

} // namespace
