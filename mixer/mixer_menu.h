// The mixer window's context menu: the whole-mixer commands with their
// images, the solo-ratio and zoom submenus with the current choice checked,
// and the ports whose state can be copied in.
#pragma once

#include <windows.h>

struct MixerMenuModel {
    DWORD portCount = 0;   // ports that exist
    int ownPort = -1;      // the port this mixer shows, -1 for the converter's
    DWORD soloRatio = 20;
    bool topMost = false;
    DWORD zoom = 100;
    int imageSize = 16;    // menu images, pixels square
};

HMENU BuildMixerMenu(const MixerMenuModel& model);
// Destroys the menu and the images its items carry.
void DestroyMixerMenu(HMENU menu);
