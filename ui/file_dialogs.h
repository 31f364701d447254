// The system's open, save and folder dialogs as the program uses them. Filters
// come in the program's form, "Name (*.x)|*.x|All (*.*)|*.*|", as the language
// texts give them. In-process tests answer instead of a user through the hook.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct FileDialogRequest {
    enum class Kind { Open, OpenMany, Save, Folder };
    Kind kind = Kind::Open;
    HWND owner = nullptr;
    std::wstring title;
    std::wstring filter;     // program form, as passed
    std::wstring defaultExt; // without the dot
    DWORD flags = 0;         // OFN_* flags the real dialog would get
};

// One file to open; nothing when the user cancels.
std::optional<std::wstring> OpenFileDialog(HWND owner, const std::wstring& title, const std::wstring& filter,
                                           const std::wstring& defaultExt = {});
// Several files to open (empty when cancelled).
std::vector<std::wstring> OpenFilesDialog(HWND owner, const std::wstring& title, const std::wstring& filter);
// A file to write: the dialog asks before a file that exists is overwritten.
std::optional<std::wstring> SaveFileDialog(HWND owner, const std::wstring& title, const std::wstring& filter,
                                           const std::wstring& defaultExt);
std::optional<std::wstring> FolderBrowserDialog(HWND owner, const std::wstring& title);

// "A|*.a|B|*.b|" as the system wants it: each "|" a NUL, ending in two NULs.
std::wstring SystemFilter(const std::wstring& programFilter);

// The answer a test gives instead of a user: the chosen paths, or none for cancel.
using FileDialogHook = std::function<std::vector<std::wstring>(const FileDialogRequest&)>;
void SetFileDialogHook(FileDialogHook hook);
