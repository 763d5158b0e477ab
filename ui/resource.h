// Resource and control ids, shared by the resource script and the window code. Plain numbers only,
// so the resource compiler can include it.
#pragma once

#include "support/window_ids.h"

// Menus
#define IDR_MAINMENU 101
#define IDM_EXIT 9001
#define IDM_RESPONSE_STRINGS 9002
#define IDM_HISTORY 9008
#define IDM_START_GAME 9010
#define IDM_CHOOSE_GAME 9011

// Icons, bitmaps and the manifest
#define IDI_QUORVEX 201
#define IDB_BACKDROP 202

// Dialogs
#define IDD_RESPONSE_STRINGS 1000
#define IDC_CAPS_LABEL 1001
#define IDC_CAPS_EDIT 1002
#define IDC_FCFRAGS_LABEL 1003
#define IDC_FCFRAGS_EDIT 1004
#define IDC_RETURNS_LABEL 1005
#define IDC_RETURNS_EDIT 1006
#define IDC_RESPONSE_OK 1007
#define IDC_RESPONSE_CANCEL 1008
#define IDC_NOWPLAYING_LABEL 1009
#define IDC_NOWPLAYING_EDIT 1010

// Controls of the main window
#define IDC_PICTURE 40001
