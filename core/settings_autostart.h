// Starting the program with the user's logon: the per-user Run value
// "Tessaline" holding the program's path in double quotes.
#pragma once

#include <string>

// The value the Run key must hold for this program: its full path, quoted.
std::wstring AutostartCommand();

// True when the value exists and names this program (letter case aside).
bool IsStartWithLogon();
// Writes or deletes the value; failures leave it as it was, silently.
void SetStartWithLogon(bool on);
