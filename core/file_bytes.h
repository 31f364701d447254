// Whole-file reads and safe whole-file writes. A write goes to a temporary
// file in the same folder, is flushed, and only then renamed over the target,
// so the old file stays whole whatever fails on the way.
#pragma once

#include <windows.h>

#include <string>

// The file's bytes; a system error code on failure (files above `maxBytes`
// give ERROR_FILE_TOO_LARGE), ERROR_SUCCESS otherwise.
DWORD ReadFileBytes(const std::wstring& path, std::string& bytes, ULONGLONG maxBytes = 0x10000000);
// Replaces (or creates) `path` with `bytes`; ERROR_SUCCESS or the error code
// of the step that failed. On failure the old file is untouched and no
// temporary file is left behind.
DWORD WriteFileReplacing(const std::wstring& path, const std::string& bytes);
