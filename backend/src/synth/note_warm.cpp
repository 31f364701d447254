// The records that a block's note-ons will read, asked for ahead.
//
// A note-on walks a chain of records: the preset's per-key zone list, the
// preset zones, their instruments' per-key lists, the instrument zones and
// the sample headers, and then writes a free voice's record. Between blocks
// a thousand voices' sample data have been through the caches, so each link
// is a miss, and one note's links can only be fetched one after the other.
// Walking the chains of all of a block's notes together, one link at a
// time, lets the misses of different notes overlap: the block waits about
// once per link rather than once per link and note. Nothing here changes
// any state: a note whose preset changes in between (a program change
// earlier in the block) only finds less of what it reads in the caches.
#include <algorithm>

#include "font/model.h"
#include "synth/prefetch.h"
#include "synth/synth.h"

namespace tsl {
namespace {

constexpr uint32_t kMaxLinks = 64;
// A voice's record is a score of lines: a burst of notes asks for the first
// few voices' only, rather than fill the queue of requests.
constexpr size_t kMaxVoiceRecords = 16;

template <class T>
inline void PrefetchRecord(const T* p) noexcept {
    const char* c = reinterpret_cast<const char*>(p);
    for (size_t o = 0; o < sizeof(T); o += 64) Prefetch(c + o);
    Prefetch(c + sizeof(T) - 1);
}

// One level of the chain: for each owner (a preset or an instrument), the
// zones its per-key index lists for the key, within the velocity, asked for
// and gathered into `out` (at most kMaxLinks). Each link is asked for for
// every owner before any owner reads it.
template <class Owner, class Zone>
uint32_t ZonesOf(const Owner* const* owners, const uint8_t* keys, const uint8_t* vels, uint32_t count,
                 const Zone** out, uint8_t* outKey, uint8_t* outVel) noexcept {
    for (uint32_t i = 0; i < count; ++i) {
        const font::KeyIndex& x = owners[i]->byKey;
        if (!x.start.empty()) Prefetch(&x.start[keys[i]]);
    }
    uint32_t lo[kMaxLinks], hi[kMaxLinks];
    for (uint32_t i = 0; i < count; ++i) {
        const font::KeyIndex& x = owners[i]->byKey;
        lo[i] = hi[i] = 0;
        if (x.start.empty()) continue;
        lo[i] = x.start[keys[i]];
        hi[i] = x.start[keys[i] + 1u];
        if (lo[i] < hi[i]) Prefetch(&x.zones[lo[i]]);
    }
    uint32_t n = 0;
    for (uint32_t i = 0; i < count && n < kMaxLinks; ++i) {
        const font::KeyIndex& x = owners[i]->byKey;
        for (uint32_t j = lo[i]; j < hi[i] && n < kMaxLinks; ++j) {
            const Zone& z = owners[i]->zones[x.zones[j]];
            PrefetchRecord(&z);
            out[n] = &z;
            outKey[n] = keys[i];
            outVel[n] = vels[i];
            ++n;
        }
    }
    // Zones of another velocity are dropped now that their first line is here.
    uint32_t kept = 0;
    for (uint32_t k = 0; k < n; ++k)
        if (outVel[k] >= out[k]->velLo && outVel[k] <= out[k]->velHi) {
            out[kept] = out[k];
            outKey[kept] = outKey[k];
            outVel[kept] = outVel[k];
            ++kept;
        }
    return kept;
}

} // namespace

void Synth::WarmNotes(const NoteAhead* notes, uint32_t count) noexcept {
    using font::Instrument;
    using font::InstrumentZone;
    using font::Preset;
    using font::PresetZone;
    const Preset* presets[kMaxLinks];
    uint8_t keys[kMaxLinks], vels[kMaxLinks];
    uint32_t n = 0;
    for (uint32_t i = 0; i < count && n < kMaxLinks; ++i) {
        const NoteAhead& a = notes[i];
        if (a.chan >= kChannels || !presetValid_[a.chan] || !preset_[a.chan].preset) continue;
        const ChannelState& ch = channels_[a.chan];
        presets[n] = preset_[a.chan].preset;
        keys[n] = static_cast<uint8_t>(ch.drums ? a.key : std::clamp(static_cast<int>(a.key) + ch.transpose, 0, 127));
        vels[n] = a.velocity;
        ++n;
    }
    const PresetZone* pz[kMaxLinks];
    uint8_t pzKey[kMaxLinks], pzVel[kMaxLinks];
    const uint32_t presetZones = ZonesOf(presets, keys, vels, n, pz, pzKey, pzVel);
    const Instrument* instruments[kMaxLinks];
    uint32_t m = 0;
    for (uint32_t k = 0; k < presetZones; ++k)
        if (pz[k]->instrument) {
            instruments[m] = pz[k]->instrument;
            PrefetchRecord(instruments[m]);
            pzKey[m] = pzKey[k];
            pzVel[m] = pzVel[k];
            ++m;
        }
    const InstrumentZone* iz[kMaxLinks];
    uint8_t izKey[kMaxLinks], izVel[kMaxLinks];
    const uint32_t voices = ZonesOf(instruments, pzKey, pzVel, m, iz, izKey, izVel);
    for (uint32_t k = 0; k < voices; ++k) {
        if (const font::Sample* smp = iz[k]->sample) {
            PrefetchRecord(smp);
            if (iz[k]->loop < smp->loops.size()) Prefetch(&smp->loops[iz[k]->loop]);
        }
        if (!iz[k]->mods.empty()) Prefetch(iz[k]->mods.data());
    }
    // The records of the voices these notes will take, in the order the
    // free list hands them out.
    const size_t take = std::min({static_cast<size_t>(voices), free_.size(), kMaxVoiceRecords});
    for (size_t k = 0; k < take; ++k) PrefetchRecord(&voices_[free_[free_.size() - 1 - k]]);
}

} // namespace tsl
