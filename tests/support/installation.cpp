#include "support/installation.h"

#include <shellapi.h>
#include <shlobj.h>

#include <fstream>

#include "support/automation.h"

namespace tsltest {

namespace {
constexpr wchar_t kKey[] = L"SOFTWARE\\Ambrella Tessaline";

void RemoveTree(const std::wstring& folder)
{
    // SHFileOperation wants a double-zero-terminated list.
    std::wstring from = folder + L'\0';
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    ::SHFileOperationW(&op);
}

void CopyTree(const std::wstring& from, const std::wstring& to)
{
    std::wstring source = from + L"\\*" + L'\0';
    std::wstring target = to + L'\0';
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_COPY;
    op.pFrom = source.c_str();
    op.pTo = target.c_str();
    op.fFlags = FOF_NO_UI;
    ::SHFileOperationW(&op);
}
} // namespace

TestInstallation::TestInstallation(const std::string& name)
{
    m_folder = HostPathToWindows(std::string(TSL_BUILD_DIR) + "/e2e-installs/" + name);
    RemoveTree(m_folder);
    ::SHCreateDirectoryExW(nullptr, (m_folder + L"\\lang").c_str(), nullptr);
    CopyTree(HostPathToWindows(std::string(TSL_SOURCE_DIR) + "/lang"), m_folder + L"\\lang");
    EnsureDriverRegistered();
}

void TestInstallation::EnsureDriverRegistered()
{
    static bool registered = false;
    if (!registered)
        registered = RunProgram(L"--install") == std::optional<DWORD>(0);
}

std::optional<DWORD> TestInstallation::RunProgram(const std::wstring& arguments)
{
    ChildProcess program;
    if (!program.Start(ProgramPath(), arguments))
        return std::nullopt;
    std::optional<DWORD> code = program.WaitExit(30000);
    if (!code)
        program.Kill();
    return code;
}

TestInstallation::~TestInstallation()
{
    DeleteRegistryPath();
    RemoveTree(m_folder);
}

void TestInstallation::WriteConfig(const std::string& content)
{
    std::ofstream out(Narrow(ConfigPath()), std::ios::binary | std::ios::trunc);
    out << content;
}

void TestInstallation::RemoveConfig() { ::DeleteFileW(ConfigPath().c_str()); }

void TestInstallation::SetRegistryPath(const std::wstring& folder)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(key, L"path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                     static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

void TestInstallation::DeleteRegistryPath()
{
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_64KEY, 0);
}

std::wstring TestInstallation::ProgramPath()
{
    return HostPathToWindows(std::string(TSL_STAGE_DIR) + "/Tessaline.exe");
}

std::wstring TestInstallation::ScreenshotPath(const std::string& name)
{
    std::wstring folder = HostPathToWindows(std::string(TSL_BUILD_DIR) + "/screenshots");
    ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    return folder + L"\\" + Widen(name) + L".bmp";
}

} // namespace tsltest
