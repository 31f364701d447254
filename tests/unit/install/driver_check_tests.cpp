// Start-up's driver check: the question, the install as administrator, the
// elevated "--install" otherwise, and the exit codes of each way.
#include <gtest/gtest.h>

#include "core/driver_check.h"
#include "core/language.h"
#include "install/driver_identity.h"
#include "install/driver_setup.h"
#include "registration_fixture.h"
#include "support/automation.h"

using namespace tsltest_install;

namespace {

struct ElevatedCall {
    std::wstring program, arguments;
    DWORD waitMs;
};

class StartupDriverCheck : public RegistrationTest {
protected:
    void SetUp() override
    {
        RegistrationTest::SetUp();
        LoadLanguage(tsltest::HostPathToWindows(TSL_SOURCE_DIR), 1033);
    }
    void TearDown() override
    {
        SetDriverCheckHooks({});
        UnloadLanguage();
        RegistrationTest::TearDown();
    }

    // Not an administrator; the elevated start answers `result`.
    void ElevationAnswers(std::optional<DWORD> result)
    {
        SetDriverCheckHooks({[] { return false; },
                             [this, result](const std::wstring& program, const std::wstring& arguments, DWORD waitMs) {
                                 calls.push_back({program, arguments, waitMs});
                                 return result;
                             }});
    }
    void Administrator()
    {
        SetDriverCheckHooks({[] { return true; }, [this](const std::wstring& p, const std::wstring& a, DWORD w) {
                                 calls.push_back({p, a, w});
                                 return std::optional<DWORD>(0);
                             }});
    }

    std::vector<std::wstring> Texts() const
    {
        std::vector<std::wstring> texts;
        for (const Shown& m : Messages())
            texts.push_back(m.text);
        return texts;
    }

    std::vector<ElevatedCall> calls;
};

TEST_F(StartupDriverCheck, InstalledDriverAsksNothing)
{
    ASSERT_TRUE(InstallDriver());
    Administrator();
    EXPECT_EQ(CheckDriverAtStartup(), std::nullopt);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(StartupDriverCheck, NoGoesOnWithoutInstalling)
{
    Administrator();
    Answer(IDNO);
    EXPECT_EQ(CheckDriverAtStartup(), std::nullopt);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, GetText(L"err.driverMissing"));
    EXPECT_EQ(Messages()[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONERROR));
    EXPECT_EQ(Messages()[0].title, L"Ambrella Tessaline");
    EXPECT_EQ(QueryDriverState(), DriverState::Missing);
    EXPECT_TRUE(calls.empty());
}

TEST_F(StartupDriverCheck, YesAsAdministratorInstallsAndEndsWithZero)
{
    Administrator();
    Answer(IDYES);
    EXPECT_EQ(CheckDriverAtStartup(), std::optional<int>(0));
    EXPECT_EQ(Texts(), (std::vector<std::wstring>{GetText(L"err.driverMissing"), GetText(L"warn.driverInstallCompleted")}));
    EXPECT_EQ(Messages()[1].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(QueryDriverState(), DriverState::Installed);
    EXPECT_TRUE(calls.empty()) << "an administrator installs in this process";
}

TEST_F(StartupDriverCheck, FailedInstallAsAdministratorEndsWithOne)
{
    SetAllSlots(L"vendor.drv");
    Administrator();
    Answer(IDYES);
    EXPECT_EQ(CheckDriverAtStartup(), std::optional<int>(1));
    EXPECT_EQ(Texts(), (std::vector<std::wstring>{GetText(L"err.driverMissing"), GetText(L"warn.driverInstallFailed")}));
    EXPECT_EQ(Messages()[1].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
}

TEST_F(StartupDriverCheck, NonAdministratorStartsItselfElevatedWithInstall)
{
    ElevationAnswers(0);
    Answer(IDYES);
    EXPECT_EQ(CheckDriverAtStartup(), std::optional<int>(0));
    ASSERT_EQ(calls.size(), 1u);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_EQ(calls[0].program, self);
    EXPECT_EQ(calls[0].arguments, L"--install");
    EXPECT_EQ(calls[0].waitMs, 30000u);
    EXPECT_EQ(Texts().back(), GetText(L"warn.driverInstallCompleted"));
    // The elevated process did the work; this one installed nothing itself.
    EXPECT_EQ(QueryDriverState(), DriverState::Missing);
}

TEST_F(StartupDriverCheck, ElevatedInstallerFailingOrStillRunningEndsWithOne)
{
    for (DWORD code : {DWORD{1}, DWORD{STILL_ACTIVE}}) {
        Messages().clear();
        ElevationAnswers(code);
        Answer(IDYES);
        EXPECT_EQ(CheckDriverAtStartup(), std::optional<int>(1)) << code;
        EXPECT_EQ(Texts().back(), GetText(L"warn.driverInstallFailed"));
    }
}

TEST_F(StartupDriverCheck, RefusedElevationGoesOnAsAfterNo)
{
    ElevationAnswers(std::nullopt);
    Answer(IDYES);
    EXPECT_EQ(CheckDriverAtStartup(), std::nullopt);
    EXPECT_EQ(Texts(), std::vector<std::wstring>{GetText(L"err.driverMissing")});
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(StartupDriverCheck, DamagedRegistrationIsOfferedForRepair)
{
    ASSERT_TRUE(InstallDriver());
    // Another installer reset our 64-bit slot: 64-bit programs lost the device.
    SetSlot(RegistryView::X64, L"midi1", L"wdmaud.drv");
    Administrator();
    Answer(IDYES);
    EXPECT_EQ(CheckDriverAtStartup(), std::optional<int>(0));
    EXPECT_EQ(Texts().front(), GetText(L"err.driverDamaged"));
    EXPECT_NE(GetText(L"err.driverDamaged"), L"err.driverDamaged");
    EXPECT_EQ(QueryDriverState(), DriverState::Installed);
    EXPECT_EQ(DeviceCount(), 1);
}

TEST_F(StartupDriverCheck, RealElevationOfAProgramThatCannotStartIsARefusal)
{
    EXPECT_EQ(RunElevated(L"C:\\no\\such\\program.exe", L"--install", 1000), std::nullopt);
}

} // namespace
