#include "converter/file_ops.h"

#include <atomic>
#include <cwchar>

#include "converter/output_name.h"
#include "ipc/kernel_handle.h"

namespace {

std::wstring FullPath(const std::wstring& path)
{
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    const DWORD got = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (got == 0 || got >= needed)
        return path;
    full.resize(got);
    return full;
}

bool FileIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info)
{
    // No access rights needed to read the identity, and folders open too.
    CKernelHandle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && GetFileInformationByHandle(file.Get(), &info);
}

}  // namespace

bool FileExists(const std::wstring& path)
{
    return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool FolderExists(const std::wstring& path)
{
    const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<uint64_t> FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool IsSameFile(const std::wstring& a, const std::wstring& b)
{
    const std::wstring fa = FullPath(a), fb = FullPath(b);
    if (CompareStringOrdinal(fa.c_str(), static_cast<int>(fa.size()), fb.c_str(), static_cast<int>(fb.size()),
                             TRUE) == CSTR_EQUAL)
        return true;
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    if (!FileIdentity(a, ia) || !FileIdentity(b, ib))
        return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

std::wstring TemporaryNameBeside(const std::wstring& output, const std::wstring& extension)
{
    static std::atomic<unsigned> counter{0};
    const size_t slash = output.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : output.substr(0, slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const unsigned n = (GetCurrentProcessId() << 16) ^ GetTickCount() ^ (counter.fetch_add(1) * 2654435761u);
        wchar_t name[24];
        std::swprintf(name, 24, L"~tsl%08x", n);
        std::wstring candidate = folder + name + extension;
        if (candidate.size() > kMaxPathChars)
            return {};
        if (!FileExists(candidate))
            return candidate;
    }
    return {};
}

DWORD ReplaceWithTemporary(const std::wstring& temp, const std::wstring& target)
{
    if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    return GetLastError();
}

DWORD DeleteIfPresent(const std::wstring& path)
{
    if (DeleteFileW(path.c_str()))
        return 0;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : error;
}

std::string ReadFileStart(const std::wstring& path, size_t bytes)
{
    CKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string data(bytes, '\0');
    DWORD read = 0;
    if (!file || !ReadFile(file.Get(), data.data(), static_cast<DWORD>(bytes), &read, nullptr))
        return {};
    data.resize(read);
    return data;
}

