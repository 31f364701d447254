// Tessaline-Setup.exe in a Wine prefix of its own, made fresh for each test
// run: a silent install puts the files, the registry values and the driver
// registration in place; the synth starts from the installed copy and plays
// what a program sends through the installed driver library; a silent
// uninstall leaves nothing of ours behind (the settings only when asked to).
// clang-format off
#include <windows.h>
#include <setupapi.h>
#include <shlobj.h>
// clang-format on

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "backend/tests/output/capture.h"
#include "support/automation.h"

using namespace tsltest;

namespace {

constexpr DWORD kTimeoutMs = 60000;
constexpr wchar_t kInstallDir[] = L"C:\\Program Files\\Tessaline";
constexpr wchar_t kDrivers32[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tessaline";
// {4d36e96c-e325-11ce-bfc1-08002be10318}
constexpr GUID kMediaClass = {0x4d36e96c, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::wstring SetupPath() { return HostPathToWindows(std::string(TSL_BUILD_DIR) + "/../installer/Tessaline-Setup.exe"); }

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring Folder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    GetWindowsDirectoryW(path, MAX_PATH);
    std::wstring windows = path;
    if (csidl == 64)
        return windows + L"\\system32";
    if (csidl == 32)
        return windows + L"\\syswow64";
    return windows;
}

std::optional<std::wstring> RegString(HKEY root, const std::wstring& key, const wchar_t* name, REGSAM view)
{
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, &h) != ERROR_SUCCESS)
        return std::nullopt;
    wchar_t value[1024] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t), type = 0;
    const bool read = RegQueryValueExW(h, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
                      type == REG_SZ;
    RegCloseKey(h);
    return read ? std::optional<std::wstring>(value) : std::nullopt;
}

bool KeyExists(HKEY root, const wchar_t* key)
{
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, key, 0, KEY_READ | KEY_WOW64_64KEY, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

// The slots of one view holding our library.
int OurSlots(REGSAM view)
{
    int count = 0;
    for (int i = 0; i <= 9; ++i) {
        std::wstring slot = i ? L"midi" + std::to_wstring(i) : L"midi";
        if (RegString(HKEY_LOCAL_MACHINE, kDrivers32, slot.c_str(), view) == std::wstring(L"Tessaline.dll"))
            ++count;
    }
    return count;
}

int OurDevices()
{
    HDEVINFO set = SetupDiGetClassDevsW(&kMediaClass, nullptr, nullptr, 0);
    if (set == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        wchar_t id[128] = {};
        if (SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(id),
                                              sizeof(id) - 4, nullptr) &&
            _wcsicmp(id, L"{5e18df6e-0791-46ff-aaa7-1cf779ac3718}") == 0)
            ++count;
    }
    SetupDiDestroyDeviceInfoList(set);
    return count;
}

std::wstring StartMenuFolder()
{
    wchar_t path[MAX_PATH] = {};
    // All users' programs: the installer runs for the machine.
    SHGetFolderPathW(nullptr, 0x17 /* CSIDL_COMMON_PROGRAMS */, nullptr, 0, path);
    return std::wstring(path) + L"\\Tessaline";
}

void ExpectNothingOfOursOutside()
{
    EXPECT_FALSE(Exists(Folder(64) + L"\\Tessaline.dll"));
    EXPECT_FALSE(Exists(Folder(32) + L"\\Tessaline.dll"));
    EXPECT_EQ(OurSlots(KEY_WOW64_32KEY), 0);
    EXPECT_EQ(OurSlots(KEY_WOW64_64KEY), 0);
    EXPECT_EQ(OurDevices(), 0);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Ambrella Tessaline"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(Exists(StartMenuFolder()));
}

std::optional<DWORD> RunSetup(const std::wstring& exe, const std::wstring& arguments)
{
    ChildProcess p;
    if (!p.Start(exe, arguments))
        return std::nullopt;
    return p.WaitExit(kTimeoutMs);
}

// The uninstaller copies itself away and returns at once; the work is done
// when the folder is gone (or holds only the kept settings).
bool Uninstall(const std::wstring& arguments, bool settingsKept)
{
    if (RunSetup(std::wstring(kInstallDir) + L"\\Uninstall.exe", arguments) != std::optional<DWORD>(0))
        return false;
    return WaitUntil(
        [&] {
            return settingsKept ? !Exists(std::wstring(kInstallDir) + L"\\Uninstall.exe") &&
                                      !KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey)
                                : !Exists(kInstallDir);
        },
        kTimeoutMs);
}

// Plays a note through the installed driver library, as a program would, into
// the synth started from the installed copy; the loudest sample it played.
float PlayThroughInstalledDriver()
{
    const std::string capture = tsl::test::CapturePath();
    if (capture.empty())
        return -1;
    DeleteFileA(capture.c_str());
    ChildProcess synth;
    if (!synth.Start(std::wstring(kInstallDir) + L"\\Tessaline.exe", L"", kInstallDir))
        return -2;
    WindowQuery tray;
    tray.className = L"MSGWND";
    tray.title = L"Tessaline Systray Window";
    tray.processId = synth.Id();
    HWND trayWindow = WaitForWindow(tray, kTimeoutMs);
    if (!trayWindow)
        return -3;
    // Winmm under Wine loads only its own drivers: the client loads the one
    // the registration names, from the system folder, as Windows' winmm would.
    ChildProcess client;
    const std::wstring clientExe = HostPathToWindows(std::string(TSL_BUILD_DIR) + "/tsl-test-client.exe");
    if (!client.Start(clientExe, L"--dll \"" + Folder(64) + L"\\Tessaline.dll\" --open --note 0 69 127 --sleep 1000 "
                                 L"--note 0 69 0 --close"))
        return -4;
    const bool played = client.WaitExit(kTimeoutMs) == std::optional<DWORD>(0);
    PostMessageW(trayWindow, WM_CLOSE, 0, 0);
    synth.WaitExit(kTimeoutMs);
    if (!played)
        return -5;
    const tsl::test::Capture heard = tsl::test::ReadCapture(capture);
    float peak = 0;
    for (float sample : heard.left)
        peak = std::max(peak, std::abs(sample));
    return peak;
}

TEST(Installer, SilentInstallPlaysThroughTheDriverAndSilentUninstallRemovesIt)
{
    if (!Exists(SetupPath()))
        GTEST_SKIP() << "no installer: build it with tools/build-installer";
    // A fresh prefix: nothing of ours before.
    ASSERT_FALSE(Exists(kInstallDir));
    ExpectNothingOfOursOutside();

    ASSERT_EQ(RunSetup(SetupPath(), L"/S"), std::optional<DWORD>(0));
    for (const wchar_t* file : {L"Tessaline.exe", L"Uninstall.exe", L"Tessaline.conf", L"lang\\1033.lang"})
        EXPECT_TRUE(Exists(std::wstring(kInstallDir) + L"\\" + file)) << Narrow(file);
    EXPECT_TRUE(Exists(Folder(64) + L"\\Tessaline.dll"));
    EXPECT_TRUE(Exists(Folder(32) + L"\\Tessaline.dll"));
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Ambrella Tessaline", L"path", KEY_WOW64_64KEY),
              std::wstring(kInstallDir));
    EXPECT_EQ(OurSlots(KEY_WOW64_32KEY), 1);
    EXPECT_EQ(OurSlots(KEY_WOW64_64KEY), 1);
    EXPECT_EQ(OurDevices(), 1);
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName", KEY_WOW64_64KEY),
              std::wstring(L"Ambrella Tessaline"));
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString", KEY_WOW64_64KEY),
              L"\"" + std::wstring(kInstallDir) + L"\\Uninstall.exe\" /S");
    EXPECT_TRUE(Exists(StartMenuFolder() + L"\\Tessaline.lnk"));
    EXPECT_TRUE(Exists(StartMenuFolder() + L"\\Tessaline Configurator.lnk"));

    // The user's settings: a soundfont, so there is something to hear.
    {
        std::ofstream conf(Narrow(std::wstring(kInstallDir) + L"\\Tessaline.conf"), std::ios::binary | std::ios::trunc);
        conf << "[SoundFonts]\r\nsf1=Z:\\usr\\share\\sounds\\sf2\\TimGM6mb.sf2\r\nsf1.enabled=1\r\n"
                "[Advanced]\r\nDevicesCount=1\r\n";
    }
    const float peak = PlayThroughInstalledDriver();
    if (peak == -1)
        ADD_FAILURE() << "TSL_AUDIO_CAPTURE not set (run through tools/wine-run)";
    EXPECT_GT(peak, 0.01f) << "nothing heard from the installed synth (code " << peak << ")";

    // Installing again over it keeps the user's settings.
    ASSERT_EQ(RunSetup(SetupPath(), L"/S"), std::optional<DWORD>(0));
    EXPECT_EQ(OurSlots(KEY_WOW64_64KEY), 1);
    EXPECT_EQ(OurDevices(), 1);
    std::ifstream kept(Narrow(std::wstring(kInstallDir) + L"\\Tessaline.conf"));
    std::string first;
    std::getline(kept, first);
    EXPECT_EQ(first, "[SoundFonts]");
    kept.close();

    // Silent uninstall: everything goes but the settings.
    ASSERT_TRUE(Uninstall(L"/S", true));
    ExpectNothingOfOursOutside();
    EXPECT_TRUE(Exists(std::wstring(kInstallDir) + L"\\Tessaline.conf"));
    EXPECT_FALSE(Exists(std::wstring(kInstallDir) + L"\\Tessaline.exe"));
    EXPECT_FALSE(Exists(std::wstring(kInstallDir) + L"\\lang"));

    // Once more, asking for the settings to go too: nothing of ours is left.
    ASSERT_EQ(RunSetup(SetupPath(), L"/S"), std::optional<DWORD>(0));
    ASSERT_TRUE(Uninstall(L"/S /REMOVECONFIG", false));
    ExpectNothingOfOursOutside();
    EXPECT_FALSE(Exists(kInstallDir));
}

} // namespace
