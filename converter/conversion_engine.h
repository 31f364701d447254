// The conversion of the converter's file list, run on its worker thread:
// every check before anything is touched, a render into a temporary file beside
// the output, and the old output replaced only by a complete new file.
//
// The engine reaches its window only through IConversionHost, whose
// implementation must never block on the window thread except to ask the user
// (the window answers those while it waits for the worker to end).
#pragma once

#include <windows.h>

#include <bass.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "converter/converter_file.h"

class IMixerOwner;

// How much each read of the stream renders. A read that ends inside the
// synthesizer's control block cuts the block there, so a render read in
// other sizes has other bits.
constexpr double kBlockSeconds = 2.0;

// Longest stretch rendered after the file's last event. The decaying stream
// itself lets go of notes still held at the end and bounds its tail; this is
// the converter's own limit should a stream ever keep sounding past that.
constexpr double kMaxTailSeconds = 15.0;

// What one run renders with, taken from the settings when it starts.
struct ConversionSettings {
    std::wstring outputFolder;
    std::wstring encoderOptions;
    std::wstring encodersFolder;
    bool skipInitialSilence = false;
    bool multichannel = false;
    bool reverbChorusOverride = true;
    DWORD sampleRate = 48000;
    DWORD reverbLevel = 64;
    DWORD chorusLevel = 64;
    DWORD masterReverb = 100;  // percent, whole hundreds count, as on a live port
    DWORD streamFlags = 0;     // the ports' flags with decoding and DECAYEND added, ASYNC removed

    // From the settings store; `encodersFolder` is the installation folder's "encoders".
    static ConversionSettings FromStore();
};

// The converter's stream flags: the ports' flags with the converter's changes.
DWORD ConverterStreamFlags(DWORD portFlags);

class IConversionHost {
public:
    virtual ~IConversionHost() = default;
    virtual void ClearLog() = 0;
    virtual void Log(const std::wstring& line) = 0;
    virtual void SetProgress(DWORD position) = 0;  // 0-1000
    virtual void SelectFile(size_t index) = 0;
    virtual void SetBusy(bool busy) = 0;
    // A message box owned by the window; returns the button pressed.
    virtual int Ask(const std::wstring& text, UINT flags) = 0;
    // The encoder's download page and the encoders folder, opened in the shell.
    virtual void OpenEncoderPages(const std::wstring& page, const std::wstring& folder) = 0;
};

// What rendering needs of the synthesizer; tests put their own in.
struct ConversionServices {
    std::function<bool()> audioReady;             // the back end is running
    std::function<DWORD(HSTREAM)> attachFonts;    // the first port's fonts; their number
    std::function<std::wstring()> fontOwnerName;  // the port whose fonts those are
    static ConversionServices FromEngine();
};

enum class FileResult { Written, Skipped, NothingToPlay, Failed, Canceled };

class CConversionEngine {
public:
    CConversionEngine(IConversionHost& host, const IMixerOwner& mixer, ConversionServices services,
                      ConversionSettings settings, std::atomic<bool>& cancel);
    CConversionEngine(const CConversionEngine&) = delete;
    CConversionEngine& operator=(const CConversionEngine&) = delete;

    // The batch over `files`, in order.
    void Run(const std::vector<ConverterFile>& files);
    // One file, or one channel (0-15) of it in multichannel mode (-1: the whole file).
    FileResult ConvertFile(const ConverterFile& file, bool overwrite, int channel);
    // Whether any output of `files` exists (in multichannel mode: any channel's file).
    bool AnyOutputExists(const std::vector<ConverterFile>& files) const;

private:
    struct Prepared;
    FileResult Fail(const std::wstring& text, UINT icon = MB_ICONERROR);
    FileResult CheckPaths(const ConverterFile& file, const std::wstring& out);
    bool BuildCommand(const ConverterFile& file, const std::wstring& temp, std::wstring& command, FileResult& result);
    FileResult Render(Prepared& job);

    IConversionHost& m_host;
    const IMixerOwner& m_mixer;
    ConversionServices m_services;
    ConversionSettings m_settings;
    std::atomic<bool>& m_cancel;
};
