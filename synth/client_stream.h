// One client program on one port: its BASSMIDI stream, the thread that renders
// it, and the per-channel bookkeeping the mixer shows (program, bank key,
// instrument name, drum flag).
//
// Threads: the listen thread hands every call to Take (under the port's
// lock, see CMidiDevice). Until the stream worker has made the stream of a
// new record, Take keeps the calls in a backlog; the worker then plays them
// in order (CatchUp) and from then on Take plays each call at once. Either
// way one thread at a time runs the message handling below, and the backlog
// lock orders the hand-over. The main thread re-creates the stream on a
// reload and reads names and figures; the update thread touches only the
// stop flag, the event counter and the pacer.
//
// Bank key (what the instrument-name tables are searched with): the channel
// keeps its last controller 0 (bank select MSB) and controller 32 (LSB), both 0
// after every reset of programs, and either of them recomputes the key as
// MakeBankKey(mode, MSB, LSB), so a client may send them in any order:
//   GM, GM2 (modes 0, 1): the LSB (the GM2 variation, keys 0-9) while the MSB
//       is 0 or 121 (GM2 melodic); any other MSB names no row ("<--->");
//   GS (mode 2): the MSB, the variation number (keys 0-48); the LSB picks a
//       tone map and does not change the name;
//   XG (mode 3): MSB x 128 + LSB (normal voices MSB 0, SFX voices MSB 64).
// The key of the mode in force when the controller arrived is kept; a system-on
// message resets it with the programs.
#pragma once

#include <windows.h>

#include <bass.h>
#include <bassmidi.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "ipc/client_call.h"
#include "synth/call_backlog.h"
#include "synth/instrument_names.h"
#include "synth/srw_lock.h"
#include "synth/sysex_assembler.h"
#include "synth/update_pacer.h"

class CMidiDevice;

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
    std::atomic<HSTREAM> Stream{0};

    // Empty when it cannot be read. Never called by the listen thread: the
    // first call reads it from the process.
    std::wstring ExecutablePath() const;

    // --- Called by the channel server (listen thread) ---
    // Plays the call, or keeps it while the stream is still being made.
    void Take(const ClientCall& call);
    // From now until CatchUp, calls wait in the backlog. Set by the port
    // before the record is published.
    void HoldCalls() { m_holding.store(true, std::memory_order_relaxed); }

    // The record left its port (CloseClient): a stream not made yet is not
    // made at all, so a program that comes and goes costs the worker nothing.
    void Leave() { m_leaving.store(true, std::memory_order_relaxed); }

    // --- Stream worker ---
    // Reads the program's path, makes the stream and plays the backlog.
    void MakeStream();
    // Plays the backlog in order, then lets Take play at once again. A call
    // that fails (out of memory) is dropped, never the rest.
    void CatchUp() noexcept;

    // The message handling itself (tests call it directly).
    void ProcessShortMessage(DWORD message, DWORD second);
    void ProcessLongMessage(DWORD chunkIndex, DWORD chunkCount, const BYTE* data, DWORD length);
    void Reset();
    void AllNotesOff();

    // --- Stream lifecycle (port and engine) ---
    // Creating and freeing the stream are serialised per client, so a reload
    // re-creating this client's stream holds up only this client.
    bool CreateStream(bool restore);
    void FreeStream(bool saveState);
    // The record leaves its port: frees the stream, and no stream is made for
    // it afterwards (a reload that still holds the record skips it).
    void Retire();
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
    int BankKey(DWORD channel) const;  // kNoBankKey when no table row can match
    BYTE GsPartChannel(DWORD block) const;
    bool HasSavedState() const { return m_savedState != nullptr; }
    const SysExAssembler& Assembler() const { return m_sysex; }
    SrwLock& LifecycleLockForTests() { return m_lifecycle; }
    // Run by update threads after each render; taken when a thread starts,
    // so a test can make the cycles of the streams it makes last long.
    using UpdateCycleHook = void (*)();
    static void SetUpdateCycleHookForTests(UpdateCycleHook hook);

    // Channel resets and the configured effect levels (also on system-on messages).
    void ResetDrums();
    void ResetPrograms();
    void ApplyReverbChorus();

    void SetMessageOptions(const MessageOptions& options);
    MessageOptions GetMessageOptions() const;

private:
    void Play(const ClientCall& call);
    void HandleLongMessage(const BYTE* bytes, DWORD length);
    void UpdateBankKey(DWORD channel);
    void ProgramChange(DWORD channel, BYTE program);
    void SetChannelActive(DWORD channel, bool active);
    void RefreshStrip(DWORD channel);
    void FreeStreamLocked(bool saveState);
    void StartUpdateThread(HSTREAM stream, DWORD lengthMs);
    void StopUpdateThread();
    void CountEvent() { m_update->events.fetch_add(1, std::memory_order_relaxed); }

    CMidiDevice* m_port;

    // Channel bookkeeping (listen thread; names also read by the main thread).
    int m_bankKey[kMidiChannels] = {};
    BYTE m_bankMsb[kMidiChannels] = {};
    BYTE m_bankLsb[kMidiChannels] = {};
    BYTE m_program[kMidiChannels] = {};
    std::atomic<const wchar_t*> m_name[kMidiChannels] = {};
    BYTE m_drum[kMidiChannels] = {};
    BYTE m_gsPart[kMidiChannels] = {};
    std::atomic<uint32_t> m_mode{ModeGM};
    BYTE m_runningStatus = 0;

    SysExAssembler m_sysex;

    std::atomic<DWORD> m_reverbLevel{64};
    std::atomic<DWORD> m_chorusLevel{64};
    std::atomic<bool> m_override{true};

    // Update thread. The counters it touches live in a block it co-owns, and
    // each thread has its own stop flag, so a thread that missed its stop
    // deadline never reaches into a destroyed record nor a later stream.
    struct UpdateShared {
        std::atomic<uint32_t> events{0};
        std::atomic<DWORD> period{UpdatePacer::kFastPeriodMs};
    };
    const std::shared_ptr<UpdateShared> m_update;
    std::shared_ptr<std::atomic<bool>> m_threadStop;
    HANDLE m_thread = nullptr;

    // Calls that came before the stream (see Take).
    std::atomic<bool> m_holding{false};
    std::atomic<bool> m_leaving{false};
    SrwLock m_backlogLock;
    CallBacklog m_backlog;  // under m_backlogLock

    // Under m_pathLock.
    mutable SrwLock m_pathLock;
    mutable std::wstring m_executablePath;
    mutable bool m_pathRead = false;

    SrwLock m_lifecycle;  // stream creation and release
    bool m_retired = false;  // under m_lifecycle

    // MIDI state kept between a reload's close and re-open.
    std::unique_ptr<BYTE[]> m_savedState;
    DWORD m_savedStateSize = 0;
};
