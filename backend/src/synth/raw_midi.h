// Turns raw MIDI bytes into synthesizer events: running status, the length of
// each message kind, SysEx F0..F7 gathered whole, real-time bytes (F8..FF)
// skipped without disturbing running status, system common messages (F1..F6)
// skipped and clearing running status. State (running status, a message cut
// between two calls) carries over from one Feed to the next.
//
// Producer side only: used by the thread that sends events to a stream, under
// the stream's producer lock. May allocate (the SysEx buffer grows up to the
// limit); a longer SysEx is dropped whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tsl {

class RawMidiParser {
public:
    static constexpr size_t kMaxSysEx = 65536;

    struct Sink {
        virtual void Event(uint32_t event, uint32_t param, uint32_t chan) = 0;
        virtual void SysEx(const uint8_t* data, uint32_t size) = 0;
    protected:
        ~Sink() = default;
    };

    // Parses bytes; returns the number of complete messages delivered.
    uint32_t Feed(const uint8_t* data, size_t size, Sink& sink);
    void Reset() noexcept { status_ = 0; have_ = 0; inSysEx_ = false; skip_ = 0; sysex_.clear(); }

private:
    void Deliver(Sink& sink);

    uint8_t status_ = 0;     // running status (0x80..0xEF) or 0
    uint8_t data_[2] = {};
    uint8_t have_ = 0;       // data bytes gathered for status_
    uint8_t skip_ = 0;       // data bytes of a system common message still to skip
    bool inSysEx_ = false;
    bool sysexOverflow_ = false;
    std::vector<uint8_t> sysex_;
};

} // namespace tsl
