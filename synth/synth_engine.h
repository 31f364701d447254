// The synthesis engine: the BASS output devices the ports need, the loaded
// soundfonts, and the ports (at most kMaxPorts, never removed while running).
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <vector>

#include "synth/midi_device.h"

class CMixerDialog;

class SynthEngine {
public:
    static constexpr DWORD kMaxPorts = 4;

    SynthEngine();
    ~SynthEngine();
    SynthEngine(const SynthEngine&) = delete;
    SynthEngine& operator=(const SynthEngine&) = delete;

    // Devices, voice limit, soundfonts, then the missing ports. Already
    // initialised: true at once. false: start-up cannot go on.
    bool Initialize();
    // Frees every stream (records stay), the soundfonts and the devices.
    bool Shutdown();
    // Shutdown and Initialize again, every client keeping its MIDI state.
    void Reload();
    // All notes off on every channel of every client of every port.
    void MidiPanic();
    // Creates the ports up to DevicesCount (after the count was raised).
    bool CreatePorts();

    bool IsInitialized() const { return m_initialized.load(std::memory_order_acquire); }
    // Null at and past PortCount(); safe from any thread.
    CMidiDevice* Port(DWORD index) const;
    DWORD PortCount() const { return m_portCount.load(std::memory_order_acquire); }
    // The BASS device numbers initialised, ascending (fallbacks applied).
    const std::vector<int>& Devices() const { return m_devices; }

    // f(CMixerDialog*) for the open mixer window of every port that has one.
    template <class F>
    void ForEachMixer(F&& f) {
        const DWORD count = PortCount();
        for (DWORD i = 0; i < count; ++i) {
            if (CMixerDialog* window = m_ports[i]->MixerWindow) f(window);
        }
    }

    // Destroys every port (process shutdown, after Shutdown).
    void DestroyPorts();

private:
    std::atomic<bool> m_initialized{false};
    std::unique_ptr<CMidiDevice> m_ports[kMaxPorts];
    std::atomic<DWORD> m_portCount{0};
    std::vector<int> m_devices;
};

extern SynthEngine* g_Engine;
