// The client blacklist editor: a modal dialog over the "ClientBlacklist"
// setting, with a menu of the running programs that use the driver library.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Runs the editor on the current "ClientBlacklist". A changed list is written
// at once; true when it was.
bool EditClientBlacklist(HWND parent);

// File names of the running programs (other than this one) that have
// "Tessaline.dll" loaded, sorted, without duplicates.
std::vector<std::wstring> ProgramsUsingDriver();
