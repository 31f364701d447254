// A small SoundFont 2 writer for tests: builds exact files in memory.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "font/model.h"

namespace sf2test {

struct GenAmt {
    uint16_t oper;
    uint16_t amount;
};

inline GenAmt Range(uint16_t oper, uint8_t lo, uint8_t hi) { return {oper, uint16_t(lo | hi << 8)}; }
inline GenAmt Val(uint16_t oper, int16_t v) { return {oper, uint16_t(v)}; }

struct Zone {
    std::vector<GenAmt> gens; // a terminal instrument/sampleID generator is added by the caller
    std::vector<tsl::font::Modulator> mods;
};

struct TSample {
    std::string name = "sine";
    std::vector<int16_t> data;
    std::vector<uint8_t> low; // sm24 bytes, optional (all samples or none)
    uint32_t loopStart = 0, loopEnd = 0; // relative to the sample start
    uint32_t rate = 44100;
    uint8_t pitch = 60;
    int8_t correction = 0;
    uint16_t type = 1, link = 0;
};

struct TInst {
    std::string name;
    std::vector<Zone> zones;
};

struct TPreset {
    std::string name;
    uint16_t program = 0, bank = 0;
    std::vector<Zone> zones;
};

struct TFont {
    std::string name = "Test font";
    std::string copyright, comment;
    uint16_t major = 2, minor = 4;
    bool withIfil = true;
    bool sm24 = false;
    std::vector<TSample> samples;
    std::vector<TInst> insts;
    std::vector<TPreset> presets;
};

// A sine wave of `frames` frames, `period` frames per cycle, amplitude amp.
inline std::vector<int16_t> Sine(size_t frames, double period, double amp = 16000) {
    std::vector<int16_t> v(frames);
    for (size_t i = 0; i < frames; ++i) v[i] = int16_t(std::lround(amp * std::sin(2 * std::numbers::pi * double(i) / period)));
    return v;
}

class Bytes {
public:
    std::vector<uint8_t> b;
    void U8(uint8_t v) { b.push_back(v); }
    void U16(uint16_t v) { U8(uint8_t(v)); U8(uint8_t(v >> 8)); }
    void U32(uint32_t v) { U16(uint16_t(v)); U16(uint16_t(v >> 16)); }
    void Id(const char* id) { b.insert(b.end(), id, id + 4); }
    void Str(const std::string& s, size_t n) {
        for (size_t i = 0; i < n; ++i) U8(i < s.size() ? uint8_t(s[i]) : 0);
    }
    void Append(const std::vector<uint8_t>& o) { b.insert(b.end(), o.begin(), o.end()); }
};

// Records where each chunk starts (for truncation tests).
struct Layout {
    std::vector<std::pair<std::string, size_t>> chunks; // id, offset of its header
};

inline void Chunk(Bytes& out, const char* id, const std::vector<uint8_t>& data, Layout* layout, size_t base,
                  bool pad = true) {
    if (layout) layout->chunks.push_back({id, base + out.b.size()});
    out.Id(id);
    out.U32(uint32_t(data.size()));
    out.Append(data);
    if (pad && (data.size() & 1)) out.U8(0);
}

inline std::vector<uint8_t> List(const char* type, const Bytes& body) {
    Bytes b;
    b.Id(type);
    b.Append(body.b);
    return b.b;
}

// oddInam: write INAM with an odd size and no pad byte (files seen in the wild).
inline std::vector<uint8_t> Build(const TFont& f, Layout* layout = nullptr, bool oddInamNoPad = false) {
    // --- INFO
    Bytes info;
    size_t infoBase = 12 + 8 + 4;
    if (f.withIfil) {
        Bytes v;
        v.U16(f.major);
        v.U16(f.minor);
        Chunk(info, "ifil", v.b, layout, infoBase);
    }
    {
        std::vector<uint8_t> n(f.name.begin(), f.name.end());
        if (oddInamNoPad) {
            if (n.size() % 2 == 0) n.push_back(0);
            Chunk(info, "INAM", n, layout, infoBase, false);
        } else {
            n.push_back(0);
            Chunk(info, "INAM", n, layout, infoBase);
        }
    }
    if (!f.copyright.empty()) {
        std::vector<uint8_t> n(f.copyright.begin(), f.copyright.end());
        n.push_back(0);
        Chunk(info, "ICOP", n, layout, infoBase);
    }
    if (!f.comment.empty()) {
        std::vector<uint8_t> n(f.comment.begin(), f.comment.end());
        n.push_back(0);
        Chunk(info, "ICMT", n, layout, infoBase);
    }
    // --- sdta: each sample followed by 46 zero frames
    Bytes smpl, sm24;
    std::vector<uint32_t> starts;
    for (const TSample& s : f.samples) {
        starts.push_back(uint32_t(smpl.b.size() / 2));
        for (int16_t v : s.data) smpl.U16(uint16_t(v));
        for (int i = 0; i < 46; ++i) smpl.U16(0);
        if (f.sm24) {
            for (size_t i = 0; i < s.data.size(); ++i) sm24.U8(i < s.low.size() ? s.low[i] : 0);
            for (int i = 0; i < 46; ++i) sm24.U8(0);
        }
    }
    if (f.sm24 && (sm24.b.size() & 1)) sm24.U8(0);
    // --- pdta
    Bytes phdr, pbag, pmod, pgen, inst, ibag, imod, igen, shdr;
    auto writeZones = [](const std::vector<Zone>& zones, Bytes& bag, Bytes& gen, Bytes& mod, uint16_t& gi,
                         uint16_t& mi) {
        for (const Zone& z : zones) {
            bag.U16(gi);
            bag.U16(mi);
            for (const GenAmt& g : z.gens) {
                gen.U16(g.oper);
                gen.U16(g.amount);
                ++gi;
            }
            for (const auto& m : z.mods) {
                mod.U16(m.srcOper);
                mod.U16(m.destOper);
                mod.U16(uint16_t(m.amount));
                mod.U16(m.amtSrcOper);
                mod.U16(m.transOper);
                ++mi;
            }
        }
    };
    uint16_t pbi = 0, pgi = 0, pmi = 0;
    for (const TPreset& p : f.presets) {
        phdr.Str(p.name, 20);
        phdr.U16(p.program);
        phdr.U16(p.bank);
        phdr.U16(pbi);
        phdr.U32(0);
        phdr.U32(0);
        phdr.U32(0);
        writeZones(p.zones, pbag, pgen, pmod, pgi, pmi);
        pbi = uint16_t(pbi + p.zones.size());
    }
    phdr.Str("EOP", 20);
    phdr.U16(0);
    phdr.U16(0);
    phdr.U16(pbi);
    phdr.U32(0);
    phdr.U32(0);
    phdr.U32(0);
    pbag.U16(pgi);
    pbag.U16(pmi);
    pmod.Str("", 10);
    pgen.U32(0);
    uint16_t ibi = 0, igi = 0, imi = 0;
    for (const TInst& in : f.insts) {
        inst.Str(in.name, 20);
        inst.U16(ibi);
        writeZones(in.zones, ibag, igen, imod, igi, imi);
        ibi = uint16_t(ibi + in.zones.size());
    }
    inst.Str("EOI", 20);
    inst.U16(ibi);
    ibag.U16(igi);
    ibag.U16(imi);
    imod.Str("", 10);
    igen.U32(0);
    for (size_t i = 0; i < f.samples.size(); ++i) {
        const TSample& s = f.samples[i];
        shdr.Str(s.name, 20);
        shdr.U32(starts[i]);
        shdr.U32(starts[i] + uint32_t(s.data.size()));
        shdr.U32(starts[i] + s.loopStart);
        shdr.U32(starts[i] + s.loopEnd);
        shdr.U32(s.rate);
        shdr.U8(s.pitch);
        shdr.U8(uint8_t(s.correction));
        shdr.U16(s.link);
        shdr.U16(s.type);
    }
    shdr.Str("EOS", 20);
    shdr.Str("", 26);

    // --- assemble
    Bytes body;
    body.Id("sfbk");
    size_t base = 8; // body starts after "RIFF" + size
    {
        Bytes l;
        l.Id("INFO");
        l.Append(info.b);
        Chunk(body, "LIST", l.b, layout, base);
    }
    {
        Bytes l;
        l.Id("sdta");
        size_t sdtaBase = base + body.b.size() + 8 + 4;
        Chunk(l, "smpl", smpl.b, layout, sdtaBase - 4);
        if (f.sm24) Chunk(l, "sm24", sm24.b, layout, sdtaBase - 4);
        Chunk(body, "LIST", l.b, layout, base);
    }
    {
        Bytes l;
        l.Id("pdta");
        size_t pdtaBase = base + body.b.size() + 8;
        Chunk(l, "phdr", phdr.b, layout, pdtaBase);
        Chunk(l, "pbag", pbag.b, layout, pdtaBase);
        Chunk(l, "pmod", pmod.b, layout, pdtaBase);
        Chunk(l, "pgen", pgen.b, layout, pdtaBase);
        Chunk(l, "inst", inst.b, layout, pdtaBase);
        Chunk(l, "ibag", ibag.b, layout, pdtaBase);
        Chunk(l, "imod", imod.b, layout, pdtaBase);
        Chunk(l, "igen", igen.b, layout, pdtaBase);
        Chunk(l, "shdr", shdr.b, layout, pdtaBase);
        Chunk(body, "LIST", l.b, layout, base);
    }
    Bytes riff;
    riff.Id("RIFF");
    riff.U32(uint32_t(body.b.size()));
    riff.Append(body.b);
    return riff.b;
}

// Offset of the first occurrence of a 4-byte id in the file (for corruption tests).
inline size_t Find(const std::vector<uint8_t>& file, const char* id) {
    for (size_t i = 0; i + 4 <= file.size(); ++i)
        if (std::memcmp(&file[i], id, 4) == 0) return i;
    return size_t(-1);
}

inline void Poke32(std::vector<uint8_t>& f, size_t at, uint32_t v) {
    if (at >= f.size() || f.size() - at < 4) return;
    for (int i = 0; i < 4; ++i) f[at + size_t(i)] = uint8_t(v >> (8 * i));
}
inline void Poke16(std::vector<uint8_t>& f, size_t at, uint16_t v) {
    if (at >= f.size() || f.size() - at < 2) return;
    f[at] = uint8_t(v);
    f[at + 1] = uint8_t(v >> 8);
}

} // namespace sf2test
