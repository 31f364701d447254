#include "support/menu_items.h"

namespace tsltest {

std::vector<MenuItem> MenuItems(HMENU menu)
{
    std::vector<MenuItem> items;
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_STRING | MIIM_STATE | MIIM_SUBMENU | MIIM_BITMAP | MIIM_FTYPE;
        info.dwTypeData = text;
        info.cch = 256;
        if (!::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info))
            continue;
        MenuItem item;
        item.separator = (info.fType & MFT_SEPARATOR) != 0;
        item.id = item.separator || info.hSubMenu ? 0 : info.wID;
        item.text = text;
        item.checked = (info.fState & MFS_CHECKED) != 0;
        item.grayed = (info.fState & MFS_GRAYED) != 0;
        item.image = info.hbmpItem != nullptr;
        item.submenu = info.hSubMenu;
        items.push_back(item);
    }
    return items;
}

} // namespace tsltest
