// In-process tests of the program's windows: a configuration of the test's
// own made current as g_Settings with the English texts loaded, message boxes
// answered without a user, and a mixer owner that records the levels it is
// asked to apply. Only tests that link the program's code (tslapp) use it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "core/settings.h"
#include "mixer/mixer_owner.h"
#include "support/temp_folder.h"

namespace tsltest {

// Tessaline.conf with `conf` in a temporary folder, its store as g_Settings,
// the language table of the source tree, every message box recorded.
class TestConfig {
public:
    explicit TestConfig(const std::string& conf = "[Advanced]\r\n");
    ~TestConfig();
    TestConfig(const TestConfig&) = delete;
    TestConfig& operator=(const TestConfig&) = delete;

    CSettings& Settings() { return *m_store; }
    const TempFolder& Folder() const { return m_folder; }
    std::wstring Stored(const wchar_t* section, const std::wstring& key) const;
    // Texts of the message boxes shown so far.
    const std::vector<std::wstring>& Messages() const;

private:
    TempFolder m_folder;
    std::unique_ptr<CSettings> m_store;
};

class FakeOwner : public IMixerOwner {
public:
    explicit FakeOwner(std::wstring name = L"Test mixer") : m_name(std::move(name)) {}
    DWORD GetLevel() override { return level; }
    std::wstring GetChannelInstrument(DWORD channel) override
    {
        return channel < 16 ? instruments[channel] : std::wstring();
    }
    std::wstring GetName() const override { return m_name; }
    void ApplyMixLevel(DWORD channel) override { applied.push_back(channel); }

    DWORD level = 0;
    std::wstring instruments[16];
    std::vector<DWORD> applied;

private:
    std::wstring m_name;
};

// Runs the calling thread's messages until none is left.
void Pump();

}  // namespace tsltest
