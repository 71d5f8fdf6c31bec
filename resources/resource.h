// Resource identifiers shared by sonalto.rc and the code.
#pragma once

#define IDS_ALREADY_RUNNING 1
#define IDS_CONTROLS 2
#define IDS_HELP_TEXT 3
#define IDS_EXIT 4
#define IDS_ENABLE 5
#define IDS_DISABLE 6
#define IDS_TIP 7
#define IDS_LEVEL 8
#define IDS_LEVEL_MUTED 9
#define IDS_SETTINGS 10
// The items of the settings dialog's two choices.
#define IDS_SHIFT 11
#define IDS_CTRL 12
#define IDS_WHEEL_OFF 14
#define IDS_TOP_LEFT 15
#define IDS_TOP_RIGHT 16
#define IDS_BOTTOM_LEFT 17
#define IDS_BOTTOM_RIGHT 18
#define IDS_KEY_TAKEN 19
#define IDS_VALUE_REFUSED 20
#define IDS_NOT_SAVED 21
#define IDS_TRAY_WHEEL 23

#define IDI_MAINICON "MAINICON"
#define IDI_ENMUTEON "ENMUTEON"
#define IDI_ENMUTEOFF "ENMUTEOFF"
#define IDI_DIMUTEON "DIMUTEON"
#define IDI_DIMUTEOFF "DIMUTEOFF"

#define IDD_SETTINGS 100

// The control of each setting has the id IDC_SETTINGS + the setting's number
// (app/settings.h); the edge's width has none.
#define IDC_SETTINGS 1000
#define IDC_VOLUME_UP_KEY 1000
#define IDC_VOLUME_DOWN_KEY 1001
#define IDC_MUTE_KEY 1002
#define IDC_SWITCH_KEY 1003
#define IDC_EDGE_WHEEL 1004
#define IDC_WHEEL_MODIFIER 1006
#define IDC_REVERSE_WHEEL 1007
#define IDC_SMALLEST_STEP 1008
#define IDC_LARGEST_STEP 1009
#define IDC_DISPLAY_TIME 1010
#define IDC_DISPLAY_CORNER 1011
#define IDC_DISPLAY_MONITOR 1012
#define IDC_DISPLAY_OTHER_CHANGES 1013
#define IDC_TRAY_WHEEL 1014
#define IDC_START_WITH_WINDOWS 1015
#define IDC_DEFAULTS 1016
