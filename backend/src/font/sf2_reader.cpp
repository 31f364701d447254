// SoundFont 2.04 reader (RIFF "sfbk"), including SF3 (Ogg Vorbis samples).
//
// The whole "pdta" list (a few hundred KB even for large fonts) is read and
// validated at once; sample data stays in the file and is read per sample when
// a preset is loaded. Every size is checked against the file size before
// anything is allocated from it.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "bassmidi.h"
#include "font/readers.h"
#include "font/vorbis.h"

namespace tsl::font {

namespace {

constexpr uint16_t kTypeRom = 0x8000;
constexpr uint16_t kTypeVorbis = 0x10;

uint32_t Fourcc(const char* s) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

std::string FixedString(const uint8_t* p, size_t n) {
    size_t len = 0;
    while (len < n && p[len]) ++len;
    std::string s(reinterpret_cast<const char*>(p), len);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

bool KnownId(uint32_t id) {
    static const char* const kIds[] = {"LIST", "RIFF", "ifil", "isng", "INAM", "irom", "iver", "ICRD",
                                       "IENG", "IPRD", "ICOP", "ICMT", "ISFT", "smpl", "sm24", "phdr",
                                       "pbag", "pmod", "pgen", "inst", "ibag", "imod", "igen", "shdr"};
    for (const char* k : kIds)
        if (Fourcc(k) == id) return true;
    return false;
}

struct Chunk {
    uint32_t id = 0;
    uint64_t offset = 0; // of the data
    uint64_t size = 0;
};

class Sf2Font;

// Raw pdta records.
struct Phdr {
    std::string name;
    uint16_t preset, bank, bagNdx;
};
struct Bag {
    uint16_t genNdx, modNdx;
};
struct GenRec {
    uint16_t oper;
    uint16_t amount;
};
struct Inst {
    std::string name;
    uint16_t bagNdx;
};
struct Shdr {
    std::string name;
    uint32_t start, end, loopStart, loopEnd, rate;
    uint8_t pitch;
    int8_t correction;
    uint16_t link, type;
};

class Sf2Font final : public Font {
public:
    explicit Sf2Font(std::unique_ptr<ByteSource> s) : src(std::move(s)) {}
    std::unique_ptr<ByteSource> src;

protected:
    bool ReadSample(Sample& s, std::vector<int16_t>& pcm, std::vector<uint8_t>& low) override {
        if (s.source.kind == Sample::Source::kPcm16) {
            const size_t n = s.length;
            pcm.resize(n);
            std::vector<uint8_t> raw(n * 2);
            if (n && !src->ReadAt(s.source.offset, raw.data(), raw.size())) return false;
            for (size_t i = 0; i < n; ++i) pcm[i] = int16_t(Le16(&raw[i * 2]));
            if (s.source.offset24) {
                low.resize(n);
                if (n && !src->ReadAt(s.source.offset24, low.data(), n)) low.clear();
            }
            return true;
        }
        if (s.source.kind == Sample::Source::kOgg) {
            if (s.source.bytes > src->Size()) return false;
            std::vector<uint8_t> raw(size_t(s.source.bytes));
            if (!src->ReadAt(s.source.offset, raw.data(), raw.size())) return false;
            std::vector<int16_t> inter;
            int ch = 0;
            uint32_t rate = 0;
            if (!DecodeVorbis(raw.data(), raw.size(), inter, &ch, &rate)) return false;
            const size_t frames = inter.size() / size_t(ch);
            pcm.resize(frames);
            for (size_t i = 0; i < frames; ++i) pcm[i] = inter[i * size_t(ch)];
            return true;
        }
        return false;
    }
};

class Parser {
public:
    Parser(ByteSource& src, Sf2Font& font) : src_(src), font_(font) {}

    bool Run();

private:
    bool ReadChunkHeader(uint64_t pos, uint64_t end, Chunk* c);
    bool ListChunks(uint64_t begin, uint64_t end, std::vector<Chunk>* out);
    bool ReadBytes(const Chunk& c, std::vector<uint8_t>* out);
    bool ParseInfo(const Chunk& list);
    bool ParseSdta(const Chunk& list);
    bool ParsePdta(const Chunk& list);
    bool Build();

    ByteSource& src_;
    Sf2Font& font_;
    uint64_t fileEnd_ = 0;
    bool haveIfil_ = false;
    Chunk smpl_, sm24_;
    bool haveSmpl_ = false, haveSm24_ = false;

    std::vector<Phdr> phdr_;
    std::vector<Bag> pbag_, ibag_;
    std::vector<Modulator> pmod_, imod_;
    std::vector<GenRec> pgen_, igen_;
    std::vector<Inst> inst_;
    std::vector<Shdr> shdr_;
};

bool Parser::ReadChunkHeader(uint64_t pos, uint64_t end, Chunk* c) {
    if (pos + 8 > end) return false;
    uint8_t h[8];
    if (!src_.ReadAt(pos, h, 8)) return false;
    c->id = Le32(h);
    c->size = Le32(h + 4);
    c->offset = pos + 8;
    return true;
}

// Sub-chunks of [begin, end). A chunk that runs past `end` is an error. After
// an odd-sized chunk the pad byte is skipped unless the chunk that follows
// starts right away (files that omit the pad byte).
bool Parser::ListChunks(uint64_t begin, uint64_t end, std::vector<Chunk>* out) {
    uint64_t pos = begin;
    while (pos + 8 <= end) {
        Chunk c;
        if (!ReadChunkHeader(pos, end, &c)) return false;
        if (c.size > end - c.offset) return false;
        out->push_back(c);
        pos = c.offset + c.size;
        if (c.size & 1) {
            Chunk padded, unpadded;
            bool okPadded = ReadChunkHeader(pos + 1, end, &padded) && KnownId(padded.id);
            bool okUnpadded = ReadChunkHeader(pos, end, &unpadded) && KnownId(unpadded.id);
            if (okPadded || !okUnpadded) ++pos;
        }
        if (out->size() > 4096) return false;
    }
    return true;
}

bool Parser::ReadBytes(const Chunk& c, std::vector<uint8_t>* out) {
    if (c.size > fileEnd_ || c.offset > fileEnd_ - c.size) return false;
    out->resize(size_t(c.size));
    return c.size == 0 || src_.ReadAt(c.offset, out->data(), out->size());
}

bool Parser::ParseInfo(const Chunk& list) {
    std::vector<Chunk> subs;
    if (!ListChunks(list.offset + 4, list.offset + list.size, &subs)) return false;
    for (const Chunk& c : subs) {
        if (c.id == Fourcc("ifil")) {
            if (c.size != 4) return false;
            uint8_t b[4];
            if (!src_.ReadAt(c.offset, b, 4)) return false;
            font_.versionMajor = Le16(b);
            font_.versionMinor = Le16(b + 2);
            if (font_.versionMajor < 2 || font_.versionMajor > 3) return false;
            haveIfil_ = true;
        } else if (c.id == Fourcc("INAM") || c.id == Fourcc("ICOP") || c.id == Fourcc("ICMT")) {
            std::vector<uint8_t> b;
            const uint64_t limit = c.id == Fourcc("ICMT") ? 65536 : 256;
            Chunk t = c;
            t.size = std::min(c.size, limit);
            if (!ReadBytes(t, &b)) return false;
            std::string s = FixedString(b.data(), b.size());
            if (c.id == Fourcc("INAM")) font_.name = s;
            else if (c.id == Fourcc("ICOP")) font_.copyright = s;
            else font_.comment = s;
        }
    }
    return true;
}

bool Parser::ParseSdta(const Chunk& list) {
    std::vector<Chunk> subs;
    if (!ListChunks(list.offset + 4, list.offset + list.size, &subs)) return false;
    for (const Chunk& c : subs) {
        if (c.id == Fourcc("smpl") && !haveSmpl_) {
            smpl_ = c;
            haveSmpl_ = true;
        } else if (c.id == Fourcc("sm24") && !haveSm24_) {
            sm24_ = c;
            haveSm24_ = true;
        }
    }
    return true;
}

template <typename T, typename F>
bool ReadRecords(const std::vector<uint8_t>& b, size_t recSize, size_t minCount, std::vector<T>* out, F parse) {
    if (b.size() % recSize != 0) return false;
    size_t n = b.size() / recSize;
    if (n < minCount) return false; // (no upper bound: the chunk fits in the file)
    out->resize(n);
    for (size_t i = 0; i < n; ++i) (*out)[i] = parse(&b[i * recSize]);
    return true;
}

bool Parser::ParsePdta(const Chunk& list) {
    std::vector<Chunk> subs;
    if (!ListChunks(list.offset + 4, list.offset + list.size, &subs)) return false;
    static const char* const kOrder[] = {"phdr", "pbag", "pmod", "pgen", "inst", "ibag", "imod", "igen", "shdr"};
    std::vector<uint8_t> data[9];
    bool have[9] = {};
    for (const Chunk& c : subs) {
        for (int i = 0; i < 9; ++i) {
            if (c.id == Fourcc(kOrder[i]) && !have[i]) {
                if (!ReadBytes(c, &data[i])) return false;
                have[i] = true;
            }
        }
    }
    for (bool h : have)
        if (!h) return false;
    auto bag = [](const uint8_t* p) { return Bag{Le16(p), Le16(p + 2)}; };
    auto gen = [](const uint8_t* p) { return GenRec{Le16(p), Le16(p + 2)}; };
    auto mod = [](const uint8_t* p) {
        return Modulator{Le16(p), Le16(p + 2), int16_t(Le16(p + 4)), Le16(p + 6), Le16(p + 8)};
    };
    if (!ReadRecords(data[0], 38, 2, &phdr_, [](const uint8_t* p) {
            return Phdr{FixedString(p, 20), Le16(p + 20), Le16(p + 22), Le16(p + 24)};
        }))
        return false;
    if (!ReadRecords(data[1], 4, 1, &pbag_, bag)) return false;
    if (!ReadRecords(data[2], 10, 1, &pmod_, mod)) return false;
    if (!ReadRecords(data[3], 4, 1, &pgen_, gen)) return false;
    if (!ReadRecords(data[4], 22, 2, &inst_, [](const uint8_t* p) { return Inst{FixedString(p, 20), Le16(p + 20)}; }))
        return false;
    if (!ReadRecords(data[5], 4, 1, &ibag_, bag)) return false;
    if (!ReadRecords(data[6], 10, 1, &imod_, mod)) return false;
    if (!ReadRecords(data[7], 4, 1, &igen_, gen)) return false;
    if (!ReadRecords(data[8], 46, 1, &shdr_, [](const uint8_t* p) {
            return Shdr{FixedString(p, 20), Le32(p + 20), Le32(p + 24), Le32(p + 28), Le32(p + 32),
                        Le32(p + 36), p[40], int8_t(p[41]), Le16(p + 42), Le16(p + 44)};
        }))
        return false;

    // Index monotonicity and terminal records: every header's bag index lies
    // within the bag list (whose last record is the terminal), every bag's
    // generator and modulator indices within theirs.
    auto checkHeaders = [](auto& hdrs, size_t nBags) {
        for (size_t i = 0; i + 1 < hdrs.size(); ++i)
            if (hdrs[i].bagNdx > hdrs[i + 1].bagNdx) return false;
        return hdrs.back().bagNdx <= nBags - 1;
    };
    auto checkBags = [](const std::vector<Bag>& bags, size_t nGens, size_t nMods) {
        for (size_t i = 0; i + 1 < bags.size(); ++i)
            if (bags[i].genNdx > bags[i + 1].genNdx || bags[i].modNdx > bags[i + 1].modNdx) return false;
        return bags.back().genNdx <= nGens - 1 && bags.back().modNdx <= nMods - 1;
    };
    if (!checkHeaders(phdr_, pbag_.size()) || !checkHeaders(inst_, ibag_.size())) return false;
    if (!checkBags(pbag_, pgen_.size(), pmod_.size()) || !checkBags(ibag_, igen_.size(), imod_.size())) return false;
    return true;
}

// Generators of one zone: (oper -> amount) as read, in order.
struct ZoneGens {
    bool set[kGenCount] = {};
    uint16_t value[kGenCount] = {};
    int terminal = -1; // instrument / sampleID index, -1 when global
};

ZoneGens ReadZoneGens(const std::vector<GenRec>& gens, size_t from, size_t to, uint16_t terminalGen) {
    ZoneGens z;
    for (size_t i = from; i < to; ++i) {
        const GenRec& g = gens[i];
        if (g.oper == terminalGen) {
            z.terminal = g.amount;
            break; // generators after the terminal one are ignored
        }
        if (g.oper >= kGenCount || g.oper == kGenInstrument || g.oper == kGenSampleId ||
            g.oper == kGenInitialPitch || g.oper == kGenEndOper)
            continue;
        z.set[g.oper] = true;
        z.value[g.oper] = g.amount;
    }
    return z;
}

// Adds `m` to a modulator list: an identical one is replaced, else appended.
void OverrideMod(std::vector<Modulator>& list, const Modulator& m) {
    for (Modulator& x : list) {
        if (x.SameAs(m)) {
            x.amount = m.amount;
            return;
        }
    }
    list.push_back(m);
}

bool IsLinked(const Modulator& m) { return (m.destOper & 0x8000) != 0 || (m.srcOper & 0xFF) == 127; }

// The modulators of one zone as read: invalid destinations dropped, a
// modulator identical to an earlier one of the same zone ignored. Linked
// modulators (a destination 0x8000|index, or the "link" source) are kept
// only where `links` allows (instrument zones other than the global one),
// with their links renumbered to this list; a link to a dropped modulator
// drops the linking one.
std::vector<Modulator> ReadZoneMods(const std::vector<Modulator>& mods, size_t from, size_t to, bool links) {
    std::vector<Modulator> out;
    std::vector<int> at(to - from, -1);
    for (size_t i = from; i < to; ++i) {
        const Modulator& m = mods[i];
        const bool linkDest = (m.destOper & 0x8000) != 0;
        if (!linkDest && (m.destOper >= kGenCount || m.destOper == kGenInitialPitch || m.destOper == kGenEndOper)) continue;
        if ((m.amtSrcOper & 0xFF) == 127 && !(m.amtSrcOper & 0x80)) continue; // a link as amount source means nothing
        if (IsLinked(m) && !links) continue;
        bool dup = false;
        for (const Modulator& x : out) dup = dup || x.SameAs(m);
        if (dup) continue;
        at[i - from] = static_cast<int>(out.size());
        out.push_back(m);
    }
    // A link source nothing links into has no input: it is dropped.
    std::vector<bool> fed(out.size(), false);
    for (const Modulator& m : out)
        if (m.destOper & 0x8000) {
            const size_t target = m.destOper & 0x7fff;
            if (target < at.size() && at[target] >= 0) fed[size_t(at[target])] = true;
        }
    std::vector<Modulator> kept;
    std::vector<int> moved(out.size(), -1);
    for (size_t k = 0; k < out.size(); ++k) {
        Modulator m = out[k];
        if ((m.srcOper & 0xFF) == 127 && !fed[k]) continue;
        if (m.destOper & 0x8000) {
            const size_t target = m.destOper & 0x7fff;
            if (target >= at.size() || at[target] < 0 || (out[size_t(at[target])].srcOper & 0xFF) != 127) continue;
            m.destOper = uint16_t(0x8000 | at[target]);
        }
        moved[k] = static_cast<int>(kept.size());
        kept.push_back(m);
    }
    for (Modulator& m : kept)
        if (m.destOper & 0x8000) m.destOper = uint16_t(0x8000 | moved[m.destOper & 0x7fff]);
    return kept;
}

// A zone's own modulators over the global ones: plain ones replace an
// identical one or are appended; linked ones are appended with their links
// renumbered to their place in the merged list.
void AddZoneMods(std::vector<Modulator>& list, const std::vector<Modulator>& mods) {
    std::vector<size_t> place(mods.size());
    for (size_t k = 0; k < mods.size(); ++k) {
        if (IsLinked(mods[k])) {
            place[k] = list.size();
            list.push_back(mods[k]);
        } else {
            OverrideMod(list, mods[k]);
            place[k] = SIZE_MAX;
        }
    }
    for (size_t k = 0; k < mods.size(); ++k)
        if (place[k] != SIZE_MAX && (mods[k].destOper & 0x8000))
            list[place[k]].destOper = uint16_t(0x8000 | place[mods[k].destOper & 0x7fff]);
}

void RangeFrom(const ZoneGens& g, const ZoneGens* global, int oper, uint8_t* lo, uint8_t* hi) {
    const ZoneGens* src = g.set[oper] ? &g : (global && global->set[oper] ? global : nullptr);
    if (!src) return;
    uint8_t a = uint8_t(src->value[oper] & 0xFF), b = uint8_t(src->value[oper] >> 8);
    *lo = std::min<uint8_t>(a, 127);
    *hi = std::min<uint8_t>(b, 127);
}

bool Parser::Build() {
    if (!haveSmpl_) return false;
    const uint64_t smplFrames = smpl_.size / 2;
    // sm24 (2.04 and later): one low byte per frame of smpl.
    bool use24 = haveSm24_ && (font_.versionMajor > 2 || font_.versionMinor >= 4) && sm24_.size >= smplFrames;
    bool anyVorbis = false;

    // Samples (the last record is the terminal "EOS").
    const size_t nSamples = shdr_.size() - 1;
    std::vector<Sample*> sampleByIndex(nSamples, nullptr);
    for (size_t i = 0; i < nSamples; ++i) {
        const Shdr& h = shdr_[i];
        if (h.type & kTypeRom) continue; // ROM samples are not in the file
        auto s = std::make_unique<Sample>();
        s->name = h.name;
        s->sampleRate = h.rate ? h.rate : 44100;
        if (s->sampleRate < 400 || s->sampleRate > 768000) s->sampleRate = 44100;
        s->originalPitch = h.pitch <= 127 ? h.pitch : 60;
        s->pitchCorrection = h.correction;
        switch (h.type & 0xF) {
            case 2: s->type = SampleType::kRight; break;
            case 4: s->type = SampleType::kLeft; break;
            case 8: s->type = SampleType::kLinked; break;
            default: s->type = SampleType::kMono; break;
        }
        LoopSpan loop;
        if (h.type & kTypeVorbis) {
            // start/end: byte range of the Ogg stream in smpl; loops in frames
            // of the decoded sample.
            if (h.end <= h.start || h.end > smpl_.size) continue;
            s->source.kind = Sample::Source::kOgg;
            s->source.offset = smpl_.offset + h.start;
            s->source.bytes = h.end - h.start;
            loop.rawStart = h.loopStart;
            loop.rawEnd = h.loopEnd;
            anyVorbis = true;
        } else {
            uint64_t end = std::min<uint64_t>(h.end, smplFrames);
            if (h.start >= end) continue; // empty or outside the data: zones using it are dropped
            s->source.kind = Sample::Source::kPcm16;
            s->source.offset = smpl_.offset + uint64_t(h.start) * 2;
            s->source.bytes = (end - h.start) * 2;
            if (use24) s->source.offset24 = sm24_.offset + h.start;
            s->length = uint32_t(end - h.start);
            loop.rawStart = int64_t(h.loopStart) - h.start;
            loop.rawEnd = int64_t(h.loopEnd) - h.start;
        }
        s->loops.push_back(loop);
        sampleByIndex[i] = s.get();
        font_.samples.push_back(std::move(s));
    }
    for (size_t i = 0; i < nSamples; ++i) {
        Sample* s = sampleByIndex[i];
        if (!s || s->type == SampleType::kMono) continue;
        uint16_t l = shdr_[i].link;
        if (l < nSamples && l != i && sampleByIndex[l]) s->link = sampleByIndex[l];
    }
    font_.sampleType = anyVorbis ? BASS_MIDI_SAMTYPE_OGG : BASS_MIDI_SAMTYPE_PCM;
    font_.sampleBytes = smpl_.size + (use24 ? sm24_.size : 0);

    // Instruments.
    std::vector<Modulator> defaults(std::begin(kDefaultModulators), std::end(kDefaultModulators));
    const size_t nInst = inst_.size() - 1;
    std::vector<Instrument*> instByIndex(nInst, nullptr);
    for (size_t i = 0; i < nInst; ++i) {
        auto ins = std::make_unique<Instrument>();
        ins->name = inst_[i].name;
        const size_t b0 = inst_[i].bagNdx, b1 = inst_[i + 1].bagNdx;
        ZoneGens global;
        std::vector<Modulator> globalMods = defaults;
        bool haveGlobal = false;
        for (size_t b = b0; b < b1; ++b) {
            ZoneGens g = ReadZoneGens(igen_, ibag_[b].genNdx, ibag_[b + 1].genNdx, kGenSampleId);
            std::vector<Modulator> mods = ReadZoneMods(imod_, ibag_[b].modNdx, ibag_[b + 1].modNdx, g.terminal >= 0);
            if (g.terminal < 0) {
                if (b == b0) { // the global zone
                    global = g;
                    haveGlobal = true;
                    for (const Modulator& m : mods) OverrideMod(globalMods, m);
                }
                continue; // a later zone without a sample is ignored
            }
            if (size_t(g.terminal) >= nSamples || !sampleByIndex[size_t(g.terminal)]) continue;
            Sample* s = sampleByIndex[size_t(g.terminal)];
            InstrumentZone z;
            for (int k = 0; k < kGenCount; ++k) {
                int16_t v = GenDefault(k);
                if (haveGlobal && global.set[k]) v = int16_t(global.value[k]);
                if (g.set[k]) v = int16_t(g.value[k]);
                z.gen[k] = v;
            }
            RangeFrom(g, haveGlobal ? &global : nullptr, kGenKeyRange, &z.keyLo, &z.keyHi);
            RangeFrom(g, haveGlobal ? &global : nullptr, kGenVelRange, &z.velLo, &z.velHi);
            if (z.keyLo > z.keyHi || z.velLo > z.velHi) continue;
            z.sample = s;
            z.start = int64_t(z.gen[kGenStartAddrsOffset]) + 32768 * int64_t(z.gen[kGenStartAddrsCoarseOffset]);
            z.endOffset = int64_t(z.gen[kGenEndAddrsOffset]) + 32768 * int64_t(z.gen[kGenEndAddrsCoarseOffset]);
            int64_t ls = int64_t(z.gen[kGenStartloopAddrsOffset]) + 32768 * int64_t(z.gen[kGenStartloopAddrsCoarseOffset]);
            int64_t le = int64_t(z.gen[kGenEndloopAddrsOffset]) + 32768 * int64_t(z.gen[kGenEndloopAddrsCoarseOffset]);
            if (ls == 0 && le == 0) {
                z.loop = 0;
            } else {
                LoopSpan want;
                want.rawStart = s->loops[0].rawStart + ls;
                want.rawEnd = s->loops[0].rawEnd + le;
                size_t k = 0;
                while (k < s->loops.size() &&
                       (s->loops[k].rawStart != want.rawStart || s->loops[k].rawEnd != want.rawEnd))
                    ++k;
                if (k == s->loops.size()) {
                    if (k >= 0xFFFF) continue;
                    s->loops.push_back(want);
                }
                z.loop = uint16_t(k);
            }
            z.mods = globalMods;
            AddZoneMods(z.mods, mods);
            ins->zones.push_back(std::move(z));
        }
        instByIndex[i] = ins.get();
        font_.instruments.push_back(std::move(ins));
    }
    // PCM samples: length known now, so the loop clamps are too.
    for (auto& s : font_.samples) {
        if (s->source.kind != Sample::Source::kPcm16) continue;
        s->SetLength(s->length);
    }

    // Presets.
    const size_t nPresets = phdr_.size() - 1;
    for (size_t i = 0; i < nPresets; ++i) {
        auto p = std::make_unique<Preset>();
        p->name = phdr_[i].name;
        p->program = phdr_[i].preset;
        p->bank = phdr_[i].bank;
        const size_t b0 = phdr_[i].bagNdx, b1 = phdr_[i + 1].bagNdx;
        ZoneGens global;
        std::vector<Modulator> globalMods;
        bool haveGlobal = false;
        for (size_t b = b0; b < b1; ++b) {
            ZoneGens g = ReadZoneGens(pgen_, pbag_[b].genNdx, pbag_[b + 1].genNdx, kGenInstrument);
            std::vector<Modulator> mods = ReadZoneMods(pmod_, pbag_[b].modNdx, pbag_[b + 1].modNdx, false);
            if (g.terminal < 0) {
                if (b == b0) {
                    global = g;
                    haveGlobal = true;
                    for (const Modulator& m : mods) OverrideMod(globalMods, m);
                }
                continue;
            }
            if (size_t(g.terminal) >= nInst) continue;
            PresetZone z;
            for (int k = 0; k < kGenCount; ++k) {
                int16_t v = 0;
                if (GenAllowedInPreset(k)) {
                    if (haveGlobal && global.set[k]) v = int16_t(global.value[k]);
                    if (g.set[k]) v = int16_t(g.value[k]);
                }
                z.gen[k] = v;
            }
            RangeFrom(g, haveGlobal ? &global : nullptr, kGenKeyRange, &z.keyLo, &z.keyHi);
            RangeFrom(g, haveGlobal ? &global : nullptr, kGenVelRange, &z.velLo, &z.velHi);
            if (z.keyLo > z.keyHi || z.velLo > z.velHi) continue;
            z.instrument = instByIndex[size_t(g.terminal)];
            z.mods = globalMods;
            for (const Modulator& m : mods) OverrideMod(z.mods, m);
            p->zones.push_back(std::move(z));
        }
        font_.presets.push_back(std::move(p));
    }
    return true;
}

bool Parser::Run() {
    const uint64_t size = src_.Size();
    if (size < 12) return false;
    uint8_t h[12];
    if (!src_.ReadAt(0, h, 12)) return false;
    if (Le32(h) != Fourcc("RIFF") || Le32(h + 8) != Fourcc("sfbk")) return false;
    // A RIFF size beyond the file (seen in files missing a final pad byte) is
    // cut to the file; the chunks inside must still fit.
    fileEnd_ = std::min<uint64_t>(uint64_t(Le32(h + 4)) + 8, size);
    std::vector<Chunk> top;
    if (!ListChunks(12, fileEnd_, &top)) return false;
    bool info = false, sdta = false, pdta = false;
    for (const Chunk& c : top) {
        if (c.id != Fourcc("LIST") || c.size < 4) continue;
        uint8_t t[4];
        if (!src_.ReadAt(c.offset, t, 4)) return false;
        uint32_t type = Le32(t);
        if (type == Fourcc("INFO") && !info) {
            if (!ParseInfo(c)) return false;
            info = true;
        } else if (type == Fourcc("sdta") && !sdta) {
            if (!ParseSdta(c)) return false;
            sdta = true;
        } else if (type == Fourcc("pdta") && !pdta) {
            if (!ParsePdta(c)) return false;
            pdta = true;
        }
    }
    if (!info || !haveIfil_ || !sdta || !pdta) return false;
    return Build();
}

} // namespace

std::shared_ptr<Font> OpenSf2(std::unique_ptr<ByteSource> src, uint32_t flags, int* error) {
    auto font = std::make_shared<Sf2Font>(std::move(src));
    font->flags = flags;
    Parser parser(*font->src, *font);
    if (!parser.Run()) {
        if (error) *error = BASS_ERROR_FILEFORM;
        return nullptr;
    }
    font->Finish();
    return font;
}

} // namespace tsl::font
