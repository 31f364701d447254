// File-system steps of a conversion: checks before anything is touched, the
// temporary file beside the output, and the replacement of the old output
// only once the new one is complete.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

bool FileExists(const std::wstring& path);  // a file or a folder
bool FolderExists(const std::wstring& path);
std::optional<uint64_t> FileSize(const std::wstring& path);

// Whether the two names lead to the same file: equal full paths (letter case
// aside), or, when both exist, the same file on the same volume (short names,
// links).
bool IsSameFile(const std::wstring& a, const std::wstring& b);

// A name that does not exist yet in the folder of `output`, with `extension`
// (the encoders decide their output format from nothing else, but keep it for
// whoever looks into the folder mid-run); empty when no such name fits MAX_PATH.
std::wstring TemporaryNameBeside(const std::wstring& output, const std::wstring& extension);

// Moves `temp` over `target` (replacing it). 0 on success, else the system's error code.
DWORD ReplaceWithTemporary(const std::wstring& temp, const std::wstring& target);

// Deletes a file if it is there; 0 when it is gone, else the system's error code.
DWORD DeleteIfPresent(const std::wstring& path);

// The first bytes of a file (fewer when it is shorter; none when unreadable).
std::string ReadFileStart(const std::wstring& path, size_t bytes);

