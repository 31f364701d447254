#include "synth/sf2_writer.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>

namespace tsl::test {
namespace {

struct Buf {
    std::vector<uint8_t> b;
    void u8(uint8_t v) { b.push_back(v); }
    void u16(uint16_t v) { u8(v & 0xff); u8(v >> 8); }
    void u32(uint32_t v) { u16(v & 0xffff); u16(v >> 16); }
    void name(const std::string& s, size_t n) {
        for (size_t i = 0; i < n; ++i) u8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
    }
    void tag(const char* t) { for (int i = 0; i < 4; ++i) u8(static_cast<uint8_t>(t[i])); }
    void chunk(const char* t, const Buf& body) {
        tag(t);
        u32(static_cast<uint32_t>(body.b.size()));
        b.insert(b.end(), body.b.begin(), body.b.end());
        if (body.b.size() & 1) u8(0);
    }
    void list(const char* t, const Buf& body) {
        tag("LIST");
        u32(static_cast<uint32_t>(body.b.size() + 4));
        tag(t);
        b.insert(b.end(), body.b.begin(), body.b.end());
    }
};

} // namespace

Sf2Sample SineSample(uint32_t period, uint32_t cycles, uint32_t rate, uint8_t root, int16_t amplitude) {
    Sf2Sample s;
    s.rate = rate;
    s.root = root;
    s.pcm.resize(static_cast<size_t>(period) * cycles);
    for (size_t i = 0; i < s.pcm.size(); ++i)
        s.pcm[i] = static_cast<int16_t>(std::lrint(amplitude * std::sin(2 * std::numbers::pi * static_cast<double>(i % period) / period)));
    s.loopStart = period;
    s.loopEnd = period * cycles;
    return s;
}

std::vector<uint8_t> BuildSf2(const std::vector<Sf2Sample>& samples, const std::vector<Sf2Preset>& presets) {
    bool any24 = false;
    for (const Sf2Sample& s : samples) any24 = any24 || !s.low.empty();
    Buf info, ifil, isng, inam;
    ifil.u16(2); ifil.u16(any24 ? 4 : 1); // low bytes count from version 2.04 on
    isng.name("EMU8000", 8);
    inam.name("tessaline test", 16);
    info.chunk("ifil", ifil);
    info.chunk("isng", isng);
    info.chunk("INAM", inam);

    Buf smpl;
    std::vector<uint32_t> starts;
    for (const Sf2Sample& s : samples) {
        starts.push_back(static_cast<uint32_t>(smpl.b.size() / 2));
        for (int16_t v : s.pcm) smpl.u16(static_cast<uint16_t>(v));
        for (int i = 0; i < 46; ++i) smpl.u16(0);
    }
    Buf sdta;
    sdta.chunk("smpl", smpl);
    if (any24) {
        Buf sm24;
        for (const Sf2Sample& s : samples) {
            for (size_t i = 0; i < s.pcm.size(); ++i) sm24.u8(i < s.low.size() ? s.low[i] : 0);
            for (int i = 0; i < 46; ++i) sm24.u8(0);
        }
        sdta.chunk("sm24", sm24);
    }

    Buf phdr, pbag, pmod, pgen, inst, ibag, imod, igen, shdr;
    uint16_t pbagN = 0, pgenN = 0, ibagN = 0, igenN = 0;
    for (size_t p = 0; p < presets.size(); ++p) {
        const Sf2Preset& pr = presets[p];
        phdr.name(pr.name, 20);
        phdr.u16(pr.program);
        phdr.u16(pr.bank);
        phdr.u16(pbagN);
        phdr.u32(0); phdr.u32(0); phdr.u32(0);
        pbag.u16(pgenN); pbag.u16(0);
        ++pbagN;
        pgen.u16(41); pgen.u16(static_cast<uint16_t>(p)); // instrument p
        ++pgenN;
        inst.name(pr.name, 20);
        inst.u16(ibagN);
        for (const Sf2Zone& z : pr.zones) {
            ibag.u16(igenN); ibag.u16(0);
            ++ibagN;
            igen.u16(43); igen.u8(z.keyLo); igen.u8(z.keyHi);
            ++igenN;
            for (auto& g : z.gens) {
                igen.u16(g.first); igen.u16(static_cast<uint16_t>(g.second));
                ++igenN;
            }
            igen.u16(53); igen.u16(static_cast<uint16_t>(z.sample));
            ++igenN;
        }
    }
    phdr.name("EOP", 20); phdr.u16(0); phdr.u16(0); phdr.u16(pbagN); phdr.u32(0); phdr.u32(0); phdr.u32(0);
    pbag.u16(pgenN); pbag.u16(0);
    for (int i = 0; i < 10; ++i) pmod.u8(0);
    pgen.u32(0);
    inst.name("EOI", 20); inst.u16(ibagN);
    ibag.u16(igenN); ibag.u16(0);
    for (int i = 0; i < 10; ++i) imod.u8(0);
    igen.u32(0);
    for (size_t i = 0; i < samples.size(); ++i) {
        const Sf2Sample& s = samples[i];
        char nm[32];
        std::snprintf(nm, sizeof nm, "s%zu", i);
        shdr.name(nm, 20);
        shdr.u32(starts[i]);
        shdr.u32(starts[i] + static_cast<uint32_t>(s.pcm.size()));
        shdr.u32(starts[i] + s.loopStart);
        shdr.u32(starts[i] + s.loopEnd);
        shdr.u32(s.rate);
        shdr.u8(s.root);
        shdr.u8(static_cast<uint8_t>(s.correction));
        shdr.u16(0);
        shdr.u16(1);
    }
    shdr.name("EOS", 20);
    for (int i = 0; i < 26; ++i) shdr.u8(0);

    Buf pdta;
    pdta.chunk("phdr", phdr); pdta.chunk("pbag", pbag); pdta.chunk("pmod", pmod); pdta.chunk("pgen", pgen);
    pdta.chunk("inst", inst); pdta.chunk("ibag", ibag); pdta.chunk("imod", imod); pdta.chunk("igen", igen);
    pdta.chunk("shdr", shdr);

    Buf body;
    body.tag("sfbk");
    body.list("INFO", info);
    body.list("sdta", sdta);
    body.list("pdta", pdta);
    Buf file;
    file.chunk("RIFF", body);
    return file.b;
}

std::string WriteTempFile(const std::vector<uint8_t>& bytes, const std::string& name) {
    static int counter = 0;
    auto dir = std::filesystem::temp_directory_path() / "tessaline-synth-tests";
    std::filesystem::create_directories(dir);
    auto path = dir / (std::to_string(++counter) + "-" + name);
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

} // namespace tsl::test
