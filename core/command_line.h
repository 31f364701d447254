// The program's own command-line tokenizer. Windows' CommandLineToArgvW is not
// used on purpose: the hand-over from a second instance carries its raw command
// line, and both must be split by exactly the same rules.
#pragma once

#include <string>
#include <string_view>
#include <vector>

using ArgumentList = std::vector<std::wstring>;

ArgumentList TokenizeCommandLine(std::wstring_view text);
bool HasSwitch(const ArgumentList& args, std::wstring_view name);

inline constexpr std::wstring_view kSwitchInstall = L"--install";
inline constexpr std::wstring_view kSwitchUninstall = L"--uninstall";
inline constexpr std::wstring_view kSwitchConfigurator = L"--configurator";
inline constexpr std::wstring_view kSwitchConverter = L"--converter";
