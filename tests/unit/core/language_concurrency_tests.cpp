// The listen thread reads texts while the main thread replaces the table.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/language.h"
#include "settings_test_folder.h"

using namespace tsltest_core;

TEST(LanguageConcurrency, ReadersSurviveManyReplacements)
{
    TempFolder folder;
    std::string english = "[synth]\n";
    std::string italian = "[synth]\n";
    for (int i = 0; i < 200; ++i) {
        english += "key" + std::to_string(i) + "=English text number " + std::to_string(i) + " {0}\n";
        italian += "key" + std::to_string(i) + "=Testo italiano numero " + std::to_string(i) + " {0}\n";
    }
    folder.Write(L"lang\\1033.lang", english);
    folder.Write(L"lang\\1040.lang", italian);
    LoadLanguage(folder.Path(), 1033);

    std::atomic<bool> stop{false};
    std::atomic<long> reads{0}, bad{0};
    std::thread reader([&] {
        while (!stop.load()) {
            long n = reads.fetch_add(1);
            std::wstring key = L"key" + std::to_wstring(n % 200);
            std::wstring text = GetText(key, L"x");
            bool english = text.rfind(L"English text number ", 0) == 0;
            bool italian = text.rfind(L"Testo italiano numero ", 0) == 0;
            if ((!english && !italian) || text.back() != L'x')
                bad.fetch_add(1);
        }
    });
    for (int i = 0; i < 300; ++i) {
        LoadLanguage(folder.Path(), i % 2 ? 1040 : 1033);
        if (i % 50 == 0)
            LoadSection(L"midiconverter");
    }
    // Bounded: the reader only stops on request.
    stop.store(true);
    reader.join();
    UnloadLanguage();
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(bad.load(), 0);
}
