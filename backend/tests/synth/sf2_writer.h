// Writes tiny SoundFont 2 files for the synthesizer tests: one instrument per
// preset, zones with chosen generators, and 16-bit samples with known loops.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "font/model.h"

namespace tsl::test {

struct Sf2Sample {
    std::vector<int16_t> pcm;
    std::vector<uint8_t> low; // 24-bit samples: the low byte of each frame (sm24)
    uint32_t rate = 44100;
    uint8_t root = 60;
    int8_t correction = 0;
    uint32_t loopStart = 0, loopEnd = 0; // frames within pcm
};

struct Sf2Zone {
    uint8_t keyLo = 0, keyHi = 127;
    int sample = 0;
    std::vector<std::pair<uint16_t, int16_t>> gens; // generator number, amount
    std::vector<font::Modulator> mods = {};
};

struct Sf2Preset {
    std::string name = "test";
    uint16_t bank = 0, program = 0;
    std::vector<Sf2Zone> zones;
};

std::vector<uint8_t> BuildSf2(const std::vector<Sf2Sample>& samples, const std::vector<Sf2Preset>& presets);
// Writes the bytes to a fresh file under the system's temp folder; returns its path.
std::string WriteTempFile(const std::vector<uint8_t>& bytes, const std::string& name);

// A sine of exactly `period` frames per cycle, `cycles` cycles long, looped
// over all but the first cycle (so the loop is seamless by construction).
Sf2Sample SineSample(uint32_t period, uint32_t cycles, uint32_t rate = 44100, uint8_t root = 60, int16_t amplitude = 16000);

} // namespace tsl::test
