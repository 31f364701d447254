// ClientStream: how the client's MIDI messages become stream input, and the
// per-channel bookkeeping kept on the way. Runs on the listen thread (on the
// stream worker for what came before the stream, see Take): nothing here
// allocates, except the SysEx buffer growing at the first chunk of a message
// larger than any before it.
#include "synth/client_stream.h"

#include "synth/instrument_names.h"
#include "synth/midi_device.h"
#include "synth/midi_out.h"
#include "synth/sysex_rules.h"

namespace {

constexpr const wchar_t* kDrumsName = L"Drums";
constexpr const wchar_t* kNoInstrumentName = L"<--->";

constexpr BYTE kControllerBankMsb = 0;
constexpr BYTE kControllerBankLsb = 32;
constexpr BYTE kControllerAllSoundOff = 120;
constexpr BYTE kControllerAllNotesOff = 123;

// Bytes a message of this status occupies (0: nothing to send).
DWORD MessageLength(BYTE status) {
    switch (status & 0xF0) {
    case 0x80:
    case 0x90:
    case 0xA0:
    case 0xB0:
    case 0xE0:
        return 3;
    case 0xC0:
    case 0xD0:
        return 2;
    default:
        break;
    }
    switch (status) {
    case 0xF0: return 0;
    case 0xF1:
    case 0xF3: return 2;
    case 0xF2: return 3;
    default: return status >= 0xF4 ? 1 : 0;
    }
}

}  // namespace

void ClientStream::ProcessShortMessage(DWORD message, DWORD second) {
    BYTE status = static_cast<BYTE>(message & 0xFF);
    if (status < 0x80) {
        // A data byte: the message continues the last channel status.
        if (m_runningStatus == 0) return;
        status = m_runningStatus;
        message = (message << 8) | status;
    } else if (status >= 0xF0 && status <= 0xF7) {
        m_runningStatus = 0;
    } else if (status < 0xF0) {
        m_runningStatus = status;
    }
    // 0xF8-0xFF (real time) leave the running status alone.

    const DWORD channel = status & 0x0F;
    const BYTE data1 = static_cast<BYTE>((message >> 8) & 0xFF);
    const BYTE data2 = static_cast<BYTE>((message >> 16) & 0xFF);
    const BYTE kind = status & 0xF0;

    switch (kind) {
    case 0x80:
        SetChannelActive(channel, false);
        break;
    case 0x90:
        SetChannelActive(channel, data2 != 0);
        break;
    case 0xB0:
        if (data1 == kControllerBankMsb || data1 == kControllerBankLsb) {
            (data1 == kControllerBankMsb ? m_bankMsb : m_bankLsb)[channel] = data2 & 0x7F;
            UpdateBankKey(channel);
            RefreshStrip(channel);
        } else if (data1 == kControllerAllSoundOff || data1 == kControllerAllNotesOff) {
            SetChannelActive(channel, false);
        }
        break;
    case 0xC0:
        ProgramChange(channel, data1);
        break;
    default:
        break;
    }

    const DWORD length = MessageLength(status);
    const HSTREAM stream = Stream.load(std::memory_order_acquire);
    if (length != 0) {
        const BYTE bytes[3] = {status, data1, data2};
        SendMidiBytes(stream, bytes, length);
    }

    if (kind == 0xB0 && data1 == kControllerBankMsb) {
        const uint32_t mode = GetSystemMode();
        if (mode == ModeXG) {
            m_drum[channel] = data2 == 127;
        } else if (mode == ModeGM2) {
            if (data2 == 120) m_drum[channel] = 1;
            else if (data2 == 121) m_drum[channel] = 0;
        }
    } else if (second == kDrumResendMarker) {
        SendMidiEvent(stream, channel, MIDI_EVENT_DRUMS, m_drum[channel]);
    }
    CountEvent();
}

void ClientStream::ProcessLongMessage(DWORD chunkIndex, DWORD chunkCount, const BYTE* data, DWORD length) {
    if (data == nullptr || chunkIndex >= chunkCount) return;
    if (length > SysExAssembler::kChunkBytes) length = SysExAssembler::kChunkBytes;
    if (chunkCount == 1) {
        HandleLongMessage(data, length);
        return;
    }
    if (m_sysex.Add(chunkIndex, chunkCount, data, length) == SysExAssembler::Result::Complete) {
        HandleLongMessage(m_sysex.Data(), m_sysex.Length());
    }
}

void ClientStream::HandleLongMessage(const BYTE* bytes, DWORD length) {
    if (length == 0) return;
    if (m_override.load(std::memory_order_relaxed) && IsClientEffectLevelMessage(bytes, length)) {
        // The configured levels win; the message still counts as activity.
        CountEvent();
        return;
    }
    SendMidiBytes(Stream.load(std::memory_order_acquire), bytes, length);

    if (const auto mode = SystemOnMode(bytes, length)) {
        m_mode.store(*mode, std::memory_order_relaxed);
        ResetDrums();
        ResetPrograms();
        ApplyReverbChorus();
        CountEvent();
        return;
    }
    if (GetSystemMode() == ModeGS) {
        if (const auto part = ParseGsPartParameter(bytes, length)) {
            if (part->address == kGsPartReceiveChannel) {
                m_gsPart[part->block] = part->value;
            } else if (part->address == kGsPartUseForRhythm) {
                const BYTE target = m_gsPart[part->block];
                if (target < kMidiChannels) m_drum[target] = part->value;
            }
        }
    }
    CountEvent();
}

void ClientStream::UpdateBankKey(DWORD channel) {
    m_bankKey[channel] = MakeBankKey(static_cast<int>(GetSystemMode()), m_bankMsb[channel], m_bankLsb[channel]);
}

void ClientStream::ProgramChange(DWORD channel, BYTE program) {
    m_program[channel] = program;
    const wchar_t* name = kNoInstrumentName;
    if (m_drum[channel]) {
        name = kDrumsName;
    } else if (program < 128) {
        if (const wchar_t* found = FindInstrumentName(static_cast<int>(GetSystemMode()), program + 1, m_bankKey[channel])) {
            name = found;
        }
    }
    m_name[channel].store(name, std::memory_order_release);
    RefreshStrip(channel);
}

void ClientStream::ResetDrums() {
    for (DWORD c = 0; c < kMidiChannels; ++c) m_drum[c] = (c == 9);
    // Block 0 is the rhythm part on channel 10; blocks 1-9 take channels 1-9.
    static const BYTE kPartMap[kMidiChannels] = {9, 0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15};
    for (DWORD b = 0; b < kMidiChannels; ++b) m_gsPart[b] = kPartMap[b];
    if (const HSTREAM stream = Stream.load(std::memory_order_acquire)) {
        for (DWORD c = 0; c < kMidiChannels; ++c) SendMidiEvent(stream, c, MIDI_EVENT_DRUMS, m_drum[c]);
    }
}

void ClientStream::ResetPrograms() {
    for (DWORD c = 0; c < kMidiChannels; ++c) {
        m_program[c] = 0;
        m_bankKey[c] = 0;
        m_bankMsb[c] = 0;
        m_bankLsb[c] = 0;
        m_name[c].store(nullptr, std::memory_order_release);
    }
    RefreshStrip(kMidiChannels);
}

void ClientStream::ApplyReverbChorus() {
    const HSTREAM stream = Stream.load(std::memory_order_acquire);
    const BYTE reverb = static_cast<BYTE>(m_reverbLevel.load(std::memory_order_relaxed) & 0x7F);
    const BYTE chorus = static_cast<BYTE>(m_chorusLevel.load(std::memory_order_relaxed) & 0x7F);
    switch (GetSystemMode()) {
    case ModeGS: {
        const auto r = GsReverbLevelMessage(reverb);
        const auto c = GsChorusLevelMessage(chorus);
        SendMidiBytes(stream, r.data(), static_cast<DWORD>(r.size()));
        SendMidiBytes(stream, c.data(), static_cast<DWORD>(c.size()));
        break;
    }
    case ModeXG: {
        const auto r = XgReverbReturnMessage(reverb);
        const auto c = XgChorusReturnMessage(chorus);
        SendMidiBytes(stream, r.data(), static_cast<DWORD>(r.size()));
        SendMidiBytes(stream, c.data(), static_cast<DWORD>(c.size()));
        break;
    }
    default:
        for (DWORD ch = 0; ch < kMidiChannels; ++ch) {
            SendMidiEvent(stream, ch, MIDI_EVENT_REVERB_LEVEL, reverb * 100u / 127u);
            SendMidiEvent(stream, ch, MIDI_EVENT_CHORUS_LEVEL, chorus * 100u / 127u);
        }
        break;
    }
}

void ClientStream::Reset() {
    if (const HSTREAM stream = Stream.load(std::memory_order_acquire)) BASS_ChannelPlay(stream, TRUE);
    AllNotesOff();
    ResetPrograms();
    ResetDrums();
    ApplyReverbChorus();
}

void ClientStream::AllNotesOff() {
    if (const HSTREAM stream = Stream.load(std::memory_order_acquire)) {
        for (DWORD c = 0; c < kMidiChannels; ++c) SendMidiEvent(stream, c, MIDI_EVENT_NOTESOFF, 0);
    }
    for (DWORD c = 0; c < kMidiChannels; ++c) SetChannelActive(c, false);
}

void ClientStream::SetChannelActive(DWORD channel, bool active) {
    if (m_port) m_port->SetChannelActive(channel, active);
}

void ClientStream::RefreshStrip(DWORD channel) {
    if (m_port) m_port->RefreshMixerStrips(channel);
}
