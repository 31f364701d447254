#include "synth/raw_midi.h"

#include "bassmidi.h"

namespace tsl {
namespace {
inline uint8_t DataBytes(uint8_t status) noexcept {
    uint8_t kind = status & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
}
} // namespace

void RawMidiParser::Deliver(Sink& sink) {
    const uint32_t chan = status_ & 0x0F;
    const uint8_t a = data_[0], b = data_[1];
    switch (status_ & 0xF0) {
    case 0x80: sink.Event(MIDI_EVENT_NOTE, a, chan); break; // velocity 0 = off
    case 0x90: sink.Event(MIDI_EVENT_NOTE, a | b << 8, chan); break;
    case 0xA0: sink.Event(MIDI_EVENT_KEYPRES, a | b << 8, chan); break;
    case 0xB0: sink.Event(MIDI_EVENT_CONTROL, a | b << 8, chan); break;
    case 0xC0: sink.Event(MIDI_EVENT_PROGRAM, a, chan); break;
    case 0xD0: sink.Event(MIDI_EVENT_CHANPRES, a, chan); break;
    case 0xE0: sink.Event(MIDI_EVENT_PITCH, static_cast<uint32_t>(b) << 7 | a, chan); break;
    default: break;
    }
}

uint32_t RawMidiParser::Feed(const uint8_t* data, size_t size, Sink& sink) {
    uint32_t count = 0;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = data[i];
        if (byte >= 0xF8) continue; // real-time: ignored, running status kept
        if (inSysEx_) {
            if (byte == 0xF7) {
                inSysEx_ = false;
                if (!sysexOverflow_) {
                    sysex_.push_back(0xF7);
                    sink.SysEx(sysex_.data(), static_cast<uint32_t>(sysex_.size()));
                    ++count;
                }
                sysex_.clear();
                continue;
            }
            if (byte < 0x80) {
                if (sysex_.size() < kMaxSysEx - 1) sysex_.push_back(byte);
                else sysexOverflow_ = true;
                continue;
            }
            // Any other status byte ends an unterminated SysEx, which is dropped.
            inSysEx_ = false;
            sysex_.clear();
        }
        if (byte >= 0x80) {
            have_ = 0;
            skip_ = 0;
            if (byte == 0xF0) {
                status_ = 0;
                inSysEx_ = true;
                sysexOverflow_ = false;
                sysex_.clear();
                sysex_.push_back(0xF0);
            } else if (byte >= 0xF1) {
                status_ = 0; // system common clears running status
                skip_ = byte == 0xF2 ? 2 : ((byte == 0xF1 || byte == 0xF3) ? 1 : 0);
            } else {
                status_ = byte;
            }
            continue;
        }
        if (skip_) { --skip_; continue; }
        if (!status_) continue; // data without a status: nothing to attach it to
        data_[have_++] = byte;
        if (have_ == DataBytes(status_)) {
            if (have_ == 1) data_[1] = 0;
            Deliver(sink);
            ++count;
            have_ = 0;
        }
    }
    return count;
}

} // namespace tsl
