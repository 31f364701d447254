// The conversion engine on real renders: WAV samples equal to a direct render,
// every failure path leaving the user's files as they were, and the runs'
// log lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "converter/file_ops.h"
#include "converter/output_name.h"
#include "converter_test_support.h"
#include "core/language.h"

using namespace convtest;
using tsl::test::Track;

namespace {

// Two notes on channel 0 (piano), 0.25 s and 0.5 s long.
Track TwoNotes()
{
    Track t;
    t.Tempo(0, 500000);
    t.Ev(0, {0xC0, 0}).Ev(0, {0x90, 60, 100}).Ev(240, {0x80, 60, 0}).Ev(0, {0x90, 67, 90}).Ev(480, {0x80, 67, 0});
    t.End(0);
    return t;
}

using ConversionEngineTest = ConversionFixture;

TEST_F(ConversionEngineTest, WavOutputsEqualTheDirectRenderAt16And24BitsAndFloat)
{
    const std::wstring midi = WriteMidi(folder, L"two notes.mid", TwoNotes());
    const ConversionSettings settings = TestSettings();
    const std::vector<float> direct = DirectRender(midi, settings);
    ASSERT_GT(direct.size(), 48000u);  // at least half a second of stereo audio

    for (size_t format : {0u, 1u, 2u}) {
        SCOPED_TRACE(format);
        ConverterFile file = Record(midi, format);
        ASSERT_EQ(Convert(file, settings), FileResult::Written);
        Wav wav;
        ASSERT_TRUE(ReadWav(file.OutputPath, wav));
        EXPECT_EQ(wav.channels, 2u);
        EXPECT_EQ(wav.rate, 48000u);
        ASSERT_EQ(wav.samples.size(), direct.size());
        if (format == 2) {
            EXPECT_EQ(wav.format, 3u);
            EXPECT_TRUE(std::equal(direct.begin(), direct.end(), wav.samples.begin()));
        } else {
            const unsigned bits = format == 0 ? 16 : 24;
            EXPECT_EQ(wav.bits, bits);
            size_t mismatches = 0;
            for (size_t i = 0; i < direct.size(); ++i)
                mismatches += wav.ints[i] != Quantized(direct[i], bits);
            EXPECT_EQ(mismatches, 0u);
        }
        EXPECT_EQ(DeleteIfPresent(file.OutputPath), 0u);
    }
    // Nothing but the MIDI file is left: no temporary file beside the outputs.
    EXPECT_EQ(FilesIn(folder.Path()).size(), 1u);
}

TEST_F(ConversionEngineTest, KeyShiftTransposesAndAMutedChannelIsSilent)
{
    Track up, octave, down;
    up.Ev(0, {0x90, 60, 100}).Ev(480, {0x80, 60, 0}).End(0);
    octave.Ev(0, {0x90, 72, 100}).Ev(480, {0x80, 72, 0}).End(0);
    down.Ev(0, {0x90, 48, 100}).Ev(480, {0x80, 48, 0}).End(0);
    const std::wstring midi = WriteMidi(folder, L"c4.mid", up);
    const ConversionSettings settings = TestSettings();

    ConverterFile file = Record(midi, 2);
    SetKeyShift(file, 12);
    ASSERT_EQ(Convert(file, settings), FileResult::Written);
    Wav shifted;
    ASSERT_TRUE(ReadWav(file.OutputPath, shifted));
    EXPECT_EQ(shifted.samples, DirectRender(WriteMidi(folder, L"c5.mid", octave), settings));

    DeleteIfPresent(file.OutputPath);
    SetKeyShift(file, -12);
    ASSERT_EQ(Convert(file, settings), FileResult::Written);
    ASSERT_TRUE(ReadWav(file.OutputPath, shifted));
    EXPECT_EQ(shifted.samples, DirectRender(WriteMidi(folder, L"c3.mid", down), settings));

    DeleteIfPresent(file.OutputPath);
    SetKeyShift(file, 0);
    mixer.ChannelMute[0] = 1;
    ASSERT_EQ(Convert(file, settings), FileResult::Written);
    Wav muted;
    ASSERT_TRUE(ReadWav(file.OutputPath, muted));
    EXPECT_EQ(FirstSound(muted.samples, 0.0f), SIZE_MAX);

    DeleteIfPresent(file.OutputPath);
    mixer.ChannelMute[0] = 0;
    mixer.ChannelVolume[1] = 0;  // another channel's level does not touch channel 0
    ASSERT_EQ(Convert(file, settings), FileResult::Written);
    Wav heard;
    ASSERT_TRUE(ReadWav(file.OutputPath, heard));
    EXPECT_EQ(heard.samples, DirectRender(midi, settings));
}

TEST_F(ConversionEngineTest, SkipSilenceMovesTheFirstNoteToTheStartAndKeepsEarlierPrograms)
{
    Track late, early;
    // Organ chosen at 0, the note two seconds later.
    late.Ev(0, {0xC0, 16}).Ev(1920, {0x90, 64, 100}).Ev(480, {0x80, 64, 0}).End(0);
    early.Ev(0, {0xC0, 16}).Ev(0, {0x90, 64, 100}).Ev(480, {0x80, 64, 0}).End(0);
    const std::wstring midi = WriteMidi(folder, L"late.mid", late);
    ConversionSettings settings = TestSettings();
    settings.skipInitialSilence = true;
    ConverterFile file = Record(midi, 2);
    ASSERT_EQ(Convert(file, settings), FileResult::Written);
    Wav wav;
    ASSERT_TRUE(ReadWav(file.OutputPath, wav));
    EXPECT_LT(FirstSound(wav.samples), 48u);  // within a millisecond
    // The same as a file whose program change and note both sit at 0.
    EXPECT_EQ(wav.samples, DirectRender(WriteMidi(folder, L"early.mid", early), TestSettings()));
}

TEST_F(ConversionEngineTest, MultichannelModeWritesOnlyTheChannelsThatPlay)
{
    Track t;
    t.Ev(0, {0x90, 60, 100}).Ev(0, {0x99, 36, 100}).Ev(480, {0x80, 60, 0}).Ev(0, {0x89, 36, 0}).End(0);
    const std::wstring midi = WriteMidi(folder, L"song.mid", t);
    ConversionSettings settings = TestSettings();
    settings.multichannel = true;
    const ConverterFile file = Record(midi, 0, {}, true);
    EXPECT_EQ(file.OutputPath, folder.File(L"song-ch**.wav"));
    Run({file}, settings);

    auto files = FilesIn(folder.Path());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::wstring>{L"song-ch01.wav", L"song-ch10.wav", L"song.mid"}));
    size_t skipped = 0;
    for (const auto& line : host.LogLines())
        skipped += line.find(L"<nothing to play, skipped>") != std::wstring::npos;
    EXPECT_EQ(skipped, 14u);
    EXPECT_EQ(host.CountLog(GetText(L"mc.completed")), 1u);
    // Channel 10 alone: the piano note is gone, the drum stays.
    Wav drums;
    ASSERT_TRUE(ReadWav(folder.File(L"song-ch10.wav"), drums));
    EXPECT_NE(FirstSound(drums.samples), SIZE_MAX);
}

TEST_F(ConversionEngineTest, ExistingOutputsAreKeptOnNoAndReplacedWholeOnYes)
{
    const std::wstring midi = WriteMidi(folder, L"a.mid", TwoNotes());
    const ConverterFile file = Record(midi, 0);
    folder.Write(L"a.wav", "old contents");
    host.answer = [](const std::wstring&, UINT) { return IDNO; };
    Run({file}, TestSettings());
    EXPECT_EQ(tsltest_core::ReadBytes(file.OutputPath), "old contents");
    EXPECT_EQ(host.CountLog(GetText(L"mc.err.skippedExistingFile", file.OutputPath)), 1u);

    host.answer = [](const std::wstring&, UINT) { return IDCANCEL; };
    Run({file}, TestSettings());
    EXPECT_EQ(tsltest_core::ReadBytes(file.OutputPath), "old contents");

    host.answer = nullptr;  // Yes
    Run({file}, TestSettings());
    Wav wav;
    EXPECT_TRUE(ReadWav(file.OutputPath, wav));
    EXPECT_EQ(FilesIn(folder.Path()).size(), 2u);
}

TEST_F(ConversionEngineTest, OutputEqualToInputIsRefusedAndTheInputKept)
{
    // A MIDI file named like the WAV file that would be written from it.
    const std::wstring midi = WriteMidi(folder, L"x.wav", TwoNotes());
    const std::string before = tsltest_core::ReadBytes(midi);
    ConverterFile file;
    file.InputPath = midi;
    file.OutputPath = midi;
    file.Encoder = EncoderAt(0);
    Run({file}, TestSettings());
    EXPECT_EQ(tsltest_core::ReadBytes(midi), before);
    ASSERT_EQ(host.Questions().size(), 2u);  // the overwrite question, then the refusal
    EXPECT_EQ(host.Questions()[1], GetText(L"mc.err.samePath", midi));
    EXPECT_EQ(host.CountLog(GetText(L"mc.failed")), 1u);
    EXPECT_EQ(host.CountLog(GetText(L"mc.completed")), 0u);
}

TEST_F(ConversionEngineTest, PathsThatDoNotFitAndMissingFormatsAreRefused)
{
    const std::wstring midi = WriteMidi(folder, L"a.mid", TwoNotes());
    ConverterFile file = Record(midi, 0, std::wstring(300, L'd'));
    EXPECT_EQ(Convert(file, TestSettings()), FileResult::Failed);
    EXPECT_EQ(host.Questions().back(), GetText(L"mc.err.pathTooLong", file.OutputPath, L"259"));

    ConverterFile noFormat = Record(midi, 0);
    noFormat.Encoder = EncoderAt(9);  // "OutputFormat" past the table
    EXPECT_EQ(noFormat.Encoder, nullptr);
    EXPECT_EQ(Convert(noFormat, TestSettings()), FileResult::Failed);
    EXPECT_EQ(host.Questions().back(), GetText(L"mc.err.noFormat"));
    EXPECT_EQ(FilesIn(folder.Path()).size(), 1u);
}

TEST_F(ConversionEngineTest, CancelLeavesNoFileAndKeepsTheOldOutput)
{
    Track t;
    t.Ev(0, {0x90, 60, 100}).Ev(9600, {0x80, 60, 0}).End(0);  // ten seconds: several blocks
    const std::wstring first = WriteMidi(folder, L"first.mid", t);
    const std::wstring second = WriteMidi(folder, L"second.mid", TwoNotes());
    folder.Write(L"first.wav", "old");
    host.onProgress = [&](DWORD position) {
        if (position > 0 && position < 1000)
            cancel = true;
    };
    Run({Record(first, 0), Record(second, 0)}, TestSettings());
    EXPECT_EQ(tsltest_core::ReadBytes(folder.File(L"first.wav")), "old");
    auto files = FilesIn(folder.Path());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::wstring>{L"first.mid", L"first.wav", L"second.mid"}));
    const auto log = host.LogLines();
    ASSERT_GE(log.size(), 5u);
    const std::vector<std::wstring> tail(log.end() - 4, log.end());
    EXPECT_EQ(tail, (std::vector<std::wstring>{GetText(L"mc.canceled"), L"--------------", GetText(L"mc.canceled"),
                                               L"--------------"}));
}

TEST_F(ConversionEngineTest, NotesNeverReleasedStillEnd)
{
    Track t;
    t.Ev(0, {0xC0, 16}).Ev(0, {0x90, 60, 100}).Ev(480, {0xB0, 7, 100}).End(0);  // organ held forever
    const std::wstring midi = WriteMidi(folder, L"held.mid", t);
    ConverterFile file = Record(midi, 0);
    ASSERT_EQ(Convert(file, TestSettings()), FileResult::Written);
    Wav wav;
    ASSERT_TRUE(ReadWav(file.OutputPath, wav));
    // Let go at the file's end like a player that stops: the organ's release
    // is heard, then the file ends in silence well before the tail limit.
    const double seconds = wav.samples.size() / 2.0 / 48000.0;
    EXPECT_GT(seconds, 0.5 + 0.05);
    EXPECT_LE(seconds, 0.5 + kMaxTailSeconds);
    ASSERT_GT(wav.samples.size(), 96000u);
    float lastPeak = 0, heldPeak = 0;
    for (size_t i = wav.samples.size() - 960; i < wav.samples.size(); ++i)
        lastPeak = std::max(lastPeak, std::fabs(wav.samples[i]));
    for (size_t i = 24000; i < 48000; ++i)
        heldPeak = std::max(heldPeak, std::fabs(wav.samples[i]));
    EXPECT_GT(heldPeak, 0.01f);
    EXPECT_LT(lastPeak, heldPeak / 100);
}

TEST_F(ConversionEngineTest, FileWithoutNotesFailsAndSaysSo)
{
    Track t;
    t.Ev(0, {0xC0, 5}).End(480);
    const std::wstring midi = WriteMidi(folder, L"empty.mid", t);
    Run({Record(midi, 0)}, TestSettings());
    EXPECT_EQ(host.CountLog(GetText(L"mc.err.noNotes")), 1u);
    EXPECT_EQ(host.CountLog(GetText(L"mc.failed")), 1u);
    EXPECT_EQ(FilesIn(folder.Path()).size(), 1u);
}

TEST_F(ConversionEngineTest, MissingInputNoSoundfontAndNoAudioAreReported)
{
    const std::wstring midi = WriteMidi(folder, L"a.mid", TwoNotes());
    ConverterFile missing = Record(folder.File(L"gone.mid"), 0);
    EXPECT_EQ(Convert(missing, TestSettings()), FileResult::Failed);
    EXPECT_EQ(host.Questions().back(), GetText(L"mc.err.inFileMissing", missing.InputPath));

    ConversionServices noFonts = TestServices();
    noFonts.attachFonts = [](HSTREAM) -> DWORD { return 0; };
    CConversionEngine engine(host, mixer, noFonts, TestSettings(), cancel);
    EXPECT_EQ(engine.ConvertFile(Record(midi, 0), false, -1), FileResult::Failed);
    EXPECT_EQ(host.Questions().back(), GetText(L"mc.err.noSoundfont", L"Tessaline #1"));

    ConversionServices noAudio = TestServices();
    noAudio.audioReady = [] { return false; };
    CConversionEngine idle(host, mixer, noAudio, TestSettings(), cancel);
    EXPECT_EQ(idle.ConvertFile(Record(midi, 0), false, -1), FileResult::Failed);
    EXPECT_EQ(host.Questions().back(), GetText(L"mc.err.bassNoInit"));

    folder.Write(L"bad.mid", "not a MIDI file at all");
    EXPECT_EQ(Convert(Record(folder.File(L"bad.mid"), 0), TestSettings()), FileResult::Failed);
    EXPECT_TRUE(host.LoggedStart(GetText(L"mc.err.inputFile", folder.File(L"bad.mid"), L"")));
    EXPECT_EQ(FilesIn(folder.Path()).size(), 2u);
}

TEST_F(ConversionEngineTest, OutputFolderThatIsNotAFolderEndsTheRun)
{
    const std::wstring midi = WriteMidi(folder, L"a.mid", TwoNotes());
    ConversionSettings settings = TestSettings();
    settings.outputFolder = folder.File(L"nowhere");
    Run({Record(midi, 0, settings.outputFolder)}, settings);
    ASSERT_EQ(host.Questions().size(), 1u);
    EXPECT_EQ(host.Questions()[0], GetText(L"mc.err.outFolderMissing", settings.outputFolder));
    EXPECT_TRUE(host.LogLines().empty());
}

}  // namespace
