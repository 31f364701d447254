// Helpers of the synth tests: a recorder of everything client streams hand to
// the back end, a configuration file in a private folder made current as
// g_Settings, and a recorder of message boxes.
#pragma once

#include <windows.h>

#include <bass.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/settings.h"

namespace synthtest {

struct SentEvent {
    HSTREAM stream;
    DWORD channel;
    DWORD event;
    DWORD param;
};

// Records SendMidiBytes/SendMidiEvent for as long as it lives (one at a time).
// With passThrough the calls also reach the back end.
class MidiRecorder {
public:
    explicit MidiRecorder(bool passThrough = false);
    ~MidiRecorder();
    MidiRecorder(const MidiRecorder&) = delete;
    MidiRecorder& operator=(const MidiRecorder&) = delete;

    std::vector<std::vector<BYTE>> Raw() const;
    std::vector<SentEvent> Events() const;
    std::vector<SentEvent> EventsOfType(DWORD event) const;
    void Clear();
};

// A configuration file with `conf` in a fresh folder, its store as g_Settings,
// and every message box answered with IDOK and remembered.
class TestConfig {
public:
    explicit TestConfig(const std::string& conf = "[Advanced]\r\n");
    ~TestConfig();
    TestConfig(const TestConfig&) = delete;
    TestConfig& operator=(const TestConfig&) = delete;

    CSettings& Settings() { return *m_store; }
    const std::wstring& Folder() const { return m_folder; }
    // Texts of the message boxes shown so far.
    std::vector<std::wstring> Messages() const;
    std::wstring Stored(const wchar_t* section, const std::wstring& key) const;

private:
    std::wstring m_folder;
    std::unique_ptr<CSettings> m_store;
    CSettings* m_previous;
};

std::vector<BYTE> Bytes(std::initializer_list<int> values);
// A soundfont file of the build host, as a Windows path (Z:\...).
std::wstring HostSoundFont(const char* name);

}  // namespace synthtest
