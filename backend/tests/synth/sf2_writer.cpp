#include "synth/sf2_writer.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>

#include "font/sf2_writer.h"

namespace tsl::test {

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
    // One instrument per preset, in the general writer's terms.
    sf2test::TFont f;
    f.name = "tessaline test";
    for (const Sf2Sample& s : samples) f.sm24 = f.sm24 || !s.low.empty();
    f.minor = f.sm24 ? 4 : 1; // low bytes count from version 2.04 on
    for (size_t i = 0; i < samples.size(); ++i) {
        const Sf2Sample& s = samples[i];
        sf2test::TSample t;
        char name[24];
        std::snprintf(name, sizeof name, "s%zu", i);
        t.name = name;
        t.data = s.pcm;
        t.low = s.low;
        t.loopStart = s.loopStart;
        t.loopEnd = s.loopEnd;
        t.rate = s.rate;
        t.pitch = s.root;
        t.correction = s.correction;
        f.samples.push_back(std::move(t));
    }
    for (size_t p = 0; p < presets.size(); ++p) {
        const Sf2Preset& pr = presets[p];
        sf2test::TInst inst{pr.name, {}};
        for (const Sf2Zone& z : pr.zones) {
            sf2test::Zone zone;
            zone.gens.push_back(sf2test::Range(43, z.keyLo, z.keyHi));
            for (const auto& g : z.gens) zone.gens.push_back(sf2test::Val(g.first, g.second));
            zone.gens.push_back(sf2test::Val(53, static_cast<int16_t>(z.sample)));
            zone.mods = z.mods;
            inst.zones.push_back(std::move(zone));
        }
        f.insts.push_back(std::move(inst));
        sf2test::TPreset preset;
        preset.name = pr.name;
        preset.program = pr.program;
        preset.bank = pr.bank;
        preset.zones.push_back(sf2test::Zone{{sf2test::Val(41, static_cast<int16_t>(p))}, {}});
        f.presets.push_back(std::move(preset));
    }
    return sf2test::Build(f);
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
