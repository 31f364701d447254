// Reading a menu the way a user sees it, for tests that catch a menu through
// the popup-menu hook: each item's id, text, state, image and submenu.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tsltest {

struct MenuItem {
    UINT id = 0;  // 0 for separators and submenus
    std::wstring text;
    bool separator = false, checked = false, grayed = false, image = false;
    HMENU submenu = nullptr;
};

std::vector<MenuItem> MenuItems(HMENU menu);

} // namespace tsltest
