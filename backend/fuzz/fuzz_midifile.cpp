// libFuzzer target: any byte string through the MIDI file reader and the
// event-list builder must end in a clean status, never a crash or a hang.
#include <cstddef>
#include <cstdint>
#include <span>

#include "midifile/event_list.h"
#include "midifile/smf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tsl::midifile::SmfFile file;
    if (tsl::midifile::ReadSmf(std::span(data, size), file) != tsl::midifile::SmfStatus::Ok) return 0;
    uint32_t ids = 0;
    const auto list = tsl::midifile::BuildEventList(file, 44100, 8, [&](std::span<const uint8_t>) { return ++ids; });
    // Positions never go backwards, whatever the tempo map looks like.
    for (size_t i = 1; i < list.events.size(); ++i)
        if (list.events[i].pos < list.events[i - 1].pos) __builtin_trap();
    return 0;
}
