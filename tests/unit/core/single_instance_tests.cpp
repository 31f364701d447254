// The single-instance gate when its mutex cannot be made at all: that is no
// proof of being the only synth, so start-up must not go on as the first one.
#include "core/message_box.h"
#include "core/resident_windows.h"
#include "core/single_instance.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> g_shown;
int Record(const std::wstring& text, const std::wstring&, UINT)
{
    g_shown.push_back(text);
    return IDOK;
}

TEST(SingleInstance, AMutexThatCannotBeMadeIsNotTheFirstInstance)
{
    // Another kind of object holds the name: CreateMutexW fails with an
    // error other than "already exists".
    HANDLE squatter = CreateEventW(nullptr, TRUE, FALSE, kSingleInstanceMutexName);
    ASSERT_NE(squatter, nullptr);
    SetMessageBoxHook(&Record);
    const GateResult result = PassSingleInstanceGate(L"Tessaline.exe");
    SetMessageBoxHook(nullptr);
    CloseSingleInstanceMutex();
    CloseHandle(squatter);
    EXPECT_EQ(result, GateResult::Failed);
    ASSERT_EQ(g_shown.size(), 1u);
    EXPECT_NE(g_shown[0].find(L"single-instance"), std::wstring::npos) << g_shown[0];
}

TEST(SingleInstance, TheFirstStartPasses)
{
    EXPECT_EQ(PassSingleInstanceGate(L"Tessaline.exe"), GateResult::FirstInstance);
    CloseSingleInstanceMutex();
}

}  // namespace
