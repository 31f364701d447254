// What the configurator's in-process tests share: a configuration of their
// own with the English texts, the engine on the no-sound device, the real
// configurator window, a message pump, answers for file dialogs and popup
// menus, and a way to act inside modal dialogs as a user would.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "configurator/configurator.h"
#include "synth/synth_engine.h"
#include "synth_test_support.h"

namespace cfgtest {

// Runs the thread's messages (through the configurator's keyboard handling,
// as the program's loop does) for about `ms` milliseconds.
void Pump(DWORD ms = 30);

// The configuration file's bytes.
std::string FileBytes(const std::wstring& path);

// Runs `script` on the first visible dialog of this thread titled `title` once
// it opens (a modal dialog's own loop runs it), for example to type into it
// and press its OK button.
void WhenDialogOpens(const std::wstring& title, std::function<void(HWND)> script);

// Sets the text of a control as typing would (WM_SETTEXT raises EN_CHANGE).
void Type(HWND control, const std::wstring& text);
// Clicks a push button or check box (BM_CLICK).
void Click(HWND button);
// A left click at a point of a window's client area, Ctrl held when asked.
void ClickAt(HWND window, POINT point, bool control = false);
// A key as the focused control would get it, Ctrl or Shift held when asked.
void PressKey(HWND window, WORD key, bool control = false, bool shift = false);
std::wstring TextOf(HWND window);
bool IsEnabled(HWND window);

// Answers the next file dialogs with these paths (an empty list: cancel) and remembers their requests.
struct FileDialogAnswers {
    FileDialogAnswers();
    ~FileDialogAnswers();
    std::vector<std::vector<std::wstring>> answers;
    std::vector<std::wstring> titles;
    std::vector<DWORD> flags;  // the OFN_* flags each dialog was asked with
};

// Answers popup menus: `choose` sees the menu and returns the command.
struct PopupMenuAnswers {
    explicit PopupMenuAnswers(std::function<UINT(HMENU)> choose);
    ~PopupMenuAnswers();
};
// The items of a menu and its submenus: text and command id (0 for submenus), in order.
struct MenuItem {
    std::wstring text;
    UINT id;
    bool checked;
    bool disabled;
    int depth;
};
std::vector<MenuItem> MenuItems(HMENU menu, int depth = 0);

// A tiny soundfont written for the test: presets of sine (or square) waves.
struct TestFontPreset {
    int bank = 0, program = 0;
    std::string name = "Tone";
    uint32_t period = 100;  // frames per cycle at 44100 Hz
    bool square = false;
};
std::wstring WriteTestFont(const std::string& fileName, const std::vector<TestFontPreset>& presets);

// A configuration, the English texts, the engine and the configurator.
class ConfiguratorTest : public ::testing::Test {
protected:
    explicit ConfiguratorTest(const std::string& conf = "[Advanced]\r\nOutputDevice=0\r\n");
    ~ConfiguratorTest() override;

    // Opens the configurator as the tray does; null when it failed.
    CConfigurator* Open();
    // Closes it (if open) and lets the pending objects go.
    void Close();
    // Follows a configurator opened some other way (it reopened itself).
    void Track(CConfigurator* other);
    HWND Control(int page, int id) const;
    std::wstring ConfigFile() const { return config.Settings().ConfigFile(); }
    std::vector<std::wstring> Messages() const { return config.Messages(); }

    mutable synthtest::TestConfig config;
    SynthEngine engine;
    CConfigurator* window = nullptr;
};

}  // namespace cfgtest
