// Converter benchmark: the time the conversion engine takes for one MIDI file
// to a 16-bit WAV file, whole and in multichannel mode, with the soundfont
// given. bench/converter/run.sh compares it with tessaline-render.
//
//   tsl_converter_bench IN.mid FONT.sf2 OUT_FOLDER
#include <windows.h>

#include <bassmidi.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "converter/conversion_engine.h"
#include "converter/output_name.h"
#include "mixer/mixer_owner.h"

namespace {

class QuietHost : public IConversionHost {
public:
    void ClearLog() override {}
    void Log(const std::wstring& line) override
    {
        if (line.rfind(L"mc.", 0) == 0 && line != L"mc.completed")
            std::fwprintf(stderr, L"%ls\n", line.c_str());
    }
    // The engine reports 0 just before its first block and 1000 after its
    // last, which splits a conversion into preparation and rendering.
    void SetProgress(DWORD position) override
    {
        const auto now = std::chrono::steady_clock::now();
        if (position == 0 && renderStart == std::chrono::steady_clock::time_point())
            renderStart = now;
        if (position == 1000)
            renderEnd = now;
    }
    std::chrono::steady_clock::time_point renderStart, renderEnd;
    void SelectFile(size_t) override {}
    void SetBusy(bool) override {}
    int Ask(const std::wstring& text, UINT) override
    {
        std::fwprintf(stderr, L"%ls\n", text.c_str());
        return IDYES;
    }
    void OpenEncoderPages(const std::wstring&, const std::wstring&) override {}
};

class NeutralMixer : public IMixerOwner {
public:
    NeutralMixer()
    {
        for (DWORD& v : ChannelVolume)
            v = 100;
    }
    DWORD GetLevel() override { return 0; }
    std::wstring GetChannelInstrument(DWORD) override { return {}; }
    std::wstring GetName() const override { return L"bench"; }
    void ApplyMixLevel(DWORD) override {}
};

double Convert(const std::wstring& midi, HSOUNDFONT font, const std::wstring& folder, bool multichannel)
{
    QuietHost host;
    NeutralMixer mixer;
    std::atomic<bool> cancel{false};
    ConversionServices services;
    services.audioReady = [] { return true; };
    services.attachFonts = [font](HSTREAM stream) -> DWORD {
        const BASS_MIDI_FONT f{font, -1, 0};
        return BASS_MIDI_StreamSetFonts(stream, &f, 1) ? 1 : 0;
    };
    services.fontOwnerName = [] { return std::wstring(L"bench"); };
    ConversionSettings settings;
    settings.outputFolder = folder;
    settings.multichannel = multichannel;
    settings.streamFlags = ConverterStreamFlags(BASS_SAMPLE_FLOAT);
    // The General MIDI defaults tessaline-render plays with (reverb 40, chorus
    // off): the comparison is of the converter's own work, not of the effect
    // levels a user may choose.
    settings.reverbLevel = 40;
    settings.chorusLevel = 0;
    ConverterFile file;
    file.InputPath = midi;
    ComputeOutputName(file, folder, EncoderAt(0), multichannel);
    CConversionEngine engine(host, mixer, services, settings, cancel);
    const auto start = std::chrono::steady_clock::now();
    engine.Run({file});
    const double whole = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!multichannel)
        std::printf("render part %.3f s\n", std::chrono::duration<double>(host.renderEnd - host.renderStart).count());
    return whole;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: tsl_converter_bench IN.mid FONT.sf2 OUT_FOLDER\n");
        return 2;
    }
    BASS_SetConfig(BASS_CONFIG_MIDI_VOICES, 1000);
    HSOUNDFONT font = BASS_MIDI_FontInit(argv[2], BASS_UNICODE);
    if (!font) {
        std::fprintf(stderr, "cannot load the soundfont (error %d)\n", BASS_ErrorGetCode());
        return 1;
    }
    BASS_MIDI_FontLoad(font, -1, -1);
    const double whole = Convert(argv[1], font, argv[3], false);
    const double multi = Convert(argv[1], font, argv[3], true);
    std::printf("convert %.3f s\nmultichannel %.3f s\n", whole, multi);
    return 0;
}
