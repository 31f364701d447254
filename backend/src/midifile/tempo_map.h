// Ticks to seconds for a whole file: tempo changes from any track apply to
// all tracks (and, in format 2 files, from where they occur onwards).
#pragma once

#include <cstdint>
#include <vector>

#include "midifile/smf_reader.h"

namespace tsl::midifile {

class TempoMap {
public:
    explicit TempoMap(const SmfFile& file);

    double Seconds(uint32_t tick) const noexcept;

private:
    struct Segment {
        uint32_t tick;
        double seconds;     // time at `tick`
        double perTick;     // seconds per tick from `tick` on
    };
    std::vector<Segment> segments_;
};

// Microseconds per quarter note of a tempo meta event, 0 when malformed.
uint32_t TempoOf(const SmfFile& file, const SmfEvent& e) noexcept;

} // namespace tsl::midifile
