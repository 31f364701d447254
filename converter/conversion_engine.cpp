#include "converter/conversion_engine.h"

#include <bass.h>
#include <bassenc.h>
#include <bassmidi.h>

#include <array>
#include <cwchar>

#include "converter/bass_stream.h"
#include "converter/file_ops.h"
#include "converter/midi_events.h"
#include "converter/output_name.h"
#include "core/bass_error.h"
#include "core/language.h"
#include "core/settings.h"
#include "core/system_error.h"
#include "mixer/mixer_owner.h"
#include "synth/stream_flags.h"
#include "synth/synth_engine.h"
#include "synth/sysex_rules.h"

namespace {

constexpr const wchar_t* kSeparator = L"--------------";
constexpr const wchar_t* kEncoderStopped = L"Error: the encoder process has stopped!";

std::wstring OneLine(std::wstring text)
{
    for (wchar_t& c : text)
        if (c == L'\n' || c == L'\r')
            c = L' ';
    return text;
}

std::wstring ChannelTag(int channel)
{
    wchar_t tag[16];
    std::swprintf(tag, 16, L"[ch-%02d]: ", channel + 1);
    return tag;
}

template <size_t N>
void SendRaw(HSTREAM stream, const std::array<BYTE, N>& message)
{
    BASS_MIDI_StreamEvents(stream, BASS_MIDI_EVENTS_RAW, message.data(), static_cast<DWORD>(message.size()));
}

// What a finished output must look like before it may replace anything.
bool LooksComplete(const std::wstring& path, const EncoderInfo& encoder, uint64_t minimumBytes)
{
    const auto size = FileSize(path);
    if (!size || *size == 0 || *size < minimumBytes)
        return false;
    const std::wstring extension = encoder.extension;
    const std::string head = ReadFileStart(path, 4);
    if (extension == L".flac")
        return head == "fLaC";
    if (extension == L".mp3")
        return head.size() >= 3 && (head.compare(0, 3, "ID3") == 0 ||
                                    (static_cast<uint8_t>(head[0]) == 0xFF && (static_cast<uint8_t>(head[1]) & 0xE0) == 0xE0));
    return head == "RIFF";
}

}  // namespace

DWORD ConverterStreamFlags(DWORD portFlags)
{
    return (portFlags | BASS_STREAM_DECODE | BASS_MIDI_DECAYEND) & ~static_cast<DWORD>(BASS_MIDI_ASYNC);
}

ConversionSettings ConversionSettings::FromStore()
{
    ConversionSettings s;
    if (!g_Settings)
        return s;
    CSettings& store = *g_Settings;
    s.outputFolder = store.OutputFolder.Get();
    s.encoderOptions = store.EncoderOptions.Get();
    s.encodersFolder = store.InstallFolder() + L"\\encoders";
    s.skipInitialSilence = store.SkipInitialSilence.Get() != 0;
    s.multichannel = store.MultichannelMode.Get() != 0;
    s.reverbChorusOverride = store.ReverbChorusOverride.Get() != 0;
    s.sampleRate = store.OutputSampleRate.Get();
    s.reverbLevel = store.ReverbLevel.Get();
    s.chorusLevel = store.ChorusLevel.Get();
    s.masterReverb = store.MasterReverb.Get();
    s.streamFlags = StreamFlagsFromSettings(BASS_STREAM_DECODE | BASS_MIDI_DECAYEND, BASS_MIDI_ASYNC);
    return s;
}

ConversionServices ConversionServices::FromEngine()
{
    ConversionServices s;
    s.audioReady = [] { return g_Engine && g_Engine->IsInitialized(); };
    s.attachFonts = [](HSTREAM stream) -> DWORD { return g_Engine ? g_Engine->AttachFonts(stream, 0) : 0; };
    s.fontOwnerName = [] { return PortName(0); };
    return s;
}

struct CConversionEngine::Prepared {
    const EncoderInfo* encoder = nullptr;
    std::wstring out, temp, command;
    std::vector<BASS_MIDI_EVENT> events;
    QWORD totalBytes = 0;
    int keyShift = 0;
};

CConversionEngine::CConversionEngine(IConversionHost& host, const IMixerOwner& mixer, ConversionServices services,
                                     ConversionSettings settings, std::atomic<bool>& cancel)
    : m_host(host), m_mixer(mixer), m_services(std::move(services)), m_settings(std::move(settings)), m_cancel(cancel)
{
}

FileResult CConversionEngine::Fail(const std::wstring& text, UINT icon)
{
    m_host.Log(OneLine(text));
    m_host.Ask(text, MB_OK | icon);
    return FileResult::Failed;
}

bool CConversionEngine::AnyOutputExists(const std::vector<ConverterFile>& files) const
{
    for (const ConverterFile& file : files) {
        if (m_settings.multichannel) {
            for (int c = 0; c < 16; ++c)
                if (FileExists(ChannelOutputName(file, c)))
                    return true;
        } else if (FileExists(file.OutputPath)) {
            return true;
        }
    }
    return false;
}

void CConversionEngine::Run(const std::vector<ConverterFile>& files)
{
    bool overwrite = false;
    if (AnyOutputExists(files)) {
        const int answer =
            m_host.Ask(GetText(L"mc.err.overwriteExistingFiles"), MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3);
        if (answer != IDYES && answer != IDNO)
            return;
        overwrite = answer == IDYES;
    }
    if (!m_settings.outputFolder.empty() && !FolderExists(m_settings.outputFolder)) {
        m_host.Ask(GetText(L"mc.err.outFolderMissing", m_settings.outputFolder), MB_OK | MB_ICONERROR);
        return;
    }
    m_host.ClearLog();
    m_host.SetBusy(true);
    for (size_t i = 0; i < files.size(); ++i) {
        if (m_cancel.load()) {
            m_host.Log(GetText(L"mc.canceled"));
            m_host.Log(kSeparator);
            break;
        }
        const ConverterFile& file = files[i];
        m_host.Log(L"Input file: " + file.InputPath);
        m_host.SelectFile(i);
        m_host.Log(L"Output file: " + file.OutputPath);
        FileResult result;
        if (!m_settings.multichannel) {
            result = ConvertFile(file, overwrite, -1);
        } else {
            // The file counts as converted when every channel that plays was.
            result = FileResult::NothingToPlay;
            for (int c = 0; c < 16 && !m_cancel.load(); ++c) {
                const FileResult r = ConvertFile(file, overwrite, c);
                if (r == FileResult::Failed || r == FileResult::Canceled)
                    result = r;
                else if (r != FileResult::NothingToPlay && result == FileResult::NothingToPlay)
                    result = r;
                if (r == FileResult::Canceled)
                    break;
            }
            if (result == FileResult::NothingToPlay)
                m_host.Log(OneLine(GetText(L"mc.err.noNotes")));
        }
        if (result == FileResult::Written || result == FileResult::Skipped)
            m_host.Log(GetText(L"mc.completed"));
        else if (result != FileResult::Canceled)
            m_host.Log(GetText(L"mc.failed"));
        m_host.Log(kSeparator);
    }
    m_host.SetBusy(false);
}

FileResult CConversionEngine::CheckPaths(const ConverterFile& file, const std::wstring& out)
{
    // A cut path could name another file; refuse instead.
    for (const std::wstring* path : {&file.InputPath, &out}) {
        if (path->size() > kMaxPathChars)
            return Fail(GetText(L"mc.err.pathTooLong", *path, std::to_wstring(kMaxPathChars)));
    }
    if (IsSameFile(file.InputPath, out))
        return Fail(GetText(L"mc.err.samePath", out));
    if (FolderExists(out))
        return Fail(GetText(L"mc.err.outputIsFolder", out));
    return FileResult::Written;
}

bool CConversionEngine::BuildCommand(const ConverterFile& file, const std::wstring& temp, std::wstring& command,
                                     FileResult& result)
{
    const EncoderInfo& encoder = *file.Encoder;
    std::wstring exe;
    if (*encoder.executable) {
        exe = m_settings.encodersFolder + L"\\" + encoder.executable;
        if (!FileExists(exe)) {
            const std::wstring text =
                GetText(L"mc.err.noEncoder", encoder.executable, encoder.downloadPage, m_settings.encodersFolder);
            m_host.Log(OneLine(text));
            if (m_host.Ask(text, MB_OKCANCEL | MB_ICONERROR) == IDOK)
                m_host.OpenEncoderPages(encoder.downloadPage, m_settings.encodersFolder);
            result = FileResult::Failed;
            return false;
        }
    }
    command = BuildEncoderCommand(encoder, exe, m_settings.encoderOptions, temp, TitleOf(file.InputPath));
    return true;
}

FileResult CConversionEngine::ConvertFile(const ConverterFile& file, bool overwrite, int channel)
{
    if (!m_services.audioReady || !m_services.audioReady())
        return Fail(GetText(L"mc.err.bassNoInit"));
    if (!FileExists(file.InputPath))
        return Fail(GetText(L"mc.err.inFileMissing", file.InputPath));
    if (EncoderIndex(file.Encoder) >= kEncoderCount)
        return Fail(GetText(L"mc.err.noFormat"));

    Prepared job;
    job.encoder = file.Encoder;
    job.out = ChannelOutputName(file, channel);
    job.keyShift = ClampKeyShift(file.KeyShift);
    if (const FileResult r = CheckPaths(file, job.out); r != FileResult::Written)
        return r;
    if (FileExists(job.out) && !overwrite) {
        m_host.Log(GetText(L"mc.err.skippedExistingFile", job.out));
        return FileResult::Skipped;
    }
    job.temp = TemporaryNameBeside(job.out, job.encoder->extension);
    if (job.temp.empty())
        return Fail(GetText(L"mc.err.pathTooLong", job.out, std::to_wstring(kMaxPathChars)));

    FileResult result = FileResult::Failed;
    if (!BuildCommand(file, job.temp, job.command, result))
        return result;

    const EventFilter filter{m_settings.skipInitialSilence, channel, m_settings.reverbChorusOverride};
    int error = 0;
    const LoadResult loaded = LoadMidiEvents(file.InputPath, m_settings.streamFlags, m_settings.sampleRate, filter,
                                             job.events, job.totalBytes, error);
    if (loaded == LoadResult::OpenFailed)
        return Fail(GetText(L"mc.err.inputFile", file.InputPath, BassErrorText(error, BassOpMidiFileStreamCreate)));
    if (channel >= 0) {
        if (loaded == LoadResult::NoNotes) {
            m_host.Log(ChannelTag(channel) + L"<nothing to play, skipped>");
            return FileResult::NothingToPlay;
        }
        m_host.Log(ChannelTag(channel) + job.command);
    } else if (loaded == LoadResult::NoNotes) {
        m_host.Log(OneLine(GetText(L"mc.err.noNotes")));
        return FileResult::Failed;
    }
    return Render(job);
}

FileResult CConversionEngine::Render(Prepared& job)
{
    const DWORD flags = m_settings.streamFlags;
    CBassStream stream(BASS_MIDI_StreamCreate(16, flags, m_settings.sampleRate));
    if (!stream)
        return Fail(GetText(L"mc.err.streamCreate", BassErrorText(BASS_ErrorGetCode(), BassOpStreamCreate)));
    if (!m_services.attachFonts || m_services.attachFonts(stream.Get()) == 0)
        return Fail(GetText(L"mc.err.noSoundfont", m_services.fontOwnerName ? m_services.fontOwnerName() : L""));

    const HSTREAM s = stream.Get();
    for (DWORD c = 0; c < 16; ++c) {
        BASS_MIDI_StreamEvent(s, c, MIDI_EVENT_MIXLEVEL, m_mixer.GetEffectiveVolume(c));
        BASS_MIDI_StreamEvent(s, c, MIDI_EVENT_TRANSPOSE, static_cast<DWORD>(job.keyShift + 100));
    }
    // As on a live port: whole hundreds only.
    BASS_ChannelSetAttribute(s, BASS_ATTRIB_MIDI_REVERB, static_cast<float>(m_settings.masterReverb / 100));

    if (!BASS_Encode_Start(s, job.command.c_str(), job.encoder->encodeFlags | BASS_ENCODE_AUTOFREE | BASS_UNICODE,
                           nullptr, nullptr)) {
        const int code = BASS_ErrorGetCode();
        DeleteIfPresent(job.temp);
        return Fail(GetText(L"mc.err.encoderStart", job.command, BassErrorText(code, BassOpEncoderStart)));
    }

    const QWORD blockBytes = BASS_ChannelSeconds2Bytes(s, kBlockSeconds);
    std::vector<BYTE> buffer(static_cast<size_t>(blockBytes ? blockBytes : 1));

    const BYTE reverb = static_cast<BYTE>(m_settings.reverbLevel & 0x7F);
    const BYTE chorus = static_cast<BYTE>(m_settings.chorusLevel & 0x7F);
    for (DWORD c = 0; c < 16; ++c) {
        BASS_MIDI_StreamEvent(s, c, MIDI_EVENT_REVERB_LEVEL, reverb * 100u / 127u);
        BASS_MIDI_StreamEvent(s, c, MIDI_EVENT_CHORUS_LEVEL, chorus * 100u / 127u);
    }
    SendRaw(s, GsReverbLevelMessage(reverb));
    SendRaw(s, GsChorusLevelMessage(chorus));
    SendRaw(s, XgReverbReturnMessage(reverb));
    SendRaw(s, XgChorusReturnMessage(chorus));

    const QWORD tailLimit = job.totalBytes + BASS_ChannelSeconds2Bytes(s, kMaxTailSeconds);

    m_host.SetProgress(0);
    if (BASS_MIDI_StreamEvents(s, BASS_MIDI_EVENTS_STRUCT | BASS_MIDI_EVENTS_TIME, job.events.data(),
                               static_cast<DWORD>(job.events.size())) == static_cast<DWORD>(-1)) {
        const int code = BASS_ErrorGetCode();
        BASS_Encode_Stop(s);
        DeleteIfPresent(job.temp);
        return Fail(GetText(L"mc.err.renderFailed", std::to_wstring(code)));
    }

    QWORD rendered = 0;
    int renderError = BASS_OK;
    bool encoderStopped = false, tailCut = false;
    while (!m_cancel.load()) {
        const DWORD n = BASS_ChannelGetData(s, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == static_cast<DWORD>(-1)) {
            // Only the end of the stream ends the file; anything else is a failure.
            const int code = BASS_ErrorGetCode();
            if (code != BASS_ERROR_ENDED)
                renderError = code;
            break;
        }
        rendered += n;
        const QWORD position = job.totalBytes == 0 || rendered >= job.totalBytes ? 1000 : rendered * 1000 / job.totalBytes;
        m_host.SetProgress(static_cast<DWORD>(position));
        if (BASS_Encode_IsActive(s) != BASS_ACTIVE_PLAYING) {
            encoderStopped = true;
            break;
        }
        if (rendered >= tailLimit) {
            tailCut = true;
            break;
        }
    }
    // An encoder that quit on the last block has not written a whole file either.
    if (!encoderStopped && !m_cancel.load() && renderError == BASS_OK && BASS_Encode_IsActive(s) != BASS_ACTIVE_PLAYING)
        encoderStopped = true;
    m_host.SetProgress(1000);
    BASS_Encode_Stop(s);

    auto discard = [&] {
        if (const DWORD e = DeleteIfPresent(job.temp)) {
            wchar_t code[16];
            std::swprintf(code, 16, L"%lu", static_cast<unsigned long>(e));
            m_host.Ask(L"Error deleting file \"" + job.temp + L"\"\n\nError: " + code + L": " + SystemErrorText(e),
                       MB_OK | MB_ICONERROR);
        }
    };
    if (encoderStopped) {
        m_host.Log(kEncoderStopped);
        m_host.Ask(kEncoderStopped, MB_OK | MB_ICONERROR);
        m_cancel.store(true);
        discard();
        return FileResult::Failed;
    }
    if (m_cancel.load()) {
        discard();
        m_host.Log(GetText(L"mc.canceled"));
        return FileResult::Canceled;
    }
    if (renderError != BASS_OK) {
        discard();
        return Fail(GetText(L"mc.err.renderFailed", std::to_wstring(renderError)));
    }
    // A WAV file holds every rendered sample: bytes per sample out of those rendered (float, 4 each).
    uint64_t minimum = 1;
    if (!*job.encoder->executable) {
        const uint64_t inBytes = (flags & BASS_SAMPLE_FLOAT) ? 4 : (flags & BASS_SAMPLE_8BITS) ? 1 : 2;
        const DWORD fp = job.encoder->encodeFlags & 0xF;
        const uint64_t outBytes = fp == BASS_ENCODE_FP_16BIT ? 2 : fp == BASS_ENCODE_FP_24BIT ? 3 : inBytes;
        minimum = rendered / inBytes * outBytes;
    }
    if (!LooksComplete(job.temp, *job.encoder, minimum)) {
        discard();
        return Fail(GetText(L"mc.err.outputIncomplete", job.out));
    }
    if (const DWORD e = ReplaceWithTemporary(job.temp, job.out)) {
        discard();
        return Fail(GetText(L"mc.err.replaceFile", job.out, FormatSystemError(e)));
    }
    if (tailCut)
        m_host.Log(OneLine(GetText(L"mc.tailCut", std::to_wstring(static_cast<int>(kMaxTailSeconds)))));
    return FileResult::Written;
}
