#include "synth/instrument_names.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

struct TableCase {
    const char* label;
    int mode;
    size_t rows;
    int maxNormalKey;  // highest key of an ordinary bank
    int extraKey;      // one more key allowed outside that range, or -1
};

std::ostream& operator<<(std::ostream& os, const TableCase& c) { return os << c.label; }

class NameTable : public ::testing::TestWithParam<TableCase> {};

TEST_P(NameTable, HasTheExpectedRowCount) {
    EXPECT_EQ(InstrumentTable(GetParam().mode).size(), GetParam().rows);
}

TEST_P(NameTable, RowsAreOrderedByProgramThenBank) {
    auto table = InstrumentTable(GetParam().mode);
    for (size_t i = 1; i < table.size(); ++i) {
        const auto& a = table[i - 1];
        const auto& b = table[i];
        EXPECT_TRUE(a.program < b.program || (a.program == b.program && a.bank <= b.bank))
            << "row " << i << ": " << a.program << "/" << a.bank << " before " << b.program << "/" << b.bank;
    }
}

TEST_P(NameTable, EveryProgramHasExactlyOneCapitalTone) {
    std::map<int, int> capitals;
    for (const auto& row : InstrumentTable(GetParam().mode)) {
        ASSERT_GE(row.program, 1);
        ASSERT_LE(row.program, 128);
        if (row.bank == 0) {
            ++capitals[row.program];
        }
    }
    for (int p = 1; p <= 128; ++p) {
        EXPECT_EQ(capitals[p], 1) << "program " << p;
    }
}

TEST_P(NameTable, NamesAreNonEmptyAndBankKeysInRange) {
    for (const auto& row : InstrumentTable(GetParam().mode)) {
        ASSERT_NE(row.name, nullptr);
        EXPECT_NE(row.name[0], L'\0') << row.program << "/" << row.bank;
        // No stray blanks from data entry.
        std::wstring name(row.name);
        EXPECT_NE(name.front(), L' ') << row.program << "/" << row.bank;
        EXPECT_NE(name.back(), L' ') << row.program << "/" << row.bank;
        const bool ordinary = row.bank >= 0 && row.bank <= GetParam().maxNormalKey;
        EXPECT_TRUE(ordinary || row.bank == GetParam().extraKey) << row.program << "/" << row.bank;
    }
}

TEST_P(NameTable, KeysAreUniqueExceptTheXgPanPad) {
    std::map<std::pair<int, int>, int> seen;
    for (const auto& row : InstrumentTable(GetParam().mode)) {
        ++seen[{row.program, row.bank}];
    }
    for (const auto& [key, count] : seen) {
        const bool allowedTwice = GetParam().mode == ModeXG && key == std::pair{94, 65};
        EXPECT_EQ(count, allowedTwice ? 2 : 1) << key.first << "/" << key.second;
    }
}

// Every row must be reachable: some bank select pair has to produce its key,
// otherwise the name can never be shown.
TEST_P(NameTable, EveryRowIsReachableThroughMakeBankKey) {
    std::set<int> reachable;
    for (int msb = 0; msb < 128; ++msb) {
        for (int lsb = 0; lsb < 128; ++lsb) {
            reachable.insert(MakeBankKey(GetParam().mode, msb, lsb));
        }
    }
    for (const auto& row : InstrumentTable(GetParam().mode)) {
        EXPECT_TRUE(reachable.count(row.bank)) << row.program << "/" << row.bank;
    }
}

INSTANTIATE_TEST_SUITE_P(Tables, NameTable,
                         ::testing::Values(TableCase{"GM", ModeGM, 256, 9, -1},
                                           TableCase{"GS", ModeGS, 774, 48, -1},
                                           TableCase{"XG", ModeXG, 994, 126, 8192}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(InstrumentNames, RowsWithFixedNames) {
    struct Expected {
        int mode;
        int program;
        int bank;
        const wchar_t* name;
    };
    const Expected rows[] = {
        {ModeGM, 1, 0, L"Acoustic Grand Piano"}, {ModeGM, 1, 1, L"Wide Acoustic Grand"},
        {ModeGM, 26, 0, L"Steel-String Guitar"}, {ModeGM, 128, 3, L"Explosion"},
        {ModeGS, 1, 0, L"Piano 1"},              {ModeGS, 1, 8, L"Piano 1w"},
        {ModeGS, 26, 16, L"Mandolin"},           {ModeXG, 1, 0, L"Grand Piano"},
        {ModeXG, 1, 1, L"Grand Piano KSP"},      {ModeXG, 1, 8192, L"Cutting Noise"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "mode " << r.mode << " " << r.program << "/" << r.bank);
        EXPECT_STREQ(FindInstrumentName(r.mode, r.program, r.bank), r.name);
    }
    // The tables open with the first capital tone.
    EXPECT_STREQ(InstrumentTable(ModeGM).front().name, L"Acoustic Grand Piano");
    EXPECT_STREQ(InstrumentTable(ModeGS).front().name, L"Piano 1");
    EXPECT_STREQ(InstrumentTable(ModeXG).front().name, L"Grand Piano");
}

TEST(InstrumentNames, RepeatedXgKeyResolvesToTheFirstRow) {
    EXPECT_STREQ(FindInstrumentName(ModeXG, 94, 65), L"Hard Sync");

    auto table = InstrumentTable(ModeXG);
    std::vector<std::wstring> at9465;
    for (const auto& row : table) {
        if (row.program == 94 && row.bank == 65) {
            at9465.emplace_back(row.name);
        }
    }
    EXPECT_EQ(at9465, (std::vector<std::wstring>{L"Hard Sync", L"Pan Pad"}));
}

TEST(InstrumentNames, ModeSelectsTable) {
    // Program 0 with key 0, as a program change right after a reset would ask.
    EXPECT_STREQ(FindInstrumentName(ModeGM, 1, 0), L"Acoustic Grand Piano");
    EXPECT_STREQ(FindInstrumentName(ModeGM2, 1, 0), L"Acoustic Grand Piano");
    EXPECT_STREQ(FindInstrumentName(ModeGS, 1, 0), L"Piano 1");
    EXPECT_STREQ(FindInstrumentName(ModeXG, 1, 0), L"Grand Piano");
    // Unknown modes fall back to the GM table.
    EXPECT_EQ(InstrumentTable(4).data(), InstrumentTable(ModeGM).data());
    EXPECT_EQ(InstrumentTable(-1).data(), InstrumentTable(ModeGM).data());
    EXPECT_EQ(InstrumentTable(ModeGM2).data(), InstrumentTable(ModeGM).data());
}

TEST(InstrumentNames, LookupsWithoutARowFail) {
    for (int mode : {ModeGM, ModeGM2, ModeGS, ModeXG}) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(FindInstrumentName(mode, 0, 0), nullptr);
        EXPECT_EQ(FindInstrumentName(mode, 129, 0), nullptr);
        EXPECT_EQ(FindInstrumentName(mode, -5, 0), nullptr);
        EXPECT_EQ(FindInstrumentName(mode, 1, kNoBankKey), nullptr);
        EXPECT_EQ(FindInstrumentName(mode, 1, 100000), nullptr);
    }
    EXPECT_EQ(FindInstrumentName(ModeGM, 1, 10), nullptr);
    EXPECT_EQ(FindInstrumentName(ModeGM, 9, 1), nullptr);     // Celesta has no variation
    EXPECT_EQ(FindInstrumentName(ModeGS, 1, 127), nullptr);
    EXPECT_EQ(FindInstrumentName(ModeGS, 1, 3), nullptr);     // gap between variations 2 and 8
    EXPECT_EQ(FindInstrumentName(ModeXG, 3, 8192), nullptr);  // SFX bank is sparse
    EXPECT_EQ(FindInstrumentName(ModeXG, 1, 127 * 128), nullptr);
}

TEST(MakeBankKey, GmAndGm2UseTheLsbOfTheMelodicBank) {
    for (int mode : {ModeGM, ModeGM2}) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(MakeBankKey(mode, 0, 0), 0);
        EXPECT_EQ(MakeBankKey(mode, 121, 0), 0);
        EXPECT_EQ(MakeBankKey(mode, 121, 3), 3);
        EXPECT_EQ(MakeBankKey(mode, 0, 2), 2);
        EXPECT_EQ(MakeBankKey(mode, 120, 0), kNoBankKey);  // rhythm bank
        EXPECT_EQ(MakeBankKey(mode, 8, 0), kNoBankKey);    // GS-style variation
        EXPECT_STREQ(FindInstrumentName(mode, 128, MakeBankKey(mode, 121, 3)), L"Explosion");
        EXPECT_STREQ(FindInstrumentName(mode, 1, MakeBankKey(mode, 121, 1)), L"Wide Acoustic Grand");
    }
    // A foreign MSB never lands on a row, whatever the LSB.
    for (int lsb = 0; lsb < 128; ++lsb) {
        for (int p = 1; p <= 128; ++p) {
            ASSERT_EQ(FindInstrumentName(ModeGM2, p, MakeBankKey(ModeGM2, 1, lsb)), nullptr);
        }
    }
}

TEST(MakeBankKey, GsUsesTheMsb) {
    EXPECT_EQ(MakeBankKey(ModeGS, 0, 0), 0);
    EXPECT_EQ(MakeBankKey(ModeGS, 8, 0), 8);
    EXPECT_EQ(MakeBankKey(ModeGS, 8, 2), 8);  // LSB picks a tone map only
    EXPECT_STREQ(FindInstrumentName(ModeGS, 26, MakeBankKey(ModeGS, 16, 3)), L"Mandolin");
    EXPECT_STREQ(FindInstrumentName(ModeGS, 1, MakeBankKey(ModeGS, 8, 1)), L"Piano 1w");
}

TEST(MakeBankKey, XgCombinesMsbAndLsb) {
    EXPECT_EQ(MakeBankKey(ModeXG, 0, 0), 0);
    EXPECT_EQ(MakeBankKey(ModeXG, 0, 1), 1);
    EXPECT_EQ(MakeBankKey(ModeXG, 0, 126), 126);
    EXPECT_EQ(MakeBankKey(ModeXG, 64, 0), 8192);
    EXPECT_EQ(MakeBankKey(ModeXG, 127, 0), 127 * 128);
    EXPECT_STREQ(FindInstrumentName(ModeXG, 1, MakeBankKey(ModeXG, 0, 1)), L"Grand Piano KSP");
    EXPECT_STREQ(FindInstrumentName(ModeXG, 1, MakeBankKey(ModeXG, 64, 0)), L"Cutting Noise");
    EXPECT_STREQ(FindInstrumentName(ModeXG, 94, MakeBankKey(ModeXG, 0, 65)), L"Hard Sync");
}

TEST(MakeBankKey, OnlySevenBitsCount) {
    EXPECT_EQ(MakeBankKey(ModeXG, 64 + 128, 1 + 256), 8193);
    EXPECT_EQ(MakeBankKey(ModeGS, 8 + 128, 0), 8);
    EXPECT_EQ(MakeBankKey(ModeGM2, 121 + 128, 2), 2);
}

}  // namespace
