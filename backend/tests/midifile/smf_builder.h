// Writes small standard MIDI files byte by byte for exact assertions.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace tsl::test {

using Bytes = std::vector<uint8_t>;

inline void PutVlq(Bytes& b, uint32_t v) {
    uint8_t tmp[5];
    int n = 0;
    do {
        tmp[n++] = v & 0x7F;
        v >>= 7;
    } while (v);
    while (n--) b.push_back(tmp[n] | (n ? 0x80 : 0));
}

inline void Put32(Bytes& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}

class Track {
public:
    // delta, then raw bytes (status optional: running status is the caller's choice)
    Track& Ev(uint32_t delta, std::initializer_list<uint8_t> raw) {
        PutVlq(data_, delta);
        data_.insert(data_.end(), raw);
        return *this;
    }
    Track& Meta(uint32_t delta, uint8_t type, const Bytes& payload) {
        PutVlq(data_, delta);
        data_.push_back(0xFF);
        data_.push_back(type);
        PutVlq(data_, uint32_t(payload.size()));
        data_.insert(data_.end(), payload.begin(), payload.end());
        return *this;
    }
    Track& Tempo(uint32_t delta, uint32_t usPerQuarter) {
        return Meta(delta, 0x51, {uint8_t(usPerQuarter >> 16), uint8_t(usPerQuarter >> 8), uint8_t(usPerQuarter)});
    }
    Track& SysEx(uint32_t delta, uint8_t status, const Bytes& payload) {
        PutVlq(data_, delta);
        data_.push_back(status);
        PutVlq(data_, uint32_t(payload.size()));
        data_.insert(data_.end(), payload.begin(), payload.end());
        return *this;
    }
    Track& End(uint32_t delta = 0) { return Meta(delta, 0x2F, {}); }
    const Bytes& Data() const { return data_; }

private:
    Bytes data_;
};

inline Bytes Smf(uint16_t format, uint16_t division, std::initializer_list<Track> tracks) {
    Bytes b = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, uint8_t(format), 0, uint8_t(tracks.size()),
               uint8_t(division >> 8), uint8_t(division)};
    for (const Track& t : tracks) {
        b.insert(b.end(), {'M', 'T', 'r', 'k'});
        Put32(b, uint32_t(t.Data().size()));
        b.insert(b.end(), t.Data().begin(), t.Data().end());
    }
    return b;
}

inline Bytes Rmid(const Bytes& smf) {
    Bytes b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D', 'd', 'a', 't', 'a'};
    const uint32_t n = uint32_t(smf.size());
    b.insert(b.end(), {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)});
    b.insert(b.end(), smf.begin(), smf.end());
    if (n & 1) b.push_back(0);
    const uint32_t riff = uint32_t(b.size() - 8);
    b[4] = uint8_t(riff), b[5] = uint8_t(riff >> 8), b[6] = uint8_t(riff >> 16), b[7] = uint8_t(riff >> 24);
    return b;
}

} // namespace tsl::test
