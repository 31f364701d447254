// The synthesizer core of one stream: 16 MIDI channels, the voice pool and
// the effects. Everything here runs on the render thread only (the stream
// feeds it events it has taken from its queues); nothing allocates after
// construction.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "font/model.h"
#include "synth/channel_state.h"
#include "synth/chunk_split.h"
#include "synth/chorus.h"
#include "synth/effect_types.h"
#include "synth/reverb.h"
#include "synth/steal_candidates.h"
#include "synth/voice.h"

namespace tsl {

class Synth {
public:
    static constexpr int kChannels = 16;

    struct Options {
        uint32_t rate = 48000;
        uint32_t maxVoices = 500;
        bool effects = true;     // !BASS_MIDI_NOFX
        bool noteOff1 = false;   // BASS_MIDI_NOTEOFF1
        bool sinc = false;       // BASS_MIDI_SINCINTER
    };

    explicit Synth(const Options& o);
    ~Synth();
    Synth(const Synth&) = delete;
    Synth& operator=(const Synth&) = delete;

    // One MIDI_EVENT_* event (see bassmidi.h); unknown events are ignored.
    void ApplyEvent(uint32_t event, uint32_t param, uint32_t chan) noexcept;
    // Where, in frames into the next rendered block, the events applied from
    // now on take place: notes start and release at that frame (0 = block start).
    void SetEventOffset(uint32_t frames) noexcept { eventOffset_ = frames < kBlockFrames ? frames : kBlockFrames - 1; }
    // True when the event can be applied with SetEventOffset inside a block
    // and still sound at its frame; other events need the block cut there.
    static bool AppliesInsideBlock(uint32_t event, uint32_t param) noexcept;
    // Note-ons about to be applied (a block's), so that what they read can
    // be asked for ahead, all together: WarmNotes changes nothing.
    struct NoteAhead {
        uint8_t chan, key, velocity;
    };
    void WarmNotes(const NoteAhead* notes, uint32_t count) noexcept;
    // A whole system-exclusive message, F0 .. F7.
    void ApplySysEx(const uint8_t* data, uint32_t size) noexcept;

    // The font stack to resolve presets from (owned by the stream, kept alive
    // while any voice started from it plays; see OldestStackInUse).
    void SetFontStack(const font::FontStack* stack, uint32_t generation) noexcept;
    // The smallest stack generation a live voice was started from (or the
    // current generation when none plays).
    uint32_t OldestStackInUse() const noexcept { return oldestStack_; }

    // Renders n <= kBlockFrames frames, adding nothing: `out` is overwritten
    // with interleaved stereo. A block with many voices is split into chunks
    // of consecutive voices, each mixed into buses of its own, which are then
    // summed in chunk order; up to Threads() threads of the render pool
    // render the chunks, and the output does not depend on which did.
    //
    // With `handOver`, a block that was split leaves its end (the chunks'
    // buses summed into `out`, then the chorus and reverb) to a helper and
    // returns at once, so that the end runs while the caller copies out the
    // last block and applies the next one's events. `out` is complete only
    // after CompleteBlock(), which the next RenderBlock and whatever touches
    // the effects call first; the caller calls it before it reads `out` or
    // lets the synth go.
    void RenderBlock(float* out, uint32_t n, bool handOver = false) noexcept;
    // Returns once a block left to a helper is complete (at once when none is).
    void CompleteBlock() noexcept;
    // Threads the voices of a block may use (the calling one included);
    // 0 = automatic (as many as the render pool has). Takes effect at the
    // next block; the pool must have been reserved beforehand (RenderPool).
    void SetThreads(uint32_t threads) noexcept { threads_ = threads; }
    uint32_t Threads() const noexcept { return threads_; }
    // Frees every voice at once, releasing its sample (before the fonts go).
    void StopAllVoices() noexcept;
    // Fades the quietest `count` voices out over about a millisecond (the
    // CPU limit); they stop counting at once.
    void ShedVoices(uint32_t count) noexcept;
    // The end of a file: every key and pedal lets go (no release samples).
    void ReleaseEverything() noexcept;
    // Fades every voice out quickly (a bound on a tail).
    void CutEverything() noexcept;
    // No voice sounds and the effects have rung out.
    bool IsSilent() noexcept;

    // Voices that count against the limit (those fading out to make room do not).
    uint32_t ActiveVoices() const noexcept { return static_cast<uint32_t>(active_.size()) - fading_; }
    uint32_t MaxVoices() const noexcept { return maxVoices_; }
    void SetReverbScale(float s) noexcept { reverbScale_ = s; }

    // State access for the state blob (render thread, or while no one renders).
    const ChannelState& Channel(int c) const noexcept { return channels_[c]; }
    SystemMode Mode() const noexcept { return mode_; }
    uint16_t MasterVolume() const noexcept { return masterVolume_; }
    uint8_t ReverbLevel() const noexcept { return reverbLevel_; }
    uint8_t ChorusLevel() const noexcept { return chorusLevel_; }
    // Replaces a channel's state wholesale (state restore); voices keep playing.
    void RestoreChannel(int c, const ChannelState& s) noexcept;
    void RestoreGlobals(SystemMode mode, uint16_t masterVolume, uint8_t reverb, uint8_t chorus) noexcept;

    // Presets needing sample data that is not loaded yet are reported here
    // (render thread); the stream's loader picks them up.
    struct LoadRequest {
        const font::Font* font;
        const font::Preset* preset;
    };
    using LoadRequestFn = void (*)(void* ctx, const LoadRequest& r) noexcept;
    void SetLoadRequestHandler(LoadRequestFn fn, void* ctx) noexcept { loadFn_ = fn; loadCtx_ = ctx; }

private:
    // Events
    void NoteOn(int c, uint8_t key, uint8_t vel) noexcept;
    // Returns the note's id, 0 when nothing started.
    uint32_t StartNote(int c, uint8_t key, uint8_t vel, font::Trigger trigger, float heldSeconds, float glideCents = 0,
                       float glideSeconds = 0) noexcept;
    uint32_t StartNoteWith(int c, const font::ResolvedPreset& rp, uint8_t key, uint8_t vel, font::Trigger trigger,
                           float heldSeconds, float glideCents, float glideSeconds) noexcept;
    // Notes whose samples the loader is still reading wait here, and start
    // (late) when the data is in; see StartDeferred.
    bool Defer(int c, const font::ResolvedPreset& rp, uint8_t key, uint8_t vel) noexcept;
    void StartDeferred() noexcept;
    void DropDeferred(int c) noexcept;
    // Mono mode: a key goes down or up on a channel playing one note at a
    // time. Returns false when the note is left to the ordinary path.
    bool MonoNoteOn(int c, uint8_t key, uint8_t vel) noexcept;
    bool MonoNoteOff(int c, uint8_t key) noexcept;
    void RetuneKey(int c, uint8_t from, uint8_t to) noexcept;
    float PortamentoSeconds(int c) const noexcept;
    // The key went up (after the sustain pedal): starts its release regions.
    void TriggerRelease(int c, uint8_t key) noexcept;
    void NoteOff(int c, uint8_t key) noexcept;
    void Controller(int c, uint8_t cc, uint8_t value) noexcept;
    void ProgramChange(int c, uint8_t program) noexcept;
    void AllNotesOff(int c, bool ignorePedals) noexcept;
    void AllSoundOff(int c) noexcept;
    void ReleaseHeld(int c) noexcept;
    void DataEntry(int c, bool msb, uint8_t value) noexcept;
    void SystemReset(SystemMode mode) noexcept;
    // Effect programs and their parameters (GS and XG system exclusive).
    void ResetEffects(SystemMode mode) noexcept;
    void GsEffectParameter(uint8_t address, uint8_t value) noexcept;
    void XgEffectParameter(uint8_t address, const uint8_t* data, uint32_t size) noexcept;
    void Touch(int c) noexcept { ++chanVersion_[c]; }

    // Presets
    font::ResolvedPreset ChannelPreset(int c) noexcept;

    // Voices
    int32_t AllocateVoice(uint32_t noteId) noexcept;
    void FreeVoice(int32_t index) noexcept;
    // Makes room: the voice fades out and stops counting (freed at once when
    // no spare voice is left to fade in).
    void Retire(int32_t index) noexcept;
    void Link(int32_t index) noexcept;
    void Unlink(int32_t index) noexcept;
    void MaybeRelease(Voice& v, const ChannelState& ch) noexcept;
    // Puts the candidates in order, quietest first, for the steals that
    // follow: sorts them here, or takes them from the helper finishing the
    // last block, which sorted them there.
    void ReadyCandidates() noexcept;
    void SortCandidateArray() noexcept;
    // The next candidate still fit to steal for note `noteId`, or -1 when
    // none is left.
    int32_t NextCandidate(uint32_t noteId) noexcept;
    // When a block steals more voices than it has candidates: the first
    // kGathered voices in the order that one pass over all voices per
    // steal would take them (quietest first, then by place in the list).
    void GatherCandidates(uint32_t noteId) noexcept;

    // Rendering (synth_render.cpp)
    static void RenderChunkTask(void* self, uint32_t chunk, uint32_t worker) noexcept;
    // The end of a block: the chunks' steal candidates gathered (and
    // sorted, on a helper), their buses summed into chunk 0's, the dry
    // output written, the chorus and reverb run. Everything it reads
    // besides the chunks' buses and the effects' own state is taken when
    // the block is rendered, so events applied while a helper runs it (the
    // next block's) change the next block, not this one.
    struct BlockEnd {
        float* out;
        uint32_t chunks, frames;
        bool fx, chorus, reverb;
        float chorusGain, reverbGain;
        bool sortCandidates; // and raise candReady_, before the sound
    };
    static void BlockEndTask(void* self, uint32_t, uint32_t) noexcept;
    static void FinishBlock(Synth& s, const BlockEnd& job) noexcept;
    void SumChunkBuses(uint32_t chunks, uint32_t n, bool fx) noexcept;
    // The chunks' steal candidates, in chunk order.
    void MergeCandidates(uint32_t chunks) noexcept;
    // The oldest font stack in use, and the voices that ended, freed.
    void MergeChunkResults(uint32_t chunks) noexcept;
    void RenderChunk(uint32_t chunk, uint32_t worker) noexcept;

    Options opt_;
    uint32_t maxVoices_;
    ChannelState channels_[kChannels];
    uint32_t chanVersion_[kChannels] = {};
    font::ResolvedPreset preset_[kChannels];
    bool presetValid_[kChannels] = {};
    bool presetHasRelease_[kChannels] = {};
    bool presetLoaded_[kChannels] = {};
    DrumKeySettings drumKeys_[kChannels];
    // Keys down (not held by a pedal) per channel, for trigger=first/legato.
    uint32_t keysDown_[kChannels] = {};
    // Mono mode: the keys down, oldest first; the last one sounds.
    static constexpr int kMonoKeys = 16;
    uint8_t monoKeys_[kChannels][kMonoKeys];
    int monoCount_[kChannels] = {};
    struct DeferredNote {
        font::ResolvedPreset preset;
        uint64_t frame;
        uint32_t generation;
        uint8_t chan, key, velocity;
        bool released;
    };
    static constexpr int kMaxDeferred = 64;
    DeferredNote deferred_[kMaxDeferred];
    int deferredCount_ = 0;
    // The last note of each key, for release regions.
    struct KeyNote {
        enum State : uint8_t { kUp, kDown, kPedal };
        uint64_t onFrame = 0;
        uint8_t velocity = 0;
        State state = kUp;
    };
    KeyNote keyNotes_[kChannels][128];
    uint64_t now_ = 0; // frames rendered
    SystemMode mode_ = SystemMode::kDefault;
    uint16_t masterVolume_ = 16383;
    uint8_t reverbLevel_ = 64, chorusLevel_ = 64;
    float reverbScale_ = 1.0f;

    std::vector<Voice> voices_;
    std::vector<int32_t> free_;
    std::vector<int32_t> active_;
    // Voices to free after the current block: chunk k writes the ones it
    // finished from its first voice's index on (one slot per active voice).
    std::vector<int32_t> dead_;
    uint32_t fading_ = 0;       // active voices fading out after a steal or shed
    int32_t keyHead_[kChannels][128];
    // Each channel's voices that a later voice may stop (offBy != 0), so a
    // note with an exclusive class looks at those alone rather than at every
    // voice of its channel: a dense drum part sounds hundreds.
    int32_t cutHead_[kChannels];
    uint32_t nextNoteId_ = 0;
    uint32_t eventOffset_ = 0;
    uint32_t seq_[kChannels][128] = {};
    uint32_t random_ = 0x2545f491u;

    using Candidate = StealCandidate;
    static constexpr uint32_t kCandidates = 64;
    // Each chunk keeps only its quietest few, even when it is the block's
    // only one: the first kChunkCandidates steals of a block still take the
    // quietest voices overall, later ones gather afresh (GatherCandidates),
    // and keeping 64 cost several per cent of the render (about 3 % of the
    // realistic benchmark, whose 365 voices make one chunk).
    static constexpr uint32_t kChunkCandidates = 16;
    // A block keeps candidates only when its voices are within a sixteenth
    // of the limit: below that, the rare burst of notes that reaches the
    // limit within one block gathers its candidates at its first steal.
    static constexpr uint32_t kCollectMargin = 16;
    // GatherCandidates keeps this many: a storm of steals in one block may
    // take hundreds of voices.
    static constexpr uint32_t kGathered = 256;
    // While candByHelper_, cand_ and candCount_ belong to the helper that
    // finishes the last block, until it raises candReady_.
    Candidate cand_[kGathered];
    uint32_t candCount_ = 0, candNext_ = 0;
    bool candSorted_ = false;
    // cand_ holds what GatherCandidates found during note gatherNote_, not
    // the last block's candidates.
    bool candGathered_ = false;
    uint32_t gatherNote_ = 0;
    // GatherCandidates' workspace: every voice fit to steal (one per voice
    // of the pool).
    std::vector<Candidate> ranked_;
    bool candByHelper_ = false;
    std::atomic<bool> candReady_{false};

    std::unique_ptr<font::VoiceDesc[]> descs_;
    static constexpr size_t kMaxLayers = 64;

    const font::FontStack* stack_ = nullptr;
    uint32_t stackGeneration_ = 0;
    uint32_t oldestStack_ = 0;

    // What every chunk of the block being rendered reads (set before the
    // chunks are handed out, constant while they run).
    struct BlockInputs {
        float mix[kChannels];
        BlockSpan span;
        // Chunk k renders active voices chunkBegin[k] .. chunkBegin[k + 1] - 1.
        uint32_t chunkBegin[kMaxChunks + 1];
        bool fx;
        bool collect; // keep steal candidates (the stream is near its voice limit)
    };
    BlockInputs in_{};
    // One chunk's own mixing targets and results; chunk 0's buses end up
    // holding the block's sum.
    struct Chunk {
        MixBuses bus;
        Candidate cand[kChunkCandidates];
        uint32_t candCount = 0;
        uint32_t deadCount = 0;
        uint32_t oldest = 0;
    };
    std::unique_ptr<Chunk[]> chunks_;
    // What a chunk works in and leaves nothing of, one set per thread that
    // renders the block's chunks (the render pool's worker): a thread
    // takes several chunks in a block, so its working buffers stay in its
    // core's caches from one chunk to the next, and a block touches one
    // set per thread rather than one per chunk.
    struct Scratch {
        // The chunk's lanes (MixBuses::lanes), cleared before its first group.
        alignas(32) float lanes[4][8 * kBlockFrames];
        alignas(32) float groupBuf[kFilterGroup][kBlockFrames] = {}; // spare ones are filter lanes of the filler
        // Fills the empty lanes of a chunk's last, partial groups of plain
        // voices: silent (set up once), so the lanes it takes add exactly
        // nothing. Its filter (the identity, never used for its own sound)
        // also fills the last group of filtered voices.
        Voice filler;
    };
    std::unique_ptr<Scratch[]> scratch_; // as many as chunks_: a block never has more workers than chunks
    uint32_t chunkCap_ = 1;
    uint32_t threads_ = 1;
    // While a helper finishes a block (blockEndPosted_), only it may touch
    // reverb_, chorus_ and the chunks' buses: CompleteBlock() first.
    Reverb reverb_;
    Chorus chorus_;
    BlockEnd blockEnd_{};
    bool blockEndPosted_ = false;
    ReverbSettings reverbSet_;
    ChorusSettings chorusSet_;
    bool reverbOn_ = true, chorusOn_ = true; // XG "no effect" types turn them off
    LoadRequestFn loadFn_ = nullptr;
    void* loadCtx_ = nullptr;
};

} // namespace tsl
