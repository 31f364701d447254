#include "synth/sysex_rules.h"

#include <cstring>

namespace {

bool StartsWith(const uint8_t* bytes, uint32_t length, const uint8_t* prefix, uint32_t prefixLength) {
    return length >= prefixLength && std::memcmp(bytes, prefix, prefixLength) == 0;
}

bool Equals(const uint8_t* bytes, uint32_t length, const uint8_t* expected, uint32_t expectedLength) {
    return length == expectedLength && std::memcmp(bytes, expected, expectedLength) == 0;
}

std::array<uint8_t, 11> GsEffectMessage(uint8_t parameter, uint8_t level) {
    std::array<uint8_t, 11> m = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, parameter, static_cast<uint8_t>(level & 0x7F), 0, 0xF7};
    // Address (40 01 pp) and data (vv) are what the checksum covers.
    m[9] = RolandChecksum(m.data() + 5, 4);
    return m;
}

std::array<uint8_t, 9> XgEffectMessage(uint8_t parameter, uint8_t level) {
    return {0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, parameter, static_cast<uint8_t>(level & 0x7F), 0xF7};
}

}  // namespace

uint8_t RolandChecksum(const uint8_t* bytes, size_t count) {
    unsigned sum = 0;
    for (size_t i = 0; i < count; ++i) sum += bytes[i];
    return static_cast<uint8_t>((128 - (sum & 0x7F)) & 0x7F);
}

std::array<uint8_t, 11> GsReverbLevelMessage(uint8_t level) { return GsEffectMessage(0x33, level); }
std::array<uint8_t, 11> GsChorusLevelMessage(uint8_t level) { return GsEffectMessage(0x3A, level); }
std::array<uint8_t, 9> XgReverbReturnMessage(uint8_t level) { return XgEffectMessage(0x0C, level); }
std::array<uint8_t, 9> XgChorusReturnMessage(uint8_t level) { return XgEffectMessage(0x2C, level); }

std::optional<uint32_t> SystemOnMode(const uint8_t* bytes, uint32_t length) {
    static const uint8_t gmOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    static const uint8_t gm2On[] = {0xF0, 0x7E, 0x7F, 0x09, 0x03, 0xF7};
    static const uint8_t gsReset[] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
    static const uint8_t xgOn[] = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
    if (Equals(bytes, length, gmOn, sizeof gmOn)) return 0;
    if (Equals(bytes, length, gm2On, sizeof gm2On)) return 1;
    if (Equals(bytes, length, gsReset, sizeof gsReset)) return 2;
    if (Equals(bytes, length, xgOn, sizeof xgOn)) return 3;
    return std::nullopt;
}

bool IsClientEffectLevelMessage(const uint8_t* bytes, uint32_t length) {
    static const uint8_t gsReverb[] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x33};
    static const uint8_t gsChorus[] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x3A};
    static const uint8_t xgReverb[] = {0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x0C};
    static const uint8_t xgChorus[] = {0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x2C};
    if (length == 11) {
        return StartsWith(bytes, length, gsReverb, sizeof gsReverb) || StartsWith(bytes, length, gsChorus, sizeof gsChorus);
    }
    if (length == 9) {
        return StartsWith(bytes, length, xgReverb, sizeof xgReverb) || StartsWith(bytes, length, xgChorus, sizeof xgChorus);
    }
    return false;
}

std::optional<GsPartParameter> ParseGsPartParameter(const uint8_t* bytes, uint32_t length) {
    if (length != 11) return std::nullopt;
    if (bytes[0] != 0xF0 || bytes[1] != 0x41 || bytes[3] != 0x42 || bytes[4] != 0x12 || bytes[5] != 0x40 || bytes[10] != 0xF7) {
        return std::nullopt;
    }
    if ((bytes[6] & 0xF0) != 0x10) return std::nullopt;
    return GsPartParameter{static_cast<uint8_t>(bytes[6] & 0x0F), bytes[7], bytes[8]};
}
