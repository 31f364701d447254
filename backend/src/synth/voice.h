// One sounding voice: a sample played at a pitch through the SoundFont
// envelopes, LFOs and filter. Voices live in a fixed pool (voice_pool.h) and
// are touched only by the render thread.
//
// Work is split in two: BeginBlock (once per block: modulators when the
// channel changed, envelopes, LFOs, pitch, gains, filter coefficients) and
// Render (the per-sample loop: interpolate, scale by a linear gain ramp,
// filter, and mix into the dry and send buses by the pan and send shares).
#pragma once

#include <cmath>
#include <cstdint>

#include "font/model.h"
#include "synth/block_frames.h"
#include "synth/channel_state.h"
#include "synth/envelope.h"
#include "synth/filter.h"

namespace tsl {

// Most dynamic (controller-driven) modulators a voice keeps; the defaults use 8.
constexpr uint32_t kMaxDynamicMods = 24;

// The per-block mixing targets of the voices.
struct MixBuses {
    alignas(32) float left[kBlockFrames];
    alignas(32) float right[kBlockFrames];
    alignas(32) float reverb[kBlockFrames];
    alignas(32) float chorus[kBlockFrames];
    // Lane-interleaved partial sums of the voices rendered four and eight
    // at a time (left, right, reverb, chorus; kernels.h), 32-byte aligned;
    // folded into the buses above at the end of the block. Whoever renders
    // into the buses lends them (Synth: the rendering thread's own).
    float (*lanes)[8 * kBlockFrames] = nullptr;
};

// The block the voices are about to render: `frames` at `rate`, and what
// every voice would otherwise divide out for itself.
struct BlockSpan {
    uint32_t frames;
    float rate;
    float seconds; // frames / rate
    float inverse; // 1 / frames
    float radiansPerHz; // 2 pi / rate
    static BlockSpan Of(uint32_t frames, float rate) noexcept {
        return BlockSpan{frames, rate, static_cast<float>(frames) / rate, 1.0f / static_cast<float>(frames),
                         6.28318531f / rate};
    }
};

// What a note-on knows beyond the voice description.
struct NoteContext {
    const ChannelState* channel = nullptr;
    uint8_t key = 60;       // as received (note-off matching)
    uint8_t soundKey = 60;  // after transposition (what sounds)
    uint8_t velocity = 100;
    uint32_t noteId = 0;
    float fontVolume = 1.0f;
    float outputRate = 48000;
    bool sinc = false;
    uint32_t startDelay = 0; // frames into the next block where the note begins
    // The drum part's settings of this key (DrumKeySettings::kCount values,
    // kUnset where the font's sound stays), or null on melodic parts.
    const uint8_t* drum = nullptr;
    // Portamento: the note starts this many cents away from its pitch and
    // glides there in glideSeconds.
    float glideCents = 0, glideSeconds = 0;
};

struct Voice {
    // --- identity and bookkeeping (voice_pool.h) ---
    uint32_t noteId = 0;
    uint32_t generation = 0;   // bumped at every start; stale steal candidates are skipped
    int32_t prev = -1, next = -1; // in the (channel, key) list
    int32_t cutPrev = -1, cutNext = -1; // in the channel's list of voices with offBy != 0
    int32_t activeSlot = -1;
    uint8_t chan = 0, key = 0, velocity = 0, soundKey = 0;
    bool released = false;     // note-off applied (or pedal let go)
    bool keyUp = false;        // the note-off (or all-notes-off) has arrived; pedals may still hold it
    bool heldBySostenuto = false;
    bool oneShot = false;
    bool sinc = false;
    bool stolen = false;       // fading out to make room; no longer counts against the limit
    uint32_t group = 0, offBy = 0;
    uint32_t chanVersion = 0;
    uint32_t stackGeneration = 0;
    // Loudness estimate for stealing and shedding; with the identity above
    // in one cache line, which is all a pass over the voices for a steal reads.
    float level = 0;
    static constexpr float kStartLevel = 1.0f; // the estimate until the first block

    // --- sample playback ---
    const font::Sample* sample = nullptr;
    const int16_t* pcm = nullptr;
    const int16_t* seam = nullptr;
    const uint8_t* pcmLow = nullptr;  // 24-bit samples: the low bytes, else null
    const uint8_t* seamLow = nullptr;
    uint64_t pos = 0;          // 32.32 fixed point, frames from pcm[0]
    uint64_t inc = 0;
    // A block whose pitch moves plays its first half, up to frame pitchAt,
    // at earlyInc (pitchAt 0: the whole block at inc).
    uint64_t earlyInc = 0;
    uint32_t pitchAt = 0;
    uint64_t StepAt(uint32_t frame) const noexcept { return frame < pitchAt ? earlyInc : inc; }
    uint32_t end = 0, loopStart = 0, loopEnd = 0;
    uint32_t seamLength = 0;   // frames of the loop's seam (font/model.h)
    uint8_t loopMode = 0;
    bool looping = false;
    int sincBand = 0;
    float pitchScale = 1;      // sample rate / output rate
    float lastCents = 0;       // the pitch `inc` was computed for
    float pitchModFrom = 0;    // cents the LFOs and modulation envelope added at the last block's end
    float glideCents = 0;      // portamento: cents still to go, moved towards 0
    float glideRate = 0;       // cents per second

    // --- modulated parameters (the full generator arrays are at the end) ---
    float keyPitchCents = 0;   // scale-tuned key distance from the root + sample correction
    uint8_t rootKey = 60;      // of the zone, for retuning (mono legato)
    float staticGain = 1;      // attenuation, font volume and extra gains
    float fontGain_ = 1;       // the note-on-time part of staticGain
    float busShare[4] = {0.7071f, 0.7071f, 0, 0}; // pan left and right, reverb and chorus sends (Bus order)
    float sendScale[2] = {1, 1}; // a drum key's own reverb and chorus share

    Envelope volEnv, modEnv;
    EnvelopeTimes volTimes, modTimes;
    Lfo modLfo, vibLfo;

    // Per-block inputs that change only with the modulated values.
    float modLfoDelay = 0, modLfoHz = 8.176f, vibLfoDelay = 0, vibLfoHz = 8.176f;
    // Time an LFO with nothing to modulate has not been advanced by yet; it
    // catches up at once when a controller gives it a depth.
    float modLfoLag = 0, vibLfoLag = 0;
    uint32_t startDelay = 0;   // frames of the first block before the note starts

    font::FilterType filterType = font::FilterType::kLowpass2;
    bool filterOn = false;
    float filterFc = -1;           // the cutoff `filter` was computed for
    Resonance filterRes{-1};       // and its resonance (cb -1: none yet)
    // The block's coefficients glide from filterFrom to `filter`, by
    // filterStep a frame: a jump between blocks, with the state carried
    // over, clicks, worst for a sweep near the top of the range (a cutoff
    // falling from 19 kHz by a hundred cents a block left a click every
    // block 17 dB under the note). Off is the identity {1, 0, 0, 0, 0}: a
    // filter turning on glides in from it, one turning off glides out to it
    // and is left off at the next block.
    BiquadCoeffs filter, filterFrom, filterStep{0, 0, 0, 0, 0};
    BiquadState filterState;

    // A note-off (or cut) that arrived for a frame inside the next block:
    // the envelopes enter their release exactly there.
    static constexpr uint32_t kNoPending = UINT32_MAX;
    uint32_t pendingAt = kNoPending;
    bool pendingCut = false, pendingUnloop = false;
    bool unloopAfterBlock = false;
    float envPrev = 0;         // volume envelope at the end of the last block
    // What moves a voice's pitch, as it stood at a block's start.
    struct PitchModulators {
        Lfo vib, mod;
        Envelope env;
        float vibLag = 0, modLag = 0;
    };
    // The cents those modulators add at frame `at` of a block from `s`, with
    // a release at `r` (or `frames`); advances m. Only for the few blocks
    // whose pitch moves, so out of BeginBlock's line.
    [[gnu::noinline]] float PitchModAt(PitchModulators& m, uint32_t s, uint32_t r, uint32_t at,
                                       float outputRate) const noexcept;
    // Starts the pending release; `heard`: the envelope level the output has
    // at that frame.
    void FirePending(float heard) noexcept;

    // The voice's gain ramps linearly over the block in up to three
    // segments, [start, brk), [brk, brk2) and [brk2, frames): segment k
    // starts from gainFrom[k] and moves by gainStep[k] per frame; the block
    // ends at gainTo. The ramp bends where the attack peaks and where a
    // release begins inside the block, and in a fast decay or release onto
    // its curve; unused segments are empty (brk = brk2 = frames). The gain
    // scales the signal before the filter, as the envelope shapes what the
    // filter hears.
    //
    // Each bus (kL, kR, kReverb, kChorus) then takes its share of the
    // filtered signal: shareTo[bus], reached from the last block's share in
    // steps of shareStep[bus], so that a pan or send that moved glides over
    // one block; otherwise the step is zero.
    enum Bus { kL, kR, kReverb, kChorus };
    uint32_t brk = kBlockFrames, brk2 = kBlockFrames;
    float gainFrom[3] = {}, gainStep[3] = {}, gainTo = 0;
    float shareFrom[4] = {}, shareStep[4] = {}, shareTo[4] = {};
    bool sharesKnown = false; // false until the first block: nothing to glide from

    // What BeginBlock reads of the modulated values, copied by Recompute so
    // a block touches a few cache lines of the voice rather than the whole
    // generator array. pitchBase = keyPitchCents + coarse and fine tune +
    // initial pitch, summed in the order BeginBlock used to.
    float pitchBase = 0, vibToPitch = 0, modLfoToPitch = 0, modEnvToPitch = 0;
    float fcBase = 13500, modLfoToFc = 0, modEnvToFc = 0, filterQCb = 0, modLfoToVolume = 0;

    // Sets the voice up from a matched zone. Returns false when the sample
    // cannot be played (not ready); the voice is then unused.
    bool Start(const font::VoiceDesc& d, const NoteContext& n) noexcept;
    // Folds a drum key's settings into the generators (and `gain`).
    void ApplyDrumSettings(const uint8_t* drum, float& gain) noexcept;
    void EvaluateLinked(const ChannelState& ch) noexcept;
    // Re-evaluates controller modulators and what derives from them.
    void Recompute(const ChannelState& ch) noexcept;
    // Envelopes, LFOs, pitch and gain targets for the next span.frames frames.
    // `mix` = channel mix level x master volume. Returns false when the voice
    // has finished (it must then be freed).
    bool BeginBlock(const ChannelState& ch, float mix, const BlockSpan& span, bool fx) noexcept;
    // Renders and mixes `frames` frames. Returns false when the sample ran
    // out (the voice must be freed).
    bool Render(MixBuses& bus, uint32_t frames, bool fx) noexcept;
    // Render in parts, for callers that filter several voices together:
    // Generate interpolates into tmp and scales it by the gain ramp, unless
    // Mix is to (GainInMix; frames before `off` are zero; nothing is written
    // for a silent voice), then the filter, then Mix.
    bool Generate(float* tmp, uint32_t frames, uint32_t& off) noexcept;
    // True when the block is read from 16-bit sample data by linear
    // interpolation and does not run out of it, with shares that hold: the
    // case RenderPlainFour handles (a start inside the block, the gain
    // ramp's bends and a pitch that changes step at pitchAt included).
    bool Plain(uint32_t frames) const noexcept;
    void Interpolate(const int16_t* src, const uint8_t* low, uint64_t& p, uint64_t step, float* out,
                     uint32_t n) const noexcept;
    // Where a looping voice reads at the 32.32 position `abs` (first moved
    // back by whole loops when it ran past what it may read): the buffer (the
    // sample data or the loop's seam), the 32.32 position of that buffer's
    // frame 0, and the buffer frame the reader must stay below.
    struct Region {
        const int16_t* src;
        const uint8_t* low;
        uint64_t shift;
        uint32_t limit;
    };
    Region Locate(uint64_t& abs) const noexcept;
    void Mix(const float* tmp, uint32_t off, MixBuses& bus, uint32_t frames, bool fx) noexcept;
    bool IsSilent() const noexcept {
        if (!Sounds()) return true;
        for (int b = 0; b < 4; ++b)
            if (shareFrom[b] != 0 || shareTo[b] != 0) return false;
        return true;
    }
    // True when the gain is above zero anywhere in the block.
    bool Sounds() const noexcept { return gainFrom[0] != 0 || gainFrom[1] != 0 || gainFrom[2] != 0 || gainTo != 0; }
    // True when the bus gets anything from the voice in this block.
    bool Feeds(int bus) const noexcept { return (shareFrom[bus] != 0 || shareTo[bus] != 0) && Sounds(); }
    // Which buses a plain voice (it sounds, its shares hold) feeds: 0 the
    // dry pair, 1 with the reverb, 2 with the chorus too (and the reverb,
    // which the pass then takes whether or not its share is zero).
    int BusSet(bool fx) const noexcept { return !fx ? 0 : (shareTo[kChorus] != 0 ? 2 : (shareTo[kReverb] != 0 ? 1 : 0)); }
    // True when a pan or send glides in this block.
    bool Gliding() const noexcept {
        for (int b = 0; b < 4; ++b)
            if (shareStep[b] != 0) return true;
        return false;
    }
    // True when the voice-by-voice path applies the gain in Mix rather than
    // before the filter: with no filter (and shares that hold) the two are
    // the same, and Mix saves a pass over the block.
    bool GainInMix() const noexcept { return !filterOn && !Gliding(); }
    // The block's gain segments [first[k], last[k]) for a voice that starts
    // at `off`: without bends the second and third are empty.
    struct Segments {
        uint32_t first[3], last[3];
        Segments(const Voice& v, uint32_t off, uint32_t frames) noexcept {
            const uint32_t b1 = v.brk < off ? off : (v.brk > frames ? frames : v.brk);
            const uint32_t b2 = v.brk2 < b1 ? b1 : (v.brk2 > frames ? frames : v.brk2);
            first[0] = off; first[1] = b1; first[2] = b2;
            last[0] = b1; last[1] = b2; last[2] = frames;
        }
    };
    // True when every dry gain of the block is below `level` (the voice is
    // inaudible). Gains and shares are never negative.
    bool IsSilentBelow(float level) const noexcept {
        const float g = std::fmax(std::fmax(gainFrom[0], gainFrom[1]), std::fmax(gainFrom[2], gainTo));
        const float s = std::fmax(std::fmax(shareFrom[kL], shareTo[kL]), std::fmax(shareFrom[kR], shareTo[kR]));
        return g * s < level;
    }
    void EndBlock() noexcept {
        gainFrom[0] = gainTo;
        for (int b = 0; b < 4; ++b) shareFrom[b] = shareTo[b];
        if (unloopAfterBlock) { looping = false; unloopAfterBlock = false; }
    }
    // Note-off (after pedals): release stage, and the loop ends for loop mode
    // 3. `at`: frame of the next block where it happens (0 = its start).
    void NoteOff(uint32_t at = 0) noexcept;
    // Fast fade (exclusive class, all sound off) over a few ms.
    void Cut(uint32_t at = 0) noexcept;
    // Fade over about a millisecond: a stolen or shed voice, which must make
    // room at once but not click.
    void FadeOut(uint32_t at = 0) noexcept;
    // Mono legato: the voice goes on sounding at another key, gliding there
    // over `seconds` (0: at once) without restarting its envelopes.
    void Retune(uint8_t newKey, uint8_t newSoundKey, float seconds, const ChannelState& ch) noexcept;
    // Called when the voice is freed.
    void Finish() noexcept;
    // Turns the voice into silence that passes Plain(): it reads zeros and
    // every gain is zero, and a pass leaves it so. It fills the lanes of a
    // partial group of four, and the spare lanes of a partial filter group:
    // its filter is the identity, whose state stays zero whatever those
    // lanes hold, and what they put out is never mixed.
    void MakeSilentFiller() noexcept;

    // --- cold: read at note-on and when the channel's controllers change ---
    float base[font::kGenCount]; // generators + note-on-time modulators (attenuation already scaled)
    float value[font::kGenCount]; // base + controller modulators, clamped
    uint8_t dynCount = 0;
    bool hasLinks_ = false;    // some of dyn feed others (linked modulators)
    font::Modulator dyn[kMaxDynamicMods];
    uint8_t dynIndex[kMaxDynamicMods]; // each one's place in the zone's list, which links name
    float cutTime = 0.01f;     // release time of a pending cut
};

// Runs the filters of four (eight) voices over their generated blocks at once.
void FilterFour(Voice* const v[4], float* const tmp[4], uint32_t frames) noexcept;
constexpr int kFilterGroup = 8;
void FilterEight(Voice* const v[8], float* const tmp[8], uint32_t frames) noexcept;

// Renders four voices for which Plain() holds in one pass, into the lane
// buffers of `bus` (`buses`: 2 dry only, 3 with reverb, 4 with chorus).
void RenderPlainFour(Voice* const v[4], MixBuses& bus, uint32_t buses, uint32_t frames) noexcept;
// RenderPlainFour(a, ...) and then RenderPlainFour(b, ...), to the bit; the
// two groups share one pass where the processor allows (kernels::RenderEight).
void RenderPlainEight(Voice* const a[4], Voice* const b[4], MixBuses& bus, uint32_t buses, uint32_t frames) noexcept;

// Rounds every generator value to an integer and clamps it to the
// generator's range (font::ClampGen), but the initial pitch, which is left
// as it is.
void ClampGenerators(float* value) noexcept;

// Value of a modulator source operand for a voice on a channel.
float ModSource(uint16_t oper, const ChannelState& ch, uint8_t key, uint8_t velocity) noexcept;
// True when a source operand depends on nothing that changes after note-on.
bool IsStaticSource(uint16_t oper) noexcept;

} // namespace tsl
