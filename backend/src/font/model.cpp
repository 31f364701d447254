// Generator tables, the note-on query, preset index and sample loading.
#include "font/model.h"

#include <algorithm>
#include <cstring>

#include "bassmidi.h"

namespace tsl::font {

void Sample::SetLength(uint32_t frames) {
    length = frames;
    seamFrames = 0;
    for (LoopSpan& l : loops) {
        const int64_t a = std::clamp<int64_t>(l.rawStart, 0, frames);
        const int64_t b = std::clamp<int64_t>(l.rawEnd, 0, frames);
        l.start = uint32_t(a);
        l.end = uint32_t(b);
        l.valid = b - a >= 2;
        l.seamOffset = seamFrames;
        l.seamLength = l.valid && l.end - l.start < kShortLoop ? kGuard + (l.end - l.start) + kSeamRun : 2 * kGuard;
        seamFrames += l.seamLength;
    }
    lengthKnown = true;
}

namespace {

struct GenInfo {
    int16_t def;
    int16_t lo, hi;
    bool clamp;
    bool preset; // allowed at preset level
};

constexpr GenInfo kNone{0, 0, 0, false, false};

// Index = generator number.
constexpr GenInfo kGenInfo[kGenCount] = {
    /*0  startAddrsOffset*/ {0, 0, 0, false, false},
    /*1  endAddrsOffset*/ {0, 0, 0, false, false},
    /*2  startloopAddrsOffset*/ {0, 0, 0, false, false},
    /*3  endloopAddrsOffset*/ {0, 0, 0, false, false},
    /*4  startAddrsCoarseOffset*/ {0, 0, 0, false, false},
    /*5  modLfoToPitch*/ {0, -12000, 12000, true, true},
    /*6  vibLfoToPitch*/ {0, -12000, 12000, true, true},
    /*7  modEnvToPitch*/ {0, -12000, 12000, true, true},
    /*8  initialFilterFc*/ {13500, 1500, 13500, true, true},
    /*9  initialFilterQ*/ {0, 0, 960, true, true},
    /*10 modLfoToFilterFc*/ {0, -12000, 12000, true, true},
    /*11 modEnvToFilterFc*/ {0, -12000, 12000, true, true},
    /*12 endAddrsCoarseOffset*/ {0, 0, 0, false, false},
    /*13 modLfoToVolume*/ {0, -960, 960, true, true},
    /*14 unused1*/ kNone,
    /*15 chorusEffectsSend*/ {0, 0, 1000, true, true},
    /*16 reverbEffectsSend*/ {0, 0, 1000, true, true},
    /*17 pan*/ {0, -500, 500, true, true},
    /*18 unused2*/ kNone,
    /*19 unused3*/ kNone,
    /*20 unused4*/ kNone,
    /*21 delayModLFO*/ {-12000, -12000, 5000, true, true},
    /*22 freqModLFO*/ {0, -16000, 4500, true, true},
    /*23 delayVibLFO*/ {-12000, -12000, 5000, true, true},
    /*24 freqVibLFO*/ {0, -16000, 4500, true, true},
    /*25 delayModEnv*/ {-12000, -12000, 5000, true, true},
    /*26 attackModEnv*/ {-12000, -12000, 8000, true, true},
    /*27 holdModEnv*/ {-12000, -12000, 5000, true, true},
    /*28 decayModEnv*/ {-12000, -12000, 8000, true, true},
    /*29 sustainModEnv*/ {0, 0, 1000, true, true},
    /*30 releaseModEnv*/ {-12000, -12000, 8000, true, true},
    /*31 keynumToModEnvHold*/ {0, -1200, 1200, true, true},
    /*32 keynumToModEnvDecay*/ {0, -1200, 1200, true, true},
    /*33 delayVolEnv*/ {-12000, -12000, 5000, true, true},
    /*34 attackVolEnv*/ {-12000, -12000, 8000, true, true},
    /*35 holdVolEnv*/ {-12000, -12000, 5000, true, true},
    /*36 decayVolEnv*/ {-12000, -12000, 8000, true, true},
    /*37 sustainVolEnv*/ {0, 0, 1440, true, true},
    /*38 releaseVolEnv*/ {-12000, -12000, 8000, true, true},
    /*39 keynumToVolEnvHold*/ {0, -1200, 1200, true, true},
    /*40 keynumToVolEnvDecay*/ {0, -1200, 1200, true, true},
    /*41 instrument*/ kNone,
    /*42 reserved1*/ kNone,
    /*43 keyRange*/ {0x7F00, 0, 0, false, false},
    /*44 velRange*/ {0x7F00, 0, 0, false, false},
    /*45 startloopAddrsCoarseOffset*/ {0, 0, 0, false, false},
    /*46 keynum*/ {-1, -1, 127, true, false},
    /*47 velocity*/ {-1, -1, 127, true, false},
    /*48 initialAttenuation*/ {0, 0, 1440, true, true},
    /*49 reserved2*/ kNone,
    /*50 endloopAddrsCoarseOffset*/ {0, 0, 0, false, false},
    /*51 coarseTune*/ {0, -120, 120, true, true},
    /*52 fineTune*/ {0, -99, 99, true, true},
    /*53 sampleID*/ kNone,
    /*54 sampleModes*/ {0, 0, 3, true, false},
    /*55 reserved3*/ kNone,
    /*56 scaleTuning*/ {100, 0, 1200, true, true},
    /*57 exclusiveClass*/ {0, 0, 127, true, false},
    /*58 overridingRootKey*/ {-1, -1, 127, true, false},
    /*59 initial pitch (pseudo)*/ {0, 0, 0, false, false},
    /*60 endOper*/ kNone,
};

constexpr std::array<GenRange, kGenCount> Ranges() {
    std::array<GenRange, kGenCount> r{};
    for (int g = 0; g < kGenCount; ++g)
        r[g] = kGenInfo[g].clamp ? GenRange{kGenInfo[g].lo, kGenInfo[g].hi} : GenRange{INT32_MIN, INT32_MAX};
    return r;
}

} // namespace

constinit const std::array<GenRange, kGenCount> kGenRanges = Ranges();

int16_t GenDefault(int gen) noexcept { return gen >= 0 && gen < kGenCount ? kGenInfo[gen].def : 0; }

bool GenAllowedInPreset(int gen) noexcept { return gen >= 0 && gen < kGenCount && kGenInfo[gen].preset; }

const Modulator kDefaultModulators[10] = {
    {0x0502, kGenInitialAttenuation, 960, 0, 0}, // velocity, concave, negative
    {0x0102, kGenInitialFilterFc, -2400, 0, 0},  // velocity, linear, negative
    {0x000D, kGenVibLfoToPitch, 50, 0, 0},       // channel pressure
    {0x0081, kGenVibLfoToPitch, 50, 0, 0},       // CC1 modulation wheel
    {0x0587, kGenInitialAttenuation, 960, 0, 0}, // CC7 volume, concave, negative
    // CC10 pan, bipolar. The text of the format gives 1000, which pans hard
    // at 32 and 96 already (and a part set to 100 by a file made on a GM
    // module sounds from one side only); 500 spreads 0..127 over the whole
    // field, as General MIDI asks and as players of these files expect.
    {0x028A, kGenPan, 500, 0, 0},
    {0x058B, kGenInitialAttenuation, 960, 0, 0}, // CC11 expression, concave, negative
    {0x00DB, kGenReverbEffectsSend, 200, 0, 0},  // CC91
    {0x00DD, kGenChorusEffectsSend, 200, 0, 0},  // CC93
    {0x020E, kGenInitialPitch, 12700, 0x0010, 0}, // pitch wheel x sensitivity
};

// ---------------------------------------------------------------------------

namespace {

bool SfzConditionsMatch(const SfzParams& p, const NoteRequest& note) noexcept {
    if (p.trigger == Trigger::kRelease) {
        if (note.trigger != Trigger::kRelease) return false;
    } else if (note.trigger == Trigger::kRelease) {
        return false;
    }
    if (p.trigger == Trigger::kFirst && note.legato) return false;
    if (p.trigger == Trigger::kLegato && !note.legato) return false;
    if (p.seqLength > 1 && (note.seq % p.seqLength) + 1 != p.seqPosition) return false;
    if (note.random < p.loRand || note.random >= p.hiRand) return false;
    for (uint8_t i = 0; i < p.ccCount; ++i) {
        uint8_t v = note.cc ? note.cc[p.cc[i].cc & 127] : 0;
        if (v < p.cc[i].lo || v > p.cc[i].hi) return false;
    }
    return true;
}

} // namespace

size_t CollectVoices(const Preset& preset, const NoteRequest& note, VoiceDesc* out,
                     size_t capacity) noexcept {
    size_t n = 0;
    preset.byKey.ForKey(preset.zones, note.key, [&](const PresetZone& pz) {
        if (note.velocity < pz.velLo || note.velocity > pz.velHi) return true;
        return pz.instrument->byKey.ForKey(pz.instrument->zones, note.key, [&](const InstrumentZone& iz) {
            if (note.velocity < iz.velLo || note.velocity > iz.velHi) return true;
            if (iz.sfz) {
                if (!SfzConditionsMatch(*iz.sfz, note)) return true;
            } else if (note.trigger == Trigger::kRelease) {
                return true;
            }
            const Sample* s = iz.sample;
            if (!s || !s->Ready() || s->length == 0) return true;
            if (n == capacity) return false;
            VoiceDesc& v = out[n];
            v.sample = s;
            v.zone = &iz;
            v.presetZone = &pz;
            for (int g = 0; g < kGenCount; ++g) v.gen[g] = int32_t(iz.gen[g]) + pz.gen[g];
            v.gen[kGenInitialPitch] = 0;

            // Positions, clamped into the loaded sample.
            const int64_t len = s->length;
            int64_t start = std::clamp<int64_t>(iz.start, 0, len - 1);
            int64_t end = iz.endAbs >= 0 ? iz.endAbs : len + iz.endOffset;
            end = std::clamp<int64_t>(end, start + 1, len);
            v.start = uint32_t(start);
            v.end = uint32_t(end);
            int mode = v.gen[kGenSampleModes] & 3;
            if (mode == 2) mode = 0;
            const LoopSpan& loop = s->loops[iz.loop];
            if (mode != 0 && (!loop.valid || loop.start < v.start || loop.end > v.end)) mode = 0;
            v.loop = iz.loop;
            v.loopStart = mode ? loop.start : v.start;
            v.loopEnd = mode ? loop.end : v.end;
            v.loopMode = uint8_t(mode);
            int root = v.gen[kGenOverridingRootKey];
            v.rootKey = uint8_t(root >= 0 && root <= 127 ? root : s->originalPitch);
            if (iz.sfz) {
                v.group = iz.group;
                v.offBy = iz.offBy;
            } else {
                int ex = std::clamp(v.gen[kGenExclusiveClass], 0, 127);
                v.group = v.offBy = uint32_t(ex);
            }
            v.gainDb = iz.gainDb;
            v.filter = iz.filter;
            v.oneShot = iz.oneShot;
            v.sfz = iz.sfz;

            // Modulators: the instrument's list, then the preset's added to
            // identical ones or appended.
            size_t m = std::min(iz.mods.size(), kMaxVoiceModulators);
            std::memcpy(v.mods, iz.mods.data(), m * sizeof(Modulator));
            for (const Modulator& pm : pz.mods) {
                size_t j = 0;
                while (j < m && !v.mods[j].SameAs(pm)) ++j;
                if (j < m) {
                    v.mods[j].amount = int16_t(std::clamp(v.mods[j].amount + pm.amount, -32768, 32767));
                } else if (m < kMaxVoiceModulators) {
                    v.mods[m++] = pm;
                }
            }
            v.modCount = uint16_t(m);
            ++n;
            return true;
        });
    });
    return n;
}

// ---------------------------------------------------------------------------

Font::~Font() = default;

void Font::Finish() {
    index.clear();
    wildcard = nullptr;
    for (auto& ins : instruments) ins->byKey.Build(ins->zones);
    for (auto& p : presets) {
        p->byKey.Build(p->zones);
        // Every sample the preset can play, once.
        std::vector<Sample*> list;
        for (auto& z : p->zones)
            for (auto& iz : z.instrument->zones)
                if (iz.sample) list.push_back(const_cast<Sample*>(iz.sample));
        std::sort(list.begin(), list.end());
        list.erase(std::unique(list.begin(), list.end()), list.end());
        p->samples = std::move(list);
        if (p->anyBank || p->anyProgram) {
            if (!wildcard) wildcard = p.get();
        } else {
            index.push_back({uint32_t(p->bank) << 8 | (p->program & 0xFF), p.get()});
        }
    }
    // Stable: the first preset of the file wins among duplicates.
    std::stable_sort(index.begin(), index.end(),
                     [](const IndexEntry& a, const IndexEntry& b) { return a.key < b.key; });
    index.erase(std::unique(index.begin(), index.end(),
                            [](const IndexEntry& a, const IndexEntry& b) { return a.key == b.key; }),
                index.end());
}

const Preset* Font::FindPreset(int bank, int program) const noexcept {
    if (wildcard) return wildcard;
    if (bank < 0 || bank > 0xFFFF || program < 0 || program > 127) return nullptr;
    uint32_t key = uint32_t(bank) << 8 | uint32_t(program);
    auto it = std::lower_bound(index.begin(), index.end(), key,
                               [](const IndexEntry& e, uint32_t k) { return e.key < k; });
    return it != index.end() && it->key == key ? it->preset : nullptr;
}

bool Font::IsLoaded(const Preset& preset) const noexcept {
    for (const Sample* s : preset.samples)
        if (!s->Ready()) return false;
    return true;
}

void Font::CollectRetiredLocked() {
    for (auto& s : samples) {
        if (s->retired && !s->ready.load(std::memory_order_seq_cst) &&
            s->users.load(std::memory_order_acquire) == 0) {
            UnloadSampleLocked(*s);
        }
    }
}

bool Font::LoadSampleLocked(Sample& s) {
    if (s.ready.load(std::memory_order_relaxed)) return true;
    if (s.retired) { // the data never went away: publish it again
        s.retired = false;
        s.ready.store(true, std::memory_order_seq_cst);
        return true;
    }
    std::vector<int16_t> pcm;
    std::vector<uint8_t> low;
    if (!ReadSample(s, pcm, low)) return false;
    const size_t len = pcm.size();
    if (!low.empty() && low.size() != len) low.clear();
    if (!s.lengthKnown) {
        s.SetLength(uint32_t(len));
    } else if (len != s.length) {
        pcm.resize(s.length, 0);
        if (!low.empty()) low.resize(s.length, 0);
    }
    const size_t n = s.length;
    const size_t nLoops = s.loops.size();
    const size_t total = kGuard + n + kGuard + s.seamFrames;
    auto build = [&](auto* dst, const auto* src, auto*& seamsOut) {
        std::fill(dst, dst + total, 0);
        std::copy(src, src + n, dst + kGuard);
        auto* data = dst + kGuard;
        auto* seams = dst + kGuard + n + kGuard;
        for (size_t li = 0; li < nLoops; ++li) {
            const LoopSpan& l = s.loops[li];
            auto* seam = seams + l.seamOffset;
            if (!l.valid) continue;
            const int64_t ls = l.start, le = l.end, ll = le - ls;
            for (int64_t j = 0; j < l.seamLength; ++j) {
                int64_t q = le - kGuard + j;
                if (q >= le) q = ls + (q - le) % ll;
                if (q < 0) continue; // before the sample: guard zeros
                seam[j] = data[q];
            }
        }
        seamsOut = seams;
        return data;
    };
    auto storage = std::make_unique<int16_t[]>(total);
    const int16_t* seams = nullptr;
    s.pcm = build(storage.get(), pcm.data(), seams);
    s.seams = seams;
    s.storage = std::move(storage);
    uint64_t bytes = uint64_t(n) * 2;
    if (!low.empty()) {
        auto storageLow = std::make_unique<uint8_t[]>(total);
        const uint8_t* seamsLow = nullptr;
        s.pcmLow = build(storageLow.get(), low.data(), seamsLow);
        s.seamsLow = seamsLow;
        s.storageLow = std::move(storageLow);
        bytes += n;
    } else {
        s.pcmLow = nullptr;
        s.seamsLow = nullptr;
    }
    loadedBytes.fetch_add(bytes, std::memory_order_relaxed);
    s.ready.store(true, std::memory_order_seq_cst);
    return true;
}

void Font::UnloadSampleLocked(Sample& s) {
    s.ready.store(false, std::memory_order_seq_cst);
    if (!s.storage) return;
    if (s.users.load(std::memory_order_seq_cst) != 0) {
        s.retired = true; // a voice still plays it: free later
        return;
    }
    uint64_t bytes = uint64_t(s.length) * (s.storageLow ? 3 : 2);
    s.retired = false;
    s.pcm = nullptr;
    s.pcmLow = nullptr;
    s.seams = nullptr;
    s.seamsLow = nullptr;
    s.storage.reset();
    s.storageLow.reset();
    loadedBytes.fetch_sub(bytes, std::memory_order_relaxed);
}

bool Font::EnsureLoaded(const Preset& preset) {
    if (IsLoaded(preset)) return true;
    std::lock_guard<std::mutex> lock(loadMutex);
    CollectRetiredLocked();
    bool ok = true;
    for (Sample* s : preset.samples) ok = LoadSampleLocked(*s) && ok;
    return ok;
}

namespace {
bool PresetMatches(const Preset& p, int preset, int bank) {
    if (p.anyProgram || p.anyBank) return true;
    return (preset < 0 || p.program == preset) && (bank < 0 || p.bank == bank);
}
} // namespace

bool Font::Load(int preset, int bank, int* error) {
    std::lock_guard<std::mutex> lock(loadMutex);
    CollectRetiredLocked();
    bool any = false, ok = true;
    if (preset < 0 && bank < 0) {
        // Everything, in file order of the data (sequential reads).
        std::vector<Sample*> order;
        for (auto& s : samples) order.push_back(s.get());
        std::stable_sort(order.begin(), order.end(),
                         [](const Sample* a, const Sample* b) { return a->source.offset < b->source.offset; });
        for (Sample* s : order) ok = LoadSampleLocked(*s) && ok;
        any = true;
    } else {
        for (auto& p : presets) {
            if (!PresetMatches(*p, preset, bank)) continue;
            any = true;
            for (Sample* s : p->samples) ok = LoadSampleLocked(*s) && ok;
        }
    }
    if (!any) {
        if (error) *error = BASS_ERROR_ILLPARAM;
        return false;
    }
    if (!ok && error) *error = BASS_ERROR_FILEFORM;
    return ok;
}

bool Font::Unload(int preset, int bank) {
    std::lock_guard<std::mutex> lock(loadMutex);
    CollectRetiredLocked();
    if (preset < 0 && bank < 0) {
        for (auto& s : samples) UnloadSampleLocked(*s);
        return true;
    }
    bool any = false;
    for (auto& p : presets) {
        if (!PresetMatches(*p, preset, bank)) continue;
        any = true;
        for (Sample* s : p->samples) UnloadSampleLocked(*s);
    }
    return any;
}

// ---------------------------------------------------------------------------

namespace {

const Preset* LookInEntry(const StackEntry& e, int fontBank, int program, bool drums) noexcept {
    const Font& f = *e.font;
    if (e.preset < 0) {
        int b = fontBank;
        if (!drums) b = fontBank - e.bank; // request bank = font bank + offset
        if (b < 0) return nullptr;
        return f.FindPreset(b, program);
    }
    // A single preset of the font, used as a program override.
    const Preset* p = f.FindPreset(e.bank, e.preset);
    if (!p) return nullptr;
    bool isDrum = p->bank >= 128 || p->anyBank;
    return (isDrum == drums || p->anyBank) ? p : nullptr;
}

} // namespace

ResolvedPreset FontStack::Resolve(const PresetRequest& req) const noexcept {
    const int program = std::clamp(req.program, 0, 127);
    auto pass = [&](int bank, int prog) -> ResolvedPreset {
        for (const StackEntry& e : entries_) {
            if (!e.font) continue;
            if (req.drums && req.xg && (e.font->flags & BASS_MIDI_FONT_XGDRUMS)) {
                if (const Preset* p = LookInEntry(e, 127, prog, true)) return {e.font.get(), p};
            }
            if (const Preset* p = LookInEntry(e, bank, prog, req.drums)) return {e.font.get(), p};
        }
        return {};
    };
    if (req.drums) {
        if (auto r = pass(128, program)) return r;
        if (program != 0)
            if (auto r = pass(128, 0)) return r;
        return {};
    }
    const int bank = std::clamp(req.bank, 0, 127);
    if (auto r = pass(bank, program)) return r;
    if (bank != 0)
        if (auto r = pass(0, program)) return r;
    return {};
}

} // namespace tsl::font
