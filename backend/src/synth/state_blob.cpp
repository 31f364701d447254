#include "synth/state_blob.h"

#include <cstring>

namespace tsl {
namespace {

constexpr size_t kHeader = 12;
constexpr size_t kGlobals = 8;
// cc[128], program, msb, lsb, drums, pitch(2), pressure, rpn(2),
// range(2), fine(2), coarse, mix, transpose, mono, 2 spare bytes.
constexpr size_t kChannel = 128 + 4 + 2 + 1 + 2 + 2 + 2 + 1 + 1 + 1 + 1 + 3;

struct Writer {
    uint8_t* p;
    void u8(uint8_t v) { *p++ = v; }
    void u16(uint16_t v) { u8(v & 0xff); u8(v >> 8); }
    void u32(uint32_t v) { u16(v & 0xffff); u16(v >> 16); }
};
struct Reader {
    const uint8_t* p;
    uint8_t u8() { return *p++; }
    uint16_t u16() { uint16_t lo = u8(); return static_cast<uint16_t>(lo | u8() << 8); }
    uint32_t u32() { uint32_t lo = u16(); return lo | static_cast<uint32_t>(u16()) << 16; }
};

} // namespace

size_t StateBlobSize() noexcept { return kHeader + kGlobals + 16 * kChannel; }

void EncodeState(const MidiState& s, uint8_t* out) noexcept {
    Writer w{out};
    w.u8('T'); w.u8('S'); w.u8('L'); w.u8('S');
    w.u32(kStateBlobVersion);
    w.u32(static_cast<uint32_t>(StateBlobSize()));
    w.u8(static_cast<uint8_t>(s.mode));
    w.u16(s.masterVolume);
    w.u8(s.reverbLevel);
    w.u8(s.chorusLevel);
    w.u8(0); w.u8(0); w.u8(0);
    for (const ChannelState& c : s.channels) {
        for (uint8_t v : c.cc) w.u8(v);
        w.u8(c.program);
        w.u8(c.bankMsb);
        w.u8(c.bankLsb);
        w.u8(c.drums ? 1 : 0);
        w.u16(c.pitch);
        w.u8(c.channelPressure);
        w.u16(c.rpn);
        w.u16(c.pitchRangeCents);
        w.u16(static_cast<uint16_t>(c.fineTuneCents));
        w.u8(static_cast<uint8_t>(c.coarseTuneSemis));
        w.u8(c.mixLevel);
        w.u8(static_cast<uint8_t>(c.transpose));
        w.u8(c.monoMode ? 1 : 0);
        w.u8(0); w.u8(0); w.u8(0);
    }
}

bool DecodeState(const uint8_t* data, size_t size, MidiState& out) noexcept {
    if (!data || size < StateBlobSize()) return false;
    if (std::memcmp(data, "TSLS", 4) != 0) return false;
    Reader r{data + 4};
    if (r.u32() != kStateBlobVersion) return false;
    if (r.u32() != StateBlobSize()) return false;
    MidiState s;
    uint8_t mode = r.u8();
    if (mode > 4) return false;
    s.mode = static_cast<SystemMode>(mode);
    s.masterVolume = r.u16();
    s.reverbLevel = r.u8();
    s.chorusLevel = r.u8();
    r.p += 3;
    if (s.masterVolume > 16383 || s.reverbLevel > 127 || s.chorusLevel > 127) return false;
    for (int i = 0; i < 16; ++i) {
        ChannelState& c = s.channels[i];
        c.ResetAll(i);
        for (uint8_t& v : c.cc) v = r.u8() & 0x7f;
        c.program = r.u8() & 0x7f;
        c.bankMsb = r.u8() & 0x7f;
        c.bankLsb = r.u8() & 0x7f;
        c.drums = r.u8() != 0;
        c.pitch = r.u16();
        if (c.pitch > 16383) c.pitch = 8192;
        c.channelPressure = r.u8() & 0x7f;
        c.rpn = r.u16() & 0x3fff;
        c.pitchRangeCents = r.u16();
        if (c.pitchRangeCents > 12700) c.pitchRangeCents = 200;
        c.fineTuneCents = static_cast<int16_t>(r.u16());
        if (c.fineTuneCents < -100 || c.fineTuneCents > 100) c.fineTuneCents = 0;
        c.coarseTuneSemis = static_cast<int8_t>(r.u8());
        if (c.coarseTuneSemis < -64 || c.coarseTuneSemis > 63) c.coarseTuneSemis = 0;
        c.mixLevel = r.u8();
        c.transpose = static_cast<int8_t>(r.u8());
        c.monoMode = r.u8() != 0;
        r.p += 3;
    }
    out = s;
    return true;
}

} // namespace tsl
