#include "synth/instrument_names.h"

namespace {

constexpr int kGm2MelodicMsb = 121;

}  // namespace

std::span<const InstrumentName> InstrumentTable(int systemMode) {
    switch (systemMode) {
    case ModeGS:
        return instrument_names_detail::GsInstrumentTable();
    case ModeXG:
        return instrument_names_detail::XgInstrumentTable();
    default:
        return instrument_names_detail::GmInstrumentTable();
    }
}

const wchar_t* FindInstrumentName(int systemMode, int program1Based, int bankKey) {
    if (program1Based < 1 || program1Based > 128) {
        return nullptr;
    }
    for (const InstrumentName& row : InstrumentTable(systemMode)) {
        if (row.program == program1Based && row.bank == bankKey) {
            return row.name;
        }
    }
    return nullptr;
}

int MakeBankKey(int systemMode, int msb, int lsb) {
    msb &= 0x7F;
    lsb &= 0x7F;
    switch (systemMode) {
    case ModeGS:
        return msb;
    case ModeXG:
        return msb * 128 + lsb;
    default:
        return (msb == 0 || msb == kGm2MelodicMsb) ? lsb : kNoBankKey;
    }
}
