#include "core/language.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "core/language_file.h"
#include "core/settings.h"

namespace {

struct LanguageTable {
    LanguageTexts texts;
    DWORD langId = kFallbackLangId;
    std::wstring folder;
    std::wstring selectedFile;
    std::wstring fallbackFile;
    // Sections added after the start (the converter's): a new table for another
    // language brings them along, so an open converter keeps finding its texts.
    std::vector<std::wstring> extraSections;
};

// The table is never changed once published: a change builds a new one. The
// lock is held only to copy or swap the pointer, so a reader on the listen
// thread never waits for a file to be read, and keeps the table it holds alive
// for as long as it reads it.
std::mutex g_tableLock;
std::shared_ptr<const LanguageTable> g_table;

std::shared_ptr<const LanguageTable> CurrentTable()
{
    std::lock_guard<std::mutex> guard(g_tableLock);
    return g_table;
}

void Publish(std::shared_ptr<const LanguageTable> table)
{
    std::shared_ptr<const LanguageTable> old;
    {
        std::lock_guard<std::mutex> guard(g_tableLock);
        old = std::exchange(g_table, std::move(table));
    }
    // `old` dies here, outside the lock (or later, with its last reader).
}

std::wstring LanguageFile(const std::wstring& folder, DWORD langId)
{
    return folder + L"\\" + std::to_wstring(static_cast<unsigned long>(langId)) + L".lang";
}

void AddSection(LanguageTable& table, const std::wstring& section)
{
    ReadLanguageSection(table.fallbackFile, section, table.texts);
    if (table.langId != kFallbackLangId)
        ReadLanguageSection(table.selectedFile, section, table.texts);
}

void ReplaceAll(std::wstring& text, const wchar_t* placeholder, const std::wstring& value)
{
    const size_t length = wcslen(placeholder);
    for (size_t pos = 0; (pos = text.find(placeholder, pos)) != std::wstring::npos; pos += value.size())
        text.replace(pos, length, value);
}

}  // namespace

std::wstring LanguageFolder(const std::wstring& installFolder) { return installFolder + L"\\lang"; }

void LoadLanguage()
{
    if (!g_Settings)
        return;
    LoadLanguage(g_Settings->InstallFolder(), g_Settings->LangID.Get());
}

void LoadLanguage(const std::wstring& installFolder, DWORD langId)
{
    auto table = std::make_shared<LanguageTable>();
    table->langId = langId;
    table->folder = LanguageFolder(installFolder);
    table->fallbackFile = LanguageFile(table->folder, kFallbackLangId);
    table->selectedFile = langId == kFallbackLangId ? table->fallbackFile : LanguageFile(table->folder, langId);
    AddSection(*table, L"common");
    AddSection(*table, L"synth");
    if (std::shared_ptr<const LanguageTable> previous = CurrentTable()) {
        table->extraSections = previous->extraSections;
        for (const std::wstring& section : table->extraSections)
            AddSection(*table, section);
    }
    Publish(std::move(table));
}

void LoadSection(const std::wstring& section)
{
    std::shared_ptr<const LanguageTable> current = CurrentTable();
    if (!current)
        return;
    auto table = std::make_shared<LanguageTable>(*current);
    AddSection(*table, section);
    if (std::find(table->extraSections.begin(), table->extraSections.end(), section) == table->extraSections.end())
        table->extraSections.push_back(section);
    Publish(std::move(table));
}

void UnloadLanguage() { Publish(nullptr); }

std::wstring GetText(const std::wstring& key, std::optional<std::wstring> a0, std::optional<std::wstring> a1,
                     std::optional<std::wstring> a2)
{
    std::wstring text = key;
    if (std::shared_ptr<const LanguageTable> table = CurrentTable()) {
        auto found = table->texts.find(key);
        if (found != table->texts.end())
            text = found->second;
    }
    if (a0)
        ReplaceAll(text, L"{0}", *a0);
    if (a1)
        ReplaceAll(text, L"{1}", *a1);
    if (a2)
        ReplaceAll(text, L"{2}", *a2);
    return text;
}

std::map<DWORD, std::wstring> EnumLanguages()
{
    if (std::shared_ptr<const LanguageTable> table = CurrentTable())
        return EnumLanguages(table->folder);
    if (g_Settings)
        return EnumLanguages(LanguageFolder(g_Settings->InstallFolder()));
    return {};
}
