#include "configurator/soundfont_list_file.h"

#include <optional>

#include "configurator/soundfont_list_format.h"
#include "core/language.h"
#include "core/system_error.h"
#include "ipc/kernel_handle.h"

namespace {

// List files are a few kilobytes; a huge file is not one.
constexpr LONGLONG kMaxListFileBytes = 16 * 1024 * 1024;

std::wstring FolderOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// The file's bytes; on failure the system's error code.
std::optional<std::string> ReadBytes(const std::wstring& path, DWORD& code)
{
    CKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        code = GetLastError();
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) {
        code = GetLastError();
        return std::nullopt;
    }
    if (size.QuadPart > kMaxListFileBytes) {
        code = ERROR_FILE_TOO_LARGE;
        return std::nullopt;
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && !ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        code = GetLastError();
        return std::nullopt;
    }
    bytes.resize(read);
    return bytes;
}

std::wstring AnsiText(std::string_view bytes)
{
    if (bytes.empty())
        return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (length <= 0)
        return sflist::DecodeWindows1252(bytes);
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), length);
    return text;
}

std::wstring FaultText(const sflist::ParseResult& result)
{
    const std::wstring line = std::to_wstring(result.line);
    switch (result.fault) {
    case sflist::Fault::NotText:
        return GetText(L"cfg.sf.err.notText");
    case sflist::Fault::NoSection:
        return GetText(L"cfg.sf.err.noSection");
    case sflist::Fault::BadLine:
        return GetText(L"cfg.sf.err.badLine", line);
    case sflist::Fault::BadNumber:
        return GetText(L"cfg.sf.err.badNumber", line);
    case sflist::Fault::BadPath:
        return GetText(L"cfg.sf.err.badPath", line);
    case sflist::Fault::None:
        break;
    }
    return {};
}

bool WriteAll(const std::wstring& path, const std::string& bytes, DWORD& code)
{
    CKernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        code = GetLastError();
        return false;
    }
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size() || !FlushFileBuffers(file.Get())) {
        code = GetLastError();
        return false;
    }
    return true;
}

}  // namespace

bool ImportSoundFontList(const std::wstring& path, DWORD portCount, SoundFontList& list, std::wstring& error)
{
    DWORD code = 0;
    const std::optional<std::string> bytes = ReadBytes(path, code);
    if (!bytes) {
        error = GetText(L"cfg.sf.err.import", path, FormatSystemError(code));
        return false;
    }
    const sflist::ParseResult result = sflist::ParseSoundFontList(*bytes, portCount, FolderOf(path), AnsiText);
    if (!result.Ok()) {
        error = GetText(L"cfg.sf.err.import", path, FaultText(result));
        return false;
    }
    SoundFontList read;
    read.reserve(result.items.size());
    for (const sflist::Item& item : result.items) {
        SoundFontEntry entry;
        entry.FileName = item.path;
        entry.EnabledPorts = item.ports;
        entry.Bank = item.bank;
        entry.Preset = item.preset;
        entry.Volume = item.volume;
        entry.Preload = item.preload;
        entry.XgDrums = item.xgdrums;
        entry.FileSize = SoundFontFileSize(entry.FileName);
        read.push_back(std::move(entry));
    }
    list = std::move(read);
    return true;
}

bool ExportSoundFontList(const std::wstring& path, const SoundFontList& list, DWORD portCount, std::wstring& error)
{
    std::vector<sflist::Item> items;
    items.reserve(list.size());
    for (const SoundFontEntry& entry : list)
        items.push_back({entry.FileName, entry.EnabledPorts, entry.Bank, entry.Preset, entry.Volume, entry.Preload,
                         entry.XgDrums});

    // A file being replaced keeps its other sections; one that cannot be read
    // (or does not exist yet) is written afresh.
    DWORD code = 0;
    const std::string existing = ReadBytes(path, code).value_or(std::string());
    const std::optional<std::string> bytes = sflist::FormatSoundFontList(existing, items, portCount, AnsiText);
    if (!bytes) {
        error = GetText(L"cfg.sf.err.export", path, GetText(L"cfg.sf.err.unwritablePath"));
        return false;
    }
    const std::wstring temporary = path + L".tmp";
    if (!WriteAll(temporary, *bytes, code) ||
        !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        if (code == 0)
            code = GetLastError();
        DeleteFileW(temporary.c_str());
        error = GetText(L"cfg.sf.err.export", path, FormatSystemError(code));
        return false;
    }
    return true;
}
