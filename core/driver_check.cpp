#include "core/driver_check.h"

#include <shellapi.h>

#include <vector>

#include "core/language.h"
#include "core/message_box.h"
#include "install/driver_setup.h"
#include "ipc/kernel_handle.h"

namespace {

DriverCheckHooks g_hooks;

std::wstring OwnProgramPath()
{
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size())
            return std::wstring(path.data(), length);
        path.resize(path.size() * 2);
    }
}

int ReportInstallResult(bool installed)
{
    if (installed) {
        ShowMessage(GetText(L"warn.driverInstallCompleted"), MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    ShowMessage(GetText(L"warn.driverInstallFailed"), MB_OK | MB_ICONERROR);
    return 1;
}

} // namespace

void SetDriverCheckHooks(DriverCheckHooks hooks) { g_hooks = std::move(hooks); }

bool IsUserAdministrator()
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                  0, 0, &administrators))
        return false;
    // Under UAC the group is in a limited token for deny only: such a user is
    // asked to elevate, as he must.
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, administrators, &member))
        member = FALSE;
    FreeSid(administrators);
    return member != FALSE;
}

std::optional<DWORD> RunElevated(const std::wstring& program, const std::wstring& arguments, DWORD waitMs)
{
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"runas";
    info.lpFile = program.c_str();
    info.lpParameters = arguments.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info))
        return std::nullopt; // refused by the user (ERROR_CANCELLED) or not startable
    CKernelHandle process(info.hProcess);
    if (!process)
        return std::nullopt;
    if (WaitForSingleObject(process.Get(), waitMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = 1;
    if (!GetExitCodeProcess(process.Get(), &code))
        code = 1;
    return code;
}

std::optional<int> CheckDriverAtStartup()
{
    const DriverState state = QueryDriverState();
    if (state == DriverState::Installed)
        return std::nullopt;
    // A registration that vanished in part (another program's installer, a
    // system update) is offered for repair the same way as a missing one.
    const wchar_t* question = state == DriverState::Missing ? L"err.driverMissing" : L"err.driverDamaged";
    if (ShowMessage(GetText(question), MB_YESNO | MB_ICONERROR) != IDYES)
        return std::nullopt;

    const bool administrator = g_hooks.isAdministrator ? g_hooks.isAdministrator() : IsUserAdministrator();
    if (administrator)
        return ReportInstallResult(InstallDriver());

    const std::wstring program = OwnProgramPath();
    std::optional<DWORD> exitCode = g_hooks.runElevated
                                        ? g_hooks.runElevated(program, L"--install", kElevatedInstallWaitMs)
                                        : RunElevated(program, L"--install", kElevatedInstallWaitMs);
    // Elevation refused or impossible: the synth runs without a driver, as after No.
    if (!exitCode)
        return std::nullopt;
    return ReportInstallResult(*exitCode == 0);
}
