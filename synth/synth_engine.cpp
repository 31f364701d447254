#include "synth/synth_engine.h"

#include <atomic>

#include "core/language.h"
#include "core/message_box.h"
#include "core/settings.h"
#include "synth/midi_out.h"

SynthEngine* g_Engine = nullptr;

SynthEngine::SynthEngine() = default;

SynthEngine::~SynthEngine() {
    Shutdown();
    DestroyPorts();
}

CMidiDevice* SynthEngine::Port(DWORD index) const {
    return index < PortCount() ? m_ports[index].get() : nullptr;
}

int SynthEngine::PortDevice(DWORD port) const {
    return port < kMaxPorts ? m_portDevice[port].load(std::memory_order_relaxed) : 1;
}

bool SynthEngine::Initialize() {
    if (IsInitialized()) return true;
    if (!g_Settings) return false;

    // Device 1 then follows whatever the system's default device is.
    BASS_SetConfig(BASS_CONFIG_DEV_DEFAULT, 1);

    const DWORD portCount = g_Settings->DevicesCount.Get();
    const DeviceInitResult init = InitializeOutputDevices(g_Settings->PortDevices, portCount,
                                                          g_Settings->OutputSampleRate.Get(),
                                                          g_Settings->AdditionalBuffer.Get());
    // Devices initialised before a failure are released by Shutdown all the same.
    m_devices = init.devices;
    if (!init.ok) return false;
    for (DWORD p = 0; p < kMaxPorts; ++p) {
        m_portDevice[p].store(EffectiveDevice(init, static_cast<int>(g_Settings->PortDevices[p].Device)),
                              std::memory_order_relaxed);
    }

    BASS_SetConfig(BASS_CONFIG_MIDI_VOICES, g_Settings->VoicesLimit.Get());
    LoadSoundFonts();
    // Streams check the flag before they are created, so it goes up before the ports open.
    m_initialized.store(true, std::memory_order_release);
    CreatePorts();
    return true;
}

bool SynthEngine::CreatePorts() {
    if (!g_Settings) return false;
    DWORD target = g_Settings->DevicesCount.Get();
    if (target > kMaxPorts) target = kMaxPorts;
    for (DWORD index = PortCount(); index < target; ++index) {
        auto port = std::make_unique<CMidiDevice>(index);
        port->LoadMixerState();
        CMidiDevice* raw = port.get();
        m_ports[index] = std::move(port);
        // Publish after the slot is filled: other threads index by the count.
        m_portCount.store(index + 1, std::memory_order_release);
        raw->Open(false);
    }
    return true;
}

namespace {
std::atomic<SynthEngine::PortsClosedHook> g_portsClosedHook{nullptr};
}  // namespace

void SynthEngine::SetPortsClosedHookForTests(PortsClosedHook hook) {
    g_portsClosedHook.store(hook, std::memory_order_relaxed);
}

bool SynthEngine::Shutdown() {
    // Streams being made or freed for clients reach the fonts and devices.
    m_streams.Drain();
    bool wasInitialized;
    {
        // Waits for a stream being made; none is begun after this.
        ExclusiveGuard creation(m_streamCreation);
        wasInitialized = m_initialized.exchange(false, std::memory_order_acq_rel);
    }
    if (wasInitialized) {
        const DWORD count = PortCount();
        for (DWORD p = 0; p < count; ++p) m_ports[p]->Close(false);
        if (const PortsClosedHook hook = g_portsClosedHook.load(std::memory_order_relaxed)) hook();
        FreeSoundFonts();
    }
    // Also after a failed Initialize, whatever devices it did open.
    for (const int device : m_devices) {
        BASS_SetDevice(static_cast<DWORD>(device));
        BASS_Free();
    }
    m_devices.clear();
    return true;
}

void SynthEngine::Reload() {
    // Clients that just opened get their streams (and what they sent) first,
    // so their state is saved with everyone else's.
    m_streams.Drain();
    const DWORD count = PortCount();
    for (DWORD p = 0; p < count; ++p) m_ports[p]->Close(true);
    Shutdown();
    Initialize();
    for (DWORD p = 0; p < PortCount(); ++p) m_ports[p]->Open(true);
}

void SynthEngine::MidiPanic() {
    const DWORD count = PortCount();
    for (DWORD p = 0; p < count; ++p) {
        CMidiDevice& port = *m_ports[p];
        port.ForEachClient([](ClientStream& client) {
            if (const HSTREAM stream = client.Stream.load()) {
                for (DWORD c = 0; c < kMidiChannels; ++c) SendMidiEvent(stream, c, MIDI_EVENT_NOTESOFF, 0);
            }
        });
        port.ClearChannelActivity();
    }
}

void SynthEngine::DestroyPorts() {
    // A job's record points at its port.
    m_streams.Drain();
    const DWORD count = PortCount();
    m_portCount.store(0, std::memory_order_release);
    for (DWORD p = 0; p < count; ++p) m_ports[p].reset();
}

void SynthEngine::LoadSoundFonts() {
    if (!g_Settings) return;
    m_fonts.Load(g_Settings->SoundFonts, [] { g_Settings->SaveSoundFontList(); });
}

void SynthEngine::FreeSoundFonts() {
    const DWORD count = PortCount();
    for (DWORD p = 0; p < count; ++p) {
        m_ports[p]->ForEachClient([](ClientStream& client) {
            if (const HSTREAM stream = client.Stream.load()) BASS_MIDI_StreamSetFonts(stream, nullptr, 0);
        });
    }
    if (g_Settings) m_fonts.Free(g_Settings->SoundFonts);
}

DWORD SynthEngine::AttachFonts(HSTREAM stream, DWORD port) { return m_fonts.Attach(stream, port); }

bool SynthEngine::AllPortsHaveSoundFonts() const {
    return g_Settings && ::AllPortsHaveSoundFonts(g_Settings->SoundFonts, g_Settings->DevicesCount.Get());
}

bool SynthEngine::ApplySoundFontList(const SoundFontList& list, HWND owner, size_t* duplicate) {
    if (!g_Settings) return false;
    if (const auto later = FindDuplicateSoundFont(list)) {
        if (duplicate) *duplicate = *later;
        ShowMessage(GetText(L"cfg.sf.fontExists", list[*later].FileName), MB_OK | MB_ICONWARNING | MB_TOPMOST, owner);
        return false;
    }
    // No stream is made (and handed the fonts) while they are replaced.
    ExclusiveGuard creation(m_streamCreation);
    FreeSoundFonts();
    g_Settings->SoundFonts = list;
    g_Settings->SaveSoundFontList();
    LoadSoundFonts();
    const DWORD count = PortCount();
    for (DWORD p = 0; p < count; ++p) {
        m_ports[p]->ForEachClient([](ClientStream& client) { client.AttachFonts(); });
    }
    return true;
}
