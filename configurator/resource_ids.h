// Dialog templates and control ids of the configurator windows, shared by the
// resource script and the code.
#pragma once

#include <windows.h>
#include <commctrl.h>

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Templates.
#define IDD_PAGE_SOUNDFONTS 131
#define IDD_PAGE_MIDI_MAPPER 132
#define IDD_PAGE_UPDATES 133
#define IDD_PAGE_SHORTCUTS 134
#define IDD_PAGE_OPTIONS 136
#define IDD_PAGE_ABOUT 152
#define IDD_PAGE_EMPTY 148
#define IDD_CONFIGURATOR 149
#define IDD_SOUNDFONT_EDITOR 150
#define IDD_BLACKLIST_EDITOR 154

// Configurator.
#define IDC_CFG_DONATE 11
#define IDC_CFG_WEBSITE 12
#define IDC_CFG_TABS 1048
#define IDC_CFG_APPLY 1051

// SoundFonts page.
#define IDC_SF_LIST 1000
#define IDC_SF_ADD 1001
#define IDC_SF_REMOVE 1002
#define IDC_SF_EDIT 1003
#define IDC_SF_UP 1006
#define IDC_SF_DOWN 1007
#define IDC_SF_INFO 1049
#define IDC_SF_IMPORT 1089
#define IDC_SF_EXPORT 1090
#define IDC_SF_HEADING 1120

// Options page (its rows are made at run time with the ids of the option table).
#define IDC_OPT_RESET 1031

// SoundFont editor.
#define IDC_ED_RESET 10
#define IDC_ED_XGDRUMS 1095
#define IDC_ED_PRELOAD 1047
#define IDC_ED_BANK 1056
#define IDC_ED_PRESET 1058
#define IDC_ED_BANK_SPIN 1060
#define IDC_ED_PRESET_SPIN 1061
#define IDC_ED_FILE 1062
#define IDC_ED_VOLUME 1063
#define IDC_ED_VOLUME_SPIN 1064
#define IDC_ED_BANK_LABEL 1066
#define IDC_ED_INFO 1091
#define IDC_ED_DETAILS_LABEL 1121
#define IDC_ED_PRESET_LABEL 1122
#define IDC_ED_VOLUME_LABEL 1123

// Client blacklist editor.
#define IDC_BE_LIST 1086
#define IDC_BE_PROCESSES 1087

// MIDI mapper page.
#define IDC_MAP_DEFAULT 1003
#define IDC_MAP_WMP 1005
#define IDC_MAP_WARNING 1033

// Shortcuts page.
#define IDC_KEY_RESET 1031
#define IDC_KEY_SHOW_MIXER 1036
#define IDC_KEY_MIDI_PANIC 1039
#define IDC_KEY_REFERENCE 1043
#define IDC_KEY_REFERENCE_GROUP 1044
#define IDC_KEY_MIXERS_ALL 1111

// Updates page.
#define IDC_UPD_FREQUENCY 1004
#define IDC_UPD_CHECK_NOW 1008
#define IDC_UPD_LAST_CHECK 1009
#define IDC_UPD_AVAILABLE 1010
#define IDC_UPD_CURRENT 1011
#define IDC_UPD_AVAILABLE_LABEL 1088

// About page.
#define IDC_ABOUT_TITLE 1068
#define IDC_ABOUT_MAKER 1070
#define IDC_ABOUT_STATUS 1071
#define IDC_ABOUT_REPORT 1084
