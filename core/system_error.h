// Texts for failed system calls: "%lu: %s" of the code and the system's own
// message for it, in the neutral language.
#pragma once

#include <windows.h>

#include <string>

std::wstring SystemErrorText(DWORD code);
// "%lu: %s" of code and SystemErrorText(code), the form placed into a language text's {0}.
std::wstring FormatSystemError(DWORD code);
