// Standard MIDI file reader: bytes in, a flat list of timed events out. Pure
// and allocation-bounded by the input size, so it is safe on hostile files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tsl::midifile {

// One event of the file. Channel messages keep their status byte; SysEx is
// reassembled into a whole F0 ... F7 message; meta events keep their type.
struct SmfEvent {
    uint32_t tick = 0;      // absolute; in format 2 files tracks follow each other
    uint16_t track = 0;     // index of the MTrk chunk it came from
    uint8_t status = 0;     // 0x80..0xEF channel message, 0xF0 SysEx, 0xFF meta
    uint8_t metaType = 0;   // meta events only
    uint8_t data1 = 0;      // channel messages
    uint8_t data2 = 0;
    uint32_t dataOffset = 0; // SysEx and meta payload, in SmfFile::payload
    uint32_t dataLength = 0;
};

struct SmfFile {
    uint16_t format = 0;          // 0, 1 or 2
    uint16_t trackCount = 0;      // MTrk chunks actually read
    uint16_t ticksPerQuarter = 0; // metrical timing; 0 with SMPTE timing
    uint8_t smpteFps = 0;         // 24, 25, 29 (29.97 drop frame) or 30; 0 = metrical
    uint8_t ticksPerFrame = 0;
    uint32_t endTick = 0;         // the last track's end (its last event or end-of-track)
    // Sorted by tick; events of one tick keep file order (earlier tracks first).
    std::vector<SmfEvent> events;
    std::vector<uint8_t> payload;

    std::span<const uint8_t> Data(const SmfEvent& e) const noexcept {
        return {payload.data() + e.dataOffset, e.dataLength};
    }
};

enum class SmfStatus {
    Ok,
    NotMidi,      // neither an MThd nor a RIFF RMID wrapper
    BadHeader,    // format, division or header length out of range
    NoTracks,
    Truncated,    // a chunk or an event runs past the end of the data
    BadEvent,     // data byte with no running status, undefined status byte, bad length
};

// Accepts a bare SMF or a RIFF "RMID" file (.rmi) holding one in its "data" chunk.
// Tolerated: fewer MTrk chunks than the header announces, unknown chunks, a
// missing end-of-track, running status carried across meta and SysEx events.
SmfStatus ReadSmf(std::span<const uint8_t> bytes, SmfFile& out);

} // namespace tsl::midifile
