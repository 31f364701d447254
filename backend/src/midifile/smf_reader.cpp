#include "midifile/smf_reader.h"

#include <algorithm>
#include <cstring>

namespace tsl::midifile {
namespace {

uint32_t Be32(const uint8_t* p) noexcept {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint16_t Be16(const uint8_t* p) noexcept { return uint16_t(p[0] << 8 | p[1]); }
uint32_t Le32(const uint8_t* p) noexcept {
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}
bool Is(const uint8_t* p, const char* id) noexcept { return std::memcmp(p, id, 4) == 0; }

// Chunk ids are four printable ASCII characters; anything else after the
// last track is trailing junk (some writers pad files), not a chunk.
bool PlausibleChunkId(const uint8_t* p) noexcept {
    for (int i = 0; i < 4; ++i)
        if (p[i] < 0x20 || p[i] > 0x7E) return false;
    return true;
}

// The SMF inside a RIFF RMID wrapper, or the input itself.
std::span<const uint8_t> Unwrap(std::span<const uint8_t> bytes) noexcept {
    if (bytes.size() < 12 || !Is(bytes.data(), "RIFF") || !Is(bytes.data() + 8, "RMID")) return bytes;
    size_t pos = 12;
    while (bytes.size() - pos >= 8) {
        const uint8_t* h = bytes.data() + pos;
        const size_t left = bytes.size() - pos - 8;
        const size_t len = std::min<size_t>(Le32(h + 4), left);
        if (Is(h, "data")) return bytes.subspan(pos + 8, len);
        pos += 8 + len;
        if (pos < bytes.size() && (len & 1)) ++pos; // RIFF chunks are word-aligned
    }
    return {};
}

class TrackParser {
public:
    TrackParser(std::span<const uint8_t> track, uint16_t index, uint32_t baseTick, SmfFile& out)
        : p_(track.data()), end_(track.data() + track.size()), index_(index), tick_(baseTick), out_(out) {}

    SmfStatus Run() {
        uint8_t running = 0;
        while (p_ < end_) {
            uint32_t delta;
            if (SmfStatus s = Vlq(delta); s != SmfStatus::Ok) return s;
            tick_ += delta;
            if (tick_ > UINT32_MAX) return SmfStatus::BadEvent;
            if (p_ == end_) return SmfStatus::Truncated;

            uint8_t status = *p_;
            if (status & 0x80) {
                ++p_;
            } else {
                if (!running) return SmfStatus::BadEvent;
                status = running;
            }

            if (status < 0xF0) {
                const int count = (status & 0xE0) == 0xC0 ? 1 : 2;
                if (end_ - p_ < count) return SmfStatus::Truncated;
                SmfEvent e = Make(status);
                e.data1 = p_[0];
                e.data2 = count == 2 ? p_[1] : 0;
                if ((e.data1 | e.data2) & 0x80) return SmfStatus::BadEvent;
                p_ += count;
                running = status;
                out_.events.push_back(e);
            } else if (status == 0xF0 || status == 0xF7) {
                // Running status survives SysEx and meta events here: the
                // standard cancels it, but files that rely on it exist and
                // nothing valid is lost by keeping it.
                std::span<const uint8_t> data;
                if (SmfStatus s = Block(data); s != SmfStatus::Ok) return s;
                SysEx(status, data);
            } else if (status == 0xFF) {
                if (p_ == end_) return SmfStatus::Truncated;
                const uint8_t type = *p_++;
                std::span<const uint8_t> data;
                if (SmfStatus s = Block(data); s != SmfStatus::Ok) return s;
                if (type == 0x2F) break;
                SmfEvent e = Make(0xFF);
                e.metaType = type;
                Append(e, data);
                out_.events.push_back(e);
            } else if (status >= 0xF8) {
                // A real-time byte has no business in a file but carries no data either.
            } else {
                return SmfStatus::BadEvent;
            }
        }
        return SmfStatus::Ok;
    }

    uint32_t EndTick() const noexcept { return uint32_t(tick_); }

private:
    SmfEvent Make(uint8_t status) const noexcept {
        SmfEvent e;
        e.tick = uint32_t(tick_);
        e.track = index_;
        e.status = status;
        return e;
    }

    void Append(SmfEvent& e, std::span<const uint8_t> data) {
        e.dataOffset = uint32_t(out_.payload.size());
        e.dataLength = uint32_t(data.size());
        out_.payload.insert(out_.payload.end(), data.begin(), data.end());
    }

    SmfStatus Vlq(uint32_t& value) noexcept {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            if (p_ == end_) return SmfStatus::Truncated;
            const uint8_t b = *p_++;
            value = value << 7 | (b & 0x7F);
            if (!(b & 0x80)) return SmfStatus::Ok;
        }
        return SmfStatus::BadEvent;
    }

    SmfStatus Block(std::span<const uint8_t>& data) noexcept {
        uint32_t len;
        if (SmfStatus s = Vlq(len); s != SmfStatus::Ok) return s;
        if (len > size_t(end_ - p_)) return SmfStatus::Truncated;
        data = {p_, len};
        p_ += len;
        return SmfStatus::Ok;
    }

    // F0 starts a message that F7 packets may continue; an F7 packet outside
    // a message is an escape, kept only when it carries a whole SysEx.
    void SysEx(uint8_t status, std::span<const uint8_t> data) {
        if (status == 0xF0) {
            pending_.assign(1, 0xF0);
            pendingTick_ = tick_;
            open_ = true;
        } else if (!open_) {
            if (data.empty() || data[0] != 0xF0) return;
            pending_.clear();
            pendingTick_ = tick_;
            open_ = true;
        }
        pending_.insert(pending_.end(), data.begin(), data.end());
        if (pending_.size() > 1 && pending_.back() == 0xF7) {
            SmfEvent e = Make(0xF0);
            e.tick = uint32_t(pendingTick_);
            Append(e, pending_);
            out_.events.push_back(e);
            open_ = false;
        }
    }

    const uint8_t* p_;
    const uint8_t* end_;
    uint16_t index_;
    uint64_t tick_;
    SmfFile& out_;
    std::vector<uint8_t> pending_;
    uint64_t pendingTick_ = 0;
    bool open_ = false;
};

} // namespace

SmfStatus ReadSmf(std::span<const uint8_t> bytes, SmfFile& out) {
    out = SmfFile{};
    const std::span<const uint8_t> data = Unwrap(bytes);
    if (data.size() < 14 || !Is(data.data(), "MThd")) return SmfStatus::NotMidi;
    const uint32_t headerLength = Be32(data.data() + 4);
    if (headerLength < 6 || headerLength > data.size() - 8) return SmfStatus::BadHeader;
    const uint16_t format = Be16(data.data() + 8);
    const uint16_t division = Be16(data.data() + 12);
    if (format > 2) return SmfStatus::BadHeader;
    out.format = format;
    if (division & 0x8000) {
        const int fps = -int(int8_t(division >> 8));
        if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || (division & 0xFF) == 0)
            return SmfStatus::BadHeader;
        out.smpteFps = uint8_t(fps);
        out.ticksPerFrame = uint8_t(division & 0xFF);
    } else {
        if (division == 0) return SmfStatus::BadHeader;
        out.ticksPerQuarter = division;
    }

    // Tracks are counted as found: headers that announce more than the file
    // holds are common enough to forgive.
    size_t pos = 8 + size_t(headerLength);
    uint32_t base = 0;
    uint32_t end = 0;
    while (data.size() - pos >= 8 && out.trackCount < UINT16_MAX) {
        const uint8_t* h = data.data() + pos;
        if (!PlausibleChunkId(h)) break;
        const uint32_t len = Be32(h + 4);
        const size_t left = data.size() - pos - 8;
        if (Is(h, "MTrk")) {
            if (len > left) return SmfStatus::Truncated;
            TrackParser track(data.subspan(pos + 8, len), out.trackCount, format == 2 ? base : 0, out);
            if (SmfStatus s = track.Run(); s != SmfStatus::Ok) return s;
            ++out.trackCount;
            base = track.EndTick();
            end = std::max(end, base);
        } else if (len > left) {
            break;
        }
        pos += 8 + size_t(len);
    }
    if (out.trackCount == 0) return SmfStatus::NoTracks;
    out.endTick = end;
    // Also needed for one track: a split SysEx is placed where it began.
    if (!std::is_sorted(out.events.begin(), out.events.end(),
                        [](const SmfEvent& a, const SmfEvent& b) { return a.tick < b.tick; }))
        std::stable_sort(out.events.begin(), out.events.end(),
                         [](const SmfEvent& a, const SmfEvent& b) { return a.tick < b.tick; });
    return SmfStatus::Ok;
}

} // namespace tsl::midifile
