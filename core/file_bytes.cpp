#include "core/file_bytes.h"

#include "ipc/kernel_handle.h"

DWORD ReadFileBytes(const std::wstring& path, std::string& bytes, ULONGLONG maxBytes)
{
    CKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return GetLastError();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size))
        return GetLastError();
    if (static_cast<ULONGLONG>(size.QuadPart) > maxBytes)
        return ERROR_FILE_TOO_LARGE;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && !ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        return GetLastError();
    bytes.resize(read);
    return ERROR_SUCCESS;
}

DWORD WriteFileReplacing(const std::wstring& path, const std::string& bytes)
{
    // Same folder as the target: the rename then never crosses volumes.
    size_t slash = path.find_last_of(L"\\/");
    std::wstring folder = slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash + 1);
    wchar_t temporary[MAX_PATH + 16] = {};
    if (folder.size() > MAX_PATH - 14 || !GetTempFileNameW(folder.c_str(), L"tsl", 0, temporary))
        return GetLastError() ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
    DWORD error = ERROR_SUCCESS;
    {
        CKernelHandle file(CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file)
            error = GetLastError();
        else if (!bytes.empty() &&
                 (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
                  written != bytes.size()))
            error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        else if (!FlushFileBuffers(file.Get()))
            error = GetLastError();
    }
    if (error == ERROR_SUCCESS &&
        !MoveFileExW(temporary, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error != ERROR_SUCCESS)
        DeleteFileW(temporary);
    return error;
}
