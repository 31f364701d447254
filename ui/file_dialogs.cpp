#include "ui/file_dialogs.h"

#include <commdlg.h>
#include <shlobj.h>
#include <shobjidl.h>

namespace {

FileDialogHook& Hook()
{
    static FileDialogHook hook;
    return hook;
}

// Multi-select answers are the folder, then each name, NUL-separated; a single
// choice is one full path.
std::vector<std::wstring> SplitMultiSelect(const wchar_t* buffer)
{
    std::vector<std::wstring> parts;
    for (const wchar_t* p = buffer; *p; p += wcslen(p) + 1)
        parts.emplace_back(p);
    if (parts.size() <= 1)
        return parts;
    std::wstring folder = parts.front();
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    std::vector<std::wstring> files;
    for (size_t i = 1; i < parts.size(); ++i)
        files.push_back(folder + parts[i]);
    return files;
}

std::vector<std::wstring> Run(const FileDialogRequest& request)
{
    if (Hook())
        return Hook()(request);
    std::wstring filter = SystemFilter(request.filter);
    // Multi-select answers can be long: room for many names.
    std::vector<wchar_t> buffer(request.kind == FileDialogRequest::Kind::OpenMany ? 65536 : 32768, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = request.owner;
    ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrTitle = request.title.empty() ? nullptr : request.title.c_str();
    ofn.lpstrDefExt = request.defaultExt.empty() ? nullptr : request.defaultExt.c_str();
    ofn.Flags = request.flags;
    BOOL ok = request.kind == FileDialogRequest::Kind::Save ? ::GetSaveFileNameW(&ofn) : ::GetOpenFileNameW(&ofn);
    if (!ok)
        return {};
    if (request.kind == FileDialogRequest::Kind::OpenMany)
        return SplitMultiSelect(buffer.data());
    return {std::wstring(buffer.data())};
}

std::wstring RunFolder(const FileDialogRequest& request)
{
    if (Hook()) {
        auto answer = Hook()(request);
        return answer.empty() ? std::wstring() : answer.front();
    }
    std::wstring result;
    IFileOpenDialog* dialog = nullptr;
    HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    if (SUCCEEDED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog)))) {
        DWORD options = 0;
        dialog->GetOptions(&options);
        dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
        if (!request.title.empty())
            dialog->SetTitle(request.title.c_str());
        IShellItem* item = nullptr;
        if (SUCCEEDED(dialog->Show(request.owner)) && SUCCEEDED(dialog->GetResult(&item))) {
            wchar_t* path = nullptr;
            if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)) && path) {
                result = path;
                ::CoTaskMemFree(path);
            }
            item->Release();
        }
        dialog->Release();
    }
    if (SUCCEEDED(init))
        ::CoUninitialize();
    return result;
}

} // namespace

std::wstring SystemFilter(const std::wstring& programFilter)
{
    std::wstring filter = programFilter;
    for (wchar_t& c : filter) {
        if (c == L'|')
            c = L'\0';
    }
    // Two NULs end the list, whether or not the text ended with "|".
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    return filter;
}

void SetFileDialogHook(FileDialogHook hook) { Hook() = std::move(hook); }

std::optional<std::wstring> OpenFileDialog(HWND owner, const std::wstring& title, const std::wstring& filter,
                                           const std::wstring& defaultExt)
{
    FileDialogRequest r{FileDialogRequest::Kind::Open, owner, title, filter, defaultExt,
                        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY};
    auto files = Run(r);
    if (files.empty() || files.front().empty())
        return std::nullopt;
    return files.front();
}

std::vector<std::wstring> OpenFilesDialog(HWND owner, const std::wstring& title, const std::wstring& filter)
{
    FileDialogRequest r{FileDialogRequest::Kind::OpenMany, owner, title, filter, {},
                        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT};
    return Run(r);
}

std::optional<std::wstring> SaveFileDialog(HWND owner, const std::wstring& title, const std::wstring& filter,
                                           const std::wstring& defaultExt)
{
    FileDialogRequest r{FileDialogRequest::Kind::Save, owner, title, filter, defaultExt,
                        OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT};
    auto files = Run(r);
    if (files.empty() || files.front().empty())
        return std::nullopt;
    return files.front();
}

std::optional<std::wstring> FolderBrowserDialog(HWND owner, const std::wstring& title)
{
    FileDialogRequest r{FileDialogRequest::Kind::Folder, owner, title, {}, {}, 0};
    std::wstring folder = RunFolder(r);
    if (folder.empty())
        return std::nullopt;
    return folder;
}
