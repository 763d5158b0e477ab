// The main window's ids that the portable rooms name: the menu items whose marks they set, the
// labels they write and the status bar. Plain numbers, so the resource compiler can include this too.
#pragma once

#define IDM_POWER 9003
#define IDM_SILENT 9004
#define IDM_ECHO 9005
#define IDM_WINAMP 9006
#define IDM_WMP 9007
// After WMP in the File menu, so that the three player choices form one radio group.
#define IDM_OTHER_PLAYER 9009

#define IDC_CAPS 40002
#define IDC_FCFRAGS 40003
#define IDC_RETURNS 40004
#define IDC_PLAYERNAME 40005
#define IDC_STATUSBAR 40006
