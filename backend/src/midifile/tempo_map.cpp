#include "midifile/tempo_map.h"

#include <algorithm>

namespace tsl::midifile {

namespace {
constexpr uint32_t kDefaultTempo = 500000; // 120 beats per minute
}

uint32_t TempoOf(const SmfFile& file, const SmfEvent& e) noexcept {
    if (e.status != 0xFF || e.metaType != 0x51 || e.dataLength < 3) return 0;
    const auto d = file.Data(e);
    return uint32_t(d[0]) << 16 | uint32_t(d[1]) << 8 | d[2];
}

TempoMap::TempoMap(const SmfFile& file) {
    if (file.smpteFps) {
        // Time code: tempo events do not change the tick length.
        const double fps = file.smpteFps == 29 ? 30000.0 / 1001.0 : file.smpteFps;
        segments_.push_back({0, 0.0, 1.0 / (fps * file.ticksPerFrame)});
        return;
    }
    const double tpq = file.ticksPerQuarter ? file.ticksPerQuarter : 1;
    segments_.push_back({0, 0.0, kDefaultTempo / 1e6 / tpq});
    for (const SmfEvent& e : file.events) {
        const uint32_t tempo = TempoOf(file, e);
        if (!tempo) continue;
        Segment& last = segments_.back();
        const double at = last.seconds + (e.tick - last.tick) * last.perTick;
        const double perTick = tempo / 1e6 / tpq;
        if (e.tick == last.tick)
            last.perTick = perTick; // the later of two changes at one tick wins
        else
            segments_.push_back({e.tick, at, perTick});
    }
}

double TempoMap::Seconds(uint32_t tick) const noexcept {
    auto it = std::upper_bound(segments_.begin(), segments_.end(), tick,
                               [](uint32_t t, const Segment& s) { return t < s.tick; });
    const Segment& s = *(it - 1);
    return s.seconds + (tick - s.tick) * s.perTick;
}

} // namespace tsl::midifile
