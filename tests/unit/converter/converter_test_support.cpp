#include "converter_test_support.h"

#include <cmath>
#include <cstring>

#include "converter/output_name.h"
#include "synth/sysex_rules.h"

namespace convtest {

void RecordingHost::ClearLog()
{
    std::lock_guard<std::mutex> g(m_lock);
    m_log.clear();
}

void RecordingHost::Log(const std::wstring& line)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_log.push_back(line);
}

void RecordingHost::SetProgress(DWORD position)
{
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_progress.push_back(position);
    }
    if (onProgress)
        onProgress(position);
}

void RecordingHost::SelectFile(size_t) {}
void RecordingHost::SetBusy(bool) {}

int RecordingHost::Ask(const std::wstring& text, UINT flags)
{
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_questions.push_back(text);
    }
    if (answer)
        return answer(text, flags);
    return (flags & MB_TYPEMASK) == MB_YESNOCANCEL ? IDYES : IDOK;
}

void RecordingHost::OpenEncoderPages(const std::wstring& page, const std::wstring& folder)
{
    openedPages.emplace_back(page, folder);
}

std::vector<std::wstring> RecordingHost::LogLines() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_log;
}

std::vector<std::wstring> RecordingHost::Questions() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_questions;
}

size_t RecordingHost::CountLog(const std::wstring& line) const
{
    std::lock_guard<std::mutex> g(m_lock);
    size_t n = 0;
    for (const auto& l : m_log)
        n += l == line;
    return n;
}

bool RecordingHost::LoggedStart(const std::wstring& text) const
{
    std::wstring flat = text;
    for (wchar_t& c : flat)
        if (c == L'\n' || c == L'\r')
            c = L' ';
    std::lock_guard<std::mutex> g(m_lock);
    for (const auto& l : m_log)
        if (l.rfind(flat, 0) == 0)
            return true;
    return false;
}

std::vector<DWORD> RecordingHost::Progress() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_progress;
}

TestMixer::TestMixer()
{
    for (DWORD& v : ChannelVolume)
        v = 100;
}

HSOUNDFONT TestFont()
{
    static HSOUNDFONT font = [] {
        HSOUNDFONT f = BASS_MIDI_FontInit(L"Z:\\usr\\share\\sounds\\sf2\\TimGM6mb.sf2", BASS_UNICODE);
        if (f)
            BASS_MIDI_FontLoad(f, -1, -1);
        return f;
    }();
    return font;
}

ConversionServices TestServices()
{
    ConversionServices s;
    s.audioReady = [] { return true; };
    s.attachFonts = [](HSTREAM stream) -> DWORD {
        const BASS_MIDI_FONT font{TestFont(), -1, 0};
        return font.font && BASS_MIDI_StreamSetFonts(stream, &font, 1) ? 1 : 0;
    };
    s.fontOwnerName = [] { return std::wstring(L"Tessaline #1"); };
    return s;
}

ConversionSettings TestSettings(const std::wstring& encodersFolder)
{
    ConversionSettings s;
    s.encodersFolder = encodersFolder;
    s.streamFlags = ConverterStreamFlags(BASS_SAMPLE_FLOAT | BASS_MIDI_ASYNC);
    return s;
}

std::wstring WriteMidi(const TempFolder& folder, const std::wstring& name, const tsl::test::Track& track)
{
    const auto bytes = tsl::test::Smf(0, 480, {track});
    folder.Write(name, std::string(bytes.begin(), bytes.end()));
    return folder.File(name);
}

namespace {

uint32_t Le(const std::string& b, size_t at, int n)
{
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = v << 8 | static_cast<uint8_t>(b[at + i]);
    return v;
}

}  // namespace

bool ReadWav(const std::wstring& path, Wav& wav)
{
    const std::string b = tsltest_core::ReadBytes(path);
    if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0)
        return false;
    size_t at = 12;
    wav = Wav{};
    while (at + 8 <= b.size()) {
        const std::string id = b.substr(at, 4);
        size_t size = Le(b, at + 4, 4);
        const size_t body = at + 8;
        if (id == "fmt ") {
            wav.format = Le(b, body, 2);
            wav.channels = Le(b, body + 2, 2);
            wav.rate = Le(b, body + 4, 4);
            wav.bits = Le(b, body + 14, 2);
            if (wav.format == 0xFFFE)
                wav.format = Le(b, body + 24, 2);
        } else if (id == "data") {
            size = std::min(size, b.size() - body);
            const unsigned bytes = wav.bits / 8;
            if (!bytes)
                return false;
            for (size_t i = body; i + bytes <= body + size; i += bytes) {
                if (wav.format == 3) {
                    float f;
                    std::memcpy(&f, b.data() + i, 4);
                    wav.samples.push_back(f);
                } else {
                    int32_t v = static_cast<int32_t>(Le(b, i, bytes) << (32 - wav.bits)) >> (32 - wav.bits);
                    wav.ints.push_back(v);
                    wav.samples.push_back(static_cast<float>(v / std::ldexp(1.0, static_cast<int>(wav.bits) - 1)));
                }
            }
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

std::vector<float> DirectRender(const std::wstring& midi, const ConversionSettings& settings, int transpose)
{
    std::vector<float> out;
    HSTREAM s = BASS_MIDI_StreamCreateFile(FALSE, midi.c_str(), 0, 0, settings.streamFlags | BASS_UNICODE,
                                           settings.sampleRate);
    if (!s)
        return out;
    const BASS_MIDI_FONT font{TestFont(), -1, 0};
    BASS_MIDI_StreamSetFonts(s, &font, 1);
    const BYTE reverb = static_cast<BYTE>(settings.reverbLevel), chorus = static_cast<BYTE>(settings.chorusLevel);
    for (DWORD c = 0; c < 16; ++c) {
        BASS_MIDI_StreamEvent(s, c, MIDI_EVENT_TRANSPOSE, static_cast<DWORD>(100 + transpose));
        BASS_MIDI_StreamEvent(s, c, MIDI_EVENT_REVERB_LEVEL, reverb * 100u / 127u);
        BASS_MIDI_StreamEvent(s, c, MIDI_EVENT_CHORUS_LEVEL, chorus * 100u / 127u);
    }
    const auto gr = GsReverbLevelMessage(reverb), gc = GsChorusLevelMessage(chorus);
    const auto xr = XgReverbReturnMessage(reverb), xc = XgChorusReturnMessage(chorus);
    BASS_MIDI_StreamEvents(s, BASS_MIDI_EVENTS_RAW, gr.data(), static_cast<DWORD>(gr.size()));
    BASS_MIDI_StreamEvents(s, BASS_MIDI_EVENTS_RAW, gc.data(), static_cast<DWORD>(gc.size()));
    BASS_MIDI_StreamEvents(s, BASS_MIDI_EVENTS_RAW, xr.data(), static_cast<DWORD>(xr.size()));
    BASS_MIDI_StreamEvents(s, BASS_MIDI_EVENTS_RAW, xc.data(), static_cast<DWORD>(xc.size()));
    // In the converter's reads, which decide where control blocks are cut.
    std::vector<float> block(BASS_ChannelSeconds2Bytes(s, kBlockSeconds) / sizeof(float));
    for (;;) {
        const DWORD n = BASS_ChannelGetData(s, block.data(), static_cast<DWORD>(block.size() * sizeof(float)));
        if (n == static_cast<DWORD>(-1))
            break;
        out.insert(out.end(), block.begin(), block.begin() + n / sizeof(float));
    }
    BASS_StreamFree(s);
    return out;
}

int32_t Quantized(float x, unsigned bits)
{
    const double scale = std::ldexp(1.0, static_cast<int>(bits) - 1);
    double v = std::nearbyint(static_cast<double>(x) * scale);
    if (v != v)
        return 0;
    v = std::min(std::max(v, -scale), scale - 1);
    return static_cast<int32_t>(v);
}

ConverterFile Record(const std::wstring& input, size_t format, const std::wstring& folder, bool multichannel)
{
    ConverterFile f;
    f.InputPath = input;
    ComputeOutputName(f, folder, EncoderAt(format), multichannel);
    return f;
}

size_t FirstSound(const std::vector<float>& interleaved, float threshold)
{
    for (size_t i = 0; i < interleaved.size(); ++i)
        if (std::fabs(interleaved[i]) > threshold)
            return i / 2;
    return SIZE_MAX;
}

std::wstring HostProgram(const char* hostPath)
{
    std::wstring path = L"Z:";
    for (const char* p = hostPath; *p; ++p)
        path.push_back(*p == '/' ? L'\\' : static_cast<wchar_t>(*p));
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES ? std::wstring() : path;
}

std::wstring UnixPath(const std::wstring& windowsPath)
{
    using Fn = char*(CDECL*)(const wchar_t*);
    static const auto fn =
        reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!fn)
        return {};
    char* unix = fn(windowsPath.c_str());
    if (!unix)
        return {};
    // Wine hands a Unix program its command line in UTF-8, which is what the name is in.
    std::wstring out = tsltest_core::FromUtf8(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    return out;
}

bool RunHostProgram(const std::wstring& shellCommand, DWORD timeoutMs)
{
    wchar_t folder[MAX_PATH], marker[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"tsl", 0, marker))
        return false;
    DeleteFileW(marker);
    const std::wstring unixMarker = UnixPath(marker);
    if (unixMarker.empty())
        return false;
    // Written under another name and renamed, so that a marker that exists is complete.
    std::wstring line = L"/bin/sh -c \"" + shellCommand + L"; echo $? > '" + unixMarker + L".part'; mv '" + unixMarker +
                        L".part' '" + unixMarker + L"'\"";
    line.push_back(L'\0');
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::string code;
    for (DWORD waited = 0; waited < timeoutMs; waited += 10) {
        if (GetFileAttributesW(marker) != INVALID_FILE_ATTRIBUTES) {
            code = tsltest_core::ReadBytes(marker);
            break;
        }
        Sleep(10);
    }
    DeleteFileW(marker);
    return code.rfind("0\n", 0) == 0;
}

namespace {

std::wstring Wide(const char* text)
{
    std::wstring w;
    for (const char* p = text; *p; ++p)
        w.push_back(*p == '/' ? L'\\' : static_cast<wchar_t>(*p));
    return w;
}

bool CopyInto(const std::wstring& from, const std::wstring& folder, const wchar_t* name)
{
    CreateDirectoryW(folder.c_str(), nullptr);
    return CopyFileW(from.c_str(), (folder + L"\\" + name).c_str(), FALSE) != 0;
}

}  // namespace

bool InstallRealEncoders(const std::wstring& folder)
{
    const std::wstring built = L"Z:" + Wide(TSL_BUILD_DIR) + L"\\encoders\\";
    return CopyInto(built + L"flac.exe", folder, L"flac.exe") && CopyInto(built + L"lame.exe", folder, L"lame.exe");
}

bool InstallStandInEncoders(const std::wstring& folder)
{
    const std::wstring standIn = L"Z:" + Wide(TSL_BUILD_DIR) + L"\\tsl-encoder-standin.exe";
    return CopyInto(standIn, folder, L"flac.exe") && CopyInto(standIn, folder, L"lame.exe");
}

std::vector<std::wstring> FilesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

}  // namespace convtest
