// Voice set-up and per-block parameter work (see voice.h). The per-sample
// loop lives in voice_render.cpp.
#include "synth/voice.h"

#include <cmath>

#if defined(__SSE2__) || defined(_M_X64) || defined(__x86_64__)
#include <emmintrin.h>
#define TSL_VOICE_SSE2 1
#endif

#include "synth/dsp_math.h"
#include "synth/sinc_table.h"

namespace tsl {

using namespace font;

namespace {

// SoundFont banks set initialAttenuation on a scale that players attenuate
// by 0.4 (the hardware the format came from did); without it common banks are
// far too quiet against their own velocity curves. Modulator contributions
// are applied at full scale.
constexpr float kAttenuationScale = 0.4f;
// Output headroom: one full-velocity centred note peaks near -9 dBFS.
constexpr float kSampleScale = 0.5f / 32768.0f;
// Below this a releasing voice is inaudible (-100 dB) and is freed.
constexpr float kSilence = 1e-5f;
// The shortest rise a note's onset gets (0.5 ms at 48 kHz).
constexpr uint32_t kMinOnsetFrames = 24;
// A decay or release whose gain falls by more than this over a block (6 dB)
// follows its curve in two straight pieces; below it one straight ramp is
// within 0.51 dB of the curve. At 3 dB (0.14 dB) the pieces cost 2-3 % of a
// realistic render, at 6 dB nothing measurable.
constexpr float kCurveBend = 0.5f;
// Pieces no shorter than this: a block cut short by an event is ramped straight.
constexpr uint32_t kMinCurveFrames = 16;
// A stolen or shed voice falls 96 dB in this time: below -45 dB after the
// first millisecond, with no step above an eighth of its level.
constexpr float kFadeOutSeconds = 0.002f;
// What one step of a sound controller (or the NRPN that sets it) away from
// 64 does to the font's value: cutoff by a sixteenth of an octave (+-4
// octaves over the range), resonance by 0.2 dB, envelope and vibrato-delay
// times by 80 timecents (about /19 to x18), vibrato rate by a sixtieth of an
// octave and vibrato depth by 0.8 cent (50 cents at 127 where the font has
// none).
constexpr float kCutoffCentsPerStep = 75.0f;
constexpr float kResonanceCbPerStep = 2.0f;
constexpr float kTimecentsPerStep = 80.0f;
constexpr float kVibRateCentsPerStep = 20.0f;
constexpr float kVibDepthCentsPerStep = 0.8f;
// A longer attack or vibrato delay asked of a font's instant one starts from
// 20 ms or 50 ms, so the controller is heard at all.
constexpr float kShortestScaledAttackTc = -6773.0f;
constexpr float kShortestScaledVibDelayTc = -5186.0f;

// The playback ratio for a pitch in cents, within what the position's 32.32
// steps can hold.
inline double Ratio(float cents, float pitchScale) noexcept {
    double ratio = static_cast<double>(dsp::CentsToRatio(cents)) * pitchScale;
    if (ratio > 512.0) ratio = 512.0;
    if (ratio < 1e-6) ratio = 1e-6;
    return ratio;
}

// Moves a time (in timecents) by sound-controller steps; a longer time asked
// of one shorter than `shortest` starts from `shortest`.
inline void ScaleTime(float& tc, int steps, float shortest) noexcept {
    if (steps > 0 && tc < shortest) tc = shortest;
    tc += static_cast<float>(steps) * kTimecentsPerStep;
}

inline float Clamped(int gen, float v) noexcept {
    return static_cast<float>(ClampGen(gen, dsp::RoundToInt(v)));
}

#ifdef TSL_VOICE_SSE2
// The generators' ranges as floats, four to a vector: every bound and every
// rounded value below 2^24 is exact as a float, so clamping there gives what
// clamping the integer does.
struct FloatRanges {
    alignas(16) float lo[kGenCount], hi[kGenCount]; // each aligned: read four at a time
};
FloatRanges MakeFloatRanges() noexcept {
    FloatRanges r{};
    for (int g = 0; g < kGenCount; ++g) {
        r.lo[g] = static_cast<float>(kGenRanges[g].lo);
        r.hi[g] = static_cast<float>(kGenRanges[g].hi);
    }
    return r;
}
// Made before main (kGenRanges is constant-initialised), never on a render thread.
const FloatRanges kFloatRanges = MakeFloatRanges();
#endif

} // namespace

// Four at a time where there is SSE2: the scalar conversions chain through
// one register and left a start's Recompute waiting on them.
void ClampGenerators(float* value) noexcept {
    const float pitch = value[kGenInitialPitch];
    int g = 0;
#ifdef TSL_VOICE_SSE2
    for (; g + 4 <= kGenCount; g += 4) {
        // Rounded to the nearest (even) integer, as RoundToInt does.
        __m128 v = _mm_cvtepi32_ps(_mm_cvtps_epi32(_mm_loadu_ps(value + g)));
        v = _mm_min_ps(_mm_max_ps(v, _mm_load_ps(kFloatRanges.lo + g)), _mm_load_ps(kFloatRanges.hi + g));
        _mm_storeu_ps(value + g, v);
    }
#endif
    for (; g < kGenCount; ++g) value[g] = Clamped(g, value[g]);
    value[kGenInitialPitch] = pitch;
}

namespace {

inline float ModOutput(const Modulator& m, const ChannelState& ch, uint8_t key, uint8_t vel) noexcept {
    float v = ModSource(m.srcOper, ch, key, vel) * ModSource(m.amtSrcOper, ch, key, vel) * m.amount;
    return m.transOper == 2 ? std::fabs(v) : v;
}

// A modulator whose primary source is the output of other modulators.
inline bool IsLinkSource(uint16_t oper) noexcept { return (oper & 0x80) == 0 && (oper & 127) == 127; }
inline bool IsLinkDest(uint16_t dest) noexcept { return (dest & 0x8000) != 0; }

} // namespace

bool IsStaticSource(uint16_t oper) noexcept {
    if (oper & 0x80) return false;
    uint32_t index = oper & 127;
    return index == 0 || index == 2 || index == 3 || index == 127;
}

namespace {

// Every curve, direction and polarity of a 7-bit source, as ModSource would
// compute it from the value over 127 (`over128` false) or over 128: a start
// evaluates a dozen such sources, and the concave and convex curves take a
// logarithm each.
struct SourceCurves {
    float value[2][4][2][2][128]; // [over128][curve type][negative][bipolar][source value]
};
SourceCurves MakeSourceCurves() noexcept {
    SourceCurves c{};
    for (int o = 0; o < 2; ++o)
        for (uint32_t t = 0; t < 4; ++t)
            for (int n = 0; n < 2; ++n)
                for (int b = 0; b < 2; ++b)
                    for (int v = 0; v < 128; ++v)
                        c.value[o][t][n][b][v] =
                            dsp::ApplySourceCurve(v * (o ? (1.0f / 128.0f) : (1.0f / 127.0f)), t, n != 0, b != 0);
    return c;
}
// Made before main, never on a render thread.
const SourceCurves kSourceCurves = MakeSourceCurves();

} // namespace

float ModSource(uint16_t oper, const ChannelState& ch, uint8_t key, uint8_t velocity) noexcept {
    uint32_t index = oper & 127;
    const uint32_t type = oper >> 10;
    const bool negative = (oper & 0x100) != 0, bipolar = (oper & 0x200) != 0;
    uint32_t v;
    bool over128 = false;
    if (oper & 0x80) {
        // Bipolar controllers centre on 64 (pan 64 is the middle); unipolar
        // ones reach 1 at 127.
        v = ch.cc[index];
        over128 = bipolar;
    } else {
        switch (index) {
        case 0: return 1.0f; // "no controller" acts as a constant 1
        case 2: v = velocity; break;
        case 3: v = key; break;
        case 10: v = ch.keyPressure[key & 127]; break;
        case 13: v = ch.channelPressure; break;
        case 14: return dsp::ApplySourceCurve(ch.pitch * (1.0f / 16384.0f), type, negative, bipolar);
        case 16: return dsp::ApplySourceCurve(ch.pitchRangeCents * (1.0f / 12700.0f), type, negative, bipolar);
        default: return 0.0f; // links and undefined sources
        }
    }
    // Undefined curve types read as linear, as ApplySourceCurve reads them.
    if (v < 128) return kSourceCurves.value[over128][type < 4 ? type : 0][negative][bipolar][v];
    return dsp::ApplySourceCurve(v * (over128 ? (1.0f / 128.0f) : (1.0f / 127.0f)), type, negative, bipolar);
}

bool Voice::Start(const VoiceDesc& d, const NoteContext& n) noexcept {
    if (!d.sample || !d.sample->Acquire()) return false;
    sample = d.sample;
    pcm = sample->pcm;
    loopMode = d.loopMode;
    looping = loopMode == 1 || loopMode == 3;
    seam = looping ? sample->LoopSeam(d.loop) : nullptr;
    pcmLow = sample->pcmLow;
    seamLow = looping && pcmLow ? sample->LoopSeamLow(d.loop) : nullptr;
    pos = static_cast<uint64_t>(d.start) << 32;
    end = d.end;
    loopStart = d.loopStart;
    loopEnd = d.loopEnd;
    if (loopEnd <= loopStart) looping = false;
    seamLength = sample->loops[d.loop].seamLength;
    pitchScale = static_cast<float>(sample->sampleRate) / n.outputRate;
    group = d.group;
    offBy = d.offBy;
    oneShot = d.oneShot;
    sinc = n.sinc;
    chan = 0;
    key = n.key;
    soundKey = n.soundKey;
    velocity = n.velocity;
    noteId = n.noteId;
    released = keyUp = heldBySostenuto = stolen = false;
    cutTime = 0.01f;
    rootKey = static_cast<uint8_t>(d.rootKey);

    // Fixed key and velocity replace the played ones for everything they drive.
    uint8_t effKey = d.gen[kGenKeynum] >= 0 && d.gen[kGenKeynum] <= 127 ? static_cast<uint8_t>(d.gen[kGenKeynum]) : n.soundKey;
    uint8_t effVel = d.gen[kGenVelocity] > 0 && d.gen[kGenVelocity] <= 127 ? static_cast<uint8_t>(d.gen[kGenVelocity]) : n.velocity;
    key = n.key;

    for (int g = 0; g < kGenCount; ++g) base[g] = static_cast<float>(d.gen[g]);
    base[kGenInitialAttenuation] *= kAttenuationScale;
    dynCount = 0;
    const ChannelState& ch = *n.channel;
    hasLinks_ = false;
    for (uint32_t i = 0; i < d.modCount && i < kMaxVoiceModulators; ++i) {
        const Modulator& m = d.mods[i];
        const bool linked = IsLinkDest(m.destOper) || IsLinkSource(m.srcOper);
        if (!IsLinkDest(m.destOper) && m.destOper >= kGenCount) continue;
        if (!linked && IsStaticSource(m.srcOper) && IsStaticSource(m.amtSrcOper)) {
            base[m.destOper] += ModOutput(m, ch, effKey, effVel);
        } else if (dynCount < kMaxDynamicMods) {
            // Modulators in a chain are evaluated together in Recompute.
            dyn[dynCount] = m;
            dynIndex[dynCount] = static_cast<uint8_t>(i);
            hasLinks_ = hasLinks_ || linked;
            ++dynCount;
        }
    }
    velocity = effVel;
    // Fixed key also fixes the key the dynamic modulators see.
    soundKey = effKey;

    float scaleTuning = base[kGenScaleTuning];
    keyPitchCents = scaleTuning * (static_cast<int>(effKey) - static_cast<int>(d.rootKey)) + sample->pitchCorrection;

    float extra = n.fontVolume;
    if (d.gainDb != 0) extra *= std::pow(10.0f, d.gainDb / 20.0f);
    if (d.sfz && d.sfz->ampVeltrack != 0) {
        float t = d.sfz->ampVeltrack / 100.0f;
        float x = t >= 0 ? effVel / 127.0f : (127 - effVel) / 127.0f;
        float at = std::fabs(t);
        extra *= (1 - at) + at * x * x;
    }
    if (ch.Soft()) extra *= 0.6f; // soft pedal: about -4.4 dB
    sendScale[0] = sendScale[1] = 1.0f;
    if (n.drum) ApplyDrumSettings(n.drum, extra);
    staticGain = extra; // completed by Recompute
    fontGain_ = extra;

    Recompute(ch);

    auto tc = [](float v) { return dsp::TimecentsToSeconds(v); };
    float keyOffset = 60.0f - effKey;
    volTimes.delay = tc(value[kGenDelayVolEnv]);
    volTimes.attack = tc(value[kGenAttackVolEnv]);
    volTimes.hold = tc(value[kGenHoldVolEnv] + keyOffset * value[kGenKeynumToVolEnvHold]);
    volTimes.decay = tc(value[kGenDecayVolEnv] + keyOffset * value[kGenKeynumToVolEnvDecay]);
    volTimes.sustain = 1.0f - value[kGenSustainVolEnv] / 960.0f;
    volTimes.release = tc(value[kGenReleaseVolEnv]);
    modTimes.delay = tc(value[kGenDelayModEnv]);
    modTimes.attack = tc(value[kGenAttackModEnv]);
    modTimes.hold = tc(value[kGenHoldModEnv] + keyOffset * value[kGenKeynumToModEnvHold]);
    modTimes.decay = tc(value[kGenDecayModEnv] + keyOffset * value[kGenKeynumToModEnvDecay]);
    modTimes.sustain = 1.0f - value[kGenSustainModEnv] / 1000.0f;
    modTimes.release = tc(value[kGenReleaseModEnv]);
    glideCents = n.glideSeconds > 0 ? n.glideCents : 0.0f;
    glideRate = n.glideSeconds > 0 ? std::fabs(n.glideCents) / n.glideSeconds : 0.0f;
    volEnv.Start(true);
    modEnv.Start(false);
    modLfo.Start();
    vibLfo.Start();
    modLfoLag = vibLfoLag = 0;
    // The LFOs start from zero, and so does the modulation envelope unless
    // it has neither delay nor attack.
    pitchModFrom = modTimes.delay <= 0 && modTimes.attack <= 0 ? modEnvToPitch : 0.0f;
    filterType = d.filter;
    lastCents = -1e30f;
    pitchAt = 0;
    filterOn = false;
    filter = BiquadCoeffs{};
    filterFc = -1;
    filterRes.cb = -1;
    startDelay = n.startDelay;
    pendingAt = kNoPending;
    pendingCut = pendingUnloop = unloopAfterBlock = false;
    filterState.Reset();
    for (int k = 0; k < 3; ++k) gainFrom[k] = gainStep[k] = 0;
    gainTo = 0;
    for (int b = 0; b < 4; ++b) shareFrom[b] = shareStep[b] = shareTo[b] = 0;
    sharesKnown = false;
    brk = brk2 = kBlockFrames;
    envPrev = 0;
    level = kStartLevel;
    ++generation;
    return true;
}

void Voice::ApplyDrumSettings(const uint8_t* drum, float& gain) noexcept {
    using D = DrumKeySettings;
    auto set = [&](int p) { return drum[p] != D::kUnset; };
    auto step = [&](int p) { return static_cast<float>(drum[p]) - 64.0f; };
    if (set(D::kCutoff)) base[kGenInitialFilterFc] += step(D::kCutoff) * kCutoffCentsPerStep;
    if (set(D::kResonance)) base[kGenInitialFilterQ] += step(D::kResonance) * kResonanceCbPerStep;
    if (set(D::kAttack)) base[kGenAttackVolEnv] += step(D::kAttack) * kTimecentsPerStep;
    if (set(D::kDecay)) base[kGenDecayVolEnv] += step(D::kDecay) * kTimecentsPerStep;
    if (set(D::kCoarse)) base[kGenCoarseTune] += step(D::kCoarse);
    if (set(D::kFine)) base[kGenFineTune] += step(D::kFine);
    if (set(D::kLevel)) gain *= (drum[D::kLevel] / 127.0f) * (drum[D::kLevel] / 127.0f); // as CC 7
    if (set(D::kPan)) {
        // 0 is "random": a position drawn from the note's id.
        const float at = drum[D::kPan] == 0 ? static_cast<float>((noteId * 2654435761u) >> 22) / 1023.0f * 127.0f : drum[D::kPan];
        base[kGenPan] = (at - 64.0f) * (500.0f / 63.0f);
    }
    if (set(D::kReverb)) sendScale[0] = drum[D::kReverb] / 127.0f;
    if (set(D::kChorus)) sendScale[1] = drum[D::kChorus] / 127.0f;
}

void Voice::Recompute(const ChannelState& ch) noexcept {
    for (int g = 0; g < kGenCount; ++g) value[g] = base[g];
    if (!hasLinks_) {
        for (uint32_t i = 0; i < dynCount; ++i) value[dyn[i].destOper] += ModOutput(dyn[i], ch, soundKey, velocity);
    } else {
        EvaluateLinked(ch);
    }
    // GM2 sound controllers (CC 71-78, and the GS/XG NRPNs that set them).
    using C = ChannelState;
    value[kGenInitialFilterFc] += ch.Sound(C::kBrightness) * kCutoffCentsPerStep;
    value[kGenInitialFilterQ] += ch.Sound(C::kTimbre) * kResonanceCbPerStep;
    ScaleTime(value[kGenAttackVolEnv], ch.Sound(C::kAttack), kShortestScaledAttackTc);
    value[kGenDecayVolEnv] += ch.Sound(C::kDecay) * kTimecentsPerStep;
    value[kGenReleaseVolEnv] += ch.Sound(C::kRelease) * kTimecentsPerStep;
    value[kGenFreqVibLfo] += ch.Sound(C::kVibratoRate) * kVibRateCentsPerStep;
    ScaleTime(value[kGenDelayVibLfo], ch.Sound(C::kVibratoDelay), kShortestScaledVibDelayTc);
    if (const int v = ch.Sound(C::kVibratoDepth); v != 0) {
        // Deeper or shallower in the direction the font already goes.
        float& depth = value[kGenVibLfoToPitch];
        const float dir = depth < 0 ? -1.0f : 1.0f;
        const float moved = depth + dir * static_cast<float>(v) * kVibDepthCentsPerStep;
        depth = moved * dir > 0 ? moved : 0.0f;
    }
    ClampGenerators(value);
    staticGain = fontGain_ * dsp::CentibelsToGain(value[kGenInitialAttenuation]);
    float p = value[kGenPan];
    p = p < -500 ? -500 : (p > 500 ? 500 : p);
    float angle = (p + 500.0f) * (1.57079633f / 1000.0f);
    busShare[kL] = std::cos(angle);
    busShare[kR] = std::sin(angle);
    auto send = [](float v) { return v <= 0 ? 0.0f : (v >= 1000 ? 1.0f : v / 1000.0f); };
    busShare[kReverb] = send(value[kGenReverbEffectsSend]) * sendScale[0];
    busShare[kChorus] = send(value[kGenChorusEffectsSend]) * sendScale[1];
    modLfoDelay = dsp::TimecentsToSeconds(value[kGenDelayModLfo]);
    modLfoHz = dsp::AbsCentsToHz(value[kGenFreqModLfo]);
    vibLfoDelay = dsp::TimecentsToSeconds(value[kGenDelayVibLfo]);
    vibLfoHz = dsp::AbsCentsToHz(value[kGenFreqVibLfo]);
    pitchBase = keyPitchCents + value[kGenCoarseTune] * 100.0f + value[kGenFineTune] + value[kGenInitialPitch];
    vibToPitch = value[kGenVibLfoToPitch];
    modLfoToPitch = value[kGenModLfoToPitch];
    modEnvToPitch = value[kGenModEnvToPitch];
    fcBase = value[kGenInitialFilterFc];
    modLfoToFc = value[kGenModLfoToFilterFc];
    modEnvToFc = value[kGenModEnvToFilterFc];
    filterQCb = value[kGenInitialFilterQ];
    modLfoToVolume = value[kGenModLfoToVolume];
    if (!released && volEnv.stage() != Envelope::kDone) {
        // Decay and release follow their controllers while the note sounds.
        const float keyOffset = 60.0f - soundKey;
        volTimes.decay = dsp::TimecentsToSeconds(value[kGenDecayVolEnv] + keyOffset * value[kGenKeynumToVolEnvDecay]);
        volTimes.release = dsp::TimecentsToSeconds(value[kGenReleaseVolEnv]);
    }
}

void Voice::EvaluateLinked(const ChannelState& ch) noexcept {
    // A linked modulator's source is the sum of the outputs of the modulators
    // whose destination names it, scaled so that a full amount (32768) is 1.
    // Chains are followed from each end; a loop is cut after a few links.
    float out[kMaxDynamicMods];
    bool done[kMaxDynamicMods] = {};
    struct Eval {
        Voice& v;
        const ChannelState& ch;
        float* out;
        bool* done;
        float operator()(uint32_t i, int depth) const noexcept {
            if (done[i]) return out[i];
            const Modulator& m = v.dyn[i];
            float r;
            if (IsLinkSource(m.srcOper)) {
                float in = 0;
                if (depth < 8)
                    for (uint32_t j = 0; j < v.dynCount; ++j)
                        if (IsLinkDest(v.dyn[j].destOper) && (v.dyn[j].destOper & 0x7fff) == v.dynIndex[i])
                            in += (*this)(j, depth + 1);
                r = in * (1.0f / 32768.0f) * ModSource(m.amtSrcOper, ch, v.soundKey, v.velocity) * m.amount;
                if (m.transOper == 2) r = std::fabs(r);
            } else {
                r = ModOutput(m, ch, v.soundKey, v.velocity);
            }
            done[i] = true;
            out[i] = r;
            return r;
        }
    } eval{*this, ch, out, done};
    for (uint32_t i = 0; i < dynCount; ++i)
        if (!IsLinkDest(dyn[i].destOper)) value[dyn[i].destOper] += eval(i, 0);
}

void Voice::Retune(uint8_t newKey, uint8_t newSoundKey, float seconds, const ChannelState& ch) noexcept {
    const float delta = value[kGenScaleTuning] * (static_cast<int>(newSoundKey) - static_cast<int>(soundKey));
    keyPitchCents += delta;
    if (seconds > 0) {
        glideCents -= delta;
        glideRate = std::fabs(glideCents) / seconds;
    } else {
        glideCents = 0;
    }
    key = newKey;
    soundKey = newSoundKey;
    Recompute(ch);
}

bool Voice::BeginBlock(const ChannelState& ch, float mix, const BlockSpan& span, bool fx) noexcept {
    if (volEnv.done()) return false;
    const uint32_t frames = span.frames;
    const float outputRate = span.rate;
    if (startDelay >= frames) startDelay = frames - 1;
    const uint32_t s = startDelay;
    // Nearly every voice starts at the block's start: its divisions are the block's.
    const float dt = s == 0 ? span.seconds : (frames - s) / outputRate;
    // A block longer than kPitchFrames whose pitch moves plays two pitches,
    // one a half: the modulators' state at its start, to find their middle.
    const bool pitchMayMove = frames - s > kPitchFrames &&
                              (vibToPitch != 0 || modLfoToPitch != 0 || modEnvToPitch != 0 || glideCents != 0);
    PitchModulators start;
    if (pitchMayMove) start = PitchModulators{vibLfo, modLfo, modEnv, vibLfoLag, modLfoLag};
    float vib = 0, mlfo = 0;
    if (vibToPitch != 0) {
        vib = vibLfo.Advance(vibLfoDelay, vibLfoHz, vibLfoLag + dt);
        vibLfoLag = 0;
    } else {
        vibLfoLag += dt;
    }
    if (modLfoToPitch != 0 || modLfoToFc != 0 || modLfoToVolume != 0) {
        mlfo = modLfo.Advance(modLfoDelay, modLfoHz, modLfoLag + dt);
        modLfoLag = 0;
    } else {
        modLfoLag += dt;
    }

    // The gain ramp bends at most twice in a block: where an attack peaks
    // (so short attacks keep their edge however long blocks are; attacks of
    // almost nothing still rise over a few frames, against clicks) and where
    // a release begins. Up to the release, the gain follows exactly the ramp
    // the held note has, so the release starts from the level heard there.
    uint32_t p = frames;
    if (const float toPeak = volEnv.TimeToPeak(volTimes); toPeak >= 0 && toPeak < dt) {
        uint32_t at = s + static_cast<uint32_t>(toPeak * outputRate + 0.5f);
        if (at < s + kMinOnsetFrames) at = s + kMinOnsetFrames;
        if (at < frames) p = at;
    }
    // Only a block where the attack peaks has its two parts.
    const float dtA = p < frames ? (p - s) / outputRate : 0.0f, dtB = p < frames ? (frames - p) / outputRate : 0.0f;
    uint32_t r = frames;
    // A release that ends inside the block bends the ramp once more, down to
    // silence where it ends, rather than stretching a fade to the block's
    // end: the frame from which the voice is silent, or `frames`.
    uint32_t quiet = frames;
    auto quietFrom = [&](uint32_t from, float within) noexcept {
        const float t = volEnv.TimeToEnd(volTimes);
        if (t < 0 || t >= within) return frames;
        uint32_t at = from + static_cast<uint32_t>(t * outputRate + 0.5f);
        if (at < from + kMinOnsetFrames) at = from + kMinOnsetFrames;
        return at < frames ? at : frames;
    };
    float peakEnv = 0, heldEnv, menv, env;
    // Decays and releases fall along a curve (exponential in amplitude).
    const bool curved = volEnv.stage() == Envelope::kDecay || volEnv.stage() == Envelope::kRelease;
    if (pendingAt == kNoPending) {
        if (p < frames) {
            modEnv.Advance(modTimes, dtA);
            peakEnv = volEnv.Advance(volTimes, dtA);
            menv = modEnv.Advance(modTimes, dtB);
            env = volEnv.Advance(volTimes, dtB);
        } else {
            quiet = quietFrom(s, dt);
            menv = modEnv.Advance(modTimes, dt);
            env = volEnv.Advance(volTimes, dt);
        }
        heldEnv = env;
    } else {
        r = pendingAt < s ? s : (pendingAt >= frames ? frames - 1 : pendingAt);
        Envelope held = volEnv;
        if (p < frames) {
            peakEnv = held.Advance(volTimes, dtA);
            heldEnv = held.Advance(volTimes, dtB);
        } else {
            heldEnv = held.Advance(volTimes, dt);
        }
        float heard;
        if (p == frames) heard = envPrev + (heldEnv - envPrev) * (r - s) / (frames - s);
        else if (r <= p) heard = envPrev + (peakEnv - envPrev) * (r - s) / (p - s);
        else heard = peakEnv + (heldEnv - peakEnv) * (r - p) / (frames - p);
        const float dt1 = (r - s) / outputRate;
        modEnv.Advance(modTimes, dt1);
        volEnv.Advance(volTimes, dt1);
        FirePending(heard);
        const float dtRest = (frames - r) / outputRate;
        if (p == frames) quiet = quietFrom(r, dtRest);
        menv = modEnv.Advance(modTimes, dtRest);
        env = volEnv.Advance(volTimes, dtRest);
    }

    // A block plays at its middle's pitch: the mean of the modulators'
    // offsets at its two ends. Taken at its end, a fast sweep ran half a
    // block ahead (a pitch envelope falling an octave lost a whole cycle).
    // A long block whose pitch moves is two such halves, so that a vibrato
    // steps no coarser than kPitchFrames however long blocks are.
    const float pitchMod = vib * vibToPitch + mlfo * modLfoToPitch + menv * modEnvToPitch;
    const float pitchHome = pitchBase + ch.TuningCents();
    const float glideMove = glideRate * dt;
    // Portamento's offset at a fraction of the block: it moves towards 0.
    auto glideAt = [&](float part) noexcept {
        const float m = glideMove * part;
        return glideCents > 0 ? std::fmax(glideCents - m, 0.0f) : std::fmin(glideCents + m, 0.0f);
    };
    float cents, earlyCents = 0;
    uint32_t split = 0;
    if (pitchMayMove && (pitchMod != pitchModFrom || glideCents != 0)) {
        split = s + (frames - s) / 2;
        const float modMid = PitchModAt(start, s, r, split, outputRate);
        earlyCents = pitchHome + 0.5f * (pitchModFrom + modMid);
        cents = pitchHome + 0.5f * (modMid + pitchMod);
        if (glideCents != 0) {
            earlyCents += glideAt(0.25f);
            cents += glideAt(0.75f);
        }
    } else {
        cents = pitchHome + 0.5f * (pitchModFrom + pitchMod);
        if (glideCents != 0) cents += glideAt(0.5f);
    }
    pitchModFrom = pitchMod;
    if (glideCents != 0) glideCents = glideAt(1.0f);
    pitchAt = split;
    if (split != 0 && earlyCents == cents) pitchAt = 0;
    if (cents != lastCents || pitchAt != 0) {
        // Most notes hold their pitch for many blocks: exp2 only on change.
        lastCents = cents;
        const double ratio = Ratio(cents, pitchScale);
        inc = static_cast<uint64_t>(ratio * 4294967296.0);
        double highest = ratio;
        if (pitchAt != 0) {
            const double early = Ratio(earlyCents, pitchScale);
            earlyInc = static_cast<uint64_t>(early * 4294967296.0);
            if (early > highest) highest = early;
        }
        // The band for the higher of a block's two pitches: a lower cutoff
        // for a half-block rather than aliasing.
        if (sinc) sincBand = sinc::BandFor(highest);
    }

    float fc = fcBase + mlfo * modLfoToFc + menv * modEnvToFc;
    float q = filterQCb;
    // The low-pass at its top without resonance is inaudible; other shapes
    // always shape the sound.
    bool wantFilter = fc < 13490.0f || q > 0.0f || filterType != FilterType::kLowpass2;
    // An unfiltered voice's `filter` is the identity (Start, and the turn-off
    // below): a filter turning on glides in from it.
    const bool wasOn = filterOn;
    filterFrom = filter;
    if (wantFilter) {
        // Coefficients cost several transcendental calls: recompute only
        // when the cutoff moved by more than a cent.
        if (std::fabs(fc - filterFc) > 1.0f || q != filterRes.cb) {
            if (q != filterRes.cb) filterRes = Resonance::Of(q);
            filter = FilterCoeffs(filterType, dsp::AbsCentsToHz(fc), filterRes, outputRate, span.radiansPerHz);
            filterFc = fc;
        }
    } else if (wasOn) {
        filter = BiquadCoeffs{};
        filterFc = -1; // recomputed when it turns on again
    }
    filterOn = wantFilter || (wasOn && !filterFrom.IsIdentity());
    if (wasOn && !filterOn) filterState.Reset();
    // A voice's first block has no state to glide from: its filter starts
    // where it is. An unfiltered voice's steps come out zero.
    if (!sharesKnown) filterFrom = filter;
    // One over the frames from the voice's start to the block's end: the
    // filter's coefficients and the bus shares glide over them.
    const float inv = s == 0 ? span.inverse : 1.0f / static_cast<float>(frames - s);
    filterStep = BiquadCoeffs{(filter.b0 - filterFrom.b0) * inv, (filter.b1 - filterFrom.b1) * inv,
                              (filter.b2 - filterFrom.b2) * inv, (filter.a1 - filterFrom.a1) * inv,
                              (filter.a2 - filterFrom.a2) * inv};

    float common = staticGain * mix;
    if (modLfoToVolume != 0) common *= dsp::CentibelsToGain(-mlfo * modLfoToVolume);
    const float gain = env * common;
    envPrev = env;
    level = released ? gain * 0.1f : gain;
    const float scale = common * kSampleScale;
    // Built lane by lane from values stored long ago: an array of four
    // scalars written just before would be read back as one vector, and
    // that load waits for the stores to retire.
    static constexpr float kAllBuses[4] = {1, 1, 1, 1}, kDryBuses[4] = {1, 1, 0, 0};
    const float* const on = fx ? kAllBuses : kDryBuses;
    for (int b = 0; b < 4; ++b) shareTo[b] = busShare[b] * on[b];
    if (!sharesKnown) {
        for (int b = 0; b < 4; ++b) shareFrom[b] = shareTo[b];
        sharesKnown = true;
    }
    for (int b = 0; b < 4; ++b) shareStep[b] = (shareTo[b] - shareFrom[b]) * inv;
    const float end = env * scale;
    gainTo = end;
    gainStep[1] = gainStep[2] = 0;
    if (p == frames && r == frames) {
        // One straight ramp: the common case, without the bends' divisions.
        gainStep[0] = (end - gainFrom[0]) * inv;
        gainFrom[1] = gainFrom[2] = end;
    } else if (p == frames) {
        gainStep[0] = (heldEnv * scale - gainFrom[0]) * inv;
        gainFrom[1] = gainFrom[0] + gainStep[0] * static_cast<float>(r - s);
        gainStep[1] = (end - gainFrom[1]) * (1.0f / (frames - r));
        gainFrom[2] = end;
    } else {
        const float peak = peakEnv * scale;
        gainStep[0] = (peak - gainFrom[0]) * (1.0f / (p - s));
        if (r == frames) {
            gainFrom[1] = peak;
            gainStep[1] = (end - peak) * (1.0f / (frames - p));
            gainFrom[2] = end;
        } else if (r <= p) {
            gainFrom[1] = gainFrom[0] + gainStep[0] * static_cast<float>(r - s);
            gainStep[1] = (end - gainFrom[1]) * (1.0f / (frames - r));
            gainFrom[2] = end;
        } else {
            gainFrom[1] = peak;
            gainStep[1] = (heldEnv * scale - peak) * (1.0f / (frames - p));
            gainFrom[2] = gainFrom[1] + gainStep[1] * static_cast<float>(r - p);
            gainStep[2] = (end - gainFrom[2]) * (1.0f / (frames - r));
        }
    }
    brk = p < r ? p : r;
    brk2 = p < r ? r : frames;
    // A fast decay or release: a straight line from end to end would sit
    // above the curve mid-block (1.4 dB for a 100 ms decay, 4.8 dB for
    // 50 ms), so the piece that ends the block, where it is all decay or
    // release and a segment is spare, bends at its middle onto the curve:
    // between two points of an exponential, its middle is their geometric
    // mean. Each half is then as close as a block of half the length was; a
    // decay that reaches its sustain inside the block is met a little above.
    // With no release inside the block the bend falls at its middle, where a
    // moving pitch steps too.
    if (p == frames && quiet == frames && (r < frames || curved)) {
        const int k = r < frames ? 1 : 0;
        const uint32_t from = k == 0 ? s : r, half = (frames - from) / 2;
        if (half >= kMinCurveFrames && end > 0 && end < kCurveBend * gainFrom[k]) {
            gainFrom[k + 1] = std::sqrt(gainFrom[k] * end);
            gainStep[k] = (gainFrom[k + 1] - gainFrom[k]) * (1.0f / static_cast<float>(half));
            gainStep[k + 1] = (end - gainFrom[k + 1]) * (1.0f / static_cast<float>(frames - from - half));
            (k == 0 ? brk : brk2) = from + half;
        }
    }
    if (quiet < frames) {
        // The last ramp reaches silence at `quiet` (the envelope has ended,
        // so `end` is 0) and the rest of the block stays there.
        if (r == frames) {
            gainStep[0] = -gainFrom[0] * (1.0f / (quiet - s));
            brk = quiet;
            gainFrom[1] = gainStep[1] = 0;
        } else {
            gainStep[1] = -gainFrom[1] * (1.0f / (quiet - r));
            brk2 = quiet;
        }
        gainFrom[2] = gainStep[2] = 0;
    }
    const bool inaudible = volEnv.stage() == Envelope::kRelease && gain < kSilence;
    // An envelope that ends inside the block still ramps down to nothing in
    // it (a fast fade ends within one block); the voice goes at the next.
    return !(inaudible && IsSilentBelow(kSilence * kSampleScale));
}

float Voice::PitchModAt(PitchModulators& m, uint32_t s, uint32_t r, uint32_t at, float outputRate) const noexcept {
    const float dt = (at - s) / outputRate;
    float cents = 0;
    if (vibToPitch != 0) cents += m.vib.Advance(vibLfoDelay, vibLfoHz, m.vibLag + dt) * vibToPitch;
    if (modLfoToPitch != 0) cents += m.mod.Advance(modLfoDelay, modLfoHz, m.modLag + dt) * modLfoToPitch;
    if (modEnvToPitch != 0) {
        float v;
        if (r < at) {
            // Through a release that began before `at`.
            m.env.Advance(modTimes, (r - s) / outputRate);
            m.env.Release();
            v = m.env.Advance(modTimes, (at - r) / outputRate);
        } else {
            v = m.env.Advance(modTimes, dt);
        }
        cents += v * modEnvToPitch;
    }
    return cents;
}

void Voice::FirePending(float heard) noexcept {
    if (pendingCut) volTimes.release = cutTime;
    volEnv.ReleaseFrom(heard);
    modEnv.Release();
    if (pendingUnloop) unloopAfterBlock = true;
    pendingAt = kNoPending;
    pendingCut = pendingUnloop = false;
}

void Voice::NoteOff(uint32_t at) noexcept {
    if (released) return;
    released = true;
    if (at > 0 || pendingAt != kNoPending) {
        if (at < pendingAt) pendingAt = at;
        pendingUnloop = loopMode == 3;
        return;
    }
    volEnv.Release();
    modEnv.Release();
    if (loopMode == 3) looping = false;
}

void Voice::FadeOut(uint32_t at) noexcept {
    // A voice already fading faster keeps its pace.
    if (released && volEnv.stage() == Envelope::kRelease && volTimes.release <= kFadeOutSeconds) return;
    cutTime = kFadeOutSeconds;
    Cut(at);
}

void Voice::Cut(uint32_t at) noexcept {
    released = true;
    if (at > 0 || pendingAt != kNoPending) {
        if (at < pendingAt) pendingAt = at;
        pendingCut = true;
        return;
    }
    volTimes.release = cutTime; // 96 dB in 10 ms: fast, but not a click
    volEnv.Release();
    modEnv.Release();
}

void Voice::Finish() noexcept {
    if (sample) sample->Release();
    sample = nullptr;
    pcm = seam = nullptr;
    pcmLow = seamLow = nullptr;
    volEnv.Finish();
}

} // namespace tsl
