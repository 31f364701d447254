// The synthesis engine: the BASS output devices the ports need, the loaded
// soundfonts, and the ports (at most kMaxPorts, never removed while running).
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <vector>

#include "core/settings_output.h"
#include "core/settings_soundfont.h"
#include "synth/midi_device.h"
#include "synth/output_devices.h"
#include "synth/soundfont_set.h"
#include "synth/srw_lock.h"
#include "synth/stream_worker.h"

class CMixerDialog;

class SynthEngine {
public:
    SynthEngine();
    ~SynthEngine();
    SynthEngine(const SynthEngine&) = delete;
    SynthEngine& operator=(const SynthEngine&) = delete;

    // Devices, voice limit, soundfonts, then the missing ports. Already
    // initialised: true at once. false: start-up cannot go on.
    bool Initialize();
    // Frees every stream (records stay), the soundfonts and the devices.
    bool Shutdown();
    // Run by Shutdown once every port is closed: lets a test ask for a stream
    // at the moment a late one would outlive the shutdown.
    using PortsClosedHook = void (*)();
    static void SetPortsClosedHookForTests(PortsClosedHook hook);
    // Shutdown and Initialize again, every client keeping its MIDI state.
    // Streams are freed and made again one client at a time: the listen
    // thread keeps delivering, and its opens and closes wait for no stream
    // (the stream worker does that waiting).
    void Reload();
    // All notes off on every channel of every client of every port.
    void MidiPanic();
    // Creates the ports up to DevicesCount (after the count was raised).
    bool CreatePorts();

    bool IsInitialized() const { return m_initialized.load(std::memory_order_acquire); }
    // Held shared while a client stream is made; Shutdown takes it exclusively
    // to lower the initialised flag, so it waits for a stream being made and
    // no stream is begun after it.
    SrwLock& StreamCreationLock() { return m_streamCreation; }
    // Makes and frees the streams of clients that open and close.
    CStreamWorker& Streams() { return m_streams; }
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

    // --- Output devices ---
    // The BASS device a port's streams play on (its configured device, or the
    // one initialised in place of a vanished one).
    int PortDevice(DWORD port) const;

    // --- Soundfonts (the list in g_Settings->SoundFonts) ---
    // Loads every enabled entry; failures are reported, the entry disabled or
    // its preload switched off, and the list saved.
    void LoadSoundFonts();
    // Detaches the fonts from every stream of every port, then frees them.
    void FreeSoundFonts();
    // Hands `stream` the fonts enabled for `port`; their number.
    DWORD AttachFonts(HSTREAM stream, DWORD port);
    bool AllPortsHaveSoundFonts() const;
    // The soundfont tab's save. Refused (false, after "cfg.sf.fontExists")
    // when two enabled entries are the same file with the same bank and
    // preset; `duplicate` then receives the later one's index. Otherwise the
    // list replaces the settings' list, is saved, loaded and attached to every
    // stream of every port.
    bool ApplySoundFontList(const SoundFontList& list, HWND owner = nullptr, size_t* duplicate = nullptr);
    static bool DetectXgDrums(const std::wstring& path) { return ::DetectXgDrums(path); }

private:
    std::atomic<bool> m_initialized{false};
    SrwLock m_streamCreation;
    std::unique_ptr<CMidiDevice> m_ports[kMaxPorts];
    std::atomic<DWORD> m_portCount{0};
    std::vector<int> m_devices;
    std::atomic<int> m_portDevice[kMaxPorts] = {1, 1, 1, 1};
    SoundFontSet m_fonts;
    // Last: its thread is joined before anything a job reaches goes.
    CStreamWorker m_streams;
};

extern SynthEngine* g_Engine;
