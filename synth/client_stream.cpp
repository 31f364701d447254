// ClientStream: the record of one client program, its stream and the thread
// that renders it.
#include "synth/client_stream.h"

#include <psapi.h>

#include <new>

#include "core/bass_error.h"
#include "core/language.h"
#include "core/message_box.h"
#include "core/settings.h"
#include "synth/midi_device.h"
#include "synth/midi_out.h"
#include "synth/stream_flags.h"
#include "synth/synth_engine.h"

namespace {

std::wstring ExecutablePathOf(DWORD processId) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!process) return {};
    wchar_t path[MAX_PATH] = {};
    const DWORD chars = ::GetModuleFileNameExW(process, nullptr, path, MAX_PATH);
    ::CloseHandle(process);
    return std::wstring(path, chars < MAX_PATH ? chars : 0);
}

// What an update thread owns: its stop flag and a share of the counters.
template <class Shared>
struct UpdateThreadArg {
    std::shared_ptr<Shared> shared;
    std::shared_ptr<std::atomic<bool>> stop;
    HSTREAM stream;
    DWORD lengthMs;
    ClientStream::UpdateCycleHook cycleHook;
};

std::atomic<ClientStream::UpdateCycleHook> g_updateCycleHook{nullptr};

template <class Shared>
DWORD WINAPI UpdateThreadProc(void* param) {
    std::unique_ptr<UpdateThreadArg<Shared>> arg(static_cast<UpdateThreadArg<Shared>*>(param));
    Shared& s = *arg->shared;
    UpdatePacer pacer(::GetTickCount64());
    s.period.store(pacer.Period(), std::memory_order_relaxed);
    while (!arg->stop->load(std::memory_order_acquire)) {
        BASS_ChannelUpdate(arg->stream, arg->lengthMs);
        if (arg->cycleHook) arg->cycleHook();
        s.events.store(0, std::memory_order_relaxed);
        ::Sleep(pacer.Period());
        const bool idle = s.events.load(std::memory_order_relaxed) == 0;
        s.period.store(pacer.OnCycle(idle, ::GetTickCount64()), std::memory_order_relaxed);
    }
    s.period.store(UpdatePacer::kFastPeriodMs, std::memory_order_relaxed);
    return 0;
}

}  // namespace

ClientStream::ClientStream(CMidiDevice* port, DWORD processId)
    : ProcessId(processId), m_port(port),
      m_update(std::make_shared<UpdateShared>()) {
    if (g_Settings) {
        SetMessageOptions(MessageOptions{g_Settings->ReverbLevel.Get(), g_Settings->ChorusLevel.Get(),
                                         g_Settings->ReverbChorusOverride.Get() != 0});
    }
}

ClientStream::~ClientStream() {
    FreeStream(false);
    m_sysex.Release();
}

void ClientStream::SetMessageOptions(const MessageOptions& options) {
    m_reverbLevel.store(options.reverbLevel > 127 ? 127 : options.reverbLevel, std::memory_order_relaxed);
    m_chorusLevel.store(options.chorusLevel > 127 ? 127 : options.chorusLevel, std::memory_order_relaxed);
    m_override.store(options.reverbChorusOverride, std::memory_order_relaxed);
}

MessageOptions ClientStream::GetMessageOptions() const {
    return MessageOptions{m_reverbLevel.load(std::memory_order_relaxed), m_chorusLevel.load(std::memory_order_relaxed),
                          m_override.load(std::memory_order_relaxed)};
}

std::wstring ClientStream::ExecutablePath() const {
    {
        SharedGuard guard(m_pathLock);
        if (m_pathRead) return m_executablePath;
    }
    // Asked for (by the exit question, say) before the stream worker got to
    // this client: read here, on the asking thread, which is never the
    // listen thread.
    std::wstring path = ExecutablePathOf(ProcessId);
    ExclusiveGuard guard(m_pathLock);
    if (!m_pathRead) {
        m_executablePath = std::move(path);
        m_pathRead = true;
    }
    return m_executablePath;
}

void ClientStream::MakeStream() {
    if (m_leaving.load(std::memory_order_relaxed)) {
        CatchUp();
        return;
    }
    // Reading another process's memory is slow under load: done here, not
    // by the listen thread.
    ExecutablePath();
    CreateStream(false);
    CatchUp();
}

void ClientStream::Take(const ClientCall& call) {
    if (m_holding.load(std::memory_order_acquire)) {
        ExclusiveGuard guard(m_backlogLock);
        if (m_holding.load(std::memory_order_relaxed)) {
            m_backlog.Add(call);
            return;
        }
    }
    Play(call);
}

void ClientStream::CatchUp() noexcept {
    CallBacklog batch;
    for (;;) {
        {
            ExclusiveGuard guard(m_backlogLock);
            if (m_backlog.Empty()) {
                // Released under the lock: a Take that finds the flag down
                // sees everything the batches before did to the channel books.
                m_holding.store(false, std::memory_order_release);
                return;
            }
            batch.Swap(m_backlog);
        }
        // Played outside the lock, so the listen thread can go on adding.
        batch.ForEach([this](const ClientCall& call) {
            try {
                Play(call);
            } catch (...) {
                // A SysEx buffer that could not grow: that message is lost.
            }
        });
        batch.Clear();
    }
}

void ClientStream::Play(const ClientCall& call) {
    switch (call.action) {
    case ClientAction::SignOfLife:
        break;
    case ClientAction::Reset:
        Reset();
        break;
    case ClientAction::AllNotesOff:
        AllNotesOff();
        break;
    case ClientAction::ShortMessage:
        ProcessShortMessage(call.param1, call.param2);
        break;
    case ClientAction::LongMessage:
        ProcessLongMessage(call.param1, call.param2, call.data, call.length);
        break;
    }
}

bool ClientStream::CreateStream(bool restore) {
    if (!g_Engine || !g_Settings) return false;
    ExclusiveGuard lifecycle(m_lifecycle);
    // The engine's shutdown waits for a stream being made here, and none is
    // begun once it started: no stream ever meets freed fonts or devices.
    SharedGuard creation(g_Engine->StreamCreationLock());
    if (m_retired || !g_Engine->IsInitialized()) return false;
    if (Stream.load() != 0) return true;

    // The levels to apply and the override come from the settings of this
    // moment; a change of them reloads the engine, which re-creates the stream.
    SetMessageOptions(MessageOptions{g_Settings->ReverbLevel.Get(), g_Settings->ChorusLevel.Get(),
                                     g_Settings->ReverbChorusOverride.Get() != 0});
    const DWORD flags = StreamFlagsFromSettings();
    const DWORD portIndex = m_port ? m_port->PortIndex() : 0;
    // A device that could not be initialised fails here; the stream is created
    // on the current device all the same.
    BASS_SetDevice(static_cast<DWORD>(g_Engine->PortDevice(portIndex)));

    const HSTREAM stream = BASS_MIDI_StreamCreate(kMidiChannels, flags, g_Settings->OutputSampleRate.Get());
    if (!stream) {
        const int code = BASS_ErrorGetCode();
        // Usually the listen thread is here (a client's first open): the box
        // must not hold up the other clients' messages while it waits.
        ShowMessageLater(GetText(L"err.midiStream", std::to_wstring(code), BassErrorText(code, BassOpStreamCreate)),
                         MB_OK | MB_ICONERROR | MB_TOPMOST);
        return false;
    }
    // A dense client spreads its voices over the processors; a light one
    // stays on its update thread.
    BASS_ChannelSetAttribute(stream, BASS_ATTRIB_MIDI_THREADS, 0.0f);
    if (const DWORD cpu = g_Settings->CpuLimit.Get()) {
        BASS_ChannelSetAttribute(stream, BASS_ATTRIB_MIDI_CPU, static_cast<float>(cpu));
    }
    g_Engine->AttachFonts(stream, portIndex);
    Stream.store(stream, std::memory_order_release);

    // A restore without a saved state (a client that opened while the engine
    // was down) gets what any new stream gets.
    if (restore && m_savedState) {
        BASS_ChannelSetAttributeEx(stream, BASS_ATTRIB_MIDI_STATE, m_savedState.get(), m_savedStateSize);
        m_savedState.reset();
        m_savedStateSize = 0;
        ApplyReverbChorus();
    } else {
        ResetDrums();
        ResetPrograms();
        ApplyReverbChorus();
        ApplyMixLevel(kMidiChannels);
    }
    // Whole hundreds only: 150 % is 1.0.
    BASS_ChannelSetAttribute(stream, BASS_ATTRIB_MIDI_REVERB, static_cast<float>(g_Settings->MasterReverb.Get() / 100));
    if (!BASS_ChannelPlay(stream, FALSE)) BASS_ErrorGetCode();

    StartUpdateThread(stream, UpdateLengthMs(g_Settings->AdditionalBuffer.Get()));
    return true;
}

void ClientStream::StartUpdateThread(HSTREAM stream, DWORD lengthMs) {
    auto stop = std::make_shared<std::atomic<bool>>(false);
    auto* arg = new (std::nothrow) UpdateThreadArg<UpdateShared>{m_update, stop, stream, lengthMs,
                                                               g_updateCycleHook.load(std::memory_order_relaxed)};
    if (!arg) return;
    m_thread = ::CreateThread(nullptr, 0, &UpdateThreadProc<UpdateShared>, arg, CREATE_SUSPENDED, nullptr);
    if (!m_thread) {
        delete arg;
        return;
    }
    m_threadStop = std::move(stop);
    // The listen thread owns the first processor; rendering goes to the second
    // (on a one-processor machine the call fails and the thread runs anywhere).
    ::SetThreadAffinityMask(m_thread, 2);
    ::ResumeThread(m_thread);
}

void ClientStream::SetUpdateCycleHookForTests(UpdateCycleHook hook) {
    g_updateCycleHook.store(hook, std::memory_order_relaxed);
}

void ClientStream::StopUpdateThread() {
    if (!m_thread) return;
    m_threadStop->store(true, std::memory_order_release);
    // Joined: the stream it renders is freed next, and the engine may free
    // the device right after. A cycle lasts at most one render and 10 ms.
    ::WaitForSingleObject(m_thread, INFINITE);
    ::CloseHandle(m_thread);
    m_thread = nullptr;
    m_threadStop.reset();
}

void ClientStream::FreeStream(bool saveState) {
    ExclusiveGuard lifecycle(m_lifecycle);
    FreeStreamLocked(saveState);
}

void ClientStream::Retire() {
    ExclusiveGuard lifecycle(m_lifecycle);
    m_retired = true;
    FreeStreamLocked(false);
}

void ClientStream::FreeStreamLocked(bool saveState) {
    StopUpdateThread();
    const HSTREAM stream = Stream.exchange(0, std::memory_order_acq_rel);
    if (!stream) return;
    if (saveState) {
        const DWORD size = BASS_ChannelGetAttributeEx(stream, BASS_ATTRIB_MIDI_STATE, nullptr, 0);
        if (size != 0 && size != static_cast<DWORD>(-1)) {
            std::unique_ptr<BYTE[]> blob(new (std::nothrow) BYTE[size]);
            if (blob && BASS_ChannelGetAttributeEx(stream, BASS_ATTRIB_MIDI_STATE, blob.get(), size) == size) {
                m_savedState = std::move(blob);
                m_savedStateSize = size;
            }
        }
    }
    BASS_ChannelStop(stream);
    BASS_MIDI_StreamSetFonts(stream, nullptr, 0);
    BASS_StreamFree(stream);
}

void ClientStream::ApplyMixLevel(DWORD channel) {
    const HSTREAM stream = Stream.load(std::memory_order_acquire);
    if (!stream || !m_port) return;
    if (channel >= kMidiChannels) {
        for (DWORD c = 0; c < kMidiChannels; ++c) SendMidiEvent(stream, c, MIDI_EVENT_MIXLEVEL, m_port->GetEffectiveVolume(c));
    } else {
        SendMidiEvent(stream, channel, MIDI_EVENT_MIXLEVEL, m_port->GetEffectiveVolume(channel));
    }
}

void ClientStream::AttachFonts() {
    const HSTREAM stream = Stream.load(std::memory_order_acquire);
    if (stream && g_Engine) g_Engine->AttachFonts(stream, m_port ? m_port->PortIndex() : 0);
}

DWORD ClientStream::UpdatePeriodMs() const { return m_update->period.load(std::memory_order_relaxed); }

namespace {
DWORD AttributeAsInteger(HSTREAM stream, DWORD attribute) {
    float value = 0;
    if (!stream || !BASS_ChannelGetAttribute(stream, attribute, &value) || !(value > 0)) return 0;
    return static_cast<DWORD>(value);
}
}  // namespace

DWORD ClientStream::ActiveVoices() const { return AttributeAsInteger(Stream.load(), BASS_ATTRIB_MIDI_VOICES_ACTIVE); }
DWORD ClientStream::RenderingTime() const { return AttributeAsInteger(Stream.load(), BASS_ATTRIB_CPU); }

DWORD ClientStream::GetLevel() const {
    const HSTREAM stream = Stream.load(std::memory_order_acquire);
    if (!stream) return 0;
    const DWORD level = BASS_ChannelGetLevel(stream);
    return level == static_cast<DWORD>(-1) ? 0 : level;
}

const wchar_t* ClientStream::InstrumentName(DWORD channel) const {
    return channel < kMidiChannels ? m_name[channel].load(std::memory_order_acquire) : nullptr;
}
bool ClientStream::IsDrumChannel(DWORD channel) const { return channel < kMidiChannels && m_drum[channel] != 0; }
BYTE ClientStream::Program(DWORD channel) const { return channel < kMidiChannels ? m_program[channel] : 0; }
int ClientStream::BankKey(DWORD channel) const { return channel < kMidiChannels ? m_bankKey[channel] : 0; }
BYTE ClientStream::GsPartChannel(DWORD block) const { return block < kMidiChannels ? m_gsPart[block] : 0; }
