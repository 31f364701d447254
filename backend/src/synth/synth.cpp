// Channel events, note-on/off and the voice pool of the synthesizer core.
#include "synth/synth.h"

#include "synth/render_pool.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "bassmidi.h"
#include "synth/dsp_math.h"
#include "synth/kernels.h"
#include "synth/prefetch.h"
#include "synth/sinc_table.h"
#include "synth/sysex_store.h"

namespace tsl {

using namespace font;

namespace {

// Voices beyond the limit that stolen and shed voices fade out in while their
// replacements already play.
uint32_t FadeSpare(uint32_t maxVoices) noexcept { return std::max<uint32_t>(16, maxVoices / 4); }
// How far ahead a pass over the voices asks for them (GatherCandidates).
constexpr size_t kGatherAhead = 8;
// How long a note may wait for its samples on a playing stream before it is
// given up (a note that late would be out of time).
constexpr float kMaxDeferSeconds = 1.0f;

} // namespace

Synth::Synth(const Options& o)
    : opt_(o), maxVoices_(o.maxVoices), voices_(o.maxVoices + FadeSpare(o.maxVoices)), descs_(new VoiceDesc[kMaxLayers]),
      reverb_(o.rate), chorus_(o.rate) {
    const uint32_t pool = static_cast<uint32_t>(voices_.size());
    free_.reserve(pool);
    active_.reserve(pool);
    dead_.resize(pool);
    ranked_.resize(pool);
    chunkCap_ = std::max<uint32_t>(1, std::min(kMaxChunks, (pool + kChunkVoices - 1) / kChunkVoices));
    chunks_.reset(new Chunk[chunkCap_]);
    scratch_.reset(new Scratch[chunkCap_]);
    for (uint32_t k = 0; k < chunkCap_; ++k) scratch_[k].filler.MakeSilentFiller();
    for (uint32_t i = pool; i-- > 0;) free_.push_back(static_cast<int32_t>(i));
    for (DrumKeySettings& d : drumKeys_) d.Reset();
    ResetEffects(SystemMode::kDefault);
    for (auto& row : keyHead_)
        for (int32_t& h : row) h = -1;
    for (int32_t& h : cutHead_) h = -1;
    for (int c = 0; c < kChannels; ++c) channels_[c].ResetAll(c);
    if (o.sinc) sinc::Init();
}

Synth::~Synth() {
    CompleteBlock(); // a helper may not be left running on what goes now
    StopAllVoices();
}

void Synth::StopAllVoices() noexcept {
    while (!active_.empty()) FreeVoice(active_.back());
    deferredCount_ = 0;
}

void Synth::ReleaseEverything() noexcept {
    for (int c = 0; c < kChannels; ++c) {
        ChannelState& ch = channels_[c];
        ch.cc[64] = ch.cc[66] = 0;
        for (int k = 0; k < 128; ++k)
            for (int32_t i = keyHead_[c][k]; i >= 0; i = voices_[i].next) voices_[i].heldBySostenuto = false;
        AllNotesOff(c, true);
        DropDeferred(c);
    }
}

void Synth::CutEverything() noexcept {
    for (int32_t idx : active_) {
        voices_[idx].keyUp = true;
        voices_[idx].Cut(0);
    }
    deferredCount_ = 0;
}

bool Synth::IsSilent() noexcept {
    CompleteBlock();
    return active_.empty() && deferredCount_ == 0 && (!opt_.effects || (reverb_.Quiet() && chorus_.Quiet()));
}

void Synth::SetFontStack(const FontStack* stack, uint32_t generation) noexcept {
    stack_ = stack;
    stackGeneration_ = generation;
    for (bool& v : presetValid_) v = false;
}

// ---------------------------------------------------------------------------
// Events

bool Synth::AppliesInsideBlock(uint32_t event, uint32_t param) noexcept {
    // Note-ons start late in the block, releases and cuts are scheduled per
    // voice, and selections only matter to later events; anything else that
    // changes the sound of playing voices needs the block cut at its frame.
    switch (event) {
    case MIDI_EVENT_NOTE: case MIDI_EVENT_PROGRAM: case MIDI_EVENT_BANK: case MIDI_EVENT_BANK_LSB:
    case MIDI_EVENT_DRUMS: case MIDI_EVENT_SUSTAIN: case MIDI_EVENT_SOUNDOFF: case MIDI_EVENT_NOTESOFF:
    case MIDI_EVENT_MODE: case MIDI_EVENT_TRANSPOSE:
        return true;
    case MIDI_EVENT_CONTROL:
        switch (param & 0x7f) {
        case 0: case 32: case 64: case 66: case 98: case 99: case 100: case 101: case 120:
        case 123: case 124: case 125: case 126: case 127:
            return true;
        default: return false;
        }
    default: return false;
    }
}

void Synth::ApplyEvent(uint32_t event, uint32_t param, uint32_t chan) noexcept {
    if (event == MIDI_EVENT_SYSTEMEX) {
        SysExView v = SysExStore::Find(param);
        if (v.data) ApplySysEx(v.data, v.size);
        return;
    }
    if (event == MIDI_EVENT_SYSTEM) {
        switch (param) {
        case MIDI_SYSTEM_GM1: SystemReset(SystemMode::kGM1); break;
        case MIDI_SYSTEM_GM2: SystemReset(SystemMode::kGM2); break;
        case MIDI_SYSTEM_XG: SystemReset(SystemMode::kXG); break;
        case MIDI_SYSTEM_GS: SystemReset(SystemMode::kGS); break;
        default: SystemReset(SystemMode::kDefault); break;
        }
        return;
    }
    if (event == MIDI_EVENT_MASTERVOL) { masterVolume_ = static_cast<uint16_t>(std::min<uint32_t>(param, 16383)); return; }
    // The level events count in percent of the full return level, the GS and
    // XG messages in 0-127: 50 % and 64 are the same level.
    if (event == MIDI_EVENT_REVERB_LEVEL) { reverbLevel_ = static_cast<uint8_t>(std::min<uint32_t>((param * 127 + 50) / 100, 127)); return; }
    if (event == MIDI_EVENT_CHORUS_LEVEL) { chorusLevel_ = static_cast<uint8_t>(std::min<uint32_t>((param * 127 + 50) / 100, 127)); return; }
    if (chan >= kChannels) return;
    const int c = static_cast<int>(chan);
    ChannelState& ch = channels_[c];
    const uint8_t lo = param & 0x7f, hi = (param >> 8) & 0x7f;
    switch (event) {
    case MIDI_EVENT_NOTE:
        if (hi == 0) NoteOff(c, lo);
        else NoteOn(c, lo, hi);
        break;
    case MIDI_EVENT_PROGRAM: ProgramChange(c, lo); break;
    case MIDI_EVENT_CHANPRES: ch.channelPressure = lo; Touch(c); break;
    case MIDI_EVENT_KEYPRES: ch.keyPressure[lo] = hi; Touch(c); break;
    case MIDI_EVENT_PITCH: ch.pitch = static_cast<uint16_t>(std::min<uint32_t>(param, 16383)); Touch(c); break;
    case MIDI_EVENT_PITCHRANGE: ch.pitchRangeCents = static_cast<uint16_t>(std::min<uint32_t>(param, 127) * 100); Touch(c); break;
    case MIDI_EVENT_DRUMS: ch.drums = param != 0; presetValid_[c] = false; break;
    case MIDI_EVENT_FINETUNE:
        ch.fineTuneCents = static_cast<int16_t>((static_cast<int32_t>(std::min<uint32_t>(param, 16383)) - 8192) * 100 / 8192);
        Touch(c);
        break;
    case MIDI_EVENT_COARSETUNE: ch.coarseTuneSemis = static_cast<int8_t>(static_cast<int>(lo) - 64); Touch(c); break;
    case MIDI_EVENT_BANK: Controller(c, 0, lo); break;
    case MIDI_EVENT_BANK_LSB: Controller(c, 32, lo); break;
    case MIDI_EVENT_MODULATION: Controller(c, 1, lo); break;
    case MIDI_EVENT_VOLUME: Controller(c, 7, lo); break;
    case MIDI_EVENT_PAN: Controller(c, 10, lo); break;
    case MIDI_EVENT_EXPRESSION: Controller(c, 11, lo); break;
    case MIDI_EVENT_SUSTAIN: Controller(c, 64, lo); break;
    case MIDI_EVENT_REVERB: Controller(c, 91, lo); break;
    case MIDI_EVENT_CHORUS: Controller(c, 93, lo); break;
    case MIDI_EVENT_SOUNDOFF: AllSoundOff(c); break;
    case MIDI_EVENT_RESET: Controller(c, 121, 0); break;
    case MIDI_EVENT_NOTESOFF: AllNotesOff(c, true); break;
    case MIDI_EVENT_MODE: ch.monoMode = param != 0; break;
    case MIDI_EVENT_CONTROL: Controller(c, param & 0x7f, hi); break;
    case MIDI_EVENT_MIXLEVEL: ch.mixLevel = static_cast<uint8_t>(std::min<uint32_t>(param, 255)); break;
    case MIDI_EVENT_TRANSPOSE: {
        int t = static_cast<int>(std::min<uint32_t>(param, 227)) - 100;
        ch.transpose = static_cast<int8_t>(std::clamp(t, -127, 127));
        break;
    }
    default: break; // END and TEMPO concern the stream; others are not ours
    }
}

void Synth::Controller(int c, uint8_t cc, uint8_t value) noexcept {
    ChannelState& ch = channels_[c];
    cc &= 0x7f;
    value &= 0x7f;
    switch (cc) {
    case 6: ch.cc[6] = value; DataEntry(c, true, value); return;
    case 38: ch.cc[38] = value; DataEntry(c, false, value); return;
    case 98: case 99: // an NRPN: data entry no longer hits an RPN
        ch.cc[cc] = value;
        ch.rpn = 0x3fff;
        ch.nrpn = static_cast<uint16_t>(ch.cc[99] << 7 | ch.cc[98]);
        return;
    case 100: case 101:
        ch.cc[cc] = value;
        ch.rpn = static_cast<uint16_t>(ch.cc[101] << 7 | ch.cc[100]);
        ch.nrpn = 0x3fff;
        return;
    case 84: ch.cc[84] = value; ch.portamentoFrom = value; return;
    case 65:
        ch.cc[65] = value;
        if (value < 64) ch.portamentoFrom = 0xff;
        return;
    case 64: {
        bool was = ch.Sustain();
        ch.cc[64] = value;
        if (was && !ch.Sustain()) ReleaseHeld(c);
        return;
    }
    case 66: {
        bool was = ch.Sostenuto();
        ch.cc[66] = value;
        bool now = ch.Sostenuto();
        if (!was && now) {
            for (int k = 0; k < 128; ++k)
                for (int32_t i = keyHead_[c][k]; i >= 0; i = voices_[i].next)
                    if (!voices_[i].keyUp) voices_[i].heldBySostenuto = true;
        } else if (was && !now) {
            for (int k = 0; k < 128; ++k)
                for (int32_t i = keyHead_[c][k]; i >= 0; i = voices_[i].next) voices_[i].heldBySostenuto = false;
            ReleaseHeld(c);
        }
        return;
    }
    case 120: AllSoundOff(c); return;
    case 121: {
        bool sustained = ch.Sustain() || ch.Sostenuto();
        ch.ResetControllers();
        Touch(c);
        if (sustained) {
            for (int k = 0; k < 128; ++k)
                for (int32_t i = keyHead_[c][k]; i >= 0; i = voices_[i].next) voices_[i].heldBySostenuto = false;
            ReleaseHeld(c);
        }
        return;
    }
    case 123: case 124: case 125: AllNotesOff(c, false); return;
    case 126: AllNotesOff(c, false); ch.monoMode = true; return;
    case 127: AllNotesOff(c, false); ch.monoMode = false; return;
    case 5: ch.cc[5] = value; return; // portamento time: read at the next note
    default:
        ch.cc[cc] = value;
        Touch(c);
        return;
    }
}

void Synth::DataEntry(int c, bool msb, uint8_t value) noexcept {
    ChannelState& ch = channels_[c];
    if (ch.nrpn != 0x3fff) {
        // GS and XG part and drum NRPNs take the data entry MSB.
        if (!msb) return;
        const uint8_t hi = static_cast<uint8_t>(ch.nrpn >> 7), lo = ch.nrpn & 0x7f;
        if (hi == 0x01) {
            int target = -1;
            switch (lo) {
            case 0x08: target = ChannelState::kVibratoRate; break;
            case 0x09: target = ChannelState::kVibratoDepth; break;
            case 0x0A: target = ChannelState::kVibratoDelay; break;
            case 0x20: target = ChannelState::kBrightness; break;
            case 0x21: target = ChannelState::kTimbre; break;
            case 0x63: target = ChannelState::kAttack; break;
            case 0x64: target = ChannelState::kDecay; break;
            case 0x66: target = ChannelState::kRelease; break;
            default: return;
            }
            ch.cc[target] = value;
            Touch(c);
            return;
        }
        const DrumKeySettings::Param p = DrumKeySettings::FromNrpnMsb(hi);
        if (p != DrumKeySettings::kCount) drumKeys_[c].value[lo][p] = value; // heard from the key's next note
        return;
    }
    switch (ch.rpn) {
    case 0: // pitch bend range: MSB semitones, LSB cents
        if (msb) ch.pitchRangeCents = static_cast<uint16_t>(value * 100 + ch.pitchRangeCents % 100);
        else ch.pitchRangeCents = static_cast<uint16_t>(ch.pitchRangeCents / 100 * 100 + std::min<int>(value, 99));
        break;
    case 1: { // fine tuning, 14 bits centred on 8192 = +-100 cents
        int v = (ch.cc[6] << 7 | ch.cc[38]) - 8192;
        ch.fineTuneCents = static_cast<int16_t>(v * 100 / 8192);
        break;
    }
    case 2: // coarse tuning, semitones centred on 64
        if (msb) ch.coarseTuneSemis = static_cast<int8_t>(static_cast<int>(value) - 64);
        break;
    default: return;
    }
    Touch(c);
}

void Synth::ProgramChange(int c, uint8_t program) noexcept {
    ChannelState& ch = channels_[c];
    ch.program = program;
    ch.bankMsb = ch.cc[0];
    ch.bankLsb = ch.cc[32];
    if (mode_ == SystemMode::kXG) {
        ch.drums = ch.bankMsb == 127 || ch.bankMsb == 126;
    } else if (mode_ == SystemMode::kGM2) {
        if (ch.bankMsb == 120) ch.drums = true;
        else if (ch.bankMsb == 121) ch.drums = false;
    }
    presetValid_[c] = false;
}

ResolvedPreset Synth::ChannelPreset(int c) noexcept {
    if (presetValid_[c]) return preset_[c];
    const ChannelState& ch = channels_[c];
    PresetRequest req;
    req.program = ch.program;
    req.drums = ch.drums;
    req.xg = mode_ == SystemMode::kXG;
    switch (mode_) {
    case SystemMode::kGM1: req.bank = 0; break;
    case SystemMode::kGM2: req.bank = ch.bankLsb; break;
    case SystemMode::kXG: req.bank = ch.bankMsb == 0 ? ch.bankLsb : ch.bankMsb; break;
    default: req.bank = ch.bankMsb; break;
    }
    ResolvedPreset r;
    if (stack_) r = stack_->Resolve(req);
    if (r && loadFn_ && !r.font->IsLoaded(*r.preset)) loadFn_(loadCtx_, LoadRequest{r.font, r.preset});
    preset_[c] = r;
    presetValid_[c] = true;
    presetLoaded_[c] = r && r.font->IsLoaded(*r.preset);
    // Note-offs look for release regions only in presets that have some.
    presetHasRelease_[c] = false;
    if (r)
        for (const PresetZone& pz : r.preset->zones)
            for (const InstrumentZone& iz : pz.instrument->zones)
                if (iz.sfz && iz.sfz->trigger == Trigger::kRelease) presetHasRelease_[c] = true;
    return r;
}

float Synth::PortamentoSeconds(int c) const noexcept {
    // CC 5: 1 ms at 0, about 0.1 s at 64, 10 s at 127, evenly in log time.
    return 0.001f * dsp::Exp2(channels_[c].cc[5] * (4.0f * 3.3219281f / 127.0f));
}

void Synth::NoteOn(int c, uint8_t key, uint8_t vel) noexcept {
    ChannelState& ch = channels_[c];
    if (ch.monoMode && !ch.drums && MonoNoteOn(c, key, vel)) return;
    KeyNote& kn = keyNotes_[c][key];
    kn.onFrame = now_ + eventOffset_;
    kn.velocity = vel;
    // Portamento: from the last key played, or once from the key CC 84 named.
    float glideCents = 0, glideSeconds = 0;
    const uint8_t from = ch.portamentoFrom != 0xff ? ch.portamentoFrom : (ch.Portamento() ? ch.lastKey : 0xff);
    if (!ch.drums && from != 0xff && from != key) {
        glideCents = 100.0f * (static_cast<int>(from) - static_cast<int>(key));
        glideSeconds = PortamentoSeconds(c);
    }
    ch.portamentoFrom = 0xff;
    ch.lastKey = key;
    StartNote(c, key, vel, Trigger::kAttack, 1.0f, glideCents, glideSeconds);
    if (kn.state != KeyNote::kDown) ++keysDown_[c];
    kn.state = KeyNote::kDown;
}

bool Synth::MonoNoteOn(int c, uint8_t key, uint8_t vel) noexcept {
    ChannelState& ch = channels_[c];
    int& n = monoCount_[c];
    for (int i = 0; i < n; ++i)
        if (monoKeys_[c][i] == key) {
            std::memmove(&monoKeys_[c][i], &monoKeys_[c][i + 1], static_cast<size_t>(n - i - 1));
            --n;
            break;
        }
    if (n > 0) {
        // Legato: the sounding note moves to the new key, envelopes running on.
        const uint8_t top = monoKeys_[c][n - 1];
        bool moved = false;
        for (int32_t i = keyHead_[c][top]; i >= 0; i = voices_[i].next)
            if (!voices_[i].keyUp) moved = true;
        if (moved) {
            RetuneKey(c, top, key);
            if (n == kMonoKeys) {
                std::memmove(&monoKeys_[c][0], &monoKeys_[c][1], kMonoKeys - 1);
                --n;
            }
            monoKeys_[c][n++] = key;
            if (keyNotes_[c][key].state != KeyNote::kDown) ++keysDown_[c];
            keyNotes_[c][key].state = KeyNote::kDown;
            keyNotes_[c][key].velocity = vel;
            ch.lastKey = key;
            ch.portamentoFrom = 0xff;
            return true;
        }
        n = 0; // its voices are gone (a one-shot ended): start afresh
    }
    // One note at a time: whatever still sounds on the channel fades out.
    for (int k = 0; k < 128; ++k)
        for (int32_t i = keyHead_[c][k]; i >= 0; i = voices_[i].next) {
            voices_[i].keyUp = true;
            voices_[i].FadeOut(eventOffset_);
        }
    monoKeys_[c][n++] = key;
    return false;
}

bool Synth::MonoNoteOff(int c, uint8_t key) noexcept {
    int& n = monoCount_[c];
    int at = -1;
    for (int i = 0; i < n; ++i)
        if (monoKeys_[c][i] == key) at = i;
    if (at < 0) return false;
    const bool sounding = at == n - 1;
    std::memmove(&monoKeys_[c][at], &monoKeys_[c][at + 1], static_cast<size_t>(n - at - 1));
    --n;
    if (sounding && n == 0) return false; // the last key: an ordinary release
    keyNotes_[c][key].state = KeyNote::kUp;
    if (!sounding) return true;
    // Back to the key still held before it, legato.
    RetuneKey(c, key, monoKeys_[c][n - 1]);
    return true;
}

void Synth::RetuneKey(int c, uint8_t from, uint8_t to) noexcept {
    const ChannelState& ch = channels_[c];
    const float seconds = ch.Portamento() ? PortamentoSeconds(c) : 0.0f;
    const int sk = std::clamp(static_cast<int>(to) + ch.transpose, 0, 127);
    int32_t i = keyHead_[c][from];
    while (i >= 0) {
        const int32_t next = voices_[i].next;
        if (!voices_[i].keyUp) {
            Unlink(i);
            voices_[i].Retune(to, static_cast<uint8_t>(sk), seconds, ch);
            Link(i);
        }
        i = next;
    }
}

void Synth::TriggerRelease(int c, uint8_t key) noexcept {
    KeyNote& kn = keyNotes_[c][key];
    if (kn.state == KeyNote::kUp) return;
    kn.state = KeyNote::kUp;
    if (!ChannelPreset(c) || !presetHasRelease_[c]) return;
    // The release sample is quieter the longer the note was held.
    const float held = static_cast<float>(now_ + eventOffset_ - kn.onFrame) / static_cast<float>(opt_.rate);
    StartNote(c, key, kn.velocity, Trigger::kRelease, held);
}

uint32_t Synth::StartNote(int c, uint8_t key, uint8_t vel, Trigger trigger, float heldSeconds, float glideCents,
                          float glideSeconds) noexcept {
    ResolvedPreset rp = ChannelPreset(c);
    if (!rp) return 0;
    if (!presetLoaded_[c]) {
        // A playing stream's loader is still reading the samples: the note
        // waits for them instead of being lost.
        presetLoaded_[c] = rp.font->IsLoaded(*rp.preset);
        if (!presetLoaded_[c] && trigger == Trigger::kAttack) {
            Defer(c, rp, key, vel);
            return 0;
        }
    }
    return StartNoteWith(c, rp, key, vel, trigger, heldSeconds, glideCents, glideSeconds);
}

uint32_t Synth::StartNoteWith(int c, const ResolvedPreset& rp, uint8_t key, uint8_t vel, Trigger trigger,
                              float heldSeconds, float glideCents, float glideSeconds) noexcept {
    ChannelState& ch = channels_[c];
    int sk = ch.drums ? key : std::clamp(static_cast<int>(key) + ch.transpose, 0, 127);
    random_ ^= random_ << 13;
    random_ ^= random_ >> 17;
    random_ ^= random_ << 5;
    NoteRequest req;
    req.key = static_cast<uint8_t>(sk);
    req.velocity = vel;
    req.trigger = trigger;
    req.cc = ch.cc;
    req.random = static_cast<float>(random_ >> 8) * (1.0f / 16777216.0f);
    req.seq = trigger == Trigger::kRelease ? (seq_[c][key] ? seq_[c][key] - 1 : 0) : seq_[c][key]++;
    req.legato = keysDown_[c] > (keyNotes_[c][key].state == KeyNote::kDown ? 1u : 0u);
    size_t n = CollectVoices(*rp.preset, req, descs_.get(), kMaxLayers);
    if (n == 0) return 0;
    const uint32_t id = ++nextNoteId_;
    NoteContext ctx;
    ctx.channel = &ch;
    ctx.key = key;
    ctx.soundKey = static_cast<uint8_t>(sk);
    ctx.velocity = vel;
    ctx.noteId = id;
    ctx.fontVolume = rp.font->volume.load(std::memory_order_relaxed);
    ctx.outputRate = static_cast<float>(opt_.rate);
    ctx.sinc = opt_.sinc;
    ctx.startDelay = eventOffset_;
    ctx.drum = ch.drums ? drumKeys_[c].value[key] : nullptr;
    ctx.glideCents = glideCents;
    ctx.glideSeconds = glideSeconds;
    for (size_t l = 0; l < n; ++l) {
        const VoiceDesc& d = descs_[l];
        if (d.group != 0) {
            for (int32_t i = cutHead_[c]; i >= 0; i = voices_[i].cutNext) {
                Voice& o = voices_[i];
                if (o.offBy == d.group && o.noteId != id) o.Cut(eventOffset_);
            }
        }
        int32_t idx = AllocateVoice(id);
        if (idx < 0) break;
        Voice& v = voices_[idx];
        NoteContext vc = ctx;
        if (trigger == Trigger::kRelease && d.sfz && d.sfz->rtDecay > 0)
            vc.fontVolume *= dsp::DecibelsToGain(-d.sfz->rtDecay * heldSeconds);
        if (!v.Start(d, vc)) {
            free_.push_back(idx);
            continue;
        }
        v.chan = static_cast<uint8_t>(c);
        v.chanVersion = chanVersion_[c];
        v.stackGeneration = stackGeneration_;
        if (trigger == Trigger::kRelease) {
            // Started by the key going up: plays its sample through, once;
            // no later note-off or pedal concerns it.
            v.keyUp = true;
            v.oneShot = true;
            v.looping = false;
        }
        Link(idx);
        v.activeSlot = static_cast<int32_t>(active_.size());
        active_.push_back(idx);
    }
    return id;
}

bool Synth::Defer(int c, const ResolvedPreset& rp, uint8_t key, uint8_t vel) noexcept {
    if (deferredCount_ == kMaxDeferred) return false;
    deferred_[deferredCount_++] = DeferredNote{rp, now_ + eventOffset_, stackGeneration_, static_cast<uint8_t>(c), key, vel, false};
    return true;
}

void Synth::DropDeferred(int c) noexcept {
    int k = 0;
    for (int i = 0; i < deferredCount_; ++i)
        if (deferred_[i].chan != c) deferred_[k++] = deferred_[i];
    deferredCount_ = k;
}

void Synth::StartDeferred() noexcept {
    const uint64_t patience = static_cast<uint64_t>(kMaxDeferSeconds * static_cast<float>(opt_.rate));
    int k = 0;
    for (int i = 0; i < deferredCount_; ++i) {
        const DeferredNote d = deferred_[i];
        if (!d.preset.font->IsLoaded(*d.preset.preset)) {
            if (now_ - d.frame < patience) deferred_[k++] = d;
            continue;
        }
        // In at last: the note starts now, as late as the loading took. A
        // note-off that came meanwhile lets it sound and release at once.
        const uint32_t id = StartNoteWith(d.chan, d.preset, d.key, d.velocity, Trigger::kAttack, 1.0f, 0, 0);
        if (id && d.released)
            for (int32_t v = keyHead_[d.chan][d.key]; v >= 0; v = voices_[v].next)
                if (voices_[v].noteId == id) {
                    voices_[v].keyUp = true;
                    MaybeRelease(voices_[v], channels_[d.chan]);
                }
    }
    deferredCount_ = k;
}

void Synth::MaybeRelease(Voice& v, const ChannelState& ch) noexcept {
    if (v.keyUp && !v.released && !v.oneShot && !ch.Sustain() && !v.heldBySostenuto) v.NoteOff(eventOffset_);
}

void Synth::NoteOff(int c, uint8_t key) noexcept {
    const ChannelState& ch = channels_[c];
    for (int i = 0; i < deferredCount_; ++i)
        if (deferred_[i].chan == c && deferred_[i].key == key) deferred_[i].released = true;
    if (ch.monoMode && monoCount_[c] > 0 && MonoNoteOff(c, key)) {
        if (keysDown_[c] > 0) --keysDown_[c];
        return;
    }
    KeyNote& kn = keyNotes_[c][key];
    if (kn.state == KeyNote::kDown && keysDown_[c] > 0) --keysDown_[c];
    if (kn.state == KeyNote::kDown) {
        if (ch.Sustain()) kn.state = KeyNote::kPedal;
        else TriggerRelease(c, key);
    }
    uint32_t target = 0;
    if (opt_.noteOff1) {
        // The list is newest first: the first voice still held names the note.
        for (int32_t i = keyHead_[c][key]; i >= 0; i = voices_[i].next)
            if (!voices_[i].keyUp) { target = voices_[i].noteId; break; }
        if (target == 0) return;
    }
    for (int32_t i = keyHead_[c][key]; i >= 0; i = voices_[i].next) {
        Voice& v = voices_[i];
        if (v.keyUp || (target != 0 && v.noteId != target)) continue;
        v.keyUp = true;
        MaybeRelease(v, ch);
    }
}

void Synth::ReleaseHeld(int c) noexcept {
    const ChannelState& ch = channels_[c];
    if (!ch.Sustain())
        for (int k = 0; k < 128; ++k)
            if (keyNotes_[c][k].state == KeyNote::kPedal) TriggerRelease(c, static_cast<uint8_t>(k));
    for (int k = 0; k < 128; ++k)
        for (int32_t i = keyHead_[c][k]; i >= 0; i = voices_[i].next) MaybeRelease(voices_[i], ch);
}

void Synth::AllNotesOff(int c, bool ignorePedals) noexcept {
    const ChannelState& ch = channels_[c];
    // A panic, not a performance: no release samples.
    for (KeyNote& kn : keyNotes_[c]) kn.state = KeyNote::kUp;
    keysDown_[c] = 0;
    monoCount_[c] = 0;
    for (int k = 0; k < 128; ++k)
        for (int32_t i = keyHead_[c][k]; i >= 0; i = voices_[i].next) {
            Voice& v = voices_[i];
            v.keyUp = true;
            if (ignorePedals) v.NoteOff(eventOffset_);
            else MaybeRelease(v, ch);
        }
}

void Synth::AllSoundOff(int c) noexcept {
    DropDeferred(c);
    for (int k = 0; k < 128; ++k)
        for (int32_t i = keyHead_[c][k]; i >= 0; i = voices_[i].next) {
            voices_[i].keyUp = true;
            voices_[i].Cut(eventOffset_);
        }
}

void Synth::SystemReset(SystemMode mode) noexcept {
    for (int c = 0; c < kChannels; ++c) AllNotesOff(c, true);
    mode_ = mode;
    for (int c = 0; c < kChannels; ++c) {
        channels_[c].ResetAll(c);
        drumKeys_[c].Reset();
        presetValid_[c] = false;
        Touch(c);
    }
    if (mode == SystemMode::kXG) channels_[9].cc[0] = channels_[9].bankMsb = 127;
    if (mode == SystemMode::kGM2) channels_[9].cc[0] = channels_[9].bankMsb = 120;
    masterVolume_ = 16383;
    reverbLevel_ = chorusLevel_ = 64;
    ResetEffects(mode);
}

void Synth::RestoreChannel(int c, const ChannelState& s) noexcept {
    channels_[c] = s;
    presetValid_[c] = false;
    Touch(c);
}

void Synth::RestoreGlobals(SystemMode mode, uint16_t masterVolume, uint8_t reverb, uint8_t chorus) noexcept {
    mode_ = mode;
    masterVolume_ = std::min<uint16_t>(masterVolume, 16383);
    reverbLevel_ = std::min<uint8_t>(reverb, 127);
    chorusLevel_ = std::min<uint8_t>(chorus, 127);
    for (bool& v : presetValid_) v = false;
}

// ---------------------------------------------------------------------------
// Voice pool

void Synth::Link(int32_t index) noexcept {
    Voice& v = voices_[index];
    int32_t& head = keyHead_[v.chan][v.key];
    v.prev = -1;
    v.next = head;
    if (head >= 0) voices_[head].prev = index;
    head = index;
    if (v.offBy != 0) {
        int32_t& cut = cutHead_[v.chan];
        v.cutPrev = -1;
        v.cutNext = cut;
        if (cut >= 0) voices_[cut].cutPrev = index;
        cut = index;
    }
}

void Synth::Unlink(int32_t index) noexcept {
    Voice& v = voices_[index];
    if (v.prev >= 0) voices_[v.prev].next = v.next;
    else keyHead_[v.chan][v.key] = v.next;
    if (v.next >= 0) voices_[v.next].prev = v.prev;
    v.prev = v.next = -1;
    if (v.offBy != 0) {
        if (v.cutPrev >= 0) voices_[v.cutPrev].cutNext = v.cutNext;
        else cutHead_[v.chan] = v.cutNext;
        if (v.cutNext >= 0) voices_[v.cutNext].cutPrev = v.cutPrev;
        v.cutPrev = v.cutNext = -1;
    }
}

void Synth::FreeVoice(int32_t index) noexcept {
    Voice& v = voices_[index];
    if (v.stolen) {
        v.stolen = false;
        --fading_;
    }
    v.Finish();
    Unlink(index);
    int32_t slot = v.activeSlot;
    int32_t last = active_.back();
    active_[slot] = last;
    voices_[last].activeSlot = slot;
    active_.pop_back();
    v.activeSlot = -1;
    free_.push_back(index);
}

void Synth::SortCandidateArray() noexcept {
    std::sort(cand_, cand_ + candCount_, StealsBefore);
}

void Synth::ReadyCandidates() noexcept {
    if (candSorted_) return;
    if (candByHelper_) {
        // The helper sorts them before anything else: as a rule, long done.
        for (uint32_t spin = 0; !candReady_.load(std::memory_order_acquire); ++spin) {
            if (spin == 2000) {
                CompleteBlock(); // runs the block's end here if no helper started it
                break;
            }
            RenderPool::Pause();
        }
        candByHelper_ = false;
    } else {
        SortCandidateArray();
    }
    candSorted_ = true;
    candNext_ = 0;
}

int32_t Synth::NextCandidate(uint32_t noteId) noexcept {
    while (candNext_ < candCount_) {
        const Candidate& c = cand_[candNext_];
        // A voice started since the pass (at level 1, later in the list) is
        // what a new pass would take before any louder one: pass again.
        if (candGathered_ && c.level > Voice::kStartLevel && gatherNote_ != nextNoteId_) return -1;
        ++candNext_;
        const Voice& v = voices_[c.index];
        if (v.activeSlot >= 0 && v.generation == c.generation && v.noteId != noteId && !v.stolen) return c.index;
    }
    return -1;
}

void Synth::GatherCandidates(uint32_t noteId) noexcept {
    // One pass over every voice (a cache miss each) per steal would make a
    // storm of notes cost voices x steals; one pass serves the next
    // kGathered steals, and takes the same voices.
    const size_t count = active_.size();
    size_t n = 0;
    for (size_t i = 0; i < count; ++i) {
        // The voices are far apart and long out of the caches: ask for them
        // a few ahead, so that the misses overlap.
        if (i + kGatherAhead < count) {
            const Voice& w = voices_[active_[i + kGatherAhead]];
            Prefetch(&w.noteId);
            Prefetch(&w.level);
        }
        const int32_t idx = active_[i];
        const Voice& v = voices_[idx];
        if (v.noteId == noteId || v.stolen) continue;
        ranked_[n++] = Candidate{v.level, v.noteId, idx, v.generation};
    }
    const size_t keep = std::min<size_t>(n, kGathered);
    if (keep < n) std::nth_element(ranked_.begin(), ranked_.begin() + static_cast<ptrdiff_t>(keep), ranked_.begin() + static_cast<ptrdiff_t>(n), StealsBefore);
    std::sort(ranked_.begin(), ranked_.begin() + static_cast<ptrdiff_t>(keep), StealsBefore);
    std::copy(ranked_.begin(), ranked_.begin() + static_cast<ptrdiff_t>(keep), cand_);
    candCount_ = static_cast<uint32_t>(keep);
    candNext_ = 0;
    candGathered_ = true;
    gatherNote_ = nextNoteId_;
}

void Synth::Retire(int32_t index) noexcept {
    Voice& v = voices_[index];
    if (free_.empty()) {
        // No room left to fade in (a storm of steals): the old way.
        FreeVoice(index);
        return;
    }
    v.keyUp = true;
    v.FadeOut(eventOffset_);
    v.stolen = true;
    ++fading_;
}

int32_t Synth::AllocateVoice(uint32_t noteId) noexcept {
    if (ActiveVoices() >= maxVoices_) {
        // Out of voices: the quietest (released voices count as quieter),
        // from the candidates gathered during the last block, fades out
        // while the new voice takes a spare one.
        ReadyCandidates();
        int32_t victim = NextCandidate(noteId);
        if (victim < 0) {
            GatherCandidates(noteId);
            victim = NextCandidate(noteId);
        }
        if (victim < 0) return -1;
        Retire(victim);
    }
    if (free_.empty()) return -1;
    int32_t idx = free_.back();
    free_.pop_back();
    return idx;
}

void Synth::ShedVoices(uint32_t count) noexcept {
    ReadyCandidates();
    // Far from the limit the last block kept no candidates: gather them (no
    // voice has the next note's id yet, so none is left out).
    if (candCount_ == 0) GatherCandidates(nextNoteId_);
    while (count > 0 && candNext_ < candCount_) {
        const Candidate& c = cand_[candNext_++];
        Voice& v = voices_[c.index];
        if (v.activeSlot >= 0 && v.generation == c.generation && !v.stolen) {
            Retire(c.index);
            --count;
        }
    }
}

} // namespace tsl
