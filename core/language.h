// The language table: every text the user sees, looked up by key in the
// language files of the "lang" folder, with English (1033) as the fallback.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>

constexpr DWORD kFallbackLangId = 1033;

// Builds a new table for the LangID setting from the installation folder of the
// settings store (sections "common" and "synth") and makes it current.
void LoadLanguage();
// The same for a given installation folder and language.
void LoadLanguage(const std::wstring& installFolder, DWORD langId);
// Adds one more section of the current language's files to the table.
void LoadSection(const std::wstring& section);
// Drops the table (shutdown); GetText then returns keys.
void UnloadLanguage();

// The text of `key` with "{0}", "{1}", "{2}" replaced by the arguments given;
// a key without a text gives the key itself. Safe on any thread, also while the
// main thread replaces the table.
std::wstring GetText(const std::wstring& key, std::optional<std::wstring> a0 = {},
                     std::optional<std::wstring> a1 = {}, std::optional<std::wstring> a2 = {});

// Replaces the caption of the window and of each of its direct children by its text.
void TranslateWindow(HWND window);

// Language identifier -> display name, for every language file of the lang
// folder that names its language.
std::map<DWORD, std::wstring> EnumLanguages();
std::map<DWORD, std::wstring> EnumLanguages(const std::wstring& languageFolder);

// "<installation folder>\lang"
std::wstring LanguageFolder(const std::wstring& installFolder);
