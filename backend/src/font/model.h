// The in-memory instrument model shared by the soundfont readers (SF2, SF3,
// SFZ) and the synthesizer.
//
// Everything a font holds is immutable after FontInit returns, except the
// sample data (loaded and unloaded on demand, see Sample) and the font volume.
// All lookups (FindPreset, ResolvePreset, CollectVoices) are const, lock-free
// and never allocate: they may run on the render thread.
//
// Units used throughout (the SoundFont 2.04 units):
//   cents            1/100 semitone
//   absolute cents   1200*log2(f / 8.176 Hz)          (filter cutoff, LFO rates)
//   timecents        1200*log2(seconds); -12000 means "instant" (~1 ms)
//   centibels (cB)   1/10 dB of attenuation (positive = quieter)
//   0.1 %            pan (-500 left .. +500 right), effect sends, sustain of the
//                    modulation envelope
//   frames           sample positions of one mono sample
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tsl::font {

// ---------------------------------------------------------------------------
// Generators (SoundFont 2.04, section 8.1.2). Index = SF2 generator number.
enum Gen : uint8_t {
    kGenStartAddrsOffset = 0,
    kGenEndAddrsOffset = 1,
    kGenStartloopAddrsOffset = 2,
    kGenEndloopAddrsOffset = 3,
    kGenStartAddrsCoarseOffset = 4,
    kGenModLfoToPitch = 5,
    kGenVibLfoToPitch = 6,
    kGenModEnvToPitch = 7,
    kGenInitialFilterFc = 8,
    kGenInitialFilterQ = 9,
    kGenModLfoToFilterFc = 10,
    kGenModEnvToFilterFc = 11,
    kGenEndAddrsCoarseOffset = 12,
    kGenModLfoToVolume = 13,
    kGenChorusEffectsSend = 15,
    kGenReverbEffectsSend = 16,
    kGenPan = 17,
    kGenDelayModLfo = 21,
    kGenFreqModLfo = 22,
    kGenDelayVibLfo = 23,
    kGenFreqVibLfo = 24,
    kGenDelayModEnv = 25,
    kGenAttackModEnv = 26,
    kGenHoldModEnv = 27,
    kGenDecayModEnv = 28,
    kGenSustainModEnv = 29,
    kGenReleaseModEnv = 30,
    kGenKeynumToModEnvHold = 31,
    kGenKeynumToModEnvDecay = 32,
    kGenDelayVolEnv = 33,
    kGenAttackVolEnv = 34,
    kGenHoldVolEnv = 35,
    kGenDecayVolEnv = 36,
    kGenSustainVolEnv = 37,
    kGenReleaseVolEnv = 38,
    kGenKeynumToVolEnvHold = 39,
    kGenKeynumToVolEnvDecay = 40,
    kGenInstrument = 41,
    kGenKeyRange = 43,
    kGenVelRange = 44,
    kGenStartloopAddrsCoarseOffset = 45,
    kGenKeynum = 46,
    kGenVelocity = 47,
    kGenInitialAttenuation = 48,
    kGenEndloopAddrsCoarseOffset = 50,
    kGenCoarseTune = 51,
    kGenFineTune = 52,
    kGenSampleId = 53,
    kGenSampleModes = 54,
    kGenScaleTuning = 56,
    kGenExclusiveClass = 57,
    kGenOverridingRootKey = 58,
    // Not a file generator (slot 59 is "unused5" in files and is ignored when
    // read): the destination "initial pitch", in cents, of the default pitch
    // wheel modulator. Always 0 in VoiceDesc::gen; modulators add to it.
    kGenInitialPitch = 59,
    kGenEndOper = 60,
    kGenCount = 61
};

// Default value of each generator (what a zone has when nobody sets it).
int16_t GenDefault(int gen) noexcept;
// The range of each generator's final value (the whole int32 range for
// generators without one).
struct GenRange {
    int32_t lo, hi;
};
extern const std::array<GenRange, kGenCount> kGenRanges;
// Clamps a final value (generators + modulators) to the range the SoundFont
// standard gives for the generator. For the envelope and LFO timecents, the
// filter, attenuation (0..1440 cB) etc.; generators without a range pass.
// Inline: every voice of a channel clamps all its generators after each
// controller change, and a call per generator was half of that work.
inline int32_t ClampGen(int gen, int32_t value) noexcept {
    if (gen < 0 || gen >= kGenCount) return value;
    return std::clamp(value, kGenRanges[gen].lo, kGenRanges[gen].hi);
}
// True for the generators that a preset zone may set (they are added to the
// instrument's value); sample address offsets, keynum, velocity, sampleModes,
// exclusiveClass and overridingRootKey are instrument-only and ignored at
// preset level.
bool GenAllowedInPreset(int gen) noexcept;

// ---------------------------------------------------------------------------
// Modulators (SoundFont 2.04, section 8.2), stored exactly as in the file.
// Source operator bits: 0-6 index, 7 CC flag (index is a MIDI controller),
// 8 direction (1 = max to min), 9 polarity (1 = bipolar), 10-15 curve type
// (0 linear, 1 concave, 2 convex, 3 switch). General controller indices:
// 0 none (=1), 2 note-on velocity, 3 note-on key, 10 poly pressure,
// 13 channel pressure, 14 pitch wheel, 16 pitch-wheel sensitivity (RPN 0,
// in semitones), 127 link. destOper is a generator number (kGenInitialPitch
// for the pitch wheel). Linked modulators keep destOper 0x8000 | index, the
// index being the linked-to modulator's place in the same list.
struct Modulator {
    uint16_t srcOper = 0;
    uint16_t destOper = 0;
    int16_t amount = 0;
    uint16_t amtSrcOper = 0;
    uint16_t transOper = 0; // 0 linear, 2 absolute value

    // "Identical" in the sense of the standard: all but the amount equal.
    bool SameAs(const Modulator& o) const noexcept {
        return srcOper == o.srcOper && destOper == o.destOper && amtSrcOper == o.amtSrcOper &&
               transOper == o.transOper;
    }
};

// The ten default modulators of SoundFont 2.04 section 8.4, in order:
// velocity->attenuation (960 cB, concave), velocity->filter cutoff (-2400),
// channel pressure->vibrato LFO pitch (50), CC1->vibrato LFO pitch (50),
// CC7->attenuation (960, concave), CC10->pan (bipolar; 500 here where the
// format says 1000: model.cpp), CC11->attenuation (960, concave), CC91->reverb
// send (200), CC93->chorus send (200), pitch wheel->initial pitch (12700,
// scaled by pitch-wheel sensitivity).
extern const Modulator kDefaultModulators[10];

constexpr size_t kMaxVoiceModulators = 48; // per VoiceDesc; more are dropped

// ---------------------------------------------------------------------------
// Samples.
//
// PCM is always mono, 16-bit signed (`pcm`), plus an optional low byte per
// frame (`pcmLow`, non-null only for 24-bit sources: SF2 sm24, 24/32-bit and
// float WAV) so that value24 = pcm[i] * 256 + pcmLow[i]. Stereo sources become
// two Sample objects of type kLeft/kRight linked to each other (SF2 style); a
// stereo SFZ sample yields two voices, one per channel.
//
// Memory layout of a loaded sample: frame i of the sample (0 <= i < length) is
// pcm[i]; pcm[-kGuard .. -1] are zeros, pcm[length .. length+kGuard-1] are
// zeros, so an interpolator with up to kGuard taps each side may read any
// position in [0, length] without checking bounds.
//
// Loop seams: for every distinct loop a zone can play (see Sample::loops),
// LoopSeam(i) points to LoopSpan::seamLength frames that continue the loop
// across its end: seam[j] is the value at looped position (loopEnd - kGuard +
// j), so seam[0 .. kGuard-1] = data[loopEnd-kGuard .. loopEnd-1] and
// seam[kGuard ..] = data[loopStart ..], wrapping as often as the loop repeats.
// A voice within kGuard/2 of loopEnd renders from the seam until it comes
// within kGuard/2 of the seam's end; then it moves back by whole loops: into
// the data for a long loop (whose seam is 2*kGuard frames), or, for a loop
// shorter than kShortLoop, to the seam's start again: those seams hold a whole
// loop and kSeamRun frames more, so a voice playing a short loop stays in its
// seam and wraps once every kSeamRun frames or so rather than twice a loop.
// With taps <= kGuard no read ever needs a branch. (The seam for 24-bit data
// is LoopSeamLow.)
constexpr int kGuard = 16;
constexpr uint32_t kShortLoop = 1024;
constexpr uint32_t kSeamRun = 1024;

enum class SampleType : uint8_t { kMono = 1, kRight = 2, kLeft = 4, kLinked = 8 };

struct LoopSpan {
    // As requested by the zones (relative to the sample's first frame; may lie
    // outside the sample in broken files).
    int64_t rawStart = 0, rawEnd = 0;
    // Valid once the sample is ready: clamped into [0, length], and `valid`
    // false when the clamped loop is shorter than 2 frames (then the zone
    // plays unlooped).
    uint32_t start = 0, end = 0;
    bool valid = false;
    // Where the loop's seam lies among the sample's seams, and its length
    // (see above); fixed with the loop.
    uint32_t seamOffset = 0, seamLength = 2 * kGuard;
};

class Font;

struct Sample {
    std::string name;
    uint32_t sampleRate = 44100;
    uint8_t originalPitch = 60;  // MIDI key of the recorded pitch (255 in file -> 60)
    int8_t pitchCorrection = 0;  // cents
    SampleType type = SampleType::kMono;
    Sample* link = nullptr;      // stereo partner, or null

    // Loops referenced by zones; index 0 is the sample's own loop (from the
    // sample header or the WAV smpl chunk). Fixed after FontInit.
    std::vector<LoopSpan> loops;

    // --- Loaded state. Written only under Font's load lock, read by voices
    // only between a successful Acquire() and the matching Release(). ---
    uint32_t length = 0;          // frames; known at FontInit for PCM SF2, else after loading
    const int16_t* pcm = nullptr; // frame 0; see layout above
    const uint8_t* pcmLow = nullptr;
    const int16_t* LoopSeam(size_t loop) const noexcept {
        return seams + loops[loop].seamOffset;
    }
    const uint8_t* LoopSeamLow(size_t loop) const noexcept {
        return seamsLow ? seamsLow + loops[loop].seamOffset : nullptr;
    }

    // True when pcm can be read. Acquire/Release bracket the use by a voice so
    // that an unload (BASS_MIDI_FontUnload) never frees data a voice plays:
    // Acquire() returns false when the sample is not ready; after true the data
    // stays valid until Release(). Both are lock-free and may be called on the
    // render thread.
    bool Ready() const noexcept { return ready.load(std::memory_order_acquire); }
    bool Acquire() const noexcept {
        users.fetch_add(1, std::memory_order_seq_cst);
        if (ready.load(std::memory_order_seq_cst)) return true;
        users.fetch_sub(1, std::memory_order_release);
        return false;
    }
    void Release() const noexcept { users.fetch_sub(1, std::memory_order_release); }

    // --- Internals of the readers (where the data comes from). ---
    struct Source {
        enum Kind : uint8_t { kNone, kPcm16, kOgg, kFile } kind = kNone;
        // SF2/SF3: byte offset of frame 0 (kPcm16) or of the Ogg stream (kOgg)
        // in the font file. SFZ: the order in which Load(-1, -1) reads.
        uint64_t offset = 0;
        uint64_t bytes = 0;     // SF2/SF3: 2*frames (kPcm16) or the Ogg stream's size
        uint64_t offset24 = 0;  // kPcm16 with sm24: byte offset of the low bytes, else 0
        std::string path;       // SFZ: the WAV (kFile) or Ogg Vorbis (kOgg) file, UTF-8
        int channel = 0;        // SFZ: which channel of a stereo file
    } source;

    mutable std::atomic<bool> ready{false};
    mutable std::atomic<int> users{0};
    const int16_t* seams = nullptr;
    const uint8_t* seamsLow = nullptr;
    std::unique_ptr<int16_t[]> storage;   // owns pcm and seams
    std::unique_ptr<uint8_t[]> storageLow;
    // Storage of an unload that found users; freed by a later load/unload call.
    bool retired = false;
    bool lengthKnown = false; // length and loop clamps computed (once)
    uint32_t seamFrames = 0;  // all the loops' seams together

    // Records the length in frames and clamps every loop into it; from then on
    // the sample's geometry is fixed (loads keep the length they found).
    void SetLength(uint32_t frames);
};

// ---------------------------------------------------------------------------
// SFZ extras: what SoundFont generators cannot say. Null for SF2 zones.
enum class Trigger : uint8_t { kAttack, kRelease, kFirst, kLegato };
enum class FilterType : uint8_t {
    kLowpass2,  // SF2's filter; SFZ lpf_2p (the default)
    kLowpass1,  // lpf_1p
    kHighpass2, // hpf_2p
    kHighpass1, // hpf_1p
    kBandpass2, // bpf_2p
    kBandStop2, // brf_2p
};

struct CcRange {
    uint8_t cc, lo, hi;
};

struct SfzParams {
    // kRelease regions answer only kRelease requests (note-off); kFirst and
    // kLegato regions answer attack requests like kAttack, and the synth
    // keeps them (first: no other key held on the channel; legato: one is).
    Trigger trigger = Trigger::kAttack;
    float rtDecay = 0;        // dB per second since note-on, applied to release-trigger voices
    // Percent. Replaces the velocity->attenuation default modulator (SFZ
    // zones do not carry it): amplitude gain = (1 - |t|) + |t| * x^2 with
    // t = ampVeltrack/100, x = v/127 for t >= 0 and (127 - v)/127 for t < 0.
    float ampVeltrack = 100;
    uint16_t seqLength = 1, seqPosition = 1; // round robin (1-based position)
    float loRand = 0, hiRand = 1;            // region plays when loRand <= random < hiRand
    uint8_t ccCount = 0;
    CcRange cc[8];                            // loccN/hiccN conditions
};

// ---------------------------------------------------------------------------
// Zones, instruments, presets.

// Which zones of a list take each key, in list order: a note-on reads only
// those, where a sampled piano can hold thousands of zones, a few dozen to a
// key. Built by Font::Finish, after which the lists stay as they are; until
// then every zone is read.
struct KeyIndex {
    std::vector<uint32_t> start; // kKeys + 1 offsets into `zones` once built
    std::vector<uint32_t> zones;
    static constexpr int kKeys = 128;

    template <class Zone>
    void Build(const std::vector<Zone>& list) {
        start.assign(kKeys + 1, 0);
        for (const Zone& z : list)
            for (int k = z.keyLo; k <= z.keyHi && k < kKeys; ++k) ++start[k + 1];
        for (int k = 0; k < kKeys; ++k) start[k + 1] += start[k];
        zones.resize(start[kKeys]);
        std::vector<uint32_t> at(start.begin(), start.end() - 1);
        for (uint32_t i = 0; i < list.size(); ++i)
            for (int k = list[i].keyLo; k <= list[i].keyHi && k < kKeys; ++k) zones[at[k]++] = i;
    }

    // Calls fn(zone) for the zones of `list` whose key range holds `key`, in
    // list order, while fn returns true; returns false when fn stopped it.
    template <class Zone, class Fn>
    bool ForKey(const std::vector<Zone>& list, uint8_t key, Fn&& fn) const {
        if (start.empty()) {
            for (const Zone& z : list)
                if (key >= z.keyLo && key <= z.keyHi && !fn(z)) return false;
            return true;
        }
        if (key >= kKeys) return true;
        for (uint32_t j = start[key]; j < start[key + 1]; ++j)
            if (!fn(list[zones[j]])) return false;
        return true;
    }
};

struct InstrumentZone {
    uint8_t keyLo = 0, keyHi = 127, velLo = 0, velHi = 127;
    // Every generator: the instrument's global zone merged under the local
    // one, defaults elsewhere. Key/vel range and sampleID slots are unused.
    int16_t gen[kGenCount];
    const Sample* sample = nullptr;
    uint16_t loop = 0;               // index into sample->loops used by this zone
    // Play range before clamping: start relative to the sample's frame 0; the
    // end is endAbs when >= 0 (SFZ `end`), else the sample's length + endOffset.
    int64_t start = 0, endOffset = 0, endAbs = -1;
    float gainDb = 0;                // SFZ volume (may be > 0); 0 for SF2
    FilterType filter = FilterType::kLowpass2;
    bool oneShot = false;            // SFZ loop_mode=one_shot: note-off is ignored
    uint32_t group = 0, offBy = 0;   // see VoiceDesc
    std::vector<Modulator> mods;     // defaults, overridden/added by global then local zone
    const SfzParams* sfz = nullptr;
};

struct Instrument {
    std::string name;
    std::vector<InstrumentZone> zones;
    KeyIndex byKey;
};

struct PresetZone {
    uint8_t keyLo = 0, keyHi = 127, velLo = 0, velHi = 127;
    // Additive offsets: the preset's global zone merged under the local one;
    // 0 where unset and for generators not allowed at preset level.
    int16_t gen[kGenCount];
    const Instrument* instrument = nullptr;
    std::vector<Modulator> mods;     // global overridden/added by local
};

struct Preset {
    std::string name;
    uint16_t program = 0;  // 0..127
    uint16_t bank = 0;     // SF2 wBank: 0..127 melodic (MIDI bank MSB), 128 percussion
    bool anyProgram = false, anyBank = false; // SFZ: answers every program / bank
    std::vector<PresetZone> zones;
    KeyIndex byKey;
    // Every sample the zones can play (for EnsureLoaded). Fixed after FontInit.
    std::vector<Sample*> samples;
};

// ---------------------------------------------------------------------------
// The note-on query.

struct NoteRequest {
    uint8_t key = 60;
    uint8_t velocity = 100;            // 1..127 (the note-on velocity, also for release triggers)
    Trigger trigger = Trigger::kAttack; // kRelease at note-off for SFZ release regions
    const uint8_t* cc = nullptr;       // 128 controller values of the channel, or null (all 0)
    float random = 0;                  // uniform in [0,1), drawn once per note
    uint32_t seq = 0;                  // notes already started on this channel and key (round robin)
    bool legato = false;               // another key of the channel is down (trigger=first/legato)
};

// One voice to start: everything already combined.
struct VoiceDesc {
    const Sample* sample = nullptr;   // mono; check Acquire() before playing
    const InstrumentZone* zone = nullptr;
    const PresetZone* presetZone = nullptr;
    // Instrument value + preset offset per SoundFont 2.04 section 9.4, before
    // modulators and before range clamping (use ClampGen after adding
    // modulator outputs). kGenInitialPitch = 0.
    int32_t gen[kGenCount];
    // Sample positions after the address offsets, relative to pcm[0]; clamped
    // so that 0 <= start < end <= length and start <= loopStart < loopEnd <= end.
    // loopMode: 0 no loop, 1 loop continuously, 3 loop until release then play
    // to the end (sampleModes; 2 is read as 0, and an invalid loop gives 0).
    uint32_t start = 0, end = 0, loopStart = 0, loopEnd = 0;
    uint16_t loop = 0;                // index for sample->LoopSeam()
    uint8_t loopMode = 0;
    uint8_t rootKey = 60;             // overridingRootKey, else the sample's original pitch
    // Exclusive classes, generalised: when a voice with group g != 0 starts,
    // the channel's voices whose offBy == g are stopped (quick release). For
    // SF2, group = offBy = exclusiveClass (the SF2 rule limits this to the
    // same preset; voices of one channel share a preset in practice).
    uint32_t group = 0, offBy = 0;
    float gainDb = 0;                 // extra gain on top of attenuation (SFZ volume)
    FilterType filter = FilterType::kLowpass2;
    bool oneShot = false;
    const SfzParams* sfz = nullptr;   // null for SF2 voices
    uint16_t modCount = 0;
    Modulator mods[kMaxVoiceModulators]; // instrument list, then preset modulators added (section 9.5)
};

// Fills `out` with the voices of `preset` that answer the note (key, velocity
// and SFZ conditions). Returns the number written (at most capacity; excess
// zones are dropped). Zones whose sample is not ready are skipped (positions
// need the loaded length); the synth still brackets playback with
// sample->Acquire()/Release(), since an unload may come in between.
// No allocation, no locks.
size_t CollectVoices(const Preset& preset, const NoteRequest& note, VoiceDesc* out,
                     size_t capacity) noexcept;

// ---------------------------------------------------------------------------
// A loaded font (SF2, SF3 or SFZ). Shared through std::shared_ptr: the handle
// table holds one reference, every stream's stack holds one, so freeing a
// handle while a stream plays it is safe.
class Font {
public:
    virtual ~Font();

    std::string name, copyright, comment; // INAM, ICOP, ICMT (SFZ: file name)
    uint32_t flags = 0;                   // BASS_MIDI_FONT_* given to FontInit
    uint32_t sampleType = 0;              // BASS_MIDI_SAMTYPE_PCM or _OGG
    uint64_t sampleBytes = 0;             // size of the sample data in the file(s)
    uint16_t versionMajor = 0, versionMinor = 0; // ifil

    std::vector<std::unique_ptr<Sample>> samples;
    std::vector<std::unique_ptr<Instrument>> instruments;
    std::vector<std::unique_ptr<Preset>> presets; // file order

    // Volume set by BASS_MIDI_FontSetVolume (linear, 1 = unchanged).
    std::atomic<float> volume{1.0f};

    // Exact lookup: the first preset (in file order) with this bank and
    // program; wildcard SFZ presets match anything. Binary search, no allocation.
    const Preset* FindPreset(int bank, int program) const noexcept;

    // True when every sample of the preset is ready (lock-free).
    bool IsLoaded(const Preset& preset) const noexcept;
    // Loads the sample data of every sample of the preset. Blocking (file
    // I/O, decoding): call it from a non-render thread. Thread-safe; returns
    // true when all the preset's samples are ready.
    bool EnsureLoaded(const Preset& preset);
    // FontLoad / FontUnload: preset -1 = every preset, bank -1 = every bank.
    // Returns false (and sets *error) when a sample could not be read or the
    // preset does not exist.
    bool Load(int preset, int bank, int* error);
    bool Unload(int preset, int bank);
    // Bytes of sample data currently loaded (BASS_MIDI_FONTINFO::samload).
    uint64_t LoadedBytes() const noexcept { return loadedBytes.load(std::memory_order_relaxed); }

    // Internal: called by readers once the model is complete (builds the
    // lookup index and per-preset sample lists).
    void Finish();

protected:
    // Reads the frames of one sample into freshly allocated storage; the
    // reader behind the font implements it. Called under loadMutex.
    virtual bool ReadSample(Sample& s, std::vector<int16_t>& pcm, std::vector<uint8_t>& low) = 0;

private:
    bool LoadSampleLocked(Sample& s);
    void UnloadSampleLocked(Sample& s);
    void CollectRetiredLocked();

    std::mutex loadMutex;
    std::atomic<uint64_t> loadedBytes{0};
    struct IndexEntry {
        uint32_t key; // bank << 8 | program
        const Preset* preset;
    };
    std::vector<IndexEntry> index;   // sorted by key, first in file order kept
    const Preset* wildcard = nullptr; // SFZ preset answering everything
};

// Opens a font file (.sf2, .sf3 or .sfz, by content; .sfz by extension).
// `path` is UTF-8. Returns null and sets *error (BASS_ERROR_*) on failure.
std::shared_ptr<Font> OpenFont(const std::string& path, uint32_t flags, int* error);

// ---------------------------------------------------------------------------
// The font stack of a stream: BASS_MIDI_StreamSetFonts builds a new FontStack
// (on a non-render thread) and swaps it in whole; the render thread only reads
// the current one. A stack holds shared_ptrs to its fonts, so a font stays
// alive while a stack that holds it lives. The synth must not let the last
// reference to a stack (or a font) drop on the render thread, and must keep
// the stack alive while voices of its fonts play (Sample pointers are owned
// by the font).
struct StackEntry {
    std::shared_ptr<Font> font;
    int preset = -1; // -1: all presets of the font, `bank` is then an offset
                     // added to the font's melodic banks (not to bank 128)
    int bank = 0;    // with preset >= 0: the font's preset (bank, preset)
                     // answers every program of every bank (melodic when the
                     // font bank is < 128, else every drum kit), like a
                     // program override
};

struct PresetRequest {
    int bank = 0;        // MIDI bank (MSB), 0..127; ignored when drums
    int program = 0;     // 0..127 (for drums: the kit)
    bool drums = false;  // drum channel: looks in bank 128
    bool xg = false;     // XG mode: fonts flagged BASS_MIDI_FONT_XGDRUMS answer
                         // drum kits from bank 127 before bank 128
};

struct ResolvedPreset {
    const Font* font = nullptr;
    const Preset* preset = nullptr;
    explicit operator bool() const noexcept { return preset != nullptr; }
};

class FontStack {
public:
    FontStack() = default;
    explicit FontStack(std::vector<StackEntry> entries) : entries_(std::move(entries)) {}
    const std::vector<StackEntry>& Entries() const noexcept { return entries_; }

    // Resolution order, first element of the stack first in each pass:
    //  1. exact: (bank, program) or, for drums, (128, kit) [(127, kit) first
    //     in XG mode for XGDRUMS fonts];
    //  2. melodic: (0, program), the GM fallback; drums: kit 0, (128, 0)
    //     [(127, 0) first as above].
    // Nothing found: empty result (the note is silent).
    // No allocation, no locks.
    ResolvedPreset Resolve(const PresetRequest& req) const noexcept;

private:
    std::vector<StackEntry> entries_;
};

// Convenience for the synth: same as stack.Resolve(req).
inline ResolvedPreset ResolvePreset(const FontStack& stack, const PresetRequest& req) noexcept {
    return stack.Resolve(req);
}

} // namespace tsl::font
