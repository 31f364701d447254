#include "synth_test_support.h"

#include <bassmidi.h>

#include <atomic>

#include "core/message_box.h"
#include "core/profile.h"
#include "synth/midi_out.h"

namespace synthtest {

namespace {

std::mutex g_lock;
std::vector<std::vector<BYTE>> g_raw;
std::vector<SentEvent> g_events;
std::atomic<bool> g_passThrough{false};

DWORD RecordBytes(HSTREAM stream, DWORD mode, const void* events, DWORD length) {
    {
        std::lock_guard<std::mutex> guard(g_lock);
        const BYTE* bytes = static_cast<const BYTE*>(events);
        g_raw.emplace_back(bytes, bytes + length);
    }
    return g_passThrough ? BASS_MIDI_StreamEvents(stream, mode, events, length) : length;
}

BOOL RecordEvent(HSTREAM stream, DWORD channel, DWORD event, DWORD param) {
    {
        std::lock_guard<std::mutex> guard(g_lock);
        g_events.push_back(SentEvent{stream, channel, event, param});
    }
    return g_passThrough ? BASS_MIDI_StreamEvent(stream, channel, event, param) : TRUE;
}

std::mutex g_messageLock;
std::vector<std::wstring> g_messages;

int RecordMessage(const std::wstring& text, const std::wstring&, UINT) {
    std::lock_guard<std::mutex> guard(g_messageLock);
    g_messages.push_back(text);
    return IDOK;
}

}  // namespace

MidiRecorder::MidiRecorder(bool passThrough) {
    Clear();
    g_passThrough = passThrough;
    SetMidiOutHooks(&RecordBytes, &RecordEvent);
}

MidiRecorder::~MidiRecorder() { SetMidiOutHooks(nullptr, nullptr); }

std::vector<std::vector<BYTE>> MidiRecorder::Raw() const {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_raw;
}

std::vector<SentEvent> MidiRecorder::Events() const {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_events;
}

std::vector<SentEvent> MidiRecorder::EventsOfType(DWORD event) const {
    std::vector<SentEvent> out;
    for (const SentEvent& e : Events()) {
        if (e.event == event) out.push_back(e);
    }
    return out;
}

void MidiRecorder::Clear() {
    std::lock_guard<std::mutex> guard(g_lock);
    g_raw.clear();
    g_events.clear();
}

TestConfig::TestConfig(const std::string& conf) : m_previous(g_Settings) {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    m_folder = std::wstring(temp) + L"tsl_synth_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
               std::to_wstring(counter++);
    ::CreateDirectoryW(m_folder.c_str(), nullptr);
    HANDLE file = ::CreateFileW((m_folder + L"\\Tessaline.conf").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(file, conf.data(), static_cast<DWORD>(conf.size()), &written, nullptr);
        ::CloseHandle(file);
    }
    {
        std::lock_guard<std::mutex> guard(g_messageLock);
        g_messages.clear();
    }
    SetMessageBoxHook(&RecordMessage);
    m_store = std::make_unique<CSettings>(m_folder);
    g_Settings = m_store.get();
}

TestConfig::~TestConfig() {
    g_Settings = m_previous;
    m_store.reset();
    SetMessageBoxHook(nullptr);
    ::DeleteFileW((m_folder + L"\\Tessaline.conf").c_str());
    ::RemoveDirectoryW(m_folder.c_str());
}

std::vector<std::wstring> TestConfig::Messages() const {
    std::lock_guard<std::mutex> guard(g_messageLock);
    return g_messages;
}

std::wstring TestConfig::Stored(const wchar_t* section, const std::wstring& key) const {
    return ProfileReadText(m_store->ConfigFile(), section, key, L"<none>", 1000);
}

std::vector<BYTE> Bytes(std::initializer_list<int> values) {
    std::vector<BYTE> out;
    for (int v : values) out.push_back(static_cast<BYTE>(v));
    return out;
}

std::wstring HostSoundFont(const char* name) {
    std::wstring path = L"Z:\\usr\\share\\sounds\\sf2\\";
    for (const char* p = name; *p; ++p) path.push_back(static_cast<wchar_t>(*p));
    return path;
}

}  // namespace synthtest
