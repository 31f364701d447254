// The About tab's status text and the debug report built from it: what the
// user sends the maker when something goes wrong.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/settings_soundfont.h"

inline constexpr wchar_t kProductVersion[] = L"2.14.1";

// "x64" or "x86": the architecture this build runs as.
const wchar_t* BuildArchitecture();

// The fixed lines (CR LF each): the Windows line (product name, whether the
// system is 64-bit or 32-bit, service pack, version numbers) and the program
// line with this build's own architecture.
std::wstring SystemStatusLines();
// The lines that change: memory, the number of ports, then `portsStatus`.
std::wstring LiveStatusLines(DWORD devicesCount, const std::wstring& portsStatus);

struct DebugReportSources {
    std::wstring status; // the status box's text, CR LF lines
    SoundFontList soundFonts;
    std::vector<std::wstring> midiDevices;
    std::vector<std::wstring> audioDevices;
    std::wstring configFile;
};

// The audio output devices of the audio back end, from device 1 on.
std::vector<std::wstring> AudioDeviceNames();

// The report's text, lines ending with CR LF, sections in their order:
// Status, Soundfonts, MIDI Devices, Audio Devices, Configuration file, Registry keys.
std::wstring BuildDebugReport(const DebugReportSources& sources);

// Writes `text` as UTF-8 into `path`, replacing the file. ERROR_SUCCESS, or the
// system's error code of the call that failed (nothing is reported done then).
DWORD WriteDebugReport(const std::wstring& path, const std::wstring& text);
