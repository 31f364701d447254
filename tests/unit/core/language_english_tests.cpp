// The English language file that ships with the program: a text for every key
// the program looks up, with exactly the placeholders its callers fill in.
#include <gtest/gtest.h>

#include "core/language.h"
#include "settings_test_folder.h"

using namespace tsltest_core;

namespace {

struct UsedKey {
    const wchar_t* key;
    int placeholders;  // the callers fill {0} .. {placeholders - 1}
};

// Every language key the program uses.
const UsedKey kUsedKeys[] = {
    {L"be.intro", 0},
    {L"be.noprocess", 0},
    {L"be.runningProcesses", 0},
    {L"be.title", 0},
    {L"cfg.about.debugReport", 0},
    {L"cfg.about.debugReportSave", 0},
    {L"cfg.about.debugReportSaveCompleted", 1},
    {L"cfg.about.tab", 0},
    {L"cfg.adv.autostartAtLogon", 0},
    {L"cfg.adv.blacklist", 0},
    {L"cfg.adv.cpuLimit", 0},
    {L"cfg.adv.disableEffects", 0},
    {L"cfg.adv.disableMidiEventsAsync", 0},
    {L"cfg.adv.disableStereo", 0},
    {L"cfg.adv.disableVUMeter", 0},
    {L"cfg.adv.force8bit", 0},
    {L"cfg.adv.grpDevice", 0},
    {L"cfg.adv.outputBuffer", 1},
    {L"cfg.adv.outputRate", 0},
    {L"cfg.adv.releaseOnlyLast", 0},
    {L"cfg.adv.sincInterpolatedMix", 0},
    {L"cfg.adv.snapWindows", 0},
    {L"cfg.adv.voicesLimit", 1},
    {L"cfg.donate", 0},
    {L"cfg.key.1", 0},
    {L"cfg.key.2", 0},
    {L"cfg.key.3", 0},
    {L"cfg.key.4", 0},
    {L"cfg.key.4.name", 0},
    {L"cfg.key.5", 0},
    {L"cfg.key.6", 0},
    {L"cfg.key.6.name", 0},
    {L"cfg.key.7", 0},
    {L"cfg.key.8", 0},
    {L"cfg.key.midiMixer", 0},
    {L"cfg.key.midiPanic", 0},
    {L"cfg.key.openMixer", 0},
    {L"cfg.key.openMixersAll", 0},
    {L"cfg.key.s", 0},
    {L"cfg.key.tab", 0},
    {L"cfg.key.title", 0},
    {L"cfg.mainTitle", 0},
    {L"cfg.midi.defaultDevice", 0},
    {L"cfg.midi.tab", 0},
    {L"cfg.midi.warning", 0},
    {L"cfg.midi.win8warning", 1},
    {L"cfg.midi.wmpDefaultDevice", 0},
    {L"cfg.opt.allDevicesMenu", 0},
    {L"cfg.opt.audioOutDevice", 0},
    {L"cfg.opt.chorus", 0},
    {L"cfg.opt.defaultDeviceMenu", 0},
    {L"cfg.opt.devicesCount", 0},
    {L"cfg.opt.effects", 0},
    {L"cfg.opt.grpAppearance", 0},
    {L"cfg.opt.grpSynthesis", 0},
    {L"cfg.opt.hwMixer", 0},
    {L"cfg.opt.language", 0},
    {L"cfg.opt.masterReverb", 0},
    {L"cfg.opt.overrideSysex", 0},
    {L"cfg.opt.reverb", 0},
    {L"cfg.opt.tab", 0},
    {L"cfg.sf.addSoundfontsTitle", 0},
    {L"cfg.sf.bank", 0},
    {L"cfg.sf.bankLabel", 3},
    {L"cfg.sf.bankOffsetLabel", 3},
    {L"cfg.sf.details", 0},
    {L"cfg.sf.editorTitle", 0},
    {L"cfg.sf.exportTitle", 0},
    {L"cfg.sf.fontExists", 1},
    {L"cfg.sf.importTitle", 0},
    {L"cfg.sf.info", 0},
    {L"cfg.sf.listHelp", 0},
    {L"cfg.sf.preload", 0},
    {L"cfg.sf.preloadLabel", 0},
    {L"cfg.sf.preset", 0},
    {L"cfg.sf.presetLabel", 2},
    {L"cfg.sf.size", 0},
    {L"cfg.sf.soundfonts", 0},
    {L"cfg.sf.tab", 0},
    {L"cfg.sf.tt.add", 0},
    {L"cfg.sf.tt.down", 0},
    {L"cfg.sf.tt.edit", 0},
    {L"cfg.sf.tt.export", 0},
    {L"cfg.sf.tt.import", 0},
    {L"cfg.sf.tt.remove", 0},
    {L"cfg.sf.tt.up", 0},
    {L"cfg.sf.volume", 0},
    {L"cfg.sf.volumeLabel", 2},
    {L"cfg.sf.xgdrums", 0},
    {L"cfg.upd.availVersion", 0},
    {L"cfg.upd.checkFreq", 0},
    {L"cfg.upd.checkFreqWarn", 0},
    {L"cfg.upd.checkNow", 0},
    {L"cfg.upd.curVersion", 0},
    {L"cfg.upd.days0", 0},
    {L"cfg.upd.daysx", 1},
    {L"cfg.upd.lastCheck", 0},
    {L"cfg.upd.tab", 0},
    {L"cfg.upd.updateAvailable", 0},
    {L"cfg.website", 0},
    {L"common.all", 0},
    {L"common.apply", 0},
    {L"common.cancel", 0},
    {L"common.close", 0},
    {L"common.fileType.mixerState", 0},
    {L"common.filter.allFiles", 0},
    {L"common.filter.mcFileList", 0},
    {L"common.filter.midiFiles", 0},
    {L"common.filter.mixerState", 0},
    {L"common.filter.sfConfig", 0},
    {L"common.filter.soundfontFiles", 0},
    {L"common.no", 0},
    {L"common.ok", 0},
    {L"common.resetToDefault", 0},
    {L"common.yes", 0},
    {L"err.driverMissing", 0},
    {L"err.fileMappingCreate", 1},
    {L"err.hotkeyCreation", 2},
    {L"err.listenThread", 1},
    {L"err.midiStream", 2},
    {L"err.noSoundfont", 0},
    {L"err.outputDeviceInaccessible", 2},
    {L"err.outputDeviceOpen", 3},
    {L"err.sfLoad", 3},
    {L"err.sfPreload", 3},
    {L"mc.addFilesTitle", 0},
    {L"mc.canceled", 0},
    {L"mc.column.key", 0},
    {L"mc.column.outFilename", 0},
    {L"mc.column.srcFilename", 0},
    {L"mc.completed", 0},
    {L"mc.encoderOptions", 0},
    {L"mc.err.alreadyRunning", 0},
    {L"mc.err.bassNoInit", 0},
    {L"mc.err.inFileMissing", 1},
    {L"mc.err.inputFile", 2},
    {L"mc.err.noEncoder", 3},
    {L"mc.err.noInputFile", 0},
    {L"mc.err.noSoundfont", 1},
    {L"mc.err.outFolderMissing", 1},
    {L"mc.err.overwriteExistingFiles", 0},
    {L"mc.err.skippedExistingFile", 1},
    {L"mc.exportTitle", 0},
    {L"mc.filesHelp", 0},
    {L"mc.importTitle", 0},
    {L"mc.inputFile", 0},
    {L"mc.intro", 1},
    {L"mc.log", 0},
    {L"mc.outputFolder", 0},
    {L"mc.outputFormat", 0},
    {L"mc.progress", 0},
    {L"mc.selectFolderTitle", 0},
    {L"mc.skipInitialSilence", 0},
    {L"mc.startConversion", 0},
    {L"mc.title", 0},
    {L"mc.tt.addFiles", 0},
    {L"mc.tt.exportFileList", 0},
    {L"mc.tt.importFileList", 0},
    {L"mc.tt.keyDecrease", 0},
    {L"mc.tt.keyIncrease", 0},
    {L"mc.tt.keyReset", 0},
    {L"mc.tt.multichannelMode", 0},
    {L"mc.tt.removeFiles", 0},
    {L"mixer.copyStateFrom", 0},
    {L"mixer.load", 0},
    {L"mixer.master", 0},
    {L"mixer.muteAll", 0},
    {L"mixer.openWindowsMixer", 0},
    {L"mixer.reset", 0},
    {L"mixer.save", 0},
    {L"mixer.soloAll", 0},
    {L"mixer.soloRatio", 0},
    {L"mixer.title", 0},
    {L"mixer.topmost", 0},
    {L"mixer.unmuteAll", 0},
    {L"mixer.unsoloAll", 0},
    {L"mixer.zoom", 0},
    {L"scm.about", 1},
    {L"scm.configure", 0},
    {L"scm.exit", 1},
    {L"scm.midiConverter", 0},
    {L"scm.mixer", 0},
    {L"scm.mixers", 0},
    {L"scm.panic", 0},
    {L"scm.updateAvailableBalloon", 0},
    {L"scm.updateAvailableMenu", 0},
    {L"warn.driverInstallCompleted", 0},
    {L"warn.driverInstallFailed", 0},
    {L"warn.openDevices", 1},
    {L"warn.restartTsl", 0},
};

}  // namespace

TEST(EnglishLanguageFile, HasATextForEveryKeyWithItsPlaceholders)
{
    const std::wstring installFolder = HostPath(TSL_SOURCE_DIR);
    ASSERT_NE(GetFileAttributesW((installFolder + L"\\lang\\1033.lang").c_str()), INVALID_FILE_ATTRIBUTES);
    LoadLanguage(installFolder, 1033);
    LoadSection(L"midiconverter");

    for (const UsedKey& used : kUsedKeys) {
        const std::wstring key = used.key;
        const std::wstring text = GetText(key);
        EXPECT_NE(text, key) << "no text for " << testing::PrintToString(key);
        for (int i = 0; i < 3; ++i) {
            const std::wstring placeholder = L"{" + std::to_wstring(i) + L"}";
            EXPECT_EQ(text.find(placeholder) != std::wstring::npos, i < used.placeholders)
                << testing::PrintToString(key) << " and " << testing::PrintToString(placeholder);
        }
    }
    UnloadLanguage();
}

TEST(EnglishLanguageFile, ConverterTextsComeOnlyWithTheirSection)
{
    LoadLanguage(HostPath(TSL_SOURCE_DIR), 1033);
    EXPECT_EQ(GetText(L"mc.title"), L"mc.title");
    EXPECT_NE(GetText(L"scm.mixer"), L"scm.mixer");
    EXPECT_NE(GetText(L"common.ok"), L"common.ok");
    UnloadLanguage();
}

TEST(EnglishLanguageFile, NamesItsLanguage)
{
    std::map<DWORD, std::wstring> languages = EnumLanguages(HostPath(TSL_SOURCE_DIR) + L"\\lang");
    EXPECT_EQ(languages[1033], L"English (United States)");
}
