#include <gtest/gtest.h>

#include "core/bass_error.h"

namespace {

TEST(BassErrorText, CodesWithOneTextForEveryOperation)
{
    for (BassOperation op : {BassOpDeviceInit, BassOpStreamCreate, BassOpFontLoad, BassOpEncoderStart}) {
        EXPECT_EQ(BassErrorText(0, op), L"OK");
        EXPECT_EQ(BassErrorText(-1, op), L"BASS_ERROR_UNKNOWN: Unknown problem!");
        EXPECT_EQ(BassErrorText(41, op), L"BASS_ERROR_FILEFORM: The file's format is not recognised/supported.");
        EXPECT_EQ(BassErrorText(7000, op), L"BASS_ERROR_MIDI_INCLUDE: An SFZ #include directive file could not be opened.");
    }
}

TEST(BassErrorText, CodesWhoseTextDependsOnTheOperation)
{
    EXPECT_EQ(BassErrorText(2, BassOpFontLoad), L"BASS_ERROR_FILEOPEN: The file could not be opened.");
    EXPECT_NE(BassErrorText(2, BassOpEncoderStart).find(L"external encoder executable"), std::wstring::npos);
    EXPECT_EQ(BassErrorText(2, BassOpDeviceInit), L"");
    EXPECT_EQ(BassErrorText(37, BassOpDeviceInit), L"");
    EXPECT_NE(BassErrorText(37, BassOpStreamCreate).find(L"\"no sound\" device"), std::wstring::npos);
    EXPECT_EQ(BassErrorText(37, BassOpPresetLoad), L"BASS_ERROR_NOTAVAIL: The soundfont does not contain the requested preset.");
    EXPECT_EQ(BassErrorText(37, BassOpEncoderStart), L"BASS_ERROR_NOTAVAIL: External encoders are not supported.");
    EXPECT_NE(BassErrorText(6, BassOpDeviceInit).find(L"Try changing the freq"), std::wstring::npos);
    EXPECT_EQ(BassErrorText(6, BassOpMidiFileStreamCreate), BassErrorText(6, BassOpStreamCreate));
    EXPECT_EQ(BassErrorText(6, BassOpFontLoad), L"");
}

TEST(BassErrorText, UnlistedCodesAreEmpty)
{
    for (int code : {7, 9, 22, 38, 45, 47, 6999, 7001})
        EXPECT_EQ(BassErrorText(code, BassOpStreamCreate), L"") << code;
}

} // namespace
