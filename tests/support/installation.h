// A Tessaline installation made for one test: a folder under the build tree
// with the program's language files and a configuration file, and the
// machine-wide registry value that points the program at it. Everything is
// removed again when the object goes away.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tsltest {

class TestInstallation {
public:
    // `name` becomes the folder's name; the folder starts empty but for lang/.
    explicit TestInstallation(const std::string& name);
    TestInstallation(const TestInstallation&) = delete;
    TestInstallation& operator=(const TestInstallation&) = delete;
    ~TestInstallation();

    // Writes Tessaline.conf with `content` (profile-format text).
    void WriteConfig(const std::string& content = "[Advanced]\r\n");
    void RemoveConfig();
    // HKLM\SOFTWARE\Ambrella Tessaline "path" in the 64-bit view; empty deletes it.
    static void SetRegistryPath(const std::wstring& folder);
    static void DeleteRegistryPath();

    const std::wstring& Folder() const noexcept { return m_folder; }
    std::wstring ConfigPath() const { return m_folder + L"\\Tessaline.conf"; }
    // Registers the driver as the installer would (Tessaline.exe --install), once
    // per test process: a synth started without it would first ask to install it.
    static void EnsureDriverRegistered();
    // Runs the staged program with `arguments` to its end; its exit code.
    static std::optional<DWORD> RunProgram(const std::wstring& arguments);
    // The staged Tessaline.exe of this build.
    static std::wstring ProgramPath();
    // A file name under the build tree's screenshot folder.
    static std::wstring ScreenshotPath(const std::string& name);

private:
    std::wstring m_folder;
};

} // namespace tsltest
