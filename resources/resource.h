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

#define IDI_MAINICON "MAINICON"
#define IDI_ENMUTEON "ENMUTEON"
#define IDI_ENMUTEOFF "ENMUTEOFF"
#define IDI_DIMUTEON "DIMUTEON"
#define IDI_DIMUTEOFF "DIMUTEOFF"
