// Resource ids of the mixer window: its dialog, its icon and the images its
// strips and menu are drawn from. Plain defines: the resource script reads them too.
#pragma once

#define IDD_MIXER 142
#define IDI_MIXER 172

#define IDB_MIXER_STRIP 0x8f
#define IDB_MIXER_METER_OFF 0x90
#define IDB_MIXER_METER_ON 0x91
#define IDB_MIXER_KNOB 0x92
#define IDB_MIXER_MENU_BUTTON 0xa1
#define IDB_MIXER_LOAD 0xa4
#define IDB_MIXER_SAVE 0xa5
#define IDB_MIXER_COPY 0xa6
#define IDB_MIXER_RESET 0xa7
#define IDB_MIXER_SYSTEM_MIXER 0xa9
#define IDB_MIXER_PORT 0xad
#define IDB_MIXER_MUTE_ON 0xb8
#define IDB_MIXER_SOLO_OFF 0xb9
#define IDB_MIXER_SOLO_ON 0xba
#define IDB_MIXER_MUTE_OFF 0xbb
