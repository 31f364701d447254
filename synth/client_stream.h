// One client program on one port: its BASSMIDI stream, the thread that renders
// it, and the per-channel bookkeeping the mixer shows (program, bank key,
// instrument name, drum flag).
//
// Threads: the listen thread calls Process*Message, Reset and AllNotesOff
// (under the port's lock, see CMidiDevice); the main thread re-creates the
// stream on a reload and reads names and figures; the update thread touches
// only the stop flag, the event counter and the pacer.
//
// Bank key (what the instrument-name tables are searched with) is
// MakeBankKey(mode, MSB, LSB) of the channel's last controller 0 (MSB) and
// controller 32 (LSB), both 0 after every reset of programs:
//   GM  (mode 0): LSB, the GM2 variation number (the GM table's keys 0-9);
//   GM2 (mode 1): LSB, as GM (MSB 121 is the melodic bank, 120 drums);
//   GS  (mode 2): MSB, the variation number (keys 0-48); LSB is the GS
//                 "map" selector and does not change the name;
//   XG  (mode 3): MSB x 128 + LSB (normal voices MSB 0, SFX voices MSB 64).
// Either controller recomputes the key, so a client may send them in any order.
#pragma once

#include <windows.h>

#include <bass.h>
#include <bassmidi.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "synth/sysex_assembler.h"
#include "synth/update_pacer.h"

class CMidiDevice;

enum SystemMode : uint32_t {
    SystemModeGM = 0,
    SystemModeGM2 = 1,
    SystemModeGS = 2,
    SystemModeXG = 3,
};

constexpr DWORD kMidiChannels = 16;
// Second value of a short message that asks for the channel's drum flag to be re-sent.
constexpr DWORD kDrumResendMarker = 0xC0;

// The settings a stream's message handling reads, taken when its stream is
// created (they only change through a reload, which re-creates every stream).
struct MessageOptions {
    DWORD reverbLevel = 64;    // 0-127
    DWORD chorusLevel = 64;    // 0-127
    bool reverbChorusOverride = true;
};

class ClientStream {
public:
    // port may be null (tests): bookkeeping then skips the port's lights and mixer.
    ClientStream(CMidiDevice* port, DWORD processId);
    ~ClientStream();
    ClientStream(const ClientStream&) = delete;
    ClientStream& operator=(const ClientStream&) = delete;

    // Raised for every channel entry addressed to this client; cleared by the watchdog.
    std::atomic<uint32_t> MessageCounter{0};
    DWORD ProcessId;
    std::wstring ExecutablePath;  // empty when it cannot be read
    std::atomic<HSTREAM> Stream{0};

    // --- Called by the channel server (listen thread) ---
    void ProcessShortMessage(DWORD message, DWORD second);
    void ProcessLongMessage(DWORD chunkIndex, DWORD chunkCount, const BYTE* data, DWORD length);
    void Reset();
    void AllNotesOff();

    // --- Stream lifecycle (port and engine) ---
    bool CreateStream(bool restore);
    void FreeStream(bool saveState);
    void ApplyMixLevel(DWORD channel);
    // Hands the stream its port's soundfonts again (after the list changed).
    void AttachFonts();

    // --- Status figures (0 without a stream) ---
    DWORD UpdatePeriodMs() const;
    DWORD ActiveVoices() const;
    DWORD RenderingTime() const;
    DWORD GetLevel() const;

    // --- Bookkeeping, for the mixer and tests ---
    const wchar_t* InstrumentName(DWORD channel) const;  // null: none
    uint32_t GetSystemMode() const { return m_mode.load(std::memory_order_relaxed); }
    bool IsDrumChannel(DWORD channel) const;
    BYTE Program(DWORD channel) const;
    DWORD BankKey(DWORD channel) const;
    BYTE GsPartChannel(DWORD block) const;
    bool HasSavedState() const { return m_savedState != nullptr; }
    const SysExAssembler& Assembler() const { return m_sysex; }

    // Channel resets and the configured effect levels (also on system-on messages).
    void ResetDrums();
    void ResetPrograms();
    void ApplyReverbChorus();

    void SetMessageOptions(const MessageOptions& options);
    MessageOptions GetMessageOptions() const;

private:
    void HandleLongMessage(const BYTE* bytes, DWORD length);
    void UpdateBankKey(DWORD channel);
    void ProgramChange(DWORD channel, BYTE program);
    void SetChannelActive(DWORD channel, bool active);
    void RefreshStrip(DWORD channel);
    void StartUpdateThread(HSTREAM stream);
    void StopUpdateThread();
    static DWORD WINAPI UpdateThreadProc(void* param);
    void UpdateLoop();

    CMidiDevice* m_port;

    // Channel bookkeeping (listen thread; names also read by the main thread).
    DWORD m_bankKey[kMidiChannels] = {};
    BYTE m_bankMsb[kMidiChannels] = {};
    BYTE m_bankLsb[kMidiChannels] = {};
    BYTE m_program[kMidiChannels] = {};
    std::atomic<const wchar_t*> m_name[kMidiChannels] = {};
    BYTE m_drum[kMidiChannels] = {};
    BYTE m_gsPart[kMidiChannels] = {};
    std::atomic<uint32_t> m_mode{SystemModeGM};
    BYTE m_runningStatus = 0;

    SysExAssembler m_sysex;

    std::atomic<DWORD> m_reverbLevel{64};
    std::atomic<DWORD> m_chorusLevel{64};
    std::atomic<bool> m_override{true};

    // Update thread.
    HANDLE m_thread = nullptr;
    std::atomic<bool> m_stop{false};
    std::atomic<uint32_t> m_eventCounter{0};
    std::atomic<DWORD> m_period{UpdatePacer::kFastPeriodMs};
    DWORD m_updateLength = 250;

    // MIDI state kept between a reload's close and re-open.
    std::unique_ptr<BYTE[]> m_savedState;
    DWORD m_savedStateSize = 0;
};
