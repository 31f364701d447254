// What the channel end-to-end tests share: the test client and the driver of
// this build, a read-only look at the synth's shared block, and a fixture that
// starts Tessaline.exe with a configuration of the test's own and closes it
// again afterwards.
#pragma once

#include <gtest/gtest.h>

#include "ipc/ring_layout.h"
#include "support/automation.h"
#include "support/installation.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace tsltest {

inline constexpr DWORD kStartTimeoutMs = 20000;
inline constexpr DWORD kClientTimeoutMs = 60000;

inline std::wstring ClientPath() { return HostPathToWindows(TSL_BUILD_DIR "/tsl-test-client.exe"); }
inline std::wstring DriverPath() { return HostPathToWindows(TSL_BUILD_DIR "/Tessaline.dll"); }

// Starts the test client with `commands` against this build's driver.
inline bool StartClient(ChildProcess& client, const std::wstring& commands)
{
    return client.Start(ClientPath(), L"--dll \"" + DriverPath() + L"\" " + commands);
}

// Runs the test client to its end; its exit code (0: every call as expected).
inline std::optional<DWORD> RunClient(const std::wstring& commands)
{
    ChildProcess client;
    if (!StartClient(client, commands))
        return std::nullopt;
    return client.WaitExit(kClientTimeoutMs);
}

// The synth's audio as the Wine set-up captured it: the first channel.
struct CapturedAudio {
    double rate = 0;
    std::vector<float> left;
};

// ALSA's file plugin writes the samples as they come (Wine plays 32-bit
// float) but its WAV header always claims integer PCM, so 32-bit data is read
// as float whatever the header says.
inline CapturedAudio ReadCapturedAudio(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    auto word = [&](size_t at, int size) {
        uint32_t value = 0;
        for (int i = size - 1; i >= 0; --i)
            value = value << 8 | bytes[at + size_t(i)];
        return value;
    };
    CapturedAudio audio;
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0)
        return audio;
    uint32_t channels = 0, bits = 0;
    for (size_t pos = 12; pos + 8 <= bytes.size();) {
        const uint32_t length = word(pos + 4, 4);
        if (!std::memcmp(&bytes[pos], "fmt ", 4) && pos + 24 <= bytes.size()) {
            channels = word(pos + 10, 2);
            audio.rate = word(pos + 12, 4);
            bits = word(pos + 22, 2);
        } else if (!std::memcmp(&bytes[pos], "data", 4)) {
            // The length is a placeholder while the file is being written; read to the end.
            const size_t frame = size_t(channels) * bits / 8;
            if (bits != 32 || frame == 0)
                return audio;
            for (size_t at = pos + 8; at + frame <= bytes.size(); at += frame) {
                const uint32_t raw = word(at, 4);
                float sample;
                std::memcpy(&sample, &raw, 4);
                audio.left.push_back(sample);
            }
            return audio;
        }
        pos += 8 + length + (length & 1);
    }
    return audio;
}

// A look at the synth's block from outside, as a client holds it.
class BlockView {
public:
    BlockView()
    {
        m_mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, ring::kSharedMemName);
        if (m_mapping)
            m_block = static_cast<const ring::Block*>(MapViewOfFile(m_mapping, FILE_MAP_READ, 0, 0, ring::kBlockSize));
    }
    ~BlockView()
    {
        if (m_block)
            UnmapViewOfFile(m_block);
        if (m_mapping)
            CloseHandle(m_mapping);
    }
    BlockView(const BlockView&) = delete;
    BlockView& operator=(const BlockView&) = delete;

    bool Valid() const { return m_block != nullptr; }
    uint32_t Read() const { return Load(m_block->readIndex); }
    uint32_t Write() const { return Load(m_block->writeIndex); }
    uint32_t Listening() const { return Load(m_block->listening); }
    // Entries written since `from`, along the ring.
    uint32_t WrittenSince(uint32_t from) const { return (Write() + ring::kEntryCount - from) % ring::kEntryCount; }
    bool Drained(DWORD timeoutMs) const
    {
        return WaitUntil([&] { return Read() == Write(); }, timeoutMs);
    }

private:
    static uint32_t Load(const uint32_t& word) { return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(word)).load(); }
    HANDLE m_mapping = nullptr;
    const ring::Block* m_block = nullptr;
};

class Channel : public ::testing::Test {
protected:
    void SetUp() override { TestInstallation::DeleteRegistryPath(); }
    void TearDown() override
    {
        if (m_synth.IsRunning()) {
            // A question left open by a failed test would hold the exit up.
            if (HWND box = WaitForMessageBox(m_synth.Id(), 0))
                PressButton(box, IDCANCEL);
            if (HWND tray = Tray(100))
                PostMessageW(tray, WM_CLOSE, 0, 0);
            if (!m_synth.WaitExit(kStartTimeoutMs))
                m_synth.Kill();
        }
        TestInstallation::DeleteRegistryPath();
    }

    void StartSynth(TestInstallation& install, const std::string& advanced = {})
    {
        install.WriteConfig("[Advanced]\r\nDevicesCount=2\r\n" + advanced +
                            "[SoundFonts]\r\nsf1=Z:\\usr\\share\\sounds\\sf2\\TimGM6mb.sf2\r\nsf1.enabled=3\r\n");
        TestInstallation::SetRegistryPath(install.Folder());
        ASSERT_TRUE(m_synth.Start(TestInstallation::ProgramPath(), L"", install.Folder()));
        ASSERT_NE(Tray(kStartTimeoutMs), nullptr) << "the synth did not come up";
    }

    HWND Tray(DWORD timeoutMs)
    {
        WindowQuery query;
        query.className = L"MSGWND";
        query.title = L"Tessaline Systray Window";
        query.processId = m_synth.Id();
        return WaitForWindow(query, timeoutMs);
    }

    float PeakOfPlaying(const std::string& name, const std::string& advanced, const std::wstring& commands);

    ChildProcess m_synth;
};

}  // namespace tsltest
